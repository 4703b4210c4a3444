// The wizard frame: its layout around the pages, the journeys through the pages in quick and
// advanced installation, the installation step, the rules for leaving, and the system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "app/messages.h"

#include "ui/box_responder.h"
#include "ui/message_pump.h"
#include "ui/window_geometry.h"
#include "wizard_fixture.h"

namespace test {
namespace {

// The page templates: size and status line, in dialog units.
struct PageTemplate {
  int width, height;
  RECT status;  // left, top, width, height
};
constexpr std::array<PageTemplate, CInstallDlg::PageCount> pageTemplates = {{
    {251, 84, {7, 69, 237, 8}},   // Start
    {279, 82, {7, 67, 265, 8}},   // Mode
    {278, 86, {7, 71, 264, 8}},   // Folder
    {278, 105, {7, 90, 264, 8}},  // Shortcut
    {278, 105, {7, 90, 264, 8}},  // Installation
    {242, 56, {7, 41, 228, 8}},   // End
}};

int Width(const RECT& rect) { return rect.right - rect.left; }
int Height(const RECT& rect) { return rect.bottom - rect.top; }

// A template rectangle (left, top, width, height in dialog units) in pixels, as the dialog
// manager places a control, moved by (dx, dy).
RECT TemplateRect(HWND dialog, int left, int top, int width, int height, int dx = 0, int dy = 0) {
  const int x = PixelsX(dialog, left) + dx, y = PixelsY(dialog, top) + dy;
  return {x, y, x + PixelsX(dialog, width), y + PixelsY(dialog, height)};
}

void ExpectRect(const RECT& actual, const RECT& expected, const char* what) {
  EXPECT_EQ(actual.left, expected.left) << what;
  EXPECT_EQ(actual.top, expected.top) << what;
  EXPECT_EQ(actual.right, expected.right) << what;
  EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

using WizardLayout = WizardTest;

TEST_F(WizardLayout, PagesFillTheAreaBesideThePictureAndTheFrameGrowsForTheWidest) {
  Open();
  const HWND frame = Frame();
  const int panelRight = PixelsX(frame, -3) + PixelsX(frame, 67);
  const int areaWidth = PixelsX(frame, 273) - panelRight;
  const int areaHeight = PixelsY(frame, 112);
  int unionWidth = areaWidth, unionHeight = areaHeight;
  for (const PageTemplate& page : pageTemplates) {
    unionWidth = std::max(unionWidth, PixelsX(frame, page.width));
    unionHeight = std::max(unionHeight, PixelsY(frame, page.height));
  }
  const int dx = unionWidth - areaWidth, dy = unionHeight - areaHeight;
  ASSERT_GT(dx, 0) << "the Mode page is wider than the frame's area";

  for (int page = 0; page < CInstallDlg::PageCount; ++page)
    ExpectRect(ui::ChildRect(wizard_.Page(page).hwnd()), {panelRight, 0, panelRight + unionWidth, unionHeight}, "page");
  RECT client{};
  GetClientRect(frame, &client);
  EXPECT_EQ(client.right, PixelsX(frame, 273) + dx);
  EXPECT_EQ(client.bottom, PixelsY(frame, 139) + dy);

  ExpectRect(ui::ChildRect(GetDlgItem(frame, IDOK)), TemplateRect(frame, 138, 118, 66, 14, dx, dy), "Next");
  ExpectRect(ui::ChildRect(GetDlgItem(frame, IDC_BACK)), TemplateRect(frame, 69, 118, 66, 14, dx, dy), "Back");
  ExpectRect(ui::ChildRect(GetDlgItem(frame, IDCANCEL)), TemplateRect(frame, 216, 118, 50, 14, dx, dy), "Exit");
  // The separator runs under the pages to the frame's right edge (the system may make an etched
  // line a little larger than its template).
  const RECT separator = ui::ChildRect(GetDlgItem(frame, IDC_SEPARATOR));
  EXPECT_EQ(separator.left, PixelsX(frame, 1));
  EXPECT_EQ(separator.top, PixelsY(frame, 112) + dy);
  EXPECT_GE(separator.right, client.right);
  RECT panel = TemplateRect(frame, -3, 0, 67, 112);
  panel.bottom += dy;
  ExpectRect(ui::ChildRect(GetDlgItem(frame, IDC_PICTURE_PANEL)), panel, "white panel");
}

TEST_F(WizardLayout, EveryPageKeepsItsStatusLineAtItsBottom) {
  Open();
  for (int index = 0; index < CInstallDlg::PageCount; ++index) {
    const HWND page = wizard_.Page(index).hwnd();
    const PageTemplate& layout = pageTemplates[static_cast<std::size_t>(index)];
    RECT size{};
    GetClientRect(page, &size);
    const RECT status = ui::ChildRect(GetDlgItem(page, IDC_STATUS));
    const RECT original = TemplateRect(page, layout.status.left, layout.status.top, layout.status.right, layout.status.bottom);
    SCOPED_TRACE(testing::Message() << "page " << index);
    EXPECT_EQ(status.left, original.left);
    EXPECT_EQ(Height(status), Height(original));
    EXPECT_EQ(size.right - status.right, PixelsX(page, layout.width) - original.right) << "right margin";
    EXPECT_EQ(size.bottom - status.bottom, PixelsY(page, layout.height) - original.bottom) << "bottom margin";
  }
}

TEST_F(WizardLayout, StartPageStretchesBoxTextsAndKeepsItsLabel) {
  Open();
  const HWND page = wizard_.Page(CInstallDlg::StartPage).hwnd();
  RECT size{};
  GetClientRect(page, &size);
  const int dx = size.right - PixelsX(page, 251), dy = size.bottom - PixelsY(page, 84);
  ExpectRect(ui::ChildRect(GetDlgItem(page, IDC_LANGUAGE_LABEL)), TemplateRect(page, 7, 9, 141, 8), "label");
  const RECT box = ui::ChildRect(GetDlgItem(page, IDC_LANGUAGE));
  EXPECT_EQ(box.left, PixelsX(page, 149));
  EXPECT_EQ(Width(box), PixelsX(page, 95) + dx);
  ExpectRect(ui::ChildRect(GetDlgItem(page, IDC_COPYRIGHT)), [&] {
    RECT r = TemplateRect(page, 7, 27, 237, 9);
    r.right += dx;
    return r;
  }(), "copyright");
  ExpectRect(ui::ChildRect(GetDlgItem(page, IDC_INFO)), [&] {
    RECT r = TemplateRect(page, 7, 38, 237, 27);
    r.right += dx;
    r.bottom += dy;
    return r;
  }(), "info");
}

using WizardNavigation = WizardTest;

TEST_F(WizardNavigation, QuickInstallationSkipsFolderAndShortcutPagesBothWays) {
  Open();
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::StartPage);
  EXPECT_TRUE(IsWindowVisible(wizard_.Page(CInstallDlg::StartPage).hwnd()));
  EXPECT_EQ(VisiblePages(wizard_), 1);
  EXPECT_EQ(Text(IDOK), L"Next  >");
  EXPECT_EQ(Text(IDC_BACK), L"<  Back");
  EXPECT_EQ(Text(IDCANCEL), L"Cancel");
  EXPECT_FALSE(Enabled(IDC_BACK));
  EXPECT_TRUE(Enabled(IDOK));
  EXPECT_EQ(DefaultButton(Frame()), IDOK);
  ExpectFocus(GetDlgItem(Frame(), IDOK));

  const struct {
    int button;
    int page;
    const wchar_t* next;
  } steps[] = {
      {IDOK, CInstallDlg::ModePage, L"Next  >"},      {IDOK, CInstallDlg::InstallPage, L"Install"},
      {IDC_BACK, CInstallDlg::ModePage, L"Next  >"},  {IDC_BACK, CInstallDlg::StartPage, L"Next  >"},
  };
  for (const auto& step : steps) {
    Click(step.button);
    SCOPED_TRACE(testing::Message() << "page " << step.page);
    EXPECT_EQ(wizard_.CurrentPage(), step.page);
    EXPECT_TRUE(IsWindowVisible(wizard_.Page(step.page).hwnd()));
    EXPECT_EQ(VisiblePages(wizard_), 1);
    EXPECT_EQ(Text(IDOK), step.next);
    EXPECT_EQ(Enabled(IDC_BACK), step.page != CInstallDlg::StartPage);
    EXPECT_EQ(DefaultButton(Frame()), IDOK);
    ExpectFocus(GetDlgItem(Frame(), IDOK));
  }
}

TEST_F(WizardNavigation, AdvancedInstallationShowsEveryPageUntilQuickIsChosenAgain) {
  Open();
  NextTo(CInstallDlg::ModePage);
  const HWND mode = wizard_.Page(CInstallDlg::ModePage).hwnd();
  EXPECT_EQ(SendMessageW(GetDlgItem(mode, IDC_QUICK_MODE), BM_GETCHECK, 0, 0), BST_CHECKED) << "quick is preselected";
  test::Click(mode, IDC_ADVANCED_MODE);
  const int forward[] = {CInstallDlg::FolderPage, CInstallDlg::ShortcutPage, CInstallDlg::InstallPage};
  for (const int page : forward) {
    Click(IDOK);
    EXPECT_EQ(wizard_.CurrentPage(), page);
  }
  EXPECT_TRUE(app_.options.advancedMode);
  const int backward[] = {CInstallDlg::ShortcutPage, CInstallDlg::FolderPage, CInstallDlg::ModePage};
  for (const int page : backward) {
    Click(IDC_BACK);
    EXPECT_EQ(wizard_.CurrentPage(), page);
  }
  EXPECT_EQ(SendMessageW(GetDlgItem(mode, IDC_ADVANCED_MODE), BM_GETCHECK, 0, 0), BST_CHECKED);

  test::Click(mode, IDC_QUICK_MODE);
  Click(IDOK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::InstallPage);
  EXPECT_FALSE(app_.options.advancedMode);
  Click(IDC_BACK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::ModePage);
}

TEST_F(WizardNavigation, TargetsOutsideThePagesChangeNothing) {
  Open();
  wizard_.ShowPage(-1);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::StartPage);
  // Back sent on the Start page (its button is disabled there).
  SendMessageW(Frame(), WM_COMMAND, MAKEWPARAM(IDC_BACK, BN_CLICKED), 0);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::StartPage);
  wizard_.ShowPage(CInstallDlg::PageCount);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::StartPage);
  EXPECT_TRUE(IsWindowVisible(wizard_.Page(CInstallDlg::StartPage).hwnd()));
}

