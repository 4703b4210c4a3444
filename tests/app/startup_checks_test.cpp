// The installer's start-up checks as a user meets them: a second copy of the installer, a running
// product, and a start without administrator rights. Each test runs the built installer and
// answers its message boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/peer_process.h"
#include "common/test_environment.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/sid.h"

namespace {

// Bounds every wait for the installer, so a broken start-up fails the test instead of hanging it.
constexpr int wait_steps = 600;
constexpr DWORD wait_step_ms = 100;

const std::wstring installerTitle = L"Installer \u2013 Gradivo 7.17a";
const std::wstring closeProductText = L"You should close 'Gradivo' before continuing Installation.";
const std::wstring administratorText = L"You should have Administrator Rights in order to proceed to Installation.";

std::filesystem::path BuildFolder() { return test::test_program_folder().parent_path(); }
std::filesystem::path InstallerPath() { return BuildFolder() / L"bin" / L"InstallGradivo7.17a.exe"; }

// A started program that does not outlive the test.
class Program {
 public:
  explicit Program(const std::filesystem::path& path, HANDLE token = nullptr) {
    std::wstring commandLine = L"\"" + path.wstring() + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    const BOOL created =
        token ? CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process)
              : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process);
    if (!created) return;
    CloseHandle(process.hThread);
    process_.reset(process.hProcess);
    id_ = process.dwProcessId;
  }
  ~Program() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), 30000);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return static_cast<bool>(process_); }
  DWORD id() const { return id_; }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  // Waits for the program to end; its exit code, or nothing when it does not end.
  std::optional<DWORD> WaitForExit() const {
    if (WaitForSingleObject(process_.get(), wait_steps * wait_step_ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  kv::unique_handle process_;
  DWORD id_ = 0;
};

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// The text of a message box: the texts of its static controls.
std::wstring BoxText(HWND box) {
  std::wstring text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM param) -> BOOL {
        if (lstrcmpiW(ClassName(child).c_str(), L"Static") == 0)
          *reinterpret_cast<std::wstring*>(param) += WindowText(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

// The first visible top-level window of process id for which accept holds, waiting for one to
// appear while the process runs; null when none appears.
HWND WaitForWindow(const Program& program, const std::function<bool(HWND)>& accept) {
  struct Search {
    DWORD process;
    const std::function<bool(HWND)>* accept;
    HWND found;
  };
  for (int step = 0; step < wait_steps; ++step) {
    Search search{program.id(), &accept, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner != s->process || !IsWindowVisible(window) || !(*s->accept)(window)) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (!program.running()) return nullptr;
    Sleep(wait_step_ms);
  }
  return nullptr;
}

// A message box of the program with that caption.
HWND WaitForBox(const Program& program, const std::wstring& caption) {
  return WaitForWindow(program, [&](HWND window) {
    return ClassName(window) == L"#32770" && WindowText(window) == caption && !BoxText(window).empty();
  });
}

// Presses a button of a message box and waits until the box is gone.
bool Press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, button, 0);
  for (int step = 0; step < wait_steps && IsWindow(box); ++step) Sleep(wait_step_ms);
  return !IsWindow(box);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// A primary token like this process's, with Administrators for deny only.
kv::unique_handle TokenWithoutAdministrators() {
  kv::unique_handle process;
  OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, process.put());
  const kv::sid administrators(kv::well_known_sid::administrators);
  SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
  kv::unique_handle restricted;
  CreateRestrictedToken(process.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, restricted.put());
  return restricted;
}

TEST(StartupChecks, ASecondInstallerReportsBusyAndEnds) {
  Program first(InstallerPath());
  ASSERT_TRUE(first.started());
  ASSERT_NE(WaitForWindow(first, [](HWND) { return true; }), nullptr) << "the first installer showed no window";

  Program second(InstallerPath());
  ASSERT_TRUE(second.started());
  const HWND box = WaitForBox(second, L"Install 2.04a");
  ASSERT_NE(box, nullptr) << "the second installer reported nothing";
  EXPECT_EQ(Narrow(BoxText(box)), Narrow(kv::error_text(ERROR_BUSY)));
  ASSERT_TRUE(Press(box, IDOK));
  EXPECT_EQ(second.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_TRUE(first.running()) << "the first installer goes on";
}

// Another program counted under the application identifier "Gradivo7": a peer that joins the
// instance counter, or the stand-in product of the sample payload with its window.
struct RunningCopy {
  const char* what;
  std::function<std::shared_ptr<void>()> start;  // the running program, ended when released
};

std::shared_ptr<void> StartPeer() {
  auto peer = std::make_shared<test::peer_process>(L"join", L"Gradivo7");
  EXPECT_TRUE(peer->wait_ready());
  return peer;
}

// The stand-in product, closed through its window so that it gives its count back.
class StandInProduct {
 public:
  StandInProduct() : program_(BuildFolder() / L"payload" / L"files" / L"Gradivo.exe") {
    window_ = WaitForWindow(program_, [](HWND window) { return ClassName(window) == L"Gradivo.StandIn.Main"; });
  }
  ~StandInProduct() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    program_.WaitForExit();
  }
  bool ready() const { return window_ != nullptr; }

 private:
  Program program_;
  HWND window_ = nullptr;
};

std::shared_ptr<void> StartProduct() {
  auto product = std::make_shared<StandInProduct>();
  EXPECT_TRUE(product->ready()) << "the stand-in product showed no window";
  return product;
}

const RunningCopy runningCopies[] = {
    {"a program joined to the instance counter", StartPeer},
    {"the stand-in product", StartProduct},
};

TEST(StartupChecks, AsksToCloseTheRunningProductUntilItEnds) {
  for (const RunningCopy& copy : runningCopies) {
    SCOPED_TRACE(copy.what);
    std::shared_ptr<void> running = copy.start();
    Program installer(InstallerPath());
    ASSERT_TRUE(installer.started());

    HWND box = WaitForBox(installer, installerTitle);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Narrow(BoxText(box)), Narrow(closeProductText));
    ASSERT_TRUE(Press(box, IDRETRY));
    box = WaitForBox(installer, installerTitle);
    ASSERT_NE(box, nullptr) << "asked again while the product runs";
    EXPECT_EQ(Narrow(BoxText(box)), Narrow(closeProductText));

    running.reset();
    ASSERT_TRUE(Press(box, IDRETRY));
    const HWND next =
        WaitForWindow(installer, [](HWND window) { return BoxText(window) != closeProductText; });
    EXPECT_NE(next, nullptr) << "the start-up goes on once the product has ended";
    EXPECT_TRUE(installer.running());
  }
}

TEST(StartupChecks, CancelWhileTheProductRunsEnds) {
  std::shared_ptr<void> running = StartPeer();
  Program installer(InstallerPath());
  ASSERT_TRUE(installer.started());
  const HWND box = WaitForBox(installer, installerTitle);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Narrow(BoxText(box)), Narrow(closeProductText));
  ASSERT_TRUE(Press(box, IDCANCEL));
  EXPECT_EQ(installer.WaitForExit(), std::optional<DWORD>(0));
}

TEST(StartupChecks, RefusesWithoutAdministratorRights) {
  const kv::unique_handle token = TokenWithoutAdministrators();
  ASSERT_TRUE(token);
  Program installer(InstallerPath(), token.get());
  ASSERT_TRUE(installer.started()) << GetLastError();
  const HWND box = WaitForBox(installer, installerTitle);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Narrow(BoxText(box)), Narrow(administratorText));
  ASSERT_TRUE(Press(box, IDOK));
  EXPECT_EQ(installer.WaitForExit(), std::optional<DWORD>(0));
}

}  // namespace
