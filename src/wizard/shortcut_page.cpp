#include "wizard/shortcut_page.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "app/install_app.h"
#include "dialog_ids.h"
#include "support/folder_browser.h"
#include "support/folder_choice.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

namespace {

// The common Start menu, or the user's when the system has none; empty when neither is known.
std::wstring FindStartMenuRoot() {
  wchar_t root[MAX_PATH] = {};
  if (SHGetSpecialFolderPathW(nullptr, root, CSIDL_COMMON_STARTMENU, FALSE)) return root;
  root[0] = L'\0';
  if (SHGetSpecialFolderPathW(nullptr, root, CSIDL_STARTMENU, FALSE)) return root;
  return {};
}

}  // namespace

std::wstring StartMenuFolderText(const std::wstring& root, const std::wstring& folder) {
  // A folder outside the root keeps its absolute form: its relative form would start with "..\",
  // which canonicalising drops, and saving would then name a folder under the root instead.
  return kv::relative_folder_path(root, folder).value_or(folder);
}

std::optional<std::wstring> StartMenuFolderFromText(const std::wstring& root, const std::wstring& text) {
  if (root.size() >= MAX_PATH || text.size() >= MAX_PATH) return std::nullopt;
  wchar_t combined[MAX_PATH] = {};
  if (!PathCombineW(combined, root.c_str(), text.c_str())) return std::nullopt;
  return std::wstring(combined);
}

CDlgShortcut::CDlgShortcut() : WizardPage(IDD_SHORTCUT_PAGE) {}

bool CDlgShortcut::OnInitDialog() {
  startMenuRoot_ = FindStartMenuRoot();
  WizardPage::OnInitDialog();
  OnMenuShortcutClicked();
  return true;
}

void CDlgShortcut::DoDataExchange(ui::DataExchange& exchange) {
  InstallOptions& options = GetInstallApp().options;
  if (!exchange.Saving()) {
    desktop_ = options.desktopShortcut ? BST_CHECKED : BST_UNCHECKED;
    startMenu_ = options.startMenuShortcuts ? BST_CHECKED : BST_UNCHECKED;
    relativeFolder_ = StartMenuFolderText(startMenuRoot_, options.startMenuFolder);
  }
  exchange.Check(IDC_DESKTOP_SHORTCUT, desktop_);
  exchange.Check(IDC_MENU_SHORTCUT, startMenu_);
  exchange.Text(IDC_FOLDER, relativeFolder_, maxFolderLength);
  if (!exchange.Saving() || exchange.Failed()) return;
  options.desktopShortcut = desktop_ != BST_UNCHECKED;
  options.startMenuShortcuts = startMenu_ != BST_UNCHECKED;
  // A folder the shell's buffer cannot hold is not stored cut short: the previous one stays.
  if (std::optional<std::wstring> folder = StartMenuFolderFromText(startMenuRoot_, relativeFolder_))
    options.startMenuFolder = *std::move(folder);
}

bool CDlgShortcut::OnCommand(WORD id, WORD code, HWND control) {
  if (code == BN_CLICKED && id == IDC_MENU_SHORTCUT) {
    OnMenuShortcutClicked();
    return true;
  }
  if (code == BN_CLICKED && id == IDC_BROWSE) {
    OnBrowse();
    return true;
  }
  return WizardPage::OnCommand(id, code, control);
}

void CDlgShortcut::OnMenuShortcutClicked() {
  const bool ticked = IsDlgButtonChecked(hwnd(), IDC_MENU_SHORTCUT) == BST_CHECKED;
  EnableItem(IDC_FOLDER, ticked);
  EnableItem(IDC_BROWSE, ticked);
}

void CDlgShortcut::OnBrowse() {
  UpdateData(true);
  CInstallApp& app = GetInstallApp();
  std::wstring relative;
  const std::wstring chosen = kv::browse_for_start_menu_folder(
      app.options.startMenuFolder, app.GetProductKeyName(app.product.productCode), GetMessageText(112), relative);
  if (chosen.empty()) return;
  relativeFolder_ = relative;
  app.options.startMenuFolder = chosen;
  UpdateData(false);
}

void CDlgShortcut::RefreshTexts() {
  SetItemText(IDC_START_MENU_GROUP, GetMessageText(9));
  SetItemText(IDC_MENU_SHORTCUT, GetMessageText(112));
  SetItemText(IDC_BROWSE, GetMessageText(8));
  SetItemText(IDC_DESKTOP_SHORTCUT, GetMessageText(113));
  SetStatusText(FormatCatalogueMessage(106, GetMessageText(6)));
}

void CDlgShortcut::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  for (const int id : {IDC_START_MENU_GROUP, IDC_MENU_SHORTCUT, IDC_FOLDER, IDC_DESKTOP_SHORTCUT})
    AdjustItem(id, {.growX = dx});
  AdjustItem(IDC_BROWSE, {.moveX = dx});
}
