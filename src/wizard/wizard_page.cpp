#include "wizard/wizard_page.h"

#include "dialog_ids.h"

void WizardPage::Stretch(int dx, int dy) { AdjustItem(IDC_STATUS, {.moveY = dy, .growX = dx}); }

void WizardPage::Show(bool visible) {
  if (hwnd()) ShowWindow(hwnd(), visible ? SW_SHOW : SW_HIDE);
}

void WizardPage::OnOK() {
  if (HWND frame = GetParent(hwnd())) SendMessageW(frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void WizardPage::OnCancel() {
  if (HWND frame = GetParent(hwnd())) SendMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void WizardPage::SetStatusText(const std::wstring& text) { SetItemText(IDC_STATUS, text); }
