#include "app/install_app.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <cstdio>

#include "app/messages.h"
#include "app/process_startup.h"
#include "record/previous_record.h"
#include "resource_ids.h"
#include "support/paths.h"
#include "support/registry.h"
#include "support/security.h"
#include "support/version_info.h"
#include "support/wow64.h"
#include "wizard/wizard_frame.h"

namespace {

// Appends the maker's folder and the product's key name to a folder, in a buffer of the given size.
std::wstring AppendProductFolders(const wchar_t* folder, std::size_t bufferSize, const std::wstring& maker,
                                  const std::wstring& keyName) {
  std::wstring buffer(bufferSize, L'\0');
  lstrcpynW(buffer.data(), folder, static_cast<int>(bufferSize));
  PathAppendW(buffer.data(), maker.c_str());
  PathAppendW(buffer.data(), keyName.c_str());
  buffer.resize(wcslen(buffer.c_str()));
  return buffer;
}

}  // namespace

CInstallApp& GetInstallApp() { return *static_cast<CInstallApp*>(ui::ApplicationBase::Current()); }

CInstallApp::CInstallApp() : singleInstanceMutex(GetApplicationId() + kv::instance_mutex_suffix, false, true) {
  product.applicationId = GetApplicationId();
  product.productCode = 0x0407;
  programIcon.reset(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
}

bool CInstallApp::InitInstance() {
  if (!TakeSingleInstanceMutex()) return false;
  ApplicationBase::InitInstance();
  ResolveLanguage();
  if (!CheckAdministratorRights()) return false;
  if (!WaitForRunningCopies()) return false;
  DetectInstalledProduct();
  ReadPreviousRecord();
  ApplyDefaultFolders();
  // The wizard, the program's main window while it runs; its result is not used.
  CInstallDlg wizard;
  SetMainDialog(&wizard);
  wizard.DoModal(nullptr);
  SetMainDialog(nullptr);
  return false;
}

std::wstring CInstallApp::GetProductName(bool nameOnly) const {
  return nameOnly ? product.productName : product.productName + L" " + product.versionText;
}

std::wstring CInstallApp::GetProductKeyName(std::uint16_t productCode) const {
  return ::GetProductKeyName(productCode);
}

std::wstring CInstallApp::GetInstallerTitle(bool withProduct) const {
  std::wstring title = GetMessageText(0);
  if (withProduct) title += L" \u2013 " + GetProductName(false);
  return title;
}

PreviousInstallState CInstallApp::GetPreviousInstallState(std::wstring* versionText) const {
  const PreviousInstallState state = options.previousState;
  if (versionText && (state == PreviousInstallState::OlderVersion || state == PreviousInstallState::NewerVersion))
    *versionText = options.previousVersionText;
  return state;
}

const std::wstring& CInstallApp::GetInstalledProductPath() {
  if (!installedProductPath_) {
    installedProductPath_.emplace();
    kv::unique_hkey key = kv::open_registry_key(HKEY_LOCAL_MACHINE, L"Software\\" + product.makerFolder, MAXIMUM_ALLOWED);
    if (key) {
      const std::wstring name = GetProductKeyName(product.productCode) + L" Path";
      const std::optional<std::wstring> path = kv::read_registry_string(key.get(), name.c_str());
      if (path && !path->empty() && PathFileExistsW(path->c_str())) *installedProductPath_ = *path;
    }
  }
  return *installedProductPath_;
}

bool CInstallApp::PrepareTemporaryFolder(std::wstring& errorText) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, path);
  if (length == 0 || length > 246) {
    wchar_t text[64] = {};
    std::swprintf(text, 64, L"%08x (%ls)", static_cast<unsigned>(GetLastError()), L"GetTempPath");
    errorText = text;
    return false;
  }
  // boost's random generator draws from the system's cryptographic generator.
  const std::wstring name = L"veltram_{" + boost::uuids::to_wstring(boost::uuids::random_generator()()) + L"}";
  PathAppendW(path, name.c_str());
  options.temporaryFolder = path;
  return true;
}

Language CInstallApp::GetInstalledLanguage() const {
  return chosenLanguage_.value_or(GetLanguageSettings().currentLanguage);
}

