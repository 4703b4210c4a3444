#include "wizard/folder_page.h"

#include "app/install_app.h"
#include "dialog_ids.h"
#include "support/folder_browser.h"
#include "ui/controls.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

namespace {

// "Select '<product>' Installation Folder.": the label of the page and the picker's title.
std::wstring SelectFolderText() { return FormatCatalogueMessage(111, GetInstallApp().GetProductName(true)); }

}  // namespace

CDlgPath::CDlgPath() : WizardPage(IDD_FOLDER_PAGE) {}

bool CDlgPath::OnInitDialog() {
  WizardPage::OnInitDialog();
  if (GetInstallApp().options.previousState != PreviousInstallState::None) {
    // An update or reinstallation goes where the installed product is.
    EnableItem(IDC_FOLDER_LABEL, false);
    EnableItem(IDC_BROWSE, false);
    ui::Edit folder;
    folder.Attach(Item(IDC_FOLDER));
    folder.SetReadOnly(true);
  }
  return true;
}

void CDlgPath::DoDataExchange(ui::DataExchange& exchange) {
  InstallOptions& options = GetInstallApp().options;
  if (!exchange.Saving()) folder_ = options.installFolder;
  exchange.Text(IDC_FOLDER, folder_, maxFolderLength);
  if (exchange.Saving() && !exchange.Failed()) options.installFolder = folder_;
}

bool CDlgPath::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_BROWSE && code == BN_CLICKED) {
    OnBrowse();
    return true;
  }
  return WizardPage::OnCommand(id, code, control);
}

void CDlgPath::OnBrowse() {
  // After a failed validation the user has been told; the picker then starts from the folder
  // saved before.
  UpdateData(true);
  CInstallApp& app = GetInstallApp();
  const std::wstring chosen = kv::browse_for_folder(app.options.installFolder,
                                                    app.GetProductKeyName(app.product.productCode), SelectFolderText());
  if (chosen.empty()) return;
  app.options.installFolder = chosen;
  UpdateData(false);
}

void CDlgPath::RefreshTexts() {
  SetItemText(IDC_FOLDER_GROUP, GetMessageText(10));
  SetItemText(IDC_FOLDER_LABEL, SelectFolderText());
  SetItemText(IDC_BROWSE, GetMessageText(8));
  SetStatusText(FormatCatalogueMessage(106, GetMessageText(6)));
}

void CDlgPath::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  for (const int id : {IDC_FOLDER_GROUP, IDC_FOLDER_LABEL, IDC_FOLDER}) AdjustItem(id, {.growX = dx});
  AdjustItem(IDC_BROWSE, {.moveX = dx});
}
