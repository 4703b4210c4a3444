#pragma once
// The wizard in the test's own thread, made as start-up makes it, and what a person does with it:
// clicking buttons, pressing keys, choosing a language; and what a person sees: the page shown,
// texts, enabled and default buttons.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "app/install_app.h"
#include "dialog_ids.h"
#include "wizard/wizard_frame.h"

namespace test {

// The wizard with an installation run whose result the test chooses.
class ScriptedWizard : public CInstallDlg {
 public:
  // What the next runs return.
  bool runResult = true;
  // Number of runs so far.
  int runs = 0;
  // Whether Back, Next and Exit were all disabled during every run so far.
  bool buttonsDisabledDuringRuns = true;
  // Done during a run, as a person could while the run dispatches window messages.
  std::function<void()> duringRun;

 protected:
  bool RunInstallation() override;
};

// A control's text.
std::wstring ItemText(HWND dialog, int id);
// Clicks an enabled button of dialog, as a person would.
void Click(HWND dialog, int id);
// Presses a key in the window of dialog that has the focus, and lets the dialog handle it. When
// another program has taken the keyboard meanwhile (the tests share their display), dialog is
// activated first, as a person would click it, which gives the focus back to its control.
void Press(HWND dialog, UINT key);
// Expects the keyboard focus on window while its dialog is the foreground window; when another
// program has taken the keyboard meanwhile, there is nothing to see.
void ExpectFocus(HWND window);
// The id of dialog's default button, 0 without one.
int DefaultButton(HWND dialog);
// The number of the wizard's pages that are visible.
int VisiblePages(CInstallDlg& wizard);
// Selects item index of the Start page's language box as a person would, with the notification
// that the box sends.
void ChooseLanguageItem(CInstallDlg& wizard, int index);
// The index of language in the Start page's language box, -1 when it is not there.
int LanguageItem(CInstallDlg& wizard, Language language);
// A size in dialog units of dialog, in pixels (as the dialog manager converts template values).
int PixelsX(HWND dialog, int units);
int PixelsY(HWND dialog, int units);

// Each test starts in English with the options that start-up gives on a machine without the
// product (the test sets others before Open); it ends in English again.
class WizardTest : public testing::Test {
 protected:
  WizardTest();
  ~WizardTest() override;

  // Creates the wizard for the options as they are, as the program's main dialog.
  void Open();
  // Shortcuts for the wizard's own controls.
  HWND Frame() const { return wizard_.hwnd(); }
  std::wstring Text(int id) const { return ItemText(Frame(), id); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(Frame(), id)) != FALSE; }
  void Click(int id) { test::Click(Frame(), id); }
  void Press(UINT key) { test::Press(Frame(), key); }
  // A control's text on one of the pages.
  std::wstring PageText(int page, int id) { return ItemText(wizard_.Page(page).hwnd(), id); }
  // Next, as many times as needed to reach the page (asserting progress on every click).
  void NextTo(int page);

  CInstallApp app_;
  ScriptedWizard wizard_;
};

}  // namespace test
