// The Shortcut page: the Start-menu folder shown relative to the Start menu and saved from it, the
// check boxes of the two kinds of shortcuts, and the Start-menu folder picker opened from Browse.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <filesystem>
#include <optional>
#include <string>

#include "page_layout.h"
#include "picker_driver.h"
#include "ui/box_responder.h"
#include "wizard_fixture.h"

namespace test {
namespace {

std::wstring SpecialFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE);
  return folder;
}

const std::wstring startMenu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";

TEST(ShortcutPageFolderText, IsRelativeToTheStartMenuOrTheWholeFolder) {
  const struct {
    std::wstring root;
    std::wstring folder;
    std::wstring text;
  } cases[] = {
      {startMenu, startMenu + L"\\Programs\\Veltram & Ruziruzu\\Gradivo 7", L"Programs\\Veltram & Ruziruzu\\Gradivo 7"},
      {startMenu, startMenu + L"\\Programs", L"Programs"},
      {startMenu, startMenu, L""},
      {startMenu, startMenu + L"\\", L""},
      // No relative form: the folder is shown whole, never with its leading "..\" steps dropped.
      {startMenu, L"C:\\ProgramData\\Other Menu", L"C:\\ProgramData\\Other Menu"},
      {startMenu, startMenu + L" Copy\\Gradivo 7", startMenu + L" Copy\\Gradivo 7"},
      {startMenu, L"D:\\Menus\\Gradivo 7", L"D:\\Menus\\Gradivo 7"},
      {L"", L"D:\\Menus\\Gradivo 7", L"D:\\Menus\\Gradivo 7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.folder << " from " << c.root);
    EXPECT_EQ(StartMenuFolderText(c.root, c.folder), c.text);
  }
}

TEST(ShortcutPageFolderText, IsJoinedWithTheStartMenuByTheShell) {
  const struct {
    std::wstring text;
    std::optional<std::wstring> folder;
  } cases[] = {
      {L"Programs\\Veltram & Ruziruzu\\Gradivo 7", startMenu + L"\\Programs\\Veltram & Ruziruzu\\Gradivo 7"},
      {L"", startMenu},
      {L"Programs\\..\\Tools\\.\\Gradivo 7", startMenu + L"\\Tools\\Gradivo 7"},
      {L"D:\\Menus\\Gradivo 7", L"D:\\Menus\\Gradivo 7"},
      {L"C:\\ProgramData\\Other Menu", L"C:\\ProgramData\\Other Menu"},
      // Nothing rather than a folder cut short.
      {std::wstring(230, L'a'), std::nullopt},
      {L"D:\\" + std::wstring(257, L'a'), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text);
    EXPECT_EQ(StartMenuFolderFromText(startMenu, c.text), c.folder);
  }
}

class ShortcutPage : public WizardTest {
 protected:
  // Opens the wizard in advanced installation and goes on to the Shortcut page.
  void OpenShortcutPage() {
    app_.options.advancedMode = true;
    Open();
    NextTo(CInstallDlg::ShortcutPage);
  }
  HWND Page() { return wizard_.Page(CInstallDlg::ShortcutPage).hwnd(); }
  std::wstring EditText() { return ItemText(Page(), IDC_FOLDER); }
  bool Checked(int id) { return SendMessageW(GetDlgItem(Page(), id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  bool ItemEnabled(int id) { return IsWindowEnabled(GetDlgItem(Page(), id)) != FALSE; }

  const std::wstring commonStartMenu_ = SpecialFolder(CSIDL_COMMON_STARTMENU);
};

TEST_F(ShortcutPage, DefaultStateShowsTheProductFolderUnderTheStartMenu) {
  const std::wstring defaultFolder = app_.options.startMenuFolder;
  OpenShortcutPage();
  const auto& page = static_cast<CDlgShortcut&>(wizard_.Page(CInstallDlg::ShortcutPage));
  EXPECT_EQ(page.StartMenuRoot(), commonStartMenu_);
  EXPECT_TRUE(Checked(IDC_MENU_SHORTCUT));
  EXPECT_TRUE(Checked(IDC_DESKTOP_SHORTCUT));
  EXPECT_EQ(EditText(), L"Programs\\Veltram & Ruziruzu\\Gradivo 7");
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(Page(), IDC_FOLDER), GWL_STYLE) & ES_READONLY) << "the folder cannot be typed";
  EXPECT_TRUE(ItemEnabled(IDC_FOLDER));
  EXPECT_TRUE(ItemEnabled(IDC_BROWSE));

  Click(IDOK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::InstallPage);
  EXPECT_EQ(app_.options.startMenuFolder, defaultFolder);
  EXPECT_TRUE(app_.options.startMenuShortcuts);
  EXPECT_TRUE(app_.options.desktopShortcut);
}

TEST_F(ShortcutPage, UntickingTheMenuBoxDisablesItsFolderAndKeepsIt) {
  const std::wstring defaultFolder = app_.options.startMenuFolder;
  OpenShortcutPage();
  test::Click(Page(), IDC_MENU_SHORTCUT);
  EXPECT_FALSE(Checked(IDC_MENU_SHORTCUT));
  EXPECT_FALSE(ItemEnabled(IDC_FOLDER));
  EXPECT_FALSE(ItemEnabled(IDC_BROWSE));
  SendMessageW(GetDlgItem(Page(), IDC_MENU_SHORTCUT), BM_CLICK, 0, 0);
  EXPECT_TRUE(ItemEnabled(IDC_FOLDER));
  EXPECT_TRUE(ItemEnabled(IDC_BROWSE));
  test::Click(Page(), IDC_MENU_SHORTCUT);
  test::Click(Page(), IDC_DESKTOP_SHORTCUT);
  EXPECT_TRUE(ItemEnabled(IDC_DESKTOP_SHORTCUT)) << "the desktop box has nothing to enable";

  Click(IDOK);
  EXPECT_FALSE(app_.options.startMenuShortcuts);
  EXPECT_FALSE(app_.options.desktopShortcut);
  EXPECT_EQ(app_.options.startMenuFolder, defaultFolder);

  Click(IDC_BACK);
  ASSERT_EQ(wizard_.CurrentPage(), CInstallDlg::ShortcutPage);
  EXPECT_FALSE(Checked(IDC_MENU_SHORTCUT));
  EXPECT_FALSE(Checked(IDC_DESKTOP_SHORTCUT));
  EXPECT_EQ(EditText(), L"Programs\\Veltram & Ruziruzu\\Gradivo 7");
}

TEST_F(ShortcutPage, PageMadeWithoutMenuShortcutsStartsWithItsFolderDisabled) {
  app_.options.startMenuShortcuts = false;
  OpenShortcutPage();
  EXPECT_FALSE(Checked(IDC_MENU_SHORTCUT));
  EXPECT_FALSE(ItemEnabled(IDC_FOLDER));
  EXPECT_FALSE(ItemEnabled(IDC_BROWSE));
}

TEST_F(ShortcutPage, FoldersAreShownRelativeToTheStartMenuOrWholeAndKept) {
  const std::wstring outside = L"D:\\" + std::wstring(257, L'a');  // too long to join with the root again
  const struct {
    std::wstring folder;
    std::wstring shown;
    std::wstring saved;
  } cases[] = {
      {commonStartMenu_ + L"\\Programs\\Tools", L"Programs\\Tools", commonStartMenu_ + L"\\Programs\\Tools"},
      {commonStartMenu_ + L"\\Programs\\.\\Tools", L"Programs\\Tools", commonStartMenu_ + L"\\Programs\\Tools"},
      {commonStartMenu_, L"", commonStartMenu_},
      {L"D:\\Menus\\Gradivo 7", L"D:\\Menus\\Gradivo 7", L"D:\\Menus\\Gradivo 7"},
      {L"C:\\ProgramData\\Other Menu", L"C:\\ProgramData\\Other Menu", L"C:\\ProgramData\\Other Menu"},
      {outside, outside, outside},
  };
  app_.options.advancedMode = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.folder);
    app_.options.startMenuFolder = c.folder;
    ScriptedWizard wizard;
    ASSERT_TRUE(wizard.Create(nullptr));
    wizard.ShowPage(CInstallDlg::ShortcutPage);
    ASSERT_EQ(wizard.CurrentPage(), CInstallDlg::ShortcutPage);
    EXPECT_EQ(ItemText(wizard.Page(CInstallDlg::ShortcutPage).hwnd(), IDC_FOLDER), c.shown);
    wizard.ShowPage(CInstallDlg::InstallPage);
    EXPECT_EQ(wizard.CurrentPage(), CInstallDlg::InstallPage);
    EXPECT_EQ(app_.options.startMenuFolder, c.saved);
  }
}

