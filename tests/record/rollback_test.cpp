#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/test_environment.h"
#include "record/installation_record.h"
#include "support/registry.h"
#include "support/wow64.h"

namespace {

const std::wstring uninstallList = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring productKey = uninstallList + L"\\Gradivo 7";

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Rollback, PlacedFilesGoAndReplacedOnesComeBackWithTheirAttributes) {
  test::scratch_folder scratch;
  const std::filesystem::path old = scratch.path() / L"existing.dll";
  WriteFile(old, "previous version");
  SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::filesystem::path created = scratch.path() / L"New Folder" / L"Inner";
  const std::filesystem::path placed = created / L"new.dat";

  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.AddFile(old.wstring(), 0, false);
  WriteFile(old, "new version");
  record.CloseEntry(true);
  record.AddFile(placed.wstring(), 4, false);
  WriteFile(placed, "partial");  // left open, as a failed write leaves it
  const std::wstring backup = record.entries()[0].backupPath;
  ASSERT_FALSE(backup.empty());

  record.Rollback();
  EXPECT_TRUE(record.entries().empty());
  EXPECT_FALSE(record.entryOpen());
  EXPECT_EQ(ReadFile(old), "previous version");
  EXPECT_TRUE(GetFileAttributesW(old.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(std::filesystem::exists(backup));
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / L"New Folder")) << "created folders are removed";
  SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Rollback, ACreatedFolderWithSomethingElseInsideStays) {
  test::scratch_folder scratch;
  const std::filesystem::path folder = scratch.path() / L"Shared";
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.AddFile((folder / L"placed.txt").wstring(), 3, true);
  WriteFile(folder / L"placed.txt", "placed");
  record.CloseEntry(true);
  WriteFile(folder / L"foreign.txt", "not ours");
  record.Rollback();
  EXPECT_FALSE(std::filesystem::exists(folder / L"placed.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder / L"foreign.txt"));
}

class RollbackUninstallKey : public testing::Test {
 protected:
  void SetUp() override { test::delete_registry_tree(HKEY_LOCAL_MACHINE, productKey); }
  void TearDown() override { test::delete_registry_tree(HKEY_LOCAL_MACHINE, productKey); }

  static kv::unique_hkey CreateProductKey(DWORD* disposition) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kv::registry_view(), nullptr,
                    &key, disposition);
    return kv::unique_hkey(key);
  }
  static void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  static std::optional<std::wstring> DisplayName() {
    const kv::unique_hkey key = kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ);
    return key ? kv::read_registry_string(key.get(), L"DisplayName") : std::nullopt;
  }
};

TEST_F(RollbackUninstallKey, AKeyThisRunCreatedIsDeleted) {
  DWORD disposition = 0;
  {
    const kv::unique_hkey key = CreateProductKey(&disposition);
    ASSERT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
    InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
    record.AddUninstallKey(nullptr);
    SetString(key.get(), L"DisplayName", L"Gradivo 7.17a");
    record.CloseEntry(true);
    EXPECT_TRUE(record.entries().back().backupPath.empty());
    record.Rollback();
  }
  EXPECT_FALSE(kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ));
}

TEST_F(RollbackUninstallKey, AnExistingKeyIsSavedAndRestored) {
  DWORD disposition = 0;
  {
    const kv::unique_hkey key = CreateProductKey(&disposition);
    SetString(key.get(), L"DisplayName", L"Gradivo 7.16");
  }
  std::wstring snapshot;
  {
    const kv::unique_hkey key = CreateProductKey(&disposition);
    ASSERT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});
    InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
    record.AddUninstallKey(key.get());
    snapshot = record.entries().back().backupPath;
    if (snapshot.empty()) {
      // Saving needs the backup privilege; without it the key is kept as it is by the rollback.
      EXPECT_TRUE(record.entries().back().keepKey);
    } else {
      EXPECT_TRUE(std::filesystem::exists(snapshot));
      EXPECT_EQ(std::filesystem::path(snapshot).filename().wstring().substr(0, 2), L"kv");
    }
    SetString(key.get(), L"DisplayName", L"Gradivo 7.17a");
    record.CloseEntry(true);
    record.Rollback();
  }
  ASSERT_TRUE(kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ)) << "an existing key is never deleted";
  if (!snapshot.empty()) {
    EXPECT_FALSE(std::filesystem::exists(snapshot));
  }
  if (test::running_under_wine()) GTEST_SKIP() << "Wine's RegRestoreKeyW answers success and restores nothing";
  EXPECT_EQ(DisplayName(), L"Gradivo 7.16");
}

TEST_F(RollbackUninstallKey, SnapshotsGoWhenTheRecordIsWritten) {
  DWORD disposition = 0;
  { CreateProductKey(&disposition); }
  const kv::unique_hkey key = CreateProductKey(&disposition);
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  record.AddUninstallKey(key.get());
  record.CloseEntry(true);
  const std::wstring snapshot = record.entries().back().backupPath;
  test::scratch_folder scratch;
  EXPECT_TRUE(record.Write((scratch.path() / L"Uninstall.ulog").wstring(), L"C:\\x", L"C:\\y"));
  if (!snapshot.empty()) {
    EXPECT_FALSE(std::filesystem::exists(snapshot));
  }
  SetFileAttributesW((scratch.path() / L"Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
