// Start-up with other programs of the product running: a second installer is turned away with the
// system's text for error 170 while the first goes on; a running product must be closed first,
// and Retry asks again until it is.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "support/handles.h"

namespace lifecycle {
namespace {

// The system's text for an error code, without its line end.
std::wstring SystemText(DWORD code) {
  wchar_t text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
  std::wstring result = text;
  while (!result.empty() && (result.back() == L'\r' || result.back() == L'\n')) result.pop_back();
  return result;
}

// The sample payload's product, started as a user starts it: it shows its window and counts
// itself among the running copies of the product.
class RunningProduct {
 public:
  RunningProduct() {
    std::wstring commandLine = L"\"" + (BuildFolder() / L"payload" / L"files" / L"Gradivo.exe").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
      throw DriverError("cannot start the product: error " + std::to_string(GetLastError()));
    process_.reset(started.hProcess);
    kv::unique_handle thread(started.hThread);
    processId_ = started.dwProcessId;
    // Its window shows once it has joined the count.
    for (int i = 0; i < 300 && !window_; ++i) {
      HWND window = FindWindowW(L"Gradivo.StandIn.Main", nullptr);
      DWORD owner = 0;
      if (window) GetWindowThreadProcessId(window, &owner);
      if (owner == processId_ && IsWindowVisible(window)) window_ = window;
      else Sleep(100);
    }
    if (!window_) throw DriverError("the product showed no window");
  }
  ~RunningProduct() {
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
  }
  RunningProduct(const RunningProduct&) = delete;
  RunningProduct& operator=(const RunningProduct&) = delete;

  // Closes its window, as the user does, and waits for it to end.
  void Close() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.get(), 30000) != WAIT_OBJECT_0) throw DriverError("the product did not end");
  }

 private:
  kv::unique_handle process_;
  DWORD processId_ = 0;
  HWND window_ = nullptr;
};

TEST(RunningPrograms, ASecondInstallerIsTurnedAwayWhileTheFirstGoesOn) {
  Installer first;
  first.WaitForWizard();

  Installer second;
  const MessageBoxView refusal = second.WaitForMessageBox();
  EXPECT_EQ(refusal.caption, L"Install 2.04a") << "the installer program's name and version";
  EXPECT_EQ(refusal.text, SystemText(ERROR_BUSY));
  EXPECT_EQ(refusal.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(refusal.owner, nullptr);
  second.Answer(refusal, IDOK);
  second.WaitForExit();

  InstallQuickly(first);
  const Destinations destinations;
  ExpectPayloadPlaced(destinations);
  ExpectUninstallEntry(destinations, English);
}

TEST(RunningPrograms, TheRunningProductMustBeClosedFirst) {
  RunningProduct product;
  Installer installer;
  const std::wstring closeIt = L"You should close 'Gradivo' before continuing Installation.";
  MessageBoxView request = installer.WaitForMessageBox();
  EXPECT_EQ(request.caption, L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(request.text, closeIt);
  EXPECT_TRUE(request.HasButton(IDRETRY) && request.HasButton(IDCANCEL));

  // Retry while the product still runs asks again.
  installer.Answer(request, IDRETRY);
  request = installer.WaitForMessageBox();
  EXPECT_EQ(request.text, closeIt);

  // Once it is closed, Retry goes on to the wizard.
  product.Close();
  installer.Answer(request, IDRETRY);
  installer.WaitForWizard();
  EXPECT_EQ(installer.CurrentPage(), Page::Start);
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"'Gradivo 7.17a' Installation.");
  installer.Exit();
  const MessageBoxView question = installer.WaitForMessageBox();
  installer.Answer(question, IDYES);
  installer.WaitForExit();
}

TEST(RunningPrograms, CancelWhileTheProductRunsEndsTheInstaller) {
  RunningProduct product;
  Installer installer;
  const MessageBoxView request = installer.WaitForMessageBox();
  installer.Answer(request, IDCANCEL);
  installer.WaitForExit();
  EXPECT_FALSE(FolderExists(DefaultInstallFolder()));
}

}  // namespace
}  // namespace lifecycle
