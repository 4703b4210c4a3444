// The Folder page: the installation folder typed or chosen with the folder picker, the length
// check when the page is left, and the read-only folder of an update or reinstallation.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "page_layout.h"
#include "picker_driver.h"
#include "ui/box_responder.h"
#include "wizard_fixture.h"

namespace test {
namespace {

constexpr wchar_t lengthMessage[] = L"Enter no more than 260 characters.";

class FolderPage : public WizardTest {
 protected:
  // Opens the wizard in advanced installation and goes on to the Folder page.
  void OpenFolderPage() {
    app_.options.advancedMode = true;
    Open();
    NextTo(CInstallDlg::FolderPage);
  }
  HWND Page() { return wizard_.Page(CInstallDlg::FolderPage).hwnd(); }
  HWND Edit() { return GetDlgItem(Page(), IDC_FOLDER); }
  std::wstring EditText() { return WindowText(Edit()); }
  void Type(const std::wstring& text) { SetWindowTextW(Edit(), text.c_str()); }
};

bool IsReadOnly(HWND edit) { return (GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0; }

TEST_F(FolderPage, TypedFolderReachesTheOptionsOnNextAndOnBack) {
  OpenFolderPage();
  const std::wstring defaultFolder = app_.options.installFolder;
  EXPECT_EQ(EditText(), defaultFolder);
  EXPECT_TRUE(defaultFolder.ends_with(L"\\Veltram & Ruziruzu\\Gradivo 7")) << defaultFolder;
  EXPECT_FALSE(IsReadOnly(Edit()));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(Page(), IDC_BROWSE)));

  Type(L"D:\\Apps\\Gradivo 7");
  EXPECT_EQ(app_.options.installFolder, defaultFolder) << "typing alone changes nothing yet";
  Click(IDOK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::ShortcutPage);
  EXPECT_EQ(app_.options.installFolder, L"D:\\Apps\\Gradivo 7");

  Click(IDC_BACK);
  ASSERT_EQ(wizard_.CurrentPage(), CInstallDlg::FolderPage);
  EXPECT_EQ(EditText(), L"D:\\Apps\\Gradivo 7");
  Type(L"E:\\Other");
  Click(IDC_BACK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::ModePage);
  EXPECT_EQ(app_.options.installFolder, L"E:\\Other");
}

TEST_F(FolderPage, FolderOverTheLimitShowsTheLengthMessageAndKeepsThePage) {
  OpenFolderPage();
  const std::wstring atLimit = L"D:\\" + std::wstring(257, L'a');
  const struct {
    std::wstring text;
    int button;
    bool accepted;
  } cases[] = {
      {atLimit + L"b", IDOK, false},
      {atLimit + L"b", IDC_BACK, false},
      {L"D:\\" + std::wstring(297, L'c'), IDOK, false},
      {atLimit, IDOK, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text.size() << " characters, button " << c.button);
    ASSERT_EQ(wizard_.CurrentPage(), CInstallDlg::FolderPage);
    const std::wstring before = app_.options.installFolder;
    Type(c.text);
    BoxResponder responder(IDOK);
    Click(c.button);
    if (c.accepted) {
      EXPECT_TRUE(responder.Boxes().empty());
      EXPECT_EQ(app_.options.installFolder, c.text);
      EXPECT_NE(wizard_.CurrentPage(), CInstallDlg::FolderPage);
      continue;
    }
    ASSERT_EQ(responder.Boxes().size(), 1u);
    EXPECT_EQ(responder.Boxes()[0].text, lengthMessage);
    EXPECT_EQ(responder.Boxes()[0].caption, app_.GetInstallerTitle(true));
    EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::FolderPage);
    EXPECT_TRUE(IsWindowVisible(Page()));
    EXPECT_EQ(app_.options.installFolder, before);
    ExpectFocus(Edit());
  }
}

TEST_F(FolderPage, EarlierInstallationOfAnyVersionMakesTheFolderReadOnly) {
  app_.options.installFolder = L"D:\\Earlier\\Gradivo 7";
  for (const PreviousInstallState state : {PreviousInstallState::None, PreviousInstallState::SameVersion,
                                           PreviousInstallState::OlderVersion, PreviousInstallState::NewerVersion}) {
    SCOPED_TRACE(testing::Message() << "state " << static_cast<int>(state));
    app_.options.previousState = state;
    ScriptedWizard wizard;
    ASSERT_TRUE(wizard.Create(nullptr));
    const HWND page = wizard.Page(CInstallDlg::FolderPage).hwnd();
    const HWND edit = GetDlgItem(page, IDC_FOLDER);
    const bool changeable = state == PreviousInstallState::None;
    EXPECT_EQ(IsReadOnly(edit), !changeable);
    EXPECT_TRUE(IsWindowEnabled(edit)) << "the folder stays readable";
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)) != FALSE, changeable);
    EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, IDC_FOLDER_LABEL)) != FALSE, changeable);

    // What a key press does to the text.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, L'x', 1);
    EXPECT_EQ(WindowText(edit), changeable ? L"x" : L"D:\\Earlier\\Gradivo 7");
  }
}

