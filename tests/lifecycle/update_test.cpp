// An update: the real installer started on a machine that holds the previous release (Gradivo
// 7.16), clicked through its quick installation. It installs into the earlier folders, leaves the
// shared content that the earlier release placed alone (textures and samples untouched, the
// user's libraries kept), hands the previous version to the product's registration, and writes a
// record that names the earlier product and carries over what this run did not replace.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <set>
#include <string>
#include <vector>

#include "common/test_environment.h"
#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "lifecycle/older_installation.h"

namespace lifecycle {
namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

std::wstring Parent(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

// An entry line without its sequence number: "0101:1 -- C:\...".
std::wstring WithoutSequence(const std::wstring& line) { return line.substr(line.find(L':') + 1); }

unsigned KindOf(const std::wstring& entry) { return static_cast<unsigned>(std::stoul(entry.substr(0, 4), nullptr, 16)) >> 8; }

std::wstring TextOf(const std::wstring& entry) { return entry.substr(entry.find(L" -- ") + 4); }

// The entry lines that the update must write, worked out from the machine before the run. First
// the earlier record's entries that this run does not supersede, in their order: its created
// folders, the files it placed that this run does not place again (the libraries kept, the
// textures and samples, the retired language library) and its DirectX update, which this run
// therefore skips. Then this run's: for each payload file it writes (no texture or sample, no
// library the earlier release placed) the folders it creates and the file; the three shortcuts
// in the existing folders; the Uninstall key and the associations.
std::vector<std::wstring> ExpectedUpdateRecordEntries(const OlderInstallation& older) {
  const Destinations& destinations = older.destinations;
  std::vector<std::wstring> thisRun;
  std::set<std::wstring> placedNow;
  std::set<std::wstring> created;
  for (const PayloadFile& file : PayloadFiles()) {
    const std::wstring path = destinations.PathOf(file);
    if (file.kind == 4 || file.kind == 5 || (file.kind == 3 && older.files.count(path))) continue;
    std::vector<std::wstring> missing;
    for (std::wstring folder = Parent(path); !FolderExists(folder) && !created.count(folder); folder = Parent(folder))
      missing.push_back(folder);
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
      created.insert(*folder);
      thisRun.push_back(L"00ff:1 -- " + *folder);
    }
    wchar_t code[8] = {};
    swprintf(code, 8, L"%04x", 0x100u + static_cast<unsigned>(file.kind));
    thisRun.push_back(std::wstring(code) + L":1 -- " + path);
    placedNow.insert(path);
  }
  thisRun.push_back(L"02ff:1 -- " + destinations.ProgramShortcutPath());
  thisRun.push_back(L"03ff:1 -- " + destinations.UninstallerShortcutPath());
  thisRun.push_back(L"04ff:1 -- " + destinations.DesktopShortcutPath());
  thisRun.push_back(L"05ff:1 -- HKEY_LOCAL_MACHINE\\" + uninstallKey);
  thisRun.push_back(L"06ff:1 -- HKEY_CLASSES_ROOT\\...");

  std::vector<std::wstring> lines;
  for (const std::wstring& line : older.recordEntries) {
    const std::wstring entry = WithoutSequence(line);
    const unsigned kind = KindOf(entry);
    const bool superseded = (kind == 1 && placedNow.count(TextOf(entry))) || (kind >= 2 && kind <= 6);
    if (!superseded) lines.push_back(entry);
  }
  lines.insert(lines.end(), thisRun.begin(), thisRun.end());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    wchar_t sequence[16] = {};
    swprintf(sequence, 16, L"%04zu:", i);
    lines[i] = sequence + lines[i];
  }
  return lines;
}

