// A failing installation: a copy of the real installer whose payload is damaged late (a wrong
// checksum on its last file, so files of every kind have been placed when the extraction fails),
// clicked through on a machine that already holds some files at the payload's places. The run
// reports the failure with its code and leaves the machine exactly as it found it; the real
// installer then installs on the same machine.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "common/payload_resource.h"
#include "dialog_ids.h"
#include "lifecycle/installer_driver.h"
#include "lifecycle/machine_checks.h"
#include "lifecycle/machine_files.h"

namespace lifecycle {
namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A copy of the installer whose payload is the build's, with the checksum of its last file (a
// kind-5 file of the run's temporary folder) wrong. Of the textures and samples, which make up
// most of the payload's bulk, it carries only the first of each. Returns the copy's path and the
// name of the damaged file.
std::pair<std::filesystem::path, std::wstring> DamagedInstaller() {
  std::vector<PayloadFile> files;
  bool texture = false, sample = false;
  for (const PayloadFile& file : PayloadFiles()) {
    if (file.kind == 4) {
      bool& taken = file.destination == L"<SamplePath>" ? sample : texture;
      if (taken) continue;
      taken = true;
    }
    files.push_back(file);
  }
  std::vector<std::string> contents;
  std::vector<PayloadEntry> entries;
  for (const PayloadFile& file : files) {
    std::optional<std::string> bytes = FileBytes(file.source);
    if (!bytes) throw DriverError("the build has no " + file.source.string());
    entries.push_back({file.source.wstring(), file.destination, static_cast<std::uint32_t>(file.kind), bytes->size(),
                       PayloadCrc32(*bytes)});
    contents.push_back(std::move(*bytes));
  }
  entries.back().crc ^= 1;
  std::ostringstream archive(std::ios::binary);
  WritePayloadArchive(archive, entries, [&](std::size_t index, std::ostream& sink) {
    sink.write(contents[index].data(), static_cast<std::streamsize>(contents[index].size()));
  });
  const std::filesystem::path copy = ScratchFile(L"InstallGradivo7.17a-damaged.exe");
  std::filesystem::copy_file(InstallerPath(), copy, std::filesystem::copy_options::overwrite_existing);
  if (const DWORD error = test::replace_payload_resource(copy, archive.str()))
    throw DriverError("cannot give the copy its payload: error " + std::to_string(error));
  return {copy, files.back().Name()};
}

// The first payload file of a kind, and its place.
std::wstring PathOfFirst(const Destinations& destinations, int kind, const std::wstring& name = {}) {
  for (const PayloadFile& file : PayloadFiles())
    if (file.kind == kind && (name.empty() || file.Name() == name)) return destinations.PathOf(file);
  throw DriverError("the payload has no such file");
}

// A file that was on the machine before the run: where, what, with which attributes.
struct EarlierFile {
  std::wstring path;
  std::string bytes;
  DWORD attributes;
};

void Put(const EarlierFile& file) {
  std::filesystem::create_directories(std::filesystem::path(file.path).parent_path());
  WriteFileBytes(file.path, file.bytes);
  SetFileAttributesW(file.path.c_str(), file.attributes);
}

TEST(FailedRun, ADamagedPayloadLeavesTheMachineAsItWasAndTheRealInstallerThenInstalls) {
  const auto [damaged, damagedName] = DamagedInstaller();
  const Destinations destinations;
  // Files the run replaces (a language library left by an earlier installation, read-only; a
  // texture of the same name, hidden) and a parts library the user made, which it keeps.
  const std::vector<EarlierFile> earlier = {
      {PathOfFirst(destinations, 0, L"Gradivo.fr.dll"), "an earlier French library", FILE_ATTRIBUTE_READONLY},
      {PathOfFirst(destinations, 4), "an earlier texture", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
      {PathOfFirst(destinations, 3), "the user's own parts", FILE_ATTRIBUTE_ARCHIVE}};
  std::vector<DWORD> attributes;
  for (const EarlierFile& file : earlier) {
    Put(file);
    attributes.push_back(FileAttributes(file.path));
  }
  const MachineFiles before = ReadMachineFiles();

  Installer installer({}, damaged);
  installer.WaitForWizard();
  installer.Next(Page::Mode);
  installer.ChooseMode(false);
  installer.Next(Page::Installation);
  ASSERT_FALSE(installer.Install());
  EXPECT_EQ(installer.ItemText(IDC_STATUS), L"Installation failed (Error Code 3).");
  const std::wstring log = installer.LogText();
  // The damaged file's line (its path quoted when it has a blank) ends the log.
  EXPECT_TRUE(EndsWith(log, damagedName + L"...Failed\r\n") || EndsWith(log, damagedName + L"\"...Failed\r\n"))
      << testing::PrintToString(log);
  EXPECT_TRUE(Contains(log, L"\\Gradivo.fr.dll\"...OK\r\n")) << "the failure came after files were placed";
  EXPECT_FALSE(Contains(log, L"Registry Data Writing"));
  EXPECT_EQ(installer.ItemText(IDOK), L"Install") << "a new run may be started";
  EXPECT_TRUE(installer.ItemEnabled(IDCANCEL));
  // Leaving now asks first (message 110), since nothing is installed.
  installer.Exit();
  const MessageBoxView question = installer.WaitForMessageBox();
  EXPECT_TRUE(Contains(question.text, L"Installation is not complete.")) << testing::PrintToString(question.text);
  installer.Answer(question, IDYES);
  installer.WaitForExit();

  // Nothing the run created is left, the replaced files are back byte for byte with their
  // attributes and times, the kept one is untouched, and the registry holds nothing of the product.
  const std::vector<std::wstring> changes = FileChanges(before, ReadMachineFiles());
  EXPECT_TRUE(changes.empty()) << "the failed run changed the machine:" << Describe(changes);
  for (std::size_t i = 0; i < earlier.size(); ++i) {
    EXPECT_TRUE(FileBytes(earlier[i].path) == earlier[i].bytes) << testing::PrintToString(earlier[i].path);
    EXPECT_EQ(FileAttributes(earlier[i].path), attributes[i]) << testing::PrintToString(earlier[i].path);
  }
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, uninstallKey));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, makerKey));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L".gvp"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"Gradivo.Project"));

  // The real installer on the same machine: everything placed, the user's library kept.
  InstallQuickly();
  ExpectPayloadPlaced(destinations, {earlier[2].path});
  EXPECT_TRUE(FileBytes(earlier[2].path) == earlier[2].bytes);
  ExpectUninstallEntry(destinations, English);
  ExpectRecordOfInstallation(destinations);
}

}  // namespace
}  // namespace lifecycle