TEST_F(FolderPage, TextsAndLayout) {
  Open();
  const HWND page = Page();
  EXPECT_EQ(ItemText(page, IDC_FOLDER_GROUP), L"Installation Folder Selection");
  EXPECT_EQ(ItemText(page, IDC_FOLDER_LABEL), L"Select 'Gradivo' Installation Folder.");
  EXPECT_EQ(ItemText(page, IDC_BROWSE), L"Browse...");
  EXPECT_EQ(ItemText(page, IDC_STATUS), L"Click on 'Next' to continue.");
  ExpectStretchedLayout(page, {278, 86},
                        {{IDC_FOLDER_GROUP, 7, 7, 264, 52, TemplateControl::GrowsRight},
                         {IDC_FOLDER_LABEL, 16, 23, 245, 8, TemplateControl::GrowsRight},
                         {IDC_FOLDER, 16, 39, 177, 12, TemplateControl::GrowsRight},
                         {IDC_BROWSE, 198, 38, 63, 14, TemplateControl::MovesRight},
                         {IDC_STATUS, 7, 71, 264, 8, TemplateControl::GrowsRightMovesDown}});
}

// The folder picker, opened from Browse on the test session's display.
class FolderPageBrowse : public FolderPage {
 protected:
  PickerScratchFolder scratch_{L"C:"};
  std::wstring folder_ = scratch_.Path();
};

TEST_F(FolderPageBrowse, ChosenFolderKeepsTheProductFolderAndIsShown) {
  CreateSettledFolder(folder_ + L"\\Apps\\Gradivo 7");
  OpenFolderPage();
  Type(folder_);
  PickerScript script({
      [&](HWND picker) {
        EXPECT_EQ(PickerEditText(picker), folder_ + L"\\Gradivo 7") << "the typed folder, saved before the picker opened";
        EXPECT_NE(FindWindowExW(picker, nullptr, L"Static", L"Select 'Gradivo' Installation Folder."), nullptr);
      },
      [&](HWND picker) {
        SelectPickerFolder(picker, folder_ + L"\\Apps");
        EXPECT_EQ(PickerEditText(picker), folder_ + L"\\Apps\\Gradivo 7");
      },
      [&](HWND picker) { AcceptPickerFolder(picker, folder_ + L"\\Apps\\Gradivo 7"); },
  });
  test::Click(Page(), IDC_BROWSE);
  EXPECT_TRUE(script.Finished());
  EXPECT_TRUE(script.MessageBoxes().empty());
  EXPECT_EQ(app_.options.installFolder, folder_ + L"\\Apps\\Gradivo 7");
  EXPECT_EQ(EditText(), folder_ + L"\\Apps\\Gradivo 7");
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::FolderPage);
}

TEST_F(FolderPageBrowse, CancelledPickerKeepsTheFolderSavedBeforeIt) {
  OpenFolderPage();
  const std::wstring overLimit = L"D:\\" + std::wstring(258, L'a');
  const struct {
    std::wstring typed;
    std::wstring pickerStart;  // what the picker's edit box shows first
    std::wstring kept;         // installFolder afterwards
    bool lengthMessage;
  } cases[] = {
      {folder_ + L"\\Typed", folder_ + L"\\Typed\\Gradivo 7", folder_ + L"\\Typed", false},
      // The length message, and then the picker starts from the folder saved before.
      {overLimit, folder_ + L"\\Typed\\Gradivo 7", folder_ + L"\\Typed", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.typed.size() << " characters");
    Type(c.typed);
    PickerScript script({[&](HWND picker) {
      EXPECT_EQ(PickerEditText(picker), c.pickerStart);
      PressPickerButton(picker, IDCANCEL);
    }});
    test::Click(Page(), IDC_BROWSE);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(app_.options.installFolder, c.kept);
    if (c.lengthMessage) {
      ASSERT_EQ(script.MessageBoxes().size(), 1u);
      EXPECT_EQ(script.MessageBoxes()[0].text, lengthMessage);
    } else {
      EXPECT_TRUE(script.MessageBoxes().empty());
      EXPECT_EQ(EditText(), c.typed);
    }
  }
}

}  // namespace
}  // namespace test
