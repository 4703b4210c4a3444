// The installation page before a run: the summary of the options in its log, its separator lines
// and its hidden progress bar.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <sstream>
#include <vector>

#include "support/handles.h"
#include "support/paths.h"
#include "wizard_fixture.h"

namespace test {
namespace {

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

// The separator's parts: hyphens before and after the heading.
struct Separator {
  std::size_t before = 0, after = 0;
  std::wstring heading;
};

Separator ParseSeparator(const std::wstring& line) {
  Separator parts;
  parts.before = line.find_first_not_of(L'-');
  if (parts.before == std::wstring::npos) {
    parts.before = line.size();
    return parts;
  }
  const std::size_t last = line.find_last_not_of(L'-');
  parts.after = line.size() - last - 1;
  parts.heading = line.substr(parts.before, last + 1 - parts.before);
  return parts;
}

// The width of text in the log's font.
int LogTextWidth(CDlgInstall& page, const std::wstring& text) {
  kv::unique_window_dc dc(page.Log().hwnd());
  kv::scoped_select font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(page.hwnd(), WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

using InstallationPage = WizardTest;

TEST_F(InstallationPage, SummaryOfTheOptions) {
  app_.options.installFolder = L"C:\\Program Files (x86)\\Veltram & Ruziruzu\\Gradivo 7";
  app_.options.startMenuFolder = L"C:\\Menu\\Gradivo7";
  Open();
  NextTo(CInstallDlg::InstallPage);
  CDlgInstall& page = wizard_.Installation();
  std::vector<std::wstring> lines = Lines(page.Log().Text());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], L"'Gradivo 7.17a' Installation.");
  const Separator heading = ParseSeparator(lines[1]);
  EXPECT_EQ(heading.heading, L" Installation Options ");
  EXPECT_GT(heading.before, 0u);
  EXPECT_TRUE(heading.after == heading.before || heading.after == heading.before + 1) << "the heading is centred";
  EXPECT_EQ(lines[2], L"Installation Folder: \"C:\\Program Files (x86)\\Veltram & Ruziruzu\\Gradivo 7\".");
  EXPECT_EQ(lines[3], L"Creating a Shortcut in the Start Menu (Folder C:\\Menu\\Gradivo7).");
  EXPECT_EQ(lines[4], L"Creating a Shortcut on the Desktop.");
  EXPECT_EQ(lines[5], L"");
  EXPECT_EQ(page.Log().FirstVisibleLine(), 0) << "the summary is shown from its first line";

  // The separator fills the log's width, short of one hyphen on each side.
  RECT client{};
  GetClientRect(page.Log().hwnd(), &client);
  const int available = client.right - LOWORD(SendMessageW(page.Log().hwnd(), EM_GETMARGINS, 0, 0)) -
                        HIWORD(SendMessageW(page.Log().hwnd(), EM_GETMARGINS, 0, 0)) - 2;
  const int width = LogTextWidth(page, lines[1]);
  EXPECT_LE(width, available);
  EXPECT_GT(width, available - 2 * LogTextWidth(page, L"-"));

  // Without shortcuts, going back and coming again writes the summary anew.
  app_.options.startMenuShortcuts = false;
  app_.options.desktopShortcut = false;
  Click(IDC_BACK);
  Click(IDOK);
  lines = Lines(page.Log().Text());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], L"");
}

TEST_F(InstallationPage, LogLinesAndSeparators) {
  Open();
  NextTo(CInstallDlg::InstallPage);
  CDlgInstall& page = wizard_.Installation();
  page.AppendLog(L"");
  page.AppendLog(L"Preparing Installation...");
  page.AppendLog(L"OK\r\n");
  const std::vector<std::wstring> lines = Lines(page.Log().Text());
  ASSERT_GE(lines.size(), 3u);
  const std::wstring& separator = lines[lines.size() - 3];
  EXPECT_FALSE(separator.empty());
  EXPECT_EQ(separator.find_first_not_of(L'-'), std::wstring::npos) << "a full line of hyphens";
  EXPECT_EQ(lines[lines.size() - 2], L"Preparing Installation...OK");
  EXPECT_EQ(lines.back(), L"");
}

TEST_F(InstallationPage, ProgressBarHiddenUntilARun) {
  Open();
  NextTo(CInstallDlg::InstallPage);
  const HWND bar = wizard_.Installation().Progress().hwnd();
  EXPECT_FALSE(IsWindowVisible(bar));
  PBRANGE range{};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(PageText(CInstallDlg::InstallPage, IDC_STATUS), L"Click on 'Install' to start Installation.");
}

TEST(LogPath, QuotedWhenItHasABlank) {
  EXPECT_EQ(kv::quote_spaces(L"C:\\Gradivo"), L"C:\\Gradivo");
  EXPECT_EQ(kv::quote_spaces(L"C:\\Veltram & Ruziruzu"), L"\"C:\\Veltram & Ruziruzu\"");
  EXPECT_EQ(kv::quote_spaces(std::wstring(300, L'a')).size(), 259u) << "a copy of at most 259 characters";
}

}  // namespace
}  // namespace test