void CInstallApp::OnLanguageSelected(Language language) {
  chosenLanguage_ = language;
  SetCurrentLanguage(language);
  if (!IsInstallerLanguage(language)) {
    ShowMessage(FormatMessageText(GetMessageText(129), GetProductName(true)), MB_ICONINFORMATION);
    SetCurrentLanguage(English);
  }
  SetTitle(GetInstallerTitle(true));
  if (ui::Dialog* wizard = GetMainDialog()) wizard->RefreshTexts();
}

void CInstallApp::ReportStartupError(DWORD code) const {
  HWND owner = kv::owner_window();
  UINT style = MB_ICONEXCLAMATION;
  if (kv::is_layout_rtl(owner)) style |= MB_RTLREADING;
  MessageBoxW(owner, kv::error_text(code).c_str(), kv::version_info().display_name_with_version().c_str(), style);
}

bool CInstallApp::TakeSingleInstanceMutex() {
  if (singleInstanceMutex.try_lock()) return true;
  ReportStartupError(ERROR_BUSY);
  return false;
}

bool CInstallApp::CheckAdministratorRights() {
  if (kv::is_user_admin()) return true;
  ShowMessage(GetMessageText(126), MB_ICONEXCLAMATION);
  return false;
}

bool CInstallApp::WaitForRunningCopies() {
  while (kv::instance_count() > 1) {
    const std::wstring text = FormatMessageText(GetMessageText(127), GetProductName(true));
    if (ShowMessage(text, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY) return false;
  }
  return true;
}

void CInstallApp::ResolveLanguage() {
  SetCurrentLanguage(DetectDefaultLanguage(productLanguageMask));
  const std::optional<DWORD> stored = kv::read_registry_dword(
      HKEY_LOCAL_MACHINE, GetUninstallKeyPath(GetProductKeyName(product.productCode)), L"KvLanguage");
  if (stored && IsValidLanguage(*stored) && IsProductLanguage(static_cast<Language>(*stored)))
    SetCurrentLanguage(static_cast<Language>(*stored));
  if (!IsInstallerLanguage(GetLanguageSettings().currentLanguage)) SetCurrentLanguage(English);
  SetTitle(GetInstallerTitle(true));
}

void CInstallApp::DetectInstalledProduct() {
  const std::wstring& path = GetInstalledProductPath();
  if (path.empty()) {
    options.previousState = PreviousInstallState::None;
    return;
  }
  const kv::version_info installed(path);
  if (!installed.fixed_info()) {
    options.previousState = PreviousInstallState::SameVersion;
    return;
  }
  const std::uint64_t version = installed.file_version();
  if (version > product.productVersion) {
    options.previousState = PreviousInstallState::NewerVersion;
    options.previousVersionText = installed.display_name_with_version();
  } else if (version == product.productVersion) {
    options.previousState = PreviousInstallState::SameVersion;
  } else {
    options.previousState = PreviousInstallState::OlderVersion;
    options.previousVersionText = installed.display_name_with_version();
    options.previousVersion = version;
  }
}

void CInstallApp::ReadPreviousRecord() {
  InstallationRecord& record = options.record;
  if (options.previousState != PreviousInstallState::SameVersion &&
      options.previousState != PreviousInstallState::OlderVersion) {
    record.Read(std::nullopt);
    return;
  }
  const std::wstring file = FindPreviousRecord(GetProductKeyName(product.productCode), GetInstalledProductPath());
  if (file.empty()) return;
  record.Read(file);
  options.installFolder = record.previousInstallPath;
  options.startMenuFolder = record.previousShortcutPath;
}

void CInstallApp::ApplyDefaultFolders() {
  const std::wstring keyName = GetProductKeyName(product.productCode);
  if (options.installFolder.empty()) {
    wchar_t programFiles[MAX_PATH + 1] = {};
    SHGetSpecialFolderPathW(nullptr, programFiles, kv::program_files_csidl(), FALSE);
    options.installFolder = AppendProductFolders(programFiles, MAX_PATH + 1, product.makerFolder, keyName);
  }
  if (options.startMenuFolder.empty()) {
    wchar_t programs[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE))
      SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAMS, FALSE);
    options.startMenuFolder = AppendProductFolders(programs, MAX_PATH, product.makerFolder, keyName);
  }
  options.startMenuShortcuts = true;
  options.desktopShortcut = true;
  options.advancedMode = false;
}
