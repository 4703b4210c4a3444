#include "wizard/about_box.h"

#include "app/install_app.h"
#include "dialog_ids.h"
#include "support/version_info.h"
#include "wizard/wizard_texts.h"

namespace {

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

CAboutDlg::CAboutDlg() : ui::Dialog(IDD_ABOUT) {}

bool CAboutDlg::OnInitDialog() {
  ui::Dialog::OnInitDialog();
  std::wstring format = GetMessageText(3);
  if (format.empty()) format = WindowText(hwnd());
  SetWindowTextW(hwnd(), FormatText(format, GetInstallApp().GetInstallerTitle(false)).c_str());

  const kv::version_info program;
  if (const std::wstring name = program.display_name_with_version(); !name.empty()) SetItemText(IDC_ABOUT_NAME, name);
  if (const std::wstring legal = program.legal_text(); !legal.empty()) SetItemText(IDC_ABOUT_LEGAL, legal);
  SetItemText(IDOK, GetMessageText(1));
  return true;
}
