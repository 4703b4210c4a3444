// A first installation on a clean machine, clicked through the real installer's wizard: quick in
// English with the defaults, and advanced in German into a typed folder without the desktop
// shortcut. Afterwards every trace the installation must leave is checked on the machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "support/wow64.h"

namespace lifecycle {
namespace {

// The logs through which the stand-in product and the DirectX stand-in tell that they ran.
struct StandInLogs {
  std::wstring product = ScratchFile(L"product.log");
  std::wstring directX = ScratchFile(L"dsetup.log");
  Environment Variables() const { return {{L"GRADIVO_PRODUCT_LOG", product}, {L"GRADIVO_DSETUP_LOG", directX}}; }
};

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// The product ran once in its registration mode, from its folder, and registered its project
// files; the DirectX stand-in ran once from the run's temporary folder.
void ExpectProductAndDirectXRan(const StandInLogs& logs, const Destinations& destinations) {
  EXPECT_EQ(TextLines(logs.product),
            (std::vector<std::wstring>{L"command \"" + destinations.ProductPath() + L"\" /Register /Background",
                                       L"folder " + destinations.installFolder}));
  EXPECT_EQ(ProjectFileType(), L"Gradivo.Project");
  const std::vector<std::wstring> calls = TextLines(logs.directX);
  ASSERT_EQ(calls.size(), 1u);
  const std::wstring temporary = std::filesystem::temp_directory_path().wstring();
  EXPECT_EQ(calls[0].rfind(L"DirectXSetupW flags=0x10018 folder=" + temporary + L"veltram_{", 0), 0u)
      << testing::PrintToString(calls[0]);
}

// The record file holds exactly the lines that the installation's changes give, in order.
void ExpectRecordLines(const Destinations& destinations, const std::vector<std::wstring>& expectedEntries) {
  ExpectRecordOfInstallation(destinations);
  const RecordFile record = ReadRecordFile(destinations.RecordPath());
  ASSERT_GE(record.lines.size(), 6u);
  EXPECT_EQ(std::vector<std::wstring>(record.lines.begin() + 6, record.lines.end()), expectedEntries);
  ExpectRecordFileAttributes(destinations.RecordPath());
}

TEST(FirstInstallation, QuickInEnglishPlacesConnectsAndRecordsEverything) {
  const Destinations destinations;
  const std::vector<std::wstring> expectedEntries = ExpectedFirstRecordEntries(destinations, true, true);
  const StandInLogs logs;
  Installer installer(logs.Variables());
  installer.WaitForWizard();
  EXPECT_EQ(installer.Caption(), L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"'Gradivo 7.17a' Installation.");
  EXPECT_EQ(installer.SelectedLanguageIndex(), 1) << "English, the second language offered";
  EXPECT_FALSE(installer.ItemEnabled(IDC_BACK));

  installer.Next(Page::Mode);
  EXPECT_TRUE(installer.ItemChecked(IDC_QUICK_MODE)) << "quick installation comes preselected";
  installer.ChooseMode(false);
  installer.Next(Page::Installation);
  EXPECT_EQ(installer.ItemText(IDOK), L"Install");
  const std::wstring summary = installer.LogText();
  EXPECT_TRUE(Contains(summary, L"Installation Folder: \"" + destinations.installFolder + L"\".\r\n"))
      << testing::PrintToString(summary);
  EXPECT_TRUE(Contains(summary, L"Creating a Shortcut on the Desktop.\r\n"));

  ASSERT_TRUE(installer.Install()) << testing::PrintToString(installer.LogText());
  EXPECT_EQ(installer.ItemText(IDC_STATUS), L"Click on 'Next' to continue.");
  const std::wstring log = installer.LogText();
  for (const wchar_t* line : {L"Preparing Installation...OK\r\n", L"Shortcuts Creation...OK\r\n",
                              L"Mise \u00e0 jour de DirectX...OK\r\n", L"Registry Data Writing...OK\r\n",
                              L"Installation Data Writing...OK\r\n"})
    EXPECT_TRUE(Contains(log, line)) << testing::PrintToString(std::wstring(line));
  EXPECT_FALSE(Contains(log, L"Failed"));
  EXPECT_FALSE(installer.ItemEnabled(IDC_BACK)) << "no way back after a successful installation";
  EXPECT_EQ(installer.ItemText(IDCANCEL), L"Exit");

  installer.Next(Page::End);
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"Installation is complete.");
  EXPECT_FALSE(installer.ItemEnabled(IDOK));
  installer.Exit();
  installer.WaitForExit();  // leaving after the installation asks nothing

