#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/test_environment.h"
#include "engine/file_placement.h"
#include "app/languages.h"
#include "engine/output_file.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FilePlacementTest : public testing::Test {
 protected:
  void SetUp() override { SetCurrentLanguage(English); }
  void TearDown() override { SetCurrentLanguage(savedLanguage_); }

  PayloadEntry Entry(std::uint32_t kind, const std::wstring& name) {
    PayloadEntry entry;
    entry.kind = kind;
    entry.destination = (scratch_.path() / L"Gradivo 7" / name).wstring();
    return entry;
  }
  // The previous installation's record, with one placed kind-3 file.
  void PreviousRecordPlaced(const std::wstring& path) {
    const std::filesystem::path file = scratch_.path() / L"previous.ulog";
    const std::wstring text = L"// Uninstall Log File v1\r\n// w\r\n// Install Gradivo 7.16\r\n// Install Path : \r\n"
                              L"// Shortcut Path : \r\n// -\r\n0000:0103:1 -- " + path + L"\r\n";
    std::ofstream out(file, std::ios::binary);
    out.write("\xFF\xFE", 2);
    for (wchar_t c : text) out.put(static_cast<char>(c & 0xFF)).put(static_cast<char>(c >> 8));
    out.close();
    options_.record.Read(file.wstring());
  }

  Language savedLanguage_ = GetLanguageSettings().currentLanguage;
  test::scratch_folder scratch_;
  InstallOptions options_;
  TemporaryFileList temporaryFiles_{(scratch_.path() / L"temp").wstring()};
  FilePlacement placement_{options_, temporaryFiles_};
};

TEST_F(FilePlacementTest, WrittenFilesAreRecordedWithTheirFoldersAndShownQuoted) {
  const PayloadEntry product = Entry(ProductExecutableKind, L"Gradivo.exe");
  const FilePlacement::Decision decision = placement_.OnFileBegin(product);
  EXPECT_EQ(decision.result, notification::result::proceed);
  EXPECT_EQ(decision.text, L"Copying File  \"" + product.destination + L"\"...");
  EXPECT_EQ(placement_.productExePath(), product.destination);
  ASSERT_EQ(options_.record.entries().size(), 2u);  // the folder "Gradivo 7", then the file
  EXPECT_EQ(options_.record.entries()[0].kind, RecordEntryKind::CreatedFolder);
  EXPECT_EQ(options_.record.entries()[1].kind, RecordEntryKind::InstalledFile);
  EXPECT_EQ(options_.record.entries()[1].tag, 1);
  EXPECT_TRUE(options_.record.entryOpen());
  placement_.OnFileEnd(product);
  EXPECT_FALSE(options_.record.entryOpen());
  EXPECT_TRUE(options_.record.entries()[1].succeeded);

  const PayloadEntry uninstaller = Entry(UninstallerKind, L"Uninstall.exe");
  placement_.OnFileBegin(uninstaller);
  EXPECT_EQ(placement_.uninstallerPath(), uninstaller.destination);

  // A kind the installer does not know is placed as a language library.
  placement_.OnFileBegin(Entry(9, L"future.bin"));
  EXPECT_EQ(options_.record.entries().back().tag, 0);
}

TEST_F(FilePlacementTest, TemporaryFilesAreListedNotRecorded) {
  const PayloadEntry dsetup = Entry(TemporaryFileKind, L"DSetup.dll");
  const FilePlacement::Decision decision = placement_.OnFileBegin(dsetup);
  EXPECT_EQ(decision.result, notification::result::proceed);
  EXPECT_FALSE(decision.text.empty());
  EXPECT_TRUE(options_.record.entries().empty());
  ASSERT_EQ(temporaryFiles_.files().size(), 1u);
  EXPECT_EQ(temporaryFiles_.files()[0], dsetup.destination);
  placement_.OnFileEnd(dsetup);
  EXPECT_TRUE(options_.record.entries().empty());
}

TEST_F(FilePlacementTest, SharedContentIsLeftAloneDuringAnUpdateOnly) {
  for (const auto state : {PreviousInstallState::None, PreviousInstallState::SameVersion, PreviousInstallState::OlderVersion}) {
    InstallOptions options;
    options.previousState = state;
    TemporaryFileList temporaryFiles(L"");
    FilePlacement placement(options, temporaryFiles);
    const FilePlacement::Decision decision = placement.OnFileBegin(Entry(SharedContentKind, L"texture.png"));
    const bool update = state == PreviousInstallState::OlderVersion;
    EXPECT_EQ(decision.result, update ? notification::result::skip : notification::result::proceed);
    EXPECT_EQ(decision.text.empty(), update);
    EXPECT_EQ(options.record.entries().empty(), update);
  }
}

