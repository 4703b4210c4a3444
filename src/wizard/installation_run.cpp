// The installation run of the installation page: the payload extracted and placed, then the
// steps that connect the product to the system, each reported in the page's log.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <cmath>
#include <cstdio>
#include <system_error>

#include "app/install_app.h"
#include "app/messages.h"
#include "dialog_ids.h"
#include "engine/payload_extractor.h"
#include "engine/product_registration.h"
#include "record/directx_setup.h"
#include "record/record_format.h"
#include "record/shortcuts.h"
#include "support/memory_stream.h"
#include "ui/message_pump.h"
#include "ui/wait_cursor.h"
#include "wizard/install_page.h"

namespace {

// The payload resource: type 260, name 134.
constexpr WORD payloadResourceType = 260;
constexpr WORD payloadResourceName = 134;

std::wstring OkOrFailed(bool succeeded) { return GetMessageText(succeeded ? 11 : 12) + L"\r\n"; }

void MarkReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
}

}  // namespace

std::wstring ErrorCodeText(int value, const std::error_category& category) {
  wchar_t text[32] = {};
  if (category == std::system_category())
    std::swprintf(text, 32, L"1:%08X", static_cast<unsigned>(value));
  else if (category == std::generic_category())
    std::swprintf(text, 32, L"2:%08X", static_cast<unsigned>(value));
  else if (category == compress_category())
    std::swprintf(text, 32, L"%d", value);
  else
    std::swprintf(text, 32, L"%d", static_cast<int>(compress_error::unexpected));
  return text;
}

int ProgressPercent(std::uint64_t processed, std::uint64_t total) {
  if (total == 0) return 0;
  const int percent = static_cast<int>(static_cast<double>(processed) / static_cast<double>(total) * 100.0 + 0.5);
  // 100 only once everything is placed.
  return percent >= 100 && processed < total ? 99 : percent;
}

bool CDlgInstall::DoInstall() {
  CInstallApp& app = GetInstallApp();
  InstallOptions& options = app.options;
  productExePath_.clear();
  uninstallerPath_.clear();
  AppendLog(L"");
  const ui::WaitCursor waiting;
  SetStatusText(GetMessageText(114));

  std::wstring errorText;
  if (!app.PrepareTemporaryFolder(errorText)) {
    const std::wstring text = FormatMessageText(GetMessageText(121), errorText);
    SetStatusText(text);
    AppendLog(text + L"\r\n");
    return false;
  }
  const std::wstring sampleFolder = FormatMessageText(GetMessageText(18), app.GetProductName(true));

  // The run's temporary files go when the list does, whatever the outcome.
  TemporaryFileList temporaryFiles(options.temporaryFolder);
  FilePlacement placement(options, temporaryFiles);
  placement_ = &placement;
  progress_.SetPosition(0);
  ShowWindow(progress_.hwnd(), SW_SHOW);
  kv::basic_imemstream payload = kv::load_resource_stream(MAKEINTRESOURCEW(payloadResourceType), MAKEINTRESOURCEW(payloadResourceName));

  const bool extracted = ExtractPayload(payload, options.installFolder, sampleFolder, options.temporaryFolder,
                                        [&](notification message) { return OnNotification(message, payload); });
  placement_ = nullptr;
  if (!extracted) {
    options.record.Rollback();
    return false;
  }
  productExePath_ = placement.productExePath();
  uninstallerPath_ = placement.uninstallerPath();
  MarkReadOnly(productExePath_);
  MarkReadOnly(uninstallerPath_);

  CreateShortcuts();
  UpdateDirectX();
  ConnectToSystem();
  WriteRecordFile();
  SetStatusText(FormatMessageText(GetMessageText(106), GetMessageText(6)));
  return true;
}

notification::result CDlgInstall::OnNotification(const notification& message, std::istream& payload) {
  const notification::result answer = HandleNotification(message, payload);
  // The page repaints and moves while the run goes on.
  ui::PumpWaitingMessages();
  return answer;
}

