#include "wizard/end_page.h"

#include "app/install_app.h"
#include "dialog_ids.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

CDlgEnd::CDlgEnd() : WizardPage(IDD_END_PAGE) {}

void CDlgEnd::DoDataExchange(ui::DataExchange& exchange) {
  if (!exchange.Saving() && GetInstallApp().options.installed) SetItemText(IDC_INFO, GetMessageText(120));
}

void CDlgEnd::RefreshTexts() {
  SetItemText(IDC_INFO, L"");
  SetStatusText(FormatCatalogueMessage(107, GetMessageText(4)));
}

void CDlgEnd::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  AdjustItem(IDC_INFO, {.growX = dx, .growY = dy});
}