TEST_F(ShortcutPage, TextsAndLayout) {
  Open();
  const HWND page = Page();
  EXPECT_EQ(ItemText(page, IDC_START_MENU_GROUP), L"Start menu");
  EXPECT_EQ(ItemText(page, IDC_MENU_SHORTCUT), L"Create a Shortcut in the following Menu:");
  EXPECT_EQ(ItemText(page, IDC_BROWSE), L"Browse...");
  EXPECT_EQ(ItemText(page, IDC_DESKTOP_SHORTCUT), L"Create a Shortcut on the Desktop.");
  EXPECT_EQ(ItemText(page, IDC_STATUS), L"Click on 'Next' to continue.");
  ExpectStretchedLayout(page, {278, 105},
                        {{IDC_START_MENU_GROUP, 7, 7, 264, 52, TemplateControl::GrowsRight},
                         {IDC_MENU_SHORTCUT, 16, 23, 245, 8, TemplateControl::GrowsRight},
                         {IDC_FOLDER, 16, 39, 177, 12, TemplateControl::GrowsRight},
                         {IDC_BROWSE, 198, 38, 63, 14, TemplateControl::MovesRight},
                         {IDC_DESKTOP_SHORTCUT, 16, 70, 255, 8, TemplateControl::GrowsRight},
                         {IDC_STATUS, 7, 90, 264, 8, TemplateControl::GrowsRightMovesDown}});
}