  ExpectPayloadPlaced(destinations);
  EXPECT_EQ(FolderEntries(destinations.startMenuFolder),
            (std::vector<std::wstring>{programShortcutName, uninstallerShortcutName}));
  ExpectShortcut(destinations.ProgramShortcutPath(), destinations.ProductPath());
  ExpectShortcut(destinations.UninstallerShortcutPath(), destinations.UninstallerPath());
  ExpectShortcut(destinations.DesktopShortcutPath(), destinations.ProductPath());
  ExpectUninstallEntry(destinations, English);
  ExpectProductAndDirectXRan(logs, destinations);
  ExpectRecordLines(destinations, expectedEntries);
}

TEST(FirstInstallation, AdvancedInGermanIntoATypedFolderWithoutDesktopShortcut) {
  Destinations destinations;
  destinations.installFolder = ShellFolder(kv::program_files_csidl()) + L"\\Mein Gradivo 7";
  destinations.sampleFolderName = L"Gradivo Beispiele";
  destinations.uninstallerShortcutName = L"Gradivo deinstallieren.lnk";
  const std::vector<std::wstring> expectedEntries = ExpectedFirstRecordEntries(destinations, true, false);
  const StandInLogs logs;
  Installer installer(logs.Variables());
  installer.WaitForWizard();
  installer.ChooseLanguage(Language::German);
  EXPECT_EQ(installer.Caption(), L"Installationsprogramm \u2013 Gradivo 7.17a");
  EXPECT_EQ(installer.ItemText(IDOK), L"Weiter  >");
  EXPECT_EQ(installer.ItemText(IDCANCEL), L"Abbrechen");
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"Installation von 'Gradivo 7.17a'.");
  EXPECT_EQ(installer.SelectedLanguageIndex(), 2);

  installer.Next(Page::Mode);
  EXPECT_EQ(installer.ItemText(IDC_ADVANCED_MODE), L"Erweiterte Installation");
  installer.ChooseMode(true);
  installer.Next(Page::Folder);
  EXPECT_EQ(installer.ItemText(IDC_FOLDER), DefaultInstallFolder());
  installer.TypeFolder(destinations.installFolder);
  installer.Next(Page::Shortcut);
  EXPECT_TRUE(installer.ItemChecked(IDC_MENU_SHORTCUT));
  EXPECT_TRUE(installer.ItemChecked(IDC_DESKTOP_SHORTCUT));
  EXPECT_EQ(installer.ItemText(IDC_FOLDER), L"Programs\\Veltram & Ruziruzu\\Gradivo 7");
  installer.SetShortcuts(true, false);
  installer.Next(Page::Installation);
  EXPECT_EQ(installer.ItemText(IDOK), L"Installieren");
  const std::wstring summary = installer.LogText();
  EXPECT_TRUE(Contains(summary, L"Installationsordner: \"" + destinations.installFolder + L"\".\r\n"))
      << testing::PrintToString(summary);
  EXPECT_FALSE(Contains(summary, L"Desktop wird erstellt")) << "no desktop shortcut chosen";

  ASSERT_TRUE(installer.Install()) << testing::PrintToString(installer.LogText());
  EXPECT_FALSE(Contains(installer.LogText(), L"Fehlgeschlagen"));
  installer.Next(Page::End);
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"Die Installation ist abgeschlossen.");
  EXPECT_EQ(installer.ItemText(IDCANCEL), L"Beenden");
  installer.Exit();
  installer.WaitForExit();

  ExpectPayloadPlaced(destinations);
  EXPECT_FALSE(FolderExists(DefaultInstallFolder())) << "nothing goes to the default folder";
  EXPECT_FALSE(FileExists(destinations.DesktopShortcutPath()));
  EXPECT_EQ(FolderEntries(destinations.startMenuFolder),
            (std::vector<std::wstring>{programShortcutName, destinations.uninstallerShortcutName}));
  ExpectShortcut(destinations.ProgramShortcutPath(), destinations.ProductPath());
  ExpectShortcut(destinations.UninstallerShortcutPath(), destinations.UninstallerPath());
  ExpectUninstallEntry(destinations, Language::German);
  ExpectProductAndDirectXRan(logs, destinations);
  ExpectRecordLines(destinations, expectedEntries);
}

}  // namespace
}  // namespace lifecycle
