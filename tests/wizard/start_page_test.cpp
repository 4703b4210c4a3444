// The Start page: what it says for each state of an earlier installation, the language box, and
// a language chosen in it changing the whole wizard.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "support/handles.h"
#include "ui/box_responder.h"
#include "ui/message_pump.h"
#include "wizard_fixture.h"

namespace test {
namespace {

using StartPage = WizardTest;

TEST_F(StartPage, TextsForEachStateOfAnEarlierInstallation) {
  const struct {
    PreviousInstallState state;
    const wchar_t* versionText;
    const wchar_t* info;
    const wchar_t* status;
  } cases[] = {
      {PreviousInstallState::None, L"", L"'Gradivo 7.17a' Installation.", L"Click on 'Next' to continue."},
      {PreviousInstallState::SameVersion, L"", L"'Gradivo 7.17a' is already installed.\r\nDo you confirm Reinstallation ?",
       L"Click on 'Next' to continue or on 'Cancel' to exit Installation."},
      {PreviousInstallState::OlderVersion, L"Gradivo 7.17.0.9", L"Update from 'Gradivo 7.17.0.9' to 'Gradivo 7.17a'.",
       L"Click on 'Next' to continue."},
      {PreviousInstallState::NewerVersion, L"Gradivo 7.18",
       L"'Gradivo 7.17a' Installation.\r\nA more recent Version (Gradivo 7.18) is already installed.",
       L"Click on 'Cancel' to exit Installation."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << static_cast<int>(c.state));
    app_.options.previousState = c.state;
    app_.options.previousVersionText = c.versionText;
    ScriptedWizard wizard;
    ASSERT_TRUE(wizard.Create(nullptr));
    const HWND page = wizard.Page(CInstallDlg::StartPage).hwnd();
    EXPECT_EQ(ItemText(page, IDC_INFO), c.info);
    EXPECT_EQ(ItemText(page, IDC_STATUS), c.status);
    EXPECT_EQ(ItemText(page, IDC_COPYRIGHT), L"") << "the copyright message has no text";
    EXPECT_EQ(ItemText(page, IDC_LANGUAGE_LABEL), L"Select Installation Langage");
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(wizard.hwnd(), IDOK)) != FALSE, c.state != PreviousInstallState::NewerVersion);
  }
}

TEST_F(StartPage, LanguageBoxOffersTheProductLanguagesWithFlags) {
  Open();
  const ui::ComboBoxEx& box = wizard_.Start().LanguageBox();
  const Language expected[] = {French, English, German, Spanish, Portuguese, Dutch,
                               Greek,  Turkish, Romanian, Japanese, Hungarian};
  ASSERT_EQ(box.Count(), 11);
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(testing::Message() << "item " << i);
    EXPECT_EQ(box.ItemData(i), static_cast<LPARAM>(expected[i]));
    EXPECT_EQ(box.ItemText(i), GetLanguageDisplayName(expected[i]));
    EXPECT_FALSE(box.ItemText(i).empty());
    EXPECT_EQ(box.ItemImage(i), i) << "each item has its own flag";
  }
  EXPECT_EQ(box.CurrentSelection(), 1) << "English, the current language";
  EXPECT_EQ(wizard_.Start().Flags().Count(), 11);
  int width = 0, height = 0;
  ImageList_GetIconSize(wizard_.Start().Flags().get(), &width, &height);
  EXPECT_EQ(width, 18);
  EXPECT_EQ(height, 12);

  // The drop-down list is as wide as the widest name with room for its flag.
  HWND combo = box.ComboControl();
  kv::unique_window_dc dc(combo);
  kv::scoped_select font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(wizard_.Start().hwnd(), WM_GETFONT, 0, 0)));
  int widest = 0;
  for (int i = 0; i < box.Count(); ++i) {
    SIZE size{};
    const std::wstring text = box.ItemText(i);
    GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, static_cast<int>(size.cx));
  }
  // The list is never narrower than the box itself.
  RECT boxRect{};
  GetWindowRect(combo, &boxRect);
  EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), std::max(widest + 30, static_cast<int>(boxRect.right - boxRect.left)));
}

TEST_F(StartPage, LanguageOutsideTheBoxSelectsNothing) {
  SetCurrentLanguage(Italian);  // has installer texts but is not a product language
  Open();
  EXPECT_EQ(wizard_.Start().LanguageBox().CurrentSelection(), -1);
  EXPECT_EQ(wizard_.Start().LanguageBox().Count(), 11);
}