TEST_F(FilePlacementTest, AUserFileAlreadyThereIsAdoptedUnchanged) {
  const PayloadEntry library = Entry(UserDataKind, L"user.lib");
  std::filesystem::create_directories(scratch_.path() / L"Gradivo 7");
  std::ofstream(std::filesystem::path(library.destination)) << "changed by the user";
  const FilePlacement::Decision decision = placement_.OnFileBegin(library);
  EXPECT_EQ(decision.result, notification::result::skip);
  EXPECT_TRUE(decision.text.empty());
  EXPECT_EQ(ReadFile(library.destination), "changed by the user");
  ASSERT_EQ(options_.record.entries().size(), 1u);
  const RecordEntry& entry = options_.record.entries()[0];
  EXPECT_EQ(entry.tag, 3);
  EXPECT_TRUE(entry.succeeded);
  EXPECT_FALSE(options_.record.entryOpen());
  EXPECT_EQ(ReadFile(entry.backupPath), "changed by the user") << "a copy is kept aside";
  DeleteFileW(entry.backupPath.c_str());
}

TEST_F(FilePlacementTest, AUserFileThePreviousInstallationPlacedIsNeitherRecordedNorPlacedAgain) {
  const PayloadEntry library = Entry(UserDataKind, L"user.lib");
  PreviousRecordPlaced(library.destination);
  for (bool present : {true, false}) {
    InstallOptions& options = options_;
    options.previousState = PreviousInstallState::SameVersion;
    if (present) {
      std::filesystem::create_directories(scratch_.path() / L"Gradivo 7");
      std::ofstream(std::filesystem::path(library.destination)) << "changed by the user";
    } else {
      std::filesystem::remove(library.destination);
    }
    EXPECT_EQ(placement_.OnFileBegin(library).result, notification::result::skip);
    EXPECT_TRUE(options.record.entries().empty());
    EXPECT_EQ(std::filesystem::exists(library.destination), present);
  }
  // On a machine where start-up found no installation, the previous record does not count.
  options_.previousState = PreviousInstallState::None;
  EXPECT_EQ(placement_.OnFileBegin(library).result, notification::result::proceed);
}

TEST(TemporaryFileList, DeletesItsFilesAndItsEmptyFolder) {
  test::scratch_folder scratch;
  const std::filesystem::path folder = scratch.path() / L"veltram_run";
  std::filesystem::create_directories(folder);
  {
    TemporaryFileList list(folder.wstring());
    std::ofstream(folder / L"DSetup.dll") << "x";
    list.Add((folder / L"DSetup.dll").wstring());
    list.Add((folder / L"never written.cab").wstring());
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(GrantSharedFolders, EachFolderOnceWhenTheFirstFileBelowItIsWritten) {
  test::scratch_folder scratch;
  const std::filesystem::path maker = scratch.path() / L"Veltram & Ruziruzu";
  const std::filesystem::path textures = maker / L"Textures";
  const std::filesystem::path product = textures / L"Gradivo";
  const std::filesystem::path samples = scratch.path() / L"Samples";
  std::filesystem::create_directories(product);
  std::vector<SharedFolder> shared = {{maker.wstring()}, {textures.wstring()}, {product.wstring()}, {samples.wstring()}};
  GrantSharedFolders(shared, product.wstring());
  EXPECT_TRUE(shared[0].granted);
  EXPECT_TRUE(shared[1].granted);
  EXPECT_TRUE(shared[2].granted);
  EXPECT_FALSE(shared[3].granted) << "no file was written below the samples folder";
  GrantSharedFolders(shared, samples.wstring());
  EXPECT_FALSE(shared[3].granted) << "a folder that does not exist yet is not granted";
  std::filesystem::create_directories(samples);
  GrantSharedFolders(shared, samples.wstring());
  EXPECT_TRUE(shared[3].granted);
}

TEST(GrantSharedFolders, AFolderNamedInOtherLetterCaseIsTheSameFolder) {
  test::scratch_folder scratch;
  const std::filesystem::path textures = scratch.path() / L"Veltram & Ruziruzu" / L"Textures";
  const std::filesystem::path product = textures / L"Gradivo";
  std::filesystem::create_directories(product);
  std::wstring upper = textures.wstring();
  CharUpperW(upper.data());
  std::vector<SharedFolder> shared = {{upper}, {(scratch.path() / L"Elsewhere").wstring()}};
  GrantSharedFolders(shared, product.wstring());
  EXPECT_TRUE(shared[0].granted);
  EXPECT_FALSE(shared[1].granted);
}

}  // namespace
