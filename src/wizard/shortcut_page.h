#pragma once
// The Shortcut page, page 3 of the wizard, shown only in advanced installation: the Start-menu
// shortcuts and their folder, and the desktop shortcut. The folder is shown relative to the Start
// menu and is chosen with the Start-menu folder picker; it cannot be typed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "wizard/wizard_page.h"

class CDlgShortcut : public WizardPage {
 public:
  // The longest folder text the page accepts, in characters.
  static constexpr std::size_t maxFolderLength = MAX_PATH;

  CDlgShortcut();

  // The group box, the two check boxes, the Browse button and the status line.
  void RefreshTexts() override;
  // The group box, the Start-menu check box, the edit and the desktop check box grow in width;
  // Browse moves right with them.
  void Stretch(int dx, int dy) override;

  // The Start menu the folder is shown relative to: the common one, or the user's when the
  // system has no common one. Empty before the page is created.
  const std::wstring& StartMenuRoot() const { return startMenuRoot_; }

 protected:
  // Finds the Start-menu root, loads the page and enables the folder's controls by the check box.
  bool OnInitDialog() override;
  // The check boxes show startMenuShortcuts and desktopShortcut, the edit startMenuFolder relative
  // to the Start-menu root. Saving takes the check boxes' states and joins the root with the
  // edit's text into startMenuFolder.
  void DoDataExchange(ui::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;

 private:
  // The folder's edit and Browse are enabled while the Start-menu check box is ticked.
  void OnMenuShortcutClicked();
  // Saves the page, then lets the user choose a Start-menu folder with the product's folder name
  // kept appended; a chosen folder becomes startMenuFolder and is shown, a cancelled picker
  // changes nothing.
  void OnBrowse();

  std::int32_t desktop_ = 0;
  std::int32_t startMenu_ = 0;
  // The folder as the edit shows it.
  std::wstring relativeFolder_;
  std::wstring startMenuRoot_;
};

// The text that shows folder on the Shortcut page: folder relative to root without a leading
// ".\" (empty for root itself), or folder itself when it lies outside root or on another drive,
// so that joining the text with root gives folder back.
std::wstring StartMenuFolderText(const std::wstring& root, const std::wstring& folder);

// The folder that text of the Shortcut page names: root joined with text by the shell
// (PathCombineW), normalised; an absolute text is taken as it is. Nothing when the result does not
// fit in 260 characters.
std::optional<std::wstring> StartMenuFolderFromText(const std::wstring& root, const std::wstring& text);
