#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "common/test_environment.h"
#include "record/previous_record.h"
#include "record_test_files.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/wow64.h"

using namespace record_test;

namespace {

const std::wstring keyName = L"Gradivo 7";
const std::wstring keyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + keyName;

// The product's Uninstall key with "UninstallString" stored as the given raw data, removed again
// afterwards; a record file beside this test program, removed again.
struct PreviousRecordTest : ::testing::Test {
  test::scratch_folder scratch;
  std::filesystem::path besideProgram = std::filesystem::path(kv::module_path()).parent_path() / L"Uninstall.ulog";

  void SetUp() override {
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, keyPath);
    std::filesystem::remove(besideProgram);
  }
  void TearDown() override {
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, keyPath);
    std::filesystem::remove(besideProgram);
  }

  void RegisterUninstaller(DWORD type, const std::wstring& data, std::size_t bytes) {
    kv::unique_hkey key;
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kv::registry_view(),
                              nullptr, &raw, nullptr),
              ERROR_SUCCESS);
    key.reset(raw);
    ASSERT_EQ(RegSetValueExW(key.get(), L"UninstallString", 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(bytes)),
              ERROR_SUCCESS);
  }

  std::filesystem::path MakeRecord(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / L"Uninstall.ulog";
    WriteBytes(file, Utf16(RecordText(L"", L"", L"")));
    return file;
  }
};

TEST_F(PreviousRecordTest, RegisteredUninstallerComesFirst) {
  const std::filesystem::path record = MakeRecord(scratch.path() / L"App");
  MakeRecord(besideProgram.parent_path());
  const std::wstring uninstaller = (scratch.path() / L"App" / L"Uninstall.exe").wstring();
  RegisterUninstaller(REG_SZ, uninstaller, (uninstaller.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(FindPreviousRecord(keyName, L""), record.wstring());
}

TEST_F(PreviousRecordTest, ThisProgramsFolderWhenTheUninstallerHasNoRecord) {
  // The Uninstall key names a folder without a record; the installer runs from a folder with one.
  std::filesystem::create_directories(scratch.path() / L"App");
  const std::wstring uninstaller = (scratch.path() / L"App" / L"Uninstall.exe").wstring();
  RegisterUninstaller(REG_SZ, uninstaller, (uninstaller.size() + 1) * sizeof(wchar_t));
  const std::filesystem::path record = MakeRecord(besideProgram.parent_path());
  EXPECT_EQ(FindPreviousRecord(keyName, L""), record.wstring());
}

TEST_F(PreviousRecordTest, InstalledProductLast) {
  const std::filesystem::path record = MakeRecord(scratch.path() / L"Product");
  const std::filesystem::path product = scratch.path() / L"Product" / L"Gradivo.exe";
  WriteBytes(product, "MZ");
  EXPECT_EQ(FindPreviousRecord(keyName, product.wstring()), record.wstring());
  // A product path that names nothing gives no candidate.
  EXPECT_EQ(FindPreviousRecord(keyName, (scratch.path() / L"Product" / L"missing.exe").wstring()), L"");
  EXPECT_EQ(FindPreviousRecord(keyName, L""), L"");
}

// A registered uninstaller counts only as a string value of even size that ends with its NUL.
TEST_F(PreviousRecordTest, MalformedUninstallStringsAreSkipped) {
  MakeRecord(scratch.path() / L"App");
  const std::wstring uninstaller = (scratch.path() / L"App" / L"Uninstall.exe").wstring();
  const std::size_t withNul = (uninstaller.size() + 1) * sizeof(wchar_t);
  struct Case {
    DWORD type;
    std::size_t bytes;
    bool counts;
  } cases[] = {
      {REG_SZ, withNul, true},
      {REG_EXPAND_SZ, withNul, true},
      {REG_SZ, withNul - sizeof(wchar_t), false},  // no terminating NUL
      {REG_SZ, withNul - 1, false},                 // odd size
      {REG_BINARY, withNul, false},
  };
  for (const Case& c : cases) {
    // Wine's RegSetValueExW adds the NUL a string value lacks, so that case cannot be stored there.
    if (c.type == REG_SZ && c.bytes == withNul - sizeof(wchar_t) && test::running_under_wine()) continue;
    RegisterUninstaller(c.type, uninstaller, c.bytes);
    EXPECT_EQ(FindPreviousRecord(keyName, L"").empty(), !c.counts) << "type " << c.type << " size " << c.bytes;
  }
}

TEST(RecordFileBeside, ReplacesTheLastComponent) {
  EXPECT_EQ(RecordFileBeside(L"C:\\Program Files\\App\\Uninstall.exe"), L"C:\\Program Files\\App\\Uninstall.ulog");
  EXPECT_EQ(RecordFileBeside(L"C:\\App\\\\Uninstall.exe"), L"C:\\App\\Uninstall.ulog");
  EXPECT_EQ(RecordFileBeside(L""), L"");
}

}  // namespace