notification::result CDlgInstall::HandleNotification(const notification& message, std::istream& payload) {
  if (std::holds_alternative<notification::started>(message)) {
    SetStatusText(GetMessageText(114));
    AppendLog(GetMessageText(114));
    if (!VerifyPayload(payload))
      throw std::system_error(make_error_code(compress_error::unknown), "the payload does not verify");
    payload.clear();
    payload.seekg(0);
    AppendLog(OkOrFailed(true));
    return notification::result::proceed;
  }
  if (const auto* begin = std::get_if<notification::file_begin>(&message)) {
    const FilePlacement::Decision decision = placement_->OnFileBegin(begin->entry);
    if (!decision.text.empty()) {
      PathSetDlgItemPathW(hwnd(), IDC_STATUS, decision.text.c_str());
      AppendLog(decision.text);
    }
    return decision.result;
  }
  if (const auto* end = std::get_if<notification::file_end>(&message)) {
    placement_->OnFileEnd(end->entry);
    AppendLog(OkOrFailed(true));
    return notification::result::proceed;
  }
  if (const auto* progress = std::get_if<notification::progress>(&message)) {
    progress_.SetPosition(ProgressPercent(progress->processed, progress->total));
    return notification::result::proceed;
  }
  if (const auto* failure = std::get_if<notification::failure>(&message)) {
    InstallationRecord& record = GetInstallApp().options.record;
    if (record.entryOpen()) record.CloseEntry(false);
    AppendLog(OkOrFailed(false));
    SetStatusText(FormatMessageText(GetMessageText(121), ErrorCodeText(failure->value, failure->category)));
    return notification::result::abort;
  }
  return notification::result::proceed;  // finished
}

void CDlgInstall::CreateShortcuts() {
  CInstallApp& app = GetInstallApp();
  InstallOptions& options = app.options;
  if (!options.startMenuShortcuts && !options.desktopShortcut) return;
  SetStatusText(GetMessageText(117));
  AppendLog(GetMessageText(117));
  bool succeeded = true;
  const auto shortcut = [&](int which, const std::wstring& folder, const std::wstring& target, const std::wstring& name) {
    options.record.AddShortcut(which, folder);
    std::wstring path;
    if (CreateShortcut(target, folder, name, &path)) {
      options.record.CloseEntry(true, path);
    } else {
      options.record.CloseEntry(false);
      succeeded = false;
    }
  };
  if (options.startMenuShortcuts) {
    shortcut(0, options.startMenuFolder, productExePath_, app.GetProductName(false));
    shortcut(1, options.startMenuFolder, uninstallerPath_,
             FormatMessageText(GetMessageText(13), app.GetProductName(true)));
  }
  if (options.desktopShortcut) shortcut(2, DesktopFolder(), productExePath_, app.GetProductName(false));
  AppendLog(OkOrFailed(succeeded));
}

void CDlgInstall::UpdateDirectX() {
  InstallOptions& options = GetInstallApp().options;
  DirectXSetup setup(options.temporaryFolder);
  if (!setup.available()) return;
  // An update keeps the earlier installation's successful runtime update; a reinstallation of the
  // same version always runs it.
  if (options.previousState != PreviousInstallState::SameVersion && options.record.HasDirectXRuntime()) return;
  options.record.AddDirectXRuntime();
  const std::wstring text = GetMessageText(131);
  SetStatusText(text);
  AppendLog(text);
  const bool succeeded = setup.Run(hwnd());
  options.record.CloseEntry(succeeded, text);
  AppendLog(OkOrFailed(succeeded));
}

void CDlgInstall::ConnectToSystem() {
  CInstallApp& app = GetInstallApp();
  InstallOptions& options = app.options;
  SetStatusText(GetMessageText(118));
  AppendLog(GetMessageText(118));
  UninstallEntry entry;
  entry.keyName = app.product.productKeyName;
  entry.displayName = app.GetProductName(false);
  entry.uninstaller = uninstallerPath_;
  entry.productExePath = productExePath_;
  entry.displayVersion = app.product.displayVersion;
  entry.publisher = app.product.makerFolder;
  entry.webAddress = app.product.webAddress;
  entry.supportTelephone = app.product.supportTelephone;
  entry.language = static_cast<std::uint32_t>(app.GetInstalledLanguage());
  const bool entryWritten = WriteUninstallEntry(options.record, entry);
  // Without the product path a later run would not find the installed product: the line fails.
  const bool pathWritten = WriteProductPath(app.product.makerFolder, app.product.productKeyName, productExePath_);
  const bool registered =
      RunProductRegistration(options.record, app.singleInstanceMutex, productExePath_, options.previousVersion, entryWritten);
  AppendLog(OkOrFailed(registered && pathWritten));
}

void CDlgInstall::WriteRecordFile() {
  InstallOptions& options = GetInstallApp().options;
  SetStatusText(GetMessageText(119));
  AppendLog(GetMessageText(119));
  bool written = false;
  wchar_t path[MAX_PATH] = {};
  lstrcpynW(path, uninstallerPath_.c_str(), MAX_PATH);
  if (!uninstallerPath_.empty() && PathRemoveFileSpecW(path) && PathAppendW(path, recordFileName))
    written = options.record.Write(path, options.installFolder, options.startMenuFolder);
  AppendLog(OkOrFailed(written));
}
