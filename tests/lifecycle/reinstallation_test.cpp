// The same version started again on a machine where it is installed: the Start page offers the
// reinstallation, Exit there leaves at once while Exit on a later page asks first, and a
// reinstallation keeps the files the user changed, places the product's files again and replaces
// the shortcuts, the DirectX update and the Uninstall entry, one of each.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"

namespace lifecycle {
namespace {

const std::wstring reinstallationInfo = L"'Gradivo 7.17a' is already installed.\r\nDo you confirm Reinstallation ?";
const std::wstring confirmExit = L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?";

// The payload's files of one kind, in archive order.
std::vector<PayloadFile> FilesOfKind(int kind) {
  std::vector<PayloadFile> files = PayloadFiles();
  files.erase(std::remove_if(files.begin(), files.end(), [kind](const PayloadFile& file) { return file.kind != kind; }),
              files.end());
  return files;
}

TEST(Reinstallation, ExitOnTheStartPageLeavesAtOnceAndLaterPagesAskFirst) {
  const Destinations destinations;
  InstallQuickly();

  {
    Installer installer;
    installer.WaitForWizard();
    EXPECT_EQ(installer.ItemText(IDC_INFO), reinstallationInfo);
    EXPECT_EQ(installer.ItemText(IDC_STATUS), L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    EXPECT_TRUE(installer.ItemEnabled(IDOK));
    installer.Exit();
    installer.WaitForExit();  // no question: a message box here fails the test
  }

  Installer installer;
  installer.WaitForWizard();
  installer.Next(Page::Mode);
  installer.ChooseMode(true);
  installer.Next(Page::Folder);
  // The reinstallation goes where the product is: the folder is shown, and cannot be changed.
  EXPECT_EQ(installer.ItemText(IDC_FOLDER), destinations.installFolder);
  EXPECT_THROW(installer.TypeFolder(L"C:\\Elsewhere"), DriverError);
  EXPECT_FALSE(installer.ItemEnabled(IDC_BROWSE));

  installer.Exit();
  MessageBoxView question = installer.WaitForMessageBox();
  EXPECT_EQ(question.caption, L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(question.text, confirmExit);
  EXPECT_EQ(question.owner, installer.Wizard());
  EXPECT_TRUE(question.HasButton(IDYES) && question.HasButton(IDNO));
  installer.Answer(question, IDNO);
  EXPECT_TRUE(installer.Running());
  EXPECT_EQ(installer.CurrentPage(), Page::Folder) << "No keeps the wizard where it was";

  installer.Exit();
  question = installer.WaitForMessageBox();
  installer.Answer(question, IDYES);
  installer.WaitForExit();
}

TEST(Reinstallation, KeepsTheUsersFilesAndReplacesShortcutsEntryAndDirectX) {
  const Destinations destinations;
  const std::wstring productLog = ScratchFile(L"product.log");
  const std::wstring directXLog = ScratchFile(L"dsetup.log");
  const Environment logs{{L"GRADIVO_PRODUCT_LOG", productLog}, {L"GRADIVO_DSETUP_LOG", directXLog}};
  InstallQuickly(logs);

  // Between the runs the user changes one library, deletes another, and a language library of
  // the product is damaged.
  const std::vector<PayloadFile> libraries = FilesOfKind(3);
  ASSERT_GE(libraries.size(), 2u);
  const std::wstring changed = destinations.PathOf(libraries[0]);
  const std::wstring deleted = destinations.PathOf(libraries[1]);
  const std::string userContent = "the user's own parts\r\n";
  WriteFileBytes(changed, userContent);
  ASSERT_TRUE(DeleteFileW(deleted.c_str()));
  const std::wstring damaged = destinations.PathOf(FilesOfKind(0).at(0));
  WriteFileBytes(damaged, "damaged");

  Installer installer(logs);
  installer.WaitForWizard();
  EXPECT_EQ(installer.ItemText(IDC_INFO), reinstallationInfo);
  InstallQuickly(installer);

  EXPECT_EQ(FileBytes(changed), userContent) << "a library the user changed stays as the user left it";
  EXPECT_FALSE(FileExists(deleted)) << "a library the user deleted is not placed again";
  ExpectPayloadPlaced(destinations, {changed, deleted});

  // One of each connection, replaced.
  EXPECT_EQ(FolderEntries(destinations.startMenuFolder),
            (std::vector<std::wstring>{programShortcutName, uninstallerShortcutName}));
  ExpectShortcut(destinations.ProgramShortcutPath(), destinations.ProductPath());
  ExpectShortcut(destinations.UninstallerShortcutPath(), destinations.UninstallerPath());
  ExpectShortcut(destinations.DesktopShortcutPath(), destinations.ProductPath());
  ExpectUninstallEntry(destinations, English);

  // The DirectX step runs again for a reinstallation; the product registers itself again, without
  // the update option.
  EXPECT_EQ(TextLines(directXLog).size(), 2u);
  const std::wstring registration = L"command \"" + destinations.ProductPath() + L"\" /Register /Background";
  EXPECT_EQ(TextLines(productLog),
            (std::vector<std::wstring>{registration, L"folder " + destinations.installFolder, registration,
                                       L"folder " + destinations.installFolder}));

  // The record names the earlier product, keeps the entries of the libraries it left alone (one
  // each), and holds one line for each shortcut and the DirectX step.
  const std::vector<RecordLine> entries = ExpectRecordOfInstallation(destinations, L"Gradivo 7.17a");
  for (const auto& [code, text] : {std::pair{0x02ffu, destinations.ProgramShortcutPath()},
                                   std::pair{0x03ffu, destinations.UninstallerShortcutPath()},
                                   std::pair{0x04ffu, destinations.DesktopShortcutPath()},
                                   std::pair{0x07ffu, directXStepText}}) {
    const std::vector<RecordLine> lines = EntriesWithCode(entries, code);
    ASSERT_EQ(lines.size(), 1u) << "lines of code " << std::hex << code;
    EXPECT_TRUE(lines[0].succeeded);
    EXPECT_EQ(lines[0].text, text);
  }
  ExpectRecordFileAttributes(destinations.RecordPath());
}

}  // namespace
}  // namespace lifecycle
