#pragma once
// The Folder page, page 2 of the wizard, shown only in advanced installation: the installation
// folder, typed or chosen with the folder picker. When an earlier installation of the product was
// found the folder is that installation's and cannot be changed.

#include <cstddef>
#include <string>

#include "wizard/wizard_page.h"

class CDlgPath : public WizardPage {
 public:
  // The longest installation folder the page accepts, in characters.
  static constexpr std::size_t maxFolderLength = MAX_PATH;

  CDlgPath();

  // The group box, the label with the product's name, the Browse button and the status line.
  void RefreshTexts() override;
  // The group box, the label and the edit grow in width; Browse moves right with them.
  void Stretch(int dx, int dy) override;

 protected:
  // Loads the folder; when any installed version was found (newer, older or the same), the label
  // and Browse are disabled and the edit is read-only.
  bool OnInitDialog() override;
  // The edit shows installFolder of the options; saving takes the edit's text, at most
  // maxFolderLength characters (a longer one fails with the length message, the folder stays).
  void DoDataExchange(ui::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;

 private:
  // Saves the page, then lets the user choose a folder with the product's folder name kept
  // appended; a chosen folder becomes installFolder and is shown, a cancelled picker changes
  // nothing.
  void OnBrowse();

  // The folder text of the page.
  std::wstring folder_;
};
