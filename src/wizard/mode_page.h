#pragma once
// The Mode page, page 1 of the wizard: quick installation (the default folder and shortcuts; the
// frame skips the Folder and Shortcut pages) or advanced installation, which shows them.

#include <cstdint>

#include "wizard/wizard_page.h"

class CDlgMode : public WizardPage {
 public:
  CDlgMode();

  // The group box, the two choices and the status line.
  void RefreshTexts() override;
  // The group box and the choices grow in width.
  void Stretch(int dx, int dy) override;

 protected:
  // The radio group shows and sets advancedMode of the options.
  void DoDataExchange(ui::DataExchange& exchange) override;

 private:
  // The selected button of the group: 0 quick, 1 advanced, -1 before the first exchange.
  std::int32_t mode_ = -1;
};
