// The built installer as a person meets it: started under Wine it shows the wizard's Start page,
// Next leads on, and leaving asks first and then ends the program.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "common/test_environment.h"
#include "dialog_ids.h"
#include "support/handles.h"
#include "ui/box_responder.h"

namespace {

const std::wstring title = L"Installer \u2013 Gradivo 7.17a";

std::filesystem::path InstallerPath() {
  return test::test_program_folder().parent_path() / L"bin" / L"InstallGradivo7.17a.exe";
}

// Waits (at most 30 seconds) for a top-level window of the process with the given caption that
// is not except; null when none comes.
HWND WaitForWindow(DWORD processId, const std::wstring& caption, HWND except = nullptr) {
  struct Search {
    DWORD processId;
    const std::wstring* caption;
    HWND except;
    HWND found = nullptr;
  } search{processId, &caption, except};
  for (int i = 0; i < 300; ++i) {
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner != s->processId || window == s->except || !IsWindowVisible(window)) return TRUE;
          if (test::WindowText(window) != *s->caption) return TRUE;
          s->found = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

// The visible page of the wizard (a child dialog), or null.
HWND VisiblePage(HWND wizard) {
  for (HWND child = GetWindow(wizard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(child)) return child;
  }
  return nullptr;
}

TEST(WizardProgram, ShowsTheStartPageAndAsksBeforeLeaving) {
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + InstallerPath().wstring() + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
  // Whatever the test finds, the installer does not outlive it.
  struct Terminator {
    HANDLE process;
    ~Terminator() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
    }
  } terminator{processHandle.get()};

  const HWND wizard = WaitForWindow(process.dwProcessId, title);
  ASSERT_NE(wizard, nullptr) << "the installer showed no wizard";
  // The program's start-up ran on a machine without the product: a first installation.
  HWND page = VisiblePage(wizard);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(test::WindowText(GetDlgItem(page, IDC_INFO)), L"'Gradivo 7.17a' Installation.");
  EXPECT_EQ(test::WindowText(GetDlgItem(wizard, IDOK)), L"Next  >");

  SendMessageW(GetDlgItem(wizard, IDOK), BM_CLICK, 0, 0);
  page = VisiblePage(wizard);
  ASSERT_NE(page, nullptr);
  EXPECT_NE(GetDlgItem(page, IDC_QUICK_MODE), nullptr) << "the Mode page follows";

  // Exit asks for confirmation in a box of the same caption; Yes ends the program.
  PostMessageW(wizard, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  const HWND box = WaitForWindow(process.dwProcessId, title, wizard);
  ASSERT_NE(box, nullptr) << "no confirmation";
  EXPECT_EQ(GetWindow(box, GW_OWNER), wizard);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  ASSERT_EQ(WaitForSingleObject(processHandle.get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
