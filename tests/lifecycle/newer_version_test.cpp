// A machine with a newer version of the product: the installer says so on its Start page, offers
// no way on, leaves without asking, and writes nothing.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <map>
#include <string>

#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "support/encoding.h"
#include "support/wow64.h"

namespace lifecycle {
namespace {

// What the installer could change: the product's folders (files, attributes, times) and its
// registry keys.
struct MachineState {
  std::map<std::wstring, FileTree> folders;
  std::map<std::wstring, RegistryValue> makerValues;
  bool uninstallEntry = false;
  std::optional<std::wstring> projectFileType;
  bool operator==(const MachineState&) const = default;
};

MachineState ReadMachineState() {
  MachineState state;
  for (const int csidl : {kv::program_files_csidl(), CSIDL_COMMON_APPDATA, CSIDL_APPDATA, CSIDL_COMMON_DESKTOPDIRECTORY,
                          CSIDL_COMMON_PROGRAMS, CSIDL_DESKTOPDIRECTORY}) {
    const std::wstring folder = ShellFolder(csidl);
    state.folders[folder] = ReadFileTree(folder);
  }
  state.makerValues = RegistryValues(HKEY_LOCAL_MACHINE, makerKey);
  state.uninstallEntry = RegistryKeyExists(HKEY_LOCAL_MACHINE, uninstallKey);
  state.projectFileType = ProjectFileType();
  return state;
}

// The paths below the folders that differ between two states, for the failure message.
std::string Differences(const MachineState& before, const MachineState& after) {
  std::string text;
  for (const auto& [folder, tree] : after.folders) {
    const FileTree& earlier = before.folders.at(folder);
    for (const auto& [path, stamp] : tree) {
      const auto found = earlier.find(path);
      if (found == earlier.end()) text += "added: " + kv::wide_to_utf8(folder + L"\\" + path) + "\n";
      else if (!(found->second == stamp)) text += "changed: " + kv::wide_to_utf8(folder + L"\\" + path) + "\n";
    }
    for (const auto& [path, stamp] : earlier)
      if (!tree.count(path)) text += "removed: " + kv::wide_to_utf8(folder + L"\\" + path) + "\n";
  }
  if (!(before.makerValues == after.makerValues)) text += "the maker's key changed\n";
  if (before.uninstallEntry != after.uninstallEntry) text += "the Uninstall entry changed\n";
  if (before.projectFileType != after.projectFileType) text += "the project files' registration changed\n";
  return text;
}

TEST(NewerVersion, TheStartPageRefusesAndNothingIsWritten) {
  // Gradivo 7.18 is installed where the product path value says.
  const Destinations destinations;
  std::filesystem::create_directories(destinations.installFolder);
  std::filesystem::copy_file(BuildFolder() / L"payload" / L"newer" / L"Gradivo.exe", destinations.ProductPath());
  WriteRegistryString(HKEY_LOCAL_MACHINE, makerKey, productPathValue, destinations.ProductPath());
  const std::wstring productLog = ScratchFile(L"product.log");
  const std::wstring directXLog = ScratchFile(L"dsetup.log");
  const MachineState before = ReadMachineState();

  Installer installer({{L"GRADIVO_PRODUCT_LOG", productLog}, {L"GRADIVO_DSETUP_LOG", directXLog}});
  installer.WaitForWizard();
  EXPECT_EQ(installer.ItemText(IDC_INFO),
            L"'Gradivo 7.17a' Installation.\r\nA more recent Version (Gradivo 7.18) is already installed.");
  EXPECT_EQ(installer.ItemText(IDC_STATUS), L"Click on 'Cancel' to exit Installation.");
  EXPECT_FALSE(installer.ItemEnabled(IDOK));
  EXPECT_FALSE(installer.ItemEnabled(IDC_BACK));
  EXPECT_THROW(installer.Click(IDOK), DriverError);
  // Choosing another language changes the texts, not the refusal.
  installer.ChooseLanguage(Language::German);
  EXPECT_EQ(installer.ItemText(IDC_INFO),
            L"Installation von 'Gradivo 7.17a'.\r\nEine neuere Version (Gradivo 7.18) ist bereits installiert.");
  EXPECT_FALSE(installer.ItemEnabled(IDOK));

  installer.Exit();
  installer.WaitForExit();  // leaving asks nothing

  const MachineState after = ReadMachineState();
  EXPECT_TRUE(after == before) << Differences(before, after);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, uninstallKey));
  EXPECT_FALSE(FileExists(productLog)) << "the product was run";
  EXPECT_FALSE(FileExists(directXLog)) << "the DirectX setup was run";
}

}  // namespace
}  // namespace lifecycle
