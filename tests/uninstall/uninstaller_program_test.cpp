// The built Uninstall.exe as the list of programs starts it: in an installation folder beside its
// record, under the product's own registry names, answered through its message boxes from here.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/product.h"
#include "common/test_environment.h"
#include "record/record_test_files.h"
#include "support/encoding.h"
#include "support/handles.h"
#include "uninstall/sample_installation.h"
#include "uninstall/uninstall_steps.h"

namespace {

using uninstall_test::Narrow;
using Path = std::filesystem::path;

// Bounds every wait for the uninstaller, so that a broken one fails the test instead of hanging it.
constexpr int waitSteps = 600;
constexpr DWORD waitStepMs = 100;

const uninstall::ProductNames productNames = uninstall::ProductNamesOf(ProductDefinition{});
const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";

std::wstring WindowText(HWND window) {
  wchar_t text[2048] = {};
  GetWindowTextW(window, text, 2048);
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

// A running process that does not outlive the test.
class Process {
 public:
  Process() = default;
  explicit Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
  Process(Process&&) = default;
  Process& operator=(Process&&) = default;
  ~Process() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.get(), 1);
      WaitForSingleObject(process_.get(), 30'000);
    }
  }

  // Starts program without arguments, as the Uninstall entry's command does.
  static Process Start(const Path& program) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return {};
    CloseHandle(process.hThread);
    return Process(process.hProcess, process.dwProcessId);
  }

  explicit operator bool() const { return static_cast<bool>(process_); }
  DWORD id() const { return id_; }
  bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }
  std::optional<DWORD> WaitForExit() const {
    if (WaitForSingleObject(process_.get(), waitSteps * waitStepMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    return code;
  }

  // The message box with the uninstaller's caption that the process shows, waiting for it while the
  // process runs; null when none appears.
  HWND WaitForBox() const {
    struct Search {
      DWORD process;
      HWND found;
    };
    for (int step = 0; step < waitSteps; ++step) {
      Search search{id_, nullptr};
      EnumWindows(
          [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->process || !IsWindowVisible(window) || ClassName(window) != L"#32770" ||
                WindowText(window) != L"Gradivo" || BoxText(window).empty())
              return TRUE;
            s->found = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.found) return search.found;
      if (!running()) return nullptr;
      Sleep(waitStepMs);
    }
    return nullptr;
  }

 private:
  kv::unique_handle process_;
  DWORD id_ = 0;
};

// The processes that parent started.
std::vector<DWORD> ChildrenOf(DWORD parent) {
  std::vector<DWORD> children;
  const kv::unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ParentProcessID == parent) children.push_back(entry.th32ProcessID);
  return children;
}

Process OpenProcessById(DWORD id) {
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
  return process ? Process(process, id) : Process();
}

// Presses a button of a message box and waits until the box is gone.
bool Press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, button, 0);
  for (int step = 0; step < waitSteps && IsWindow(box); ++step) Sleep(waitStepMs);
  return !IsWindow(box);
}

std::vector<std::wstring> LogLines(const Path& log) {
  std::vector<std::wstring> lines;
  const std::wstring text = kv::utf8_to_wide(record_test::ReadBytes(log));
  for (std::size_t begin = 0, end; (end = text.find(L"\r\n", begin)) != std::wstring::npos; begin = end + 2)
    lines.push_back(text.substr(begin, end - begin));
  return lines;
}

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::wstring PendingRenames() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS)
    return {};
  const kv::unique_hkey owned(key);
  DWORD size = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring value(size / sizeof(wchar_t), L'\0');
  RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
  std::replace(value.begin(), value.end(), L'\0', L'\n');
  return value;
}

