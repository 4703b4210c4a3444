// The language chosen on the Start page is the language the product is installed in: it is stored
// as "KvLanguage" and greets the next start of the installer. A product language without
// installer texts (Dutch) is stored too, while the installer itself runs, and starts next time,
// in English.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"

namespace lifecycle {
namespace {

TEST(Language, TheChosenLanguageIsStoredAndGreetsTheNextStart) {
  {
    Installer installer;
    installer.WaitForWizard();
    installer.ChooseLanguage(Language::German);
    InstallQuickly(installer);
  }
  EXPECT_EQ(RegistryDword(HKEY_LOCAL_MACHINE, uninstallKey, L"KvLanguage"), DWORD{German});

  Installer installer;
  installer.WaitForWizard();
  EXPECT_EQ(installer.Caption(), L"Installationsprogramm \u2013 Gradivo 7.17a");
  EXPECT_EQ(installer.SelectedLanguageIndex(), 2);
  EXPECT_EQ(installer.ItemText(IDC_INFO),
            L"'Gradivo 7.17a' ist bereits installiert.\r\nM\u00f6chten Sie die Neuinstallation best\u00e4tigen?");
  EXPECT_EQ(installer.ItemText(IDOK), L"Weiter  >");
  installer.Exit();
  installer.WaitForExit();
}

TEST(Language, DutchIsStoredWhileTheInstallerRunsAndStartsInEnglish) {
  {
    Installer installer;
    installer.WaitForWizard();
    installer.ChooseLanguage(Language::Dutch);
    const MessageBoxView notice = installer.WaitForMessageBox();
    EXPECT_EQ(notice.text, L"'Gradivo' will be installed in the selected Langage, but the Installer, still under "
                           L"translation,  shall run in English.");
    EXPECT_EQ(notice.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(notice.owner, installer.Wizard());
    installer.Answer(notice, IDOK);
    EXPECT_EQ(installer.Caption(), L"Installer \u2013 Gradivo 7.17a");
    EXPECT_EQ(installer.ItemText(IDOK), L"Next  >");
    EXPECT_EQ(installer.SelectedLanguageIndex(), 5) << "the box keeps Dutch as chosen";
    InstallQuickly(installer);
  }
  const Destinations destinations;  // an installation run in English: "Gradivo Examples"
  ExpectPayloadPlaced(destinations);
  ExpectUninstallEntry(destinations, Language::Dutch);

  Installer installer;
  installer.WaitForWizard();
  EXPECT_EQ(installer.Caption(), L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(installer.SelectedLanguageIndex(), 1) << "English";
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"'Gradivo 7.17a' is already installed.\r\nDo you confirm Reinstallation ?");
  installer.Exit();
  installer.WaitForExit();
}

}  // namespace
}  // namespace lifecycle