TEST(Update, FromTheOlderVersionKeepsSharedContentPassesTheVersionAndMergesTheRecord) {
  const OlderInstallation older = InstallOlderVersion();
  const Destinations& destinations = older.destinations;
  // Since then the user changed one of the libraries that the earlier release placed.
  std::wstring changedLibrary;
  for (const auto& [path, file] : older.files)
    if (file.kind == 3 && changedLibrary.empty()) changedLibrary = path;
  ASSERT_FALSE(changedLibrary.empty());
  WriteFileBytes(changedLibrary, "the user's own parts");
  const std::vector<std::wstring> expectedEntries = ExpectedUpdateRecordEntries(older);
  const std::wstring textures = ShellFolder(CSIDL_COMMON_APPDATA) + L"\\Veltram & Ruziruzu\\Textures";
  const std::wstring samples = CommonDesktopFolder() + L"\\" + destinations.sampleFolderName;
  const FileTree texturesBefore = ReadFileTree(textures);
  const FileTree samplesBefore = ReadFileTree(samples);
  const std::wstring productLog = ScratchFile(L"product.log");
  const std::wstring directXLog = ScratchFile(L"dsetup.log");

  Installer installer({{L"GRADIVO_PRODUCT_LOG", productLog}, {L"GRADIVO_DSETUP_LOG", directXLog}});
  installer.WaitForWizard();
  EXPECT_EQ(installer.ItemText(IDC_INFO), L"Update from 'Gradivo 7.16' to 'Gradivo 7.17a'.");
  installer.Next(Page::Mode);
  installer.ChooseMode(false);
  installer.Next(Page::Installation);
  const std::wstring summary = installer.LogText();
  EXPECT_TRUE(Contains(summary, L"Installation Folder: \"" + destinations.installFolder + L"\".\r\n"))
      << "the earlier installation's folder: " << testing::PrintToString(summary);
  EXPECT_TRUE(Contains(summary, L"(Folder \"" + destinations.startMenuFolder + L"\").\r\n"))
      << "the earlier Start-menu folder: " << testing::PrintToString(summary);
  ASSERT_TRUE(installer.Install()) << testing::PrintToString(installer.LogText());
  const std::wstring log = installer.LogText();
  EXPECT_FALSE(Contains(log, L"Failed")) << testing::PrintToString(log);
  EXPECT_FALSE(Contains(log, directXStepText)) << "the earlier release's DirectX update counts";
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind == 4) {
      EXPECT_FALSE(Contains(log, file.Name())) << "a line for " << testing::PrintToString(file.Name());
    }
  }
  installer.Next(Page::End);
  installer.Exit();
  installer.WaitForExit();

  // The files: this release's product and libraries in the earlier folder; every texture, sample
  // and library of the earlier release as it was, none added; the retired library left alone.
  std::vector<std::wstring> keptAsTheyWere;
  for (const PayloadFile& file : PayloadFiles()) {
    const std::wstring path = destinations.PathOf(file);
    if (file.kind == 4 || (file.kind == 3 && older.files.count(path))) keptAsTheyWere.push_back(path);
    if (file.kind == 4 && !older.files.count(path)) {
      EXPECT_FALSE(FileExists(path)) << testing::PrintToString(path);
    }
  }
  ExpectPayloadPlaced(destinations, keptAsTheyWere);
  for (const auto& [path, file] : older.files) {
    if (file.kind != 3 && file.kind != 4) continue;
    const std::string expected = path == changedLibrary ? "the user's own parts" : file.bytes;
    EXPECT_TRUE(FileBytes(path) == expected) << "changed: " << testing::PrintToString(path);
  }
  EXPECT_TRUE(ReadFileTree(textures) == texturesBefore) << "the textures were changed";
  EXPECT_TRUE(ReadFileTree(samples) == samplesBefore) << "the samples were changed";
  EXPECT_EQ(FileBytes(older.retiredLibrary), "Gradivo 7.16: Gradivo.it.dll");

  // The earlier shortcuts gave way to this release's.
  EXPECT_EQ(FolderEntries(destinations.startMenuFolder),
            (std::vector<std::wstring>{programShortcutName, uninstallerShortcutName}));
  EXPECT_FALSE(FileExists(older.desktopShortcut));
  ExpectShortcut(destinations.ProgramShortcutPath(), destinations.ProductPath());
  ExpectShortcut(destinations.UninstallerShortcutPath(), destinations.UninstallerPath());
  ExpectShortcut(destinations.DesktopShortcutPath(), destinations.ProductPath());

  // The registry names this release; the product learnt which version it updates.
  ExpectUninstallEntry(destinations, English);
  EXPECT_EQ(TextLines(productLog),
            (std::vector<std::wstring>{L"command \"" + destinations.ProductPath() +
                                           L"\" /Register /Background /update=0007001000020000",
                                       L"folder " + destinations.installFolder}));
  EXPECT_TRUE(TextLines(directXLog).empty()) << "DirectXSetupW was called";
  // No backup of what the run replaced (files, shortcuts, the Uninstall key) is left behind.
  for (const std::wstring& name : FolderEntries(std::filesystem::temp_directory_path().wstring()))
    EXPECT_NE(name.rfind(L"kv", 0), 0u) << "left behind: " << testing::PrintToString(name);

  // The record replaced the earlier read-only one, line by line as worked out above.
  const RecordFile record = ReadRecordFile(destinations.RecordPath());
  EXPECT_TRUE(record.byteOrderMark);
  EXPECT_TRUE(record.everyLineEndsWithCrLf);
  ASSERT_GE(record.lines.size(), 6u);
  EXPECT_EQ(std::vector<std::wstring>(record.lines.begin(), record.lines.begin() + 6),
            ExpectedRecordHeader(destinations.installFolder, destinations.startMenuFolder, olderProductText));
  EXPECT_EQ(std::vector<std::wstring>(record.lines.begin() + 6, record.lines.end()), expectedEntries);
  DWORD recordAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  // Wine keeps no not-content-indexed flag on files.
  if (test::running_under_wine()) recordAttributes &= ~DWORD{FILE_ATTRIBUTE_NOT_CONTENT_INDEXED};
  EXPECT_EQ(FileAttributes(destinations.RecordPath()), recordAttributes);
}

}  // namespace
}  // namespace lifecycle
