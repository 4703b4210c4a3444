#include "wizard_fixture.h"

#include <commctrl.h>

#include "ui/box_responder.h"
#include "ui/message_pump.h"

namespace test {

bool ScriptedWizard::RunInstallation() {
  ++runs;
  for (const int id : {IDC_BACK, IDOK, IDCANCEL}) {
    if (IsWindowEnabled(Item(id))) buttonsDisabledDuringRuns = false;
  }
  if (duringRun) duringRun();
  return runResult;
}

std::wstring ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

void Click(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  ASSERT_NE(button, nullptr) << "no control " << id;
  ASSERT_TRUE(IsWindowEnabled(button)) << "control " << id << " is disabled";
  SendMessageW(button, BM_CLICK, 0, 0);
  ui::PumpWaitingMessages();
}

void Press(HWND dialog, UINT key) {
  if (GetFocus() != dialog && !IsChild(dialog, GetFocus())) {
    SetForegroundWindow(dialog);
    SetActiveWindow(dialog);
  }
  HWND focus = GetFocus();
  ASSERT_NE(focus, nullptr) << "no window has the focus";
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
  ui::PumpWaitingMessages();
}

void ExpectFocus(HWND window) {
  HWND foreground = GetForegroundWindow();
  if (foreground != GetAncestor(window, GA_ROOT)) return;
  EXPECT_EQ(GetFocus(), window);
}

int DefaultButton(HWND dialog) {
  const LRESULT id = SendMessageW(dialog, DM_GETDEFID, 0, 0);
  return HIWORD(id) == DC_HASDEFID ? LOWORD(id) : 0;
}

int VisiblePages(CInstallDlg& wizard) {
  int visible = 0;
  for (int page = 0; page < CInstallDlg::PageCount; ++page) visible += IsWindowVisible(wizard.Page(page).hwnd()) ? 1 : 0;
  return visible;
}

void ChooseLanguageItem(CInstallDlg& wizard, int index) {
  HWND box = wizard.Start().LanguageBox().hwnd();
  SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(wizard.Start().hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
  ui::PumpWaitingMessages();
}

int LanguageItem(CInstallDlg& wizard, Language language) {
  const ui::ComboBoxEx& box = wizard.Start().LanguageBox();
  for (int i = 0; i < box.Count(); ++i) {
    if (box.ItemData(i) == static_cast<LPARAM>(language)) return i;
  }
  return -1;
}

int PixelsX(HWND dialog, int units) {
  RECT rect{units, 0, 0, 0};
  MapDialogRect(dialog, &rect);
  return rect.left;
}

int PixelsY(HWND dialog, int units) {
  RECT rect{0, units, 0, 0};
  MapDialogRect(dialog, &rect);
  return rect.top;
}

WizardTest::WizardTest() {
  SetCurrentLanguage(English);
  app_.SetTitle(app_.GetInstallerTitle(true));
  app_.ApplyDefaultFolders();
}

WizardTest::~WizardTest() {
  app_.SetMainDialog(nullptr);
  SetCurrentLanguage(English);
  GetLanguageSettings().rightToLeft = false;
}

void WizardTest::Open() {
  ASSERT_TRUE(wizard_.Create(nullptr));
  app_.SetMainDialog(&wizard_);
  ui::PumpWaitingMessages();
}

void WizardTest::NextTo(int page) {
  while (wizard_.CurrentPage() < page) {
    const int before = wizard_.CurrentPage();
    ASSERT_NO_FATAL_FAILURE(Click(IDOK));
    ASSERT_GT(wizard_.CurrentPage(), before) << "Next did not move on from page " << before;
  }
  ASSERT_EQ(wizard_.CurrentPage(), page);
}

}  // namespace test
