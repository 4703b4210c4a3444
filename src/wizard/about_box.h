#pragma once
// The About box, opened from the wizard's system menu: the program's icon, the name and version
// of the installer program itself from its version block, its copyright line and the maker's
// contact details.

#include "ui/dialog.h"

class CAboutDlg : public ui::Dialog {
 public:
  CAboutDlg();

 protected:
  // Caption and button in the current language; name, version and copyright line from the
  // program's version block, where it has them.
  bool OnInitDialog() override;
};
