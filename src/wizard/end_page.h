#pragma once
// The End page, page 5, the last page of the wizard: reached after a successful installation
// run, it says that the installation is complete; the only way forward is Exit.

#include "wizard/wizard_page.h"

class CDlgEnd : public WizardPage {
 public:
  CDlgEnd();

  // Empties the completion text (loading the page puts it back) and sets the status line.
  void RefreshTexts() override;
  // The completion text grows in both directions.
  void Stretch(int dx, int dy) override;

 protected:
  // Loading after a successful installation shows the completion text; saving does nothing.
  void DoDataExchange(ui::DataExchange& exchange) override;
};
