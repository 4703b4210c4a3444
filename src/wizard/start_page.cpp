#include "wizard/start_page.h"

#include <algorithm>

#include "app/install_app.h"
#include "dialog_ids.h"
#include "support/handles.h"
#include "ui/data_exchange.h"
#include "wizard/wizard_texts.h"

namespace {

// The width in pixels that the widest item text of box takes in font, on a device context of the
// box's inner combo box.
int WidestItemText(const ui::ComboBoxEx& box, HFONT font) {
  HWND combo = box.ComboControl();
  kv::unique_window_dc dc(combo);
  if (!dc) return 0;
  kv::scoped_select selection(dc.get(), font);
  int widest = 0;
  for (int i = 0; i < box.Count(); ++i) {
    const std::wstring text = box.ItemText(i);
    SIZE size{};
    if (GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size))
      widest = std::max(widest, static_cast<int>(size.cx));
  }
  return widest;
}

}  // namespace

CDlgStart::CDlgStart() : WizardPage(IDD_START_PAGE) {}

bool CDlgStart::OnInitDialog() {
  WizardPage::OnInitDialog();
  flags_.Create(18, 12, ILC_COLOR24, 8, 1);
  languageBox_.SetImageList(flags_.get());
  const int selected = AddLanguages();
  FitDroppedWidth();
  languageBox_.SetCurrentSelection(selected);
  return true;
}

int CDlgStart::AddLanguages() {
  const Language current = GetLanguageSettings().currentLanguage;
  int selected = -1;
  int position = 0;
  for (const Language language : offeredLanguages) {
    // A flag that cannot be loaded leaves its item without a picture; the item is still added.
    const kv::unique_hicon flag(static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(GetLanguageFlagIcon(language)), IMAGE_ICON, 16, 12, LR_DEFAULTCOLOR)));
    const int image = flags_.AddIcon(flag.get());
    const int index = languageBox_.InsertItem(position++, GetLanguageDisplayName(language), image, language);
    if (language == current) selected = index;
  }
  return selected;
}

void CDlgStart::FitDroppedWidth() {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
  languageBox_.SetDroppedWidth(WidestItemText(languageBox_, font) + 30);
}

void CDlgStart::DoDataExchange(ui::DataExchange& exchange) { exchange.Control(IDC_LANGUAGE, languageBox_); }

bool CDlgStart::OnCommand(WORD id, WORD code, HWND control) {
  if (id == IDC_LANGUAGE && code == CBN_SELCHANGE) {
    OnLanguageChange();
    return true;
  }
  return WizardPage::OnCommand(id, code, control);
}

void CDlgStart::OnLanguageChange() {
  const int selected = languageBox_.CurrentSelection();
  if (selected == -1) return;
  const std::optional<LPARAM> language = languageBox_.ItemData(selected);
  if (!language) return;
  GetInstallApp().OnLanguageSelected(static_cast<Language>(*language));
}

void CDlgStart::RefreshTexts() {
  const CInstallApp& app = GetInstallApp();
  std::wstring versionText;
  const PreviousInstallState state = app.GetPreviousInstallState(&versionText);
  const std::wstring product = app.GetProductName(false);
  std::wstring info;
  std::wstring status;
  switch (state) {
    case PreviousInstallState::None:
      info = FormatCatalogueMessage(100, product);
      status = FormatCatalogueMessage(106, GetMessageText(6));
      break;
    case PreviousInstallState::SameVersion:
      info = FormatCatalogueMessage(102, product) + L"\r\n" + GetMessageText(104);
      status = FormatCatalogueMessage(105, GetMessageText(6), GetMessageText(2));
      break;
    case PreviousInstallState::OlderVersion:
      info = FormatCatalogueMessage(101, versionText, product);
      status = FormatCatalogueMessage(106, GetMessageText(6));
      break;
    case PreviousInstallState::NewerVersion:
      info = FormatCatalogueMessage(100, product) + L"\r\n" + FormatCatalogueMessage(103, versionText);
      status = FormatCatalogueMessage(107, GetMessageText(2));
      break;
  }
  SetItemText(IDC_INFO, info);
  SetStatusText(status);
  SetItemText(IDC_COPYRIGHT, FormatCatalogueMessage(109, product));
  SetItemText(IDC_LANGUAGE_LABEL, GetMessageText(14));
}

void CDlgStart::Stretch(int dx, int dy) {
  WizardPage::Stretch(dx, dy);
  AdjustItem(IDC_LANGUAGE, {.growX = dx});
  AdjustItem(IDC_COPYRIGHT, {.growX = dx});
  AdjustItem(IDC_INFO, {.growX = dx, .growY = dy});
}
