#include "wizard/mode_page.h"

#include "app/install_app.h"
#include "dialog_ids.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

CDlgMode::CDlgMode() : WizardPage(IDD_MODE_PAGE) {}

void CDlgMode::DoDataExchange(ui::DataExchange& exchange) {
  InstallOptions& options = GetInstallApp().options;
  if (!exchange.Saving()) mode_ = options.advancedMode ? 1 : 0;
  exchange.RadioGroup(IDC_QUICK_MODE, mode_);
  if (exchange.Saving() && !exchange.Failed()) options.advancedMode = mode_ == 1;
}

void CDlgMode::RefreshTexts() {
  SetItemText(IDC_MODE_GROUP, GetMessageText(15));
  SetItemText(IDC_QUICK_MODE, GetMessageText(16));
  SetItemText(IDC_ADVANCED_MODE, GetMessageText(17));
  SetStatusText(FormatCatalogueMessage(106, GetMessageText(6)));
}

void CDlgMode::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  for (const int id : {IDC_MODE_GROUP, IDC_QUICK_MODE, IDC_ADVANCED_MODE}) AdjustItem(id, {.growX = dx});
}