using WizardInstallation = WizardTest;

TEST_F(WizardInstallation, SuccessfulRunLeadsToTheEndPage) {
  Open();
  NextTo(CInstallDlg::InstallPage);
  Click(IDOK);
  EXPECT_EQ(wizard_.runs, 1);
  EXPECT_TRUE(wizard_.buttonsDisabledDuringRuns);
  EXPECT_TRUE(app_.options.installed);
  // The installation page again, with the result.
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::InstallPage);
  EXPECT_EQ(Text(IDOK), L"Next  >");
  EXPECT_EQ(Text(IDCANCEL), L"Exit");
  EXPECT_FALSE(Enabled(IDC_BACK));
  EXPECT_TRUE(Enabled(IDOK));
  EXPECT_TRUE(Enabled(IDCANCEL));

  Click(IDOK);
  EXPECT_EQ(wizard_.runs, 1) << "no second run";
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::EndPage);
  EXPECT_EQ(PageText(CInstallDlg::EndPage, IDC_INFO), L"Installation is complete.");
  EXPECT_EQ(PageText(CInstallDlg::EndPage, IDC_STATUS), L"Click on 'Exit' to exit Installation.");
  EXPECT_FALSE(Enabled(IDOK));
  EXPECT_TRUE(Enabled(IDC_BACK));
  EXPECT_EQ(DefaultButton(Frame()), IDCANCEL);
  ExpectFocus(GetDlgItem(Frame(), IDCANCEL));

  // Next sent on the End page (its button is disabled there) stays on it.
  SendMessageW(Frame(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::EndPage);

  Click(IDC_BACK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::InstallPage);
  EXPECT_FALSE(Enabled(IDC_BACK));
  Click(IDOK);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::EndPage);

  // Enter acts as Exit, the default button; after the installation nothing is asked.
  BoxResponder responder(IDNO);
  Press(VK_RETURN);
  EXPECT_TRUE(responder.Boxes().empty());
  EXPECT_EQ(wizard_.Result(), IDOK);
}