// The Start-menu folder picker, opened from Browse on the test session's display, with folders of
// the test's own under the common Programs folder.
class ShortcutPageBrowse : public ShortcutPage {
 protected:
  PickerScratchFolder scratch_{SpecialFolder(CSIDL_COMMON_PROGRAMS)};
  std::wstring folder_ = scratch_.Path();
  // The scratch folder as the page and the picker show it.
  std::wstring relative_ = L"Programs\\" + std::filesystem::path(folder_).filename().wstring();
};

TEST_F(ShortcutPageBrowse, ChosenFolderIsShownRelativeToTheStartMenu) {
  CreateSettledFolder(folder_ + L"\\Gradivo 7");
  CreateSettledFolder(folder_ + L"\\Tools\\Gradivo 7");
  app_.options.startMenuFolder = folder_ + L"\\Gradivo 7";
  OpenShortcutPage();
  EXPECT_EQ(EditText(), relative_ + L"\\Gradivo 7");
  const std::wstring scratchName = std::filesystem::path(folder_).filename().wstring();
  PickerScript script({
      // Wine's dialog cannot select a folder by its path in a tree with a root of its own, so the
      // folder it shows first depends on the prefix; the steps click their way from the top.
      [&](HWND picker) {
        EXPECT_NE(FindWindowExW(picker, nullptr, L"Static", L"Create a Shortcut in the following Menu:"), nullptr);
        ASSERT_TRUE(SelectPickerTreeItem(picker, {scratchName}));
        EXPECT_EQ(PickerEditText(picker), relative_ + L"\\Gradivo 7") << "the product's folder stays appended";
      },
      [&](HWND picker) {
        ASSERT_TRUE(SelectPickerTreeItem(picker, {scratchName, L"Tools"}));
        EXPECT_EQ(PickerEditText(picker), relative_ + L"\\Tools\\Gradivo 7");
      },
      [&](HWND picker) {
        ASSERT_TRUE(SelectPickerTreeItem(picker, {scratchName, L"Tools", L"Gradivo 7"}));
        PressPickerButton(picker, IDOK);
      },
  });
  test::Click(Page(), IDC_BROWSE);
  EXPECT_TRUE(script.Finished());
  EXPECT_TRUE(script.MessageBoxes().empty());
  EXPECT_EQ(app_.options.startMenuFolder, folder_ + L"\\Tools\\Gradivo 7");
  EXPECT_EQ(EditText(), relative_ + L"\\Tools\\Gradivo 7");

  Click(IDOK);
  EXPECT_EQ(app_.options.startMenuFolder, folder_ + L"\\Tools\\Gradivo 7");
}

TEST_F(ShortcutPageBrowse, CancelledPickerChangesNothing) {
  CreateSettledFolder(folder_ + L"\\Gradivo 7");
  app_.options.startMenuFolder = folder_ + L"\\Gradivo 7";
  OpenShortcutPage();
  test::Click(Page(), IDC_DESKTOP_SHORTCUT);
  PickerScript script({[&](HWND picker) { PressPickerButton(picker, IDCANCEL); }});
  test::Click(Page(), IDC_BROWSE);
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(app_.options.startMenuFolder, folder_ + L"\\Gradivo 7");
  EXPECT_EQ(EditText(), relative_ + L"\\Gradivo 7");
  EXPECT_FALSE(app_.options.desktopShortcut) << "the page was saved before the picker opened";
}

}  // namespace
}  // namespace test