using WizardLanguage = WizardTest;

TEST_F(WizardLanguage, ChoosingGermanChangesEveryTextAtOnce) {
  Open();
  ChooseLanguageItem(wizard_, LanguageItem(wizard_, German));
  EXPECT_EQ(GetLanguageSettings().currentLanguage, German);
  EXPECT_EQ(wizard_.Start().LanguageBox().CurrentSelection(), LanguageItem(wizard_, German));

  const std::wstring title = L"Installationsprogramm \u2013 Gradivo 7.17a";
  EXPECT_EQ(app_.GetTitle(), title);
  EXPECT_EQ(WindowText(Frame()), title);
  wchar_t about[128] = {};
  GetMenuStringW(GetSystemMenu(Frame(), FALSE), IDM_ABOUTBOX, about, 128, MF_BYCOMMAND);
  EXPECT_STREQ(about, L"&\u00dcber 'Installationsprogramm'...");
  EXPECT_EQ(Text(IDOK), L"Weiter  >");
  EXPECT_EQ(Text(IDC_BACK), L"<  Zur\u00fcck");
  EXPECT_EQ(Text(IDCANCEL), L"Abbrechen");

  const std::wstring next = L"Klicken Sie auf 'Weiter', um fortzufahren.";
  const struct {
    int page, id;
    std::wstring text;
  } texts[] = {
      {CInstallDlg::StartPage, IDC_LANGUAGE_LABEL, L"Installationssprache ausw\u00e4hlen"},
      {CInstallDlg::StartPage, IDC_INFO, L"Installation von 'Gradivo 7.17a'."},
      {CInstallDlg::StartPage, IDC_STATUS, next},
      {CInstallDlg::ModePage, IDC_MODE_GROUP, L"Installationsart"},
      {CInstallDlg::ModePage, IDC_QUICK_MODE, L"Schnellinstallation (empfohlen)"},
      {CInstallDlg::ModePage, IDC_ADVANCED_MODE, L"Erweiterte Installation"},
      {CInstallDlg::ModePage, IDC_STATUS, next},
      {CInstallDlg::FolderPage, IDC_STATUS, next},
      {CInstallDlg::ShortcutPage, IDC_STATUS, next},
      {CInstallDlg::InstallPage, IDC_STATUS, L"Klicken Sie auf 'Installieren', um die Installation zu starten."},
      {CInstallDlg::EndPage, IDC_STATUS, L"Klicken Sie auf 'Beenden', um die Installation zu beenden."},
  };
  for (const auto& t : texts) EXPECT_EQ(PageText(t.page, t.id), t.text) << "page " << t.page << ", control " << t.id;

  NextTo(CInstallDlg::InstallPage);
  EXPECT_EQ(Text(IDOK), L"Installieren");
  EXPECT_NE(wizard_.Installation().Log().Text().find(L"Installationsoptionen"), std::wstring::npos);
}

TEST_F(WizardLanguage, KeyboardChoiceInTheBox) {
  Open();
  HWND combo = wizard_.Start().LanguageBox().ComboControl();
  SetFocus(combo);
  // English is item 1; the next one down is German.
  SendMessageW(combo, WM_KEYDOWN, VK_DOWN, 1);
  ui::PumpWaitingMessages();
  EXPECT_EQ(GetLanguageSettings().currentLanguage, German);
  EXPECT_EQ(Text(IDCANCEL), L"Abbrechen");
}

TEST_F(WizardLanguage, LanguageWithoutInstallerTextsKeepsEnglishAfterANotice) {
  Open();
  BoxResponder responder(IDOK);
  const int greek = LanguageItem(wizard_, Greek);
  ChooseLanguageItem(wizard_, greek);
  ASSERT_EQ(responder.Boxes().size(), 1u);
  EXPECT_EQ(responder.Boxes()[0].text,
            L"'Gradivo' will be installed in the selected Langage, but the Installer, still under translation,  shall "
            L"run in English.");
  EXPECT_EQ(responder.Boxes()[0].caption, L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(GetLanguageSettings().currentLanguage, English);
  EXPECT_EQ(wizard_.Start().LanguageBox().CurrentSelection(), greek) << "the box keeps the user's choice";
  EXPECT_EQ(Text(IDOK), L"Next  >");
  EXPECT_EQ(PageText(CInstallDlg::StartPage, IDC_LANGUAGE_LABEL), L"Select Installation Langage");
}

}  // namespace
}  // namespace test