class UninstallerProgram : public testing::Test {
 protected:
  void SetUp() override {
    uninstall_test::DeleteProductRegistry(productNames);
    SetEnvironmentVariableW(L"GRADIVO_UNINSTALL_LOG", log_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"GRADIVO_UNINSTALL_LOG", nullptr);
    uninstall_test::DeleteProductRegistry(productNames);
    for (const Path& path : {installed_.product, installed_.uninstaller, installed_.recordFile})
      if (!path.empty()) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  void Install() { installed_ = uninstall_test::InstallSample(scratch_.path() / L"Machine", productNames, true); }

  test::scratch_folder scratch_;
  const Path log_ = scratch_.path() / L"uninstall.log";
  uninstall_test::SampleInstallation installed_;
};

TEST_F(UninstallerProgram, YesRemovesTheInstallationItsOwnFileAndFolderIncluded) {
  Install();
  std::ofstream(installed_.otherLibrary, std::ios::binary | std::ios::app) << "<Part id=\"USR-0001\"/>\n";
  ASSERT_TRUE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, L".gvp", 0)) << "the product registered itself";

  const Process uninstaller = Process::Start(installed_.uninstaller);
  ASSERT_TRUE(uninstaller);
  const HWND question = uninstaller.WaitForBox();
  ASSERT_NE(question, nullptr) << "the uninstaller asked nothing";
  EXPECT_EQ(Narrow(BoxText(question)), "Remove Gradivo 7.17a and all of its components?");
  ASSERT_TRUE(Press(question, IDYES));
  EXPECT_EQ(uninstaller.WaitForExit(), std::optional<DWORD>(0));

  const std::vector<DWORD> children = ChildrenOf(uninstaller.id());
  ASSERT_EQ(children.size(), 1u) << "the uninstaller hands the work to one copy";
  const Process copy = OpenProcessById(children.front());
  ASSERT_TRUE(copy);
  const HWND done = copy.WaitForBox();
  ASSERT_NE(done, nullptr) << "the copy said nothing";
  const std::wstring doneText = BoxText(done);
  EXPECT_EQ(doneText.rfind(L"Gradivo 7.17a was removed from your computer.", 0), 0u) << Narrow(doneText);
  EXPECT_NE(doneText.find(installed_.otherLibrary.wstring()), std::wstring::npos) << Narrow(doneText);
  ASSERT_TRUE(Press(done, IDOK));
  EXPECT_EQ(copy.WaitForExit(), std::optional<DWORD>(0));

  EXPECT_FALSE(std::filesystem::exists(installed_.installFolder)) << "the uninstaller's folder went with it";
  EXPECT_FALSE(std::filesystem::exists(installed_.startMenuFolder.parent_path()));
  EXPECT_FALSE(std::filesystem::exists(installed_.library));
  EXPECT_TRUE(std::filesystem::exists(installed_.otherLibrary)) << "the changed library stays";
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, productNames.makerKey, KEY_WOW64_32KEY));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, L".gvp", 0));
  EXPECT_FALSE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, L"Gradivo.Project", 0));

  const std::vector<std::wstring> lines = LogLines(log_);
  ASSERT_GE(lines.size(), 3u);
  const std::wstring started = L"started copy ";
  ASSERT_EQ(lines.front().rfind(started, 0), 0u) << Narrow(lines.front());
  const std::wstring copyPath = lines.front().substr(started.size());
  EXPECT_EQ(Narrow(lines[1]), Narrow(L"scheduled removal at restart " + copyPath));
  EXPECT_TRUE(Contains(lines, L"removed file " + installed_.uninstaller.wstring()));
  EXPECT_TRUE(Contains(lines, L"kept file " + installed_.otherLibrary.wstring() + L" (changed)"));
  EXPECT_TRUE(Contains(lines, L"removed key HKEY_LOCAL_MACHINE\\" + uninstallKey));
  EXPECT_EQ(Narrow(lines.back()), "finished");
  EXPECT_NE(PendingRenames().find(copyPath), std::wstring::npos) << "the copy goes at the next restart";
  DeleteFileW(copyPath.c_str());
}

TEST_F(UninstallerProgram, NoChangesNothing) {
  Install();
  const Process uninstaller = Process::Start(installed_.uninstaller);
  ASSERT_TRUE(uninstaller);
  const HWND question = uninstaller.WaitForBox();
  ASSERT_NE(question, nullptr);
  ASSERT_TRUE(Press(question, IDNO));
  EXPECT_EQ(uninstaller.WaitForExit(), std::optional<DWORD>(3));

  EXPECT_TRUE(ChildrenOf(uninstaller.id()).empty()) << "no copy was started";
  EXPECT_EQ(LogLines(log_), std::vector<std::wstring>{L"cancelled"});
  for (const Path& path : {installed_.product, installed_.uninstaller, installed_.language, installed_.library,
                           installed_.otherLibrary, installed_.programShortcut, installed_.recordFile})
    EXPECT_TRUE(std::filesystem::exists(path)) << path.string();
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_LOCAL_MACHINE, uninstallKey, KEY_WOW64_32KEY));
  EXPECT_TRUE(uninstall_test::KeyExists(HKEY_CLASSES_ROOT, L".gvp", 0));
}

TEST_F(UninstallerProgram, WithoutItsRecordItSaysSoAndRemovesNothing) {
  const Path folder = scratch_.path() / L"Gradivo 7";
  std::filesystem::create_directories(folder);
  const Path program = folder / L"Uninstall.exe";
  ASSERT_TRUE(CopyFileW(uninstall_test::PayloadFile(L"Uninstall.exe").c_str(), program.c_str(), FALSE));
  record_test::WriteBytes(folder / L"Gradivo.exe", "left alone");

  const Process uninstaller = Process::Start(program);
  ASSERT_TRUE(uninstaller);
  const HWND box = uninstaller.WaitForBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Narrow(BoxText(box)), Narrow(L"The installation record cannot be found or opened:\n    " +
                                         (folder / L"Uninstall.ulog").wstring() + L"\n\nNothing was removed."));
  ASSERT_TRUE(Press(box, IDOK));
  EXPECT_EQ(uninstaller.WaitForExit(), std::optional<DWORD>(2));
  EXPECT_TRUE(std::filesystem::exists(program));
  EXPECT_TRUE(std::filesystem::exists(folder / L"Gradivo.exe"));
}

}  // namespace