TEST_F(WizardInstallation, FailedRunOffersAnotherRun) {
  wizard_.runResult = false;
  Open();
  NextTo(CInstallDlg::InstallPage);
  Click(IDOK);
  EXPECT_FALSE(app_.options.installed);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::InstallPage);
  EXPECT_EQ(Text(IDOK), L"Install");
  EXPECT_EQ(Text(IDCANCEL), L"Cancel");
  EXPECT_TRUE(Enabled(IDC_BACK));
  EXPECT_TRUE(Enabled(IDOK));
  EXPECT_TRUE(Enabled(IDCANCEL));

  wizard_.runResult = true;
  Click(IDOK);
  EXPECT_EQ(wizard_.runs, 2);
  EXPECT_TRUE(app_.options.installed);
  EXPECT_TRUE(wizard_.buttonsDisabledDuringRuns);
}

TEST_F(WizardInstallation, LeavingDuringTheRunAsksAndEndsWhenTheRunReturns) {
  Open();
  NextTo(CInstallDlg::InstallPage);
  // Esc and then the close box during the run: the first is refused, the second accepted.
  int answers = 0;
  BoxResponder responder([&answers](const SeenBox&) { return ++answers == 1 ? IDNO : IDYES; });
  wizard_.duringRun = [this] {
    ExpectFocus(wizard_.Installation().Log().hwnd());  // the keyboard stays with the log
    Press(VK_ESCAPE);
    EXPECT_FALSE(wizard_.Result());
    SendMessageW(Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ui::PumpWaitingMessages();
  };
  Click(IDOK);
  EXPECT_EQ(responder.Boxes().size(), 2u) << "installed was still false: the user is asked";
  EXPECT_EQ(wizard_.runs, 1) << "the run completed";
  EXPECT_TRUE(app_.options.installed);
  EXPECT_EQ(wizard_.Result(), IDCANCEL) << "the answer was given before the run succeeded";
}

// Whether leaving asks for confirmation, by the state of an earlier installation, the page and
// the outcome of the installation.
TEST(WizardExit, ConfirmationRules) {
  const struct {
    const char* what;
    PreviousInstallState state;
    int page;
    bool installed;
    bool asks;
  } cases[] = {
      {"first installation, Start page", PreviousInstallState::None, CInstallDlg::StartPage, false, true},
      {"update, Start page", PreviousInstallState::OlderVersion, CInstallDlg::StartPage, false, true},
      {"reinstallation, Start page", PreviousInstallState::SameVersion, CInstallDlg::StartPage, false, false},
      {"reinstallation, Mode page", PreviousInstallState::SameVersion, CInstallDlg::ModePage, false, true},
      {"first installation, installation page", PreviousInstallState::None, CInstallDlg::InstallPage, false, true},
      {"newer version installed", PreviousInstallState::NewerVersion, CInstallDlg::StartPage, false, false},
      {"after the installation", PreviousInstallState::None, CInstallDlg::InstallPage, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetCurrentLanguage(English);
    CInstallApp app;
    app.SetTitle(app.GetInstallerTitle(true));
    app.ApplyDefaultFolders();
    app.options.previousState = c.state;
    ScriptedWizard wizard;
    ASSERT_TRUE(wizard.Create(nullptr));
    while (wizard.CurrentPage() < c.page) Click(wizard.hwnd(), IDOK);
    if (c.installed) Click(wizard.hwnd(), IDOK);
    ASSERT_EQ(app.options.installed, c.installed);

    if (c.asks) {
      BoxResponder no(IDNO);
      Click(wizard.hwnd(), IDCANCEL);
      ASSERT_EQ(no.Boxes().size(), 1u);
      const SeenBox& box = no.Boxes()[0];
      EXPECT_EQ(box.text, L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
      EXPECT_EQ(box.caption, L"Installer \u2013 Gradivo 7.17a");
      EXPECT_EQ(box.owner, wizard.hwnd());
      EXPECT_EQ(box.defaultStyleId, IDNO) << "No is the default answer";
      EXPECT_TRUE(box.items.count(IDYES) && box.items.count(IDNO));
      EXPECT_FALSE(wizard.Result()) << "No keeps the wizard open";
    }
    BoxResponder yes(IDYES);
    Click(wizard.hwnd(), IDCANCEL);
    EXPECT_EQ(yes.Boxes().size(), c.asks ? 1u : 0u);
    EXPECT_EQ(wizard.Result(), c.installed ? IDOK : IDCANCEL);
  }
}

TEST_F(WizardTest, EscAndTheCloseBoxAskLikeExit) {
  Open();
  NextTo(CInstallDlg::ModePage);
  {
    BoxResponder no(IDNO);
    Press(VK_ESCAPE);
    SendMessageW(Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(no.Boxes().size(), 2u);
    EXPECT_FALSE(wizard_.Result());
  }
  BoxResponder yes(IDYES);
  SendMessageW(Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(wizard_.Result(), IDCANCEL);
}

TEST_F(WizardTest, NewerVersionKeepsNextDisabled) {
  app_.options.previousState = PreviousInstallState::NewerVersion;
  app_.options.previousVersionText = L"Gradivo 7.18";
  Open();
  EXPECT_FALSE(Enabled(IDOK));
  EXPECT_FALSE(Enabled(IDC_BACK));
  ExpectFocus(GetDlgItem(Frame(), IDCANCEL));
  // Enter does nothing: the default Next is disabled.
  Press(VK_RETURN);
  EXPECT_EQ(wizard_.CurrentPage(), CInstallDlg::StartPage);
  EXPECT_FALSE(wizard_.Result());
}

TEST_F(WizardTest, CaptionAndIcon) {
  Open();
  EXPECT_EQ(WindowText(Frame()), L"Installer \u2013 Gradivo 7.17a");
  ASSERT_TRUE(app_.programIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(Frame(), WM_GETICON, ICON_BIG, 0)), app_.programIcon.get());
}

using WizardSystemMenu = WizardTest;

std::wstring MenuText(HMENU menu, UINT command) {
  wchar_t text[128] = {};
  GetMenuStringW(menu, command, text, 128, MF_BYCOMMAND);
  return text;
}

TEST_F(WizardSystemMenu, AboutEntryAtTheEndAndNoMaximizeOrSize) {
  Open();
  HMENU menu = GetSystemMenu(Frame(), FALSE);
  ASSERT_NE(menu, nullptr);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_TRUE(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
  EXPECT_EQ(MenuText(menu, IDM_ABOUTBOX), L"&About 'Installer'...");
  EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
}

TEST_F(WizardSystemMenu, RightToLeftLanguageLeadsWithTheEllipsis) {
  GetLanguageSettings().rightToLeft = true;
  Open();
  EXPECT_EQ(MenuText(GetSystemMenu(Frame(), FALSE), IDM_ABOUTBOX), L"...About 'Installer'");
  EXPECT_EQ(DecorateAboutEntry(L"", false), L"");
}

TEST_F(WizardSystemMenu, MinimizeAndRestoreFollowTheWindowState) {
  Open();
  HMENU menu = GetSystemMenu(Frame(), FALSE);
  const auto greyed = [&](UINT command) { return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED) != 0; };
  SendMessageW(Frame(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
  EXPECT_FALSE(greyed(SC_MINIMIZE));
  EXPECT_TRUE(greyed(SC_RESTORE));
  ShowWindow(Frame(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(Frame()));
  SendMessageW(Frame(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
  EXPECT_TRUE(greyed(SC_MINIMIZE));
  EXPECT_FALSE(greyed(SC_RESTORE));
  ShowWindow(Frame(), SW_RESTORE);
}

TEST_F(WizardSystemMenu, MaximisingKeepsTheWindowAsItIs) {
  Open();
  RECT before{};
  GetWindowRect(Frame(), &before);
  MINMAXINFO info{};
  SendMessageW(Frame(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMaxSize.x, Width(before));
  EXPECT_EQ(info.ptMaxSize.y, Height(before));
  EXPECT_EQ(info.ptMaxPosition.x, before.left);
  EXPECT_EQ(info.ptMaxPosition.y, before.top);

  ShowWindow(Frame(), SW_MAXIMIZE);
  ui::PumpWaitingMessages();
  RECT maximised{};
  GetWindowRect(Frame(), &maximised);
  ExpectRect(maximised, before, "maximised frame");
  ShowWindow(Frame(), SW_RESTORE);
}

TEST_F(WizardTest, AboutBoxShowsTheProgramsVersionBlockInTheWizardsLanguage) {
  const struct {
    Language language;
    const wchar_t* caption;
  } cases[] = {{English, L"About 'Installer'"}, {German, L"\u00dcber 'Installationsprogramm'"}};
  for (const auto& c : cases) {
    SetCurrentLanguage(c.language);
    ScriptedWizard wizard;
    ASSERT_TRUE(wizard.Create(nullptr));
    BoxResponder responder(IDOK);
    SendMessageW(wizard.hwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    ASSERT_EQ(responder.Boxes().size(), 1u);
    const SeenBox& about = responder.Boxes()[0];
    EXPECT_EQ(about.caption, c.caption);
    EXPECT_EQ(about.owner, wizard.hwnd());
    EXPECT_EQ(about.items.at(IDC_ABOUT_NAME), L"Install 2.04a");
    EXPECT_EQ(about.items.at(IDC_ABOUT_LEGAL), L"Copyright \u00a9 2026 Veltram & Ruziruzu");
    EXPECT_EQ(about.items.at(IDOK), GetMessageText(1));
    EXPECT_NE(about.text.find(L"https://www.veltram-ruziruzu.example"), std::wstring::npos);
    EXPECT_FALSE(wizard.Result()) << "the wizard stays after the About box";
  }
}

}  // namespace
}  // namespace test
