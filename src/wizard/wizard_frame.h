#pragma once
// The wizard frame, the one top-level window of the program: it hosts the six pages, shows one at
// a time and owns the navigation (Back, Next, Exit), the pages that quick installation skips, the
// start of the installation on the installation page and the confirmation before leaving early.
// It gives every page the same size, lays out its picture, separator and buttons around them,
// carries the About entry of the system menu and refreshes every text when the language changes.

#include <array>
#include <cstdint>
#include <string>

#include "ui/dialog.h"
#include "wizard/end_page.h"
#include "wizard/folder_page.h"
#include "wizard/install_page.h"
#include "wizard/mode_page.h"
#include "wizard/shortcut_page.h"
#include "wizard/start_page.h"

class CInstallDlg : public ui::Dialog {
 public:
  // The pages in their fixed order; the index is the frame's page number.
  enum PageIndex : std::int32_t { StartPage, ModePage, FolderPage, ShortcutPage, InstallPage, EndPage, PageCount };

  CInstallDlg();

  // Leaves the current page (saving and validating it; a failed validation keeps it) and shows
  // the target page; quick installation passes over the Folder and Shortcut pages in the
  // direction of travel. A target outside the pages changes nothing.
  void ShowPage(std::int32_t target);
  // The captions of Next (Install on the installation page before a successful run), Back and
  // Exit (Cancel before a successful run).
  void UpdateButtonTexts();
  // The caption, the About entry, the buttons and every page, in the current language.
  void RefreshTexts() override;

  // The page shown: 0 to 5, -1 before the first one.
  std::int32_t CurrentPage() const { return current_; }
  // The page of index (0 to 5).
  WizardPage& Page(std::int32_t index) { return *pages_.at(static_cast<std::size_t>(index)); }
  CDlgStart& Start() { return start_; }
  CDlgInstall& Installation() { return install_; }

 protected:
  // Caption, system menu, icon, the pages and their layout, texts, then the Start page.
  bool OnInitDialog() override;
  // Back; Next and Exit arrive as OnOK and OnCancel.
  bool OnCommand(WORD id, WORD code, HWND control) override;
  // Next: the next page or, on the installation page before a successful run, the installation.
  void OnOK() override;
  // Exit, Cancel, Esc, the close box and Alt+F4: leave, after confirmation while the
  // installation is not complete (not asked when a newer version is installed, nor on the Start
  // page of a reinstallation).
  void OnCancel() override;
  // The close box and Alt+F4 (as Exit, also during the run), the About box (system-menu
  // command), the system menu's entries, the maximised size.
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Runs the installation of the installation page and returns its result.
  virtual bool RunInstallation();

 private:
  void OnBack();
  // The system-menu entry that opens the About box, in the current language.
  std::wstring AboutEntryText() const;
  // Adds the About entry and removes Maximize and Size.
  void SetUpSystemMenu();
  // Creates the pages' windows, hidden, in page order.
  void CreatePages();
  // Fits the pages to the area right of the picture and above the separator, enlarging the frame
  // when a page needs more room, and moves the frame's controls accordingly.
  void LayOut();
  // Greys the system menu's Minimize while minimised and Restore while not.
  void UpdateSystemMenu(HMENU menu);
  // The maximised size and position are those of the normal window.
  void KeepSizeWhenMaximised(MINMAXINFO& info);

  CDlgStart start_;
  CDlgMode mode_;
  CDlgPath path_;
  CDlgShortcut shortcut_;
  CDlgInstall install_;
  CDlgEnd end_;
  std::array<WizardPage*, PageCount> pages_{};
  std::int32_t current_ = -1;
  bool installing_ = false;
};

// The About entry of the system menu for the formatted About text: "&", the text and "..." for a
// language written left to right, "..." followed by the text for one written right to left.
// An empty text gives an empty entry (none is added).
std::wstring DecorateAboutEntry(const std::wstring& text, bool rightToLeft);
