#include "faults/install_page_run.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include "app/languages.h"
#include "dialog_ids.h"
#include "engine/destinations.h"
#include "record/shortcuts.h"
#include "support/encoding.h"
#include "support/handles.h"
#include "support/registry.h"
#include "ui/message_pump.h"

namespace faults {

namespace {

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(wcslen(text.c_str()));
  return text;
}

void ExpectMissing(const std::wstring& path) {
  EXPECT_FALSE(PathFileExistsW(path.c_str())) << kv::wide_to_utf8(path);
}

}  // namespace

InstallPageRun::InstallPageRun() {
  SetCurrentLanguage(English);
  app_.SetTitle(app_.GetInstallerTitle(true));
  app_.ApplyDefaultFolders();
  app_.options.desktopShortcut = true;
}

InstallPageRun::~InstallPageRun() { app_.SetMainDialog(nullptr); }

bool InstallPageRun::Open() {
  if (!wizard_.Create(nullptr)) return false;
  app_.SetMainDialog(&wizard_);
  wizard_.ShowPage(CInstallDlg::InstallPage);
  ui::PumpWaitingMessages();
  return true;
}

bool InstallPageRun::DoInstall() { return Page().DoInstall(); }

CDlgInstall& InstallPageRun::Page() { return static_cast<CDlgInstall&>(wizard_.Page(CInstallDlg::InstallPage)); }

std::wstring InstallPageRun::Status() { return WindowText(GetDlgItem(Page().hwnd(), IDC_STATUS)); }

std::wstring InstallPageRun::Log() { return WindowText(GetDlgItem(Page().hwnd(), IDC_LOG)); }

void ExpectNoTraceOfTheProduct(InstallPageRun& run) {
  const InstallOptions& options = run.options();
  EXPECT_FALSE(kv::open_registry_key(HKEY_LOCAL_MACHINE,
                                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7", KEY_READ));
  EXPECT_FALSE(kv::open_registry_key(HKEY_LOCAL_MACHINE, L"Software\\Veltram & Ruziruzu", KEY_READ));
  HKEY association = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L".gvp", 0, KEY_READ, &association), ERROR_SUCCESS);
  const kv::unique_hkey owned(association);
  ExpectMissing(options.startMenuFolder);
  ExpectMissing(DesktopFolder() + L"\\Gradivo 7.17a.lnk");
  ExpectMissing(DesktopFolder() + L"\\Gradivo Examples");
  ExpectMissing(GetSystemFolder(CSIDL_COMMON_APPDATA, CSIDL_APPDATA) + L"\\Veltram & Ruziruzu");
  ExpectMissing(GetSystemFolder(CSIDL_APPDATA) + L"\\Veltram & Ruziruzu");
  ExpectMissing(options.installFolder + L"\\Uninstall.ulog");
  EXPECT_FALSE(options.temporaryFolder.empty());
  ExpectMissing(options.temporaryFolder);
  EXPECT_TRUE(options.record.entries().empty());
}

int PlacedFileLines(const std::wstring& log) {
  int lines = 0;
  for (std::size_t start = 0, end; (end = log.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
    const std::wstring line = log.substr(start, end - start);
    if (line.rfind(L"Copying File  ", 0) == 0 && line.size() > 5 && line.compare(line.size() - 5, 5, L"...OK") == 0)
      ++lines;
  }
  return lines;
}

std::wstring LastLogLine(const std::wstring& log) {
  const std::size_t end = log.size() >= 3 ? log.rfind(L"\r\n", log.size() - 3) : std::wstring::npos;
  return end == std::wstring::npos ? log : log.substr(end + 2);
}

}  // namespace faults
