#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_environment.h"
#include "engine/product_registration.h"
#include "support/handles.h"
#include "support/encoding.h"
#include "support/registry.h"
#include "support/wow64.h"

namespace {

const std::wstring productKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";
const std::wstring makerKey = L"Software\\Veltram & Ruziruzu";

UninstallEntry SampleEntry() {
  UninstallEntry entry;
  entry.keyName = L"Gradivo 7";
  entry.displayName = L"Gradivo 7.17a";
  entry.uninstaller = L"C:\\Program Files\\Veltram & Ruziruzu\\Gradivo 7\\Uninstall.exe";
  entry.productExePath = L"C:\\Program Files\\Veltram & Ruziruzu\\Gradivo 7\\Gradivo.exe";
  entry.displayVersion = L"7.17.1.1";
  entry.publisher = L"Veltram & Ruziruzu";
  entry.webAddress = L"https://www.veltram-ruziruzu.example";
  entry.supportTelephone = L"+33 1 00 00 00 00";
  entry.language = 1;
  return entry;
}

struct RegistryValue {
  std::wstring name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

// The values of a key.
std::vector<RegistryValue> Values(const std::wstring& subkey) {
  std::vector<RegistryValue> values;
  const kv::unique_hkey key = kv::open_registry_key(HKEY_LOCAL_MACHINE, subkey, KEY_READ);
  if (!key) return values;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, size = 4096;
    std::vector<BYTE> data(size);
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    data.resize(size);
    values.push_back({name, type, data});
  }
  return values;
}

std::vector<BYTE> StringData(const std::wstring& text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<BYTE> NumberData(DWORD value) {
  const auto* bytes = reinterpret_cast<const BYTE*>(&value);
  return std::vector<BYTE>(bytes, bytes + sizeof value);
}

class ProductRegistration : public testing::Test {
 protected:
  void SetUp() override { RemoveKeys(); }
  void TearDown() override { RemoveKeys(); }
  static void RemoveKeys() {
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, productKey);
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, makerKey);
  }
};

TEST_F(ProductRegistration, UninstallEntryHoldsTheTwelveValues) {
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  ASSERT_TRUE(WriteUninstallEntry(record, SampleEntry()));
  const UninstallEntry entry = SampleEntry();
  const std::vector<std::pair<std::wstring, std::vector<BYTE>>> expected = {
      {L"DisplayName", StringData(entry.displayName)},
      {L"UninstallString", StringData(entry.uninstaller)},
      {L"DisplayIcon", StringData(entry.productExePath + L",0")},
      {L"DisplayVersion", StringData(L"7.17.1.1")},
      {L"Publisher", StringData(L"Veltram & Ruziruzu")},
      {L"URLInfoAbout", StringData(entry.webAddress)},
      {L"HelpLink", StringData(entry.webAddress)},
      {L"URLUpdateInfo", StringData(entry.webAddress)},
      {L"HelpTelephone", StringData(entry.supportTelephone)},
      {L"NoModify", NumberData(1)},
      {L"NoRepair", NumberData(1)},
      {L"KvLanguage", NumberData(1)},
  };
  // Wine enumerates values sorted by name, so each is looked up by its name.
  const std::vector<RegistryValue> values = Values(productKey);
  ASSERT_EQ(values.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto value = std::find_if(values.begin(), values.end(),
                                    [&](const RegistryValue& v) { return v.name == expected[i].first; });
    ASSERT_NE(value, values.end()) << testing::PrintToString(expected[i].first);
    EXPECT_EQ(value->type, DWORD(i >= 9 ? REG_DWORD : REG_SZ)) << testing::PrintToString(value->name);
    EXPECT_EQ(value->data, expected[i].second) << testing::PrintToString(value->name);
  }
  // A fresh key is recorded without a snapshot, closed as written.
  ASSERT_EQ(record.entries().size(), 1u);
  EXPECT_EQ(record.entries()[0].kind, RecordEntryKind::UninstallKey);
  EXPECT_TRUE(record.entries()[0].succeeded);
  EXPECT_TRUE(record.entries()[0].backupPath.empty());
  EXPECT_FALSE(record.entryOpen());
}

TEST_F(ProductRegistration, AnExistingEntryIsSnapshotFirstAndOverwritten) {
  InstallationRecord first(L"Gradivo 7.17a", L"Gradivo 7");
  UninstallEntry older = SampleEntry();
  older.displayName = L"Gradivo 7.16";
  ASSERT_TRUE(WriteUninstallEntry(first, older));
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  ASSERT_TRUE(WriteUninstallEntry(record, SampleEntry()));
  const kv::unique_hkey key = kv::open_registry_key(HKEY_LOCAL_MACHINE, productKey, KEY_READ);
  EXPECT_EQ(kv::read_registry_string(key.get(), L"DisplayName"), L"Gradivo 7.17a");
  const RecordEntry& entry = record.entries().at(0);
  EXPECT_TRUE(!entry.backupPath.empty() || entry.keepKey) << "the existing key is saved, or kept by a rollback";
  // The snapshot goes with the written record.
  test::scratch_folder scratch;
  const std::wstring snapshot = entry.backupPath;
  record.Write((scratch.path() / L"Uninstall.ulog").wstring(), L"C:\\x", L"C:\\y");
  if (!snapshot.empty()) {
    EXPECT_FALSE(std::filesystem::exists(snapshot));
  }
  SetFileAttributesW((scratch.path() / L"Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ProductRegistration, ProductPathUnderTheMakersKey) {
  ASSERT_TRUE(WriteProductPath(L"Veltram & Ruziruzu", L"Gradivo 7", L"C:\\App Folder\\Gradivo.exe"));
  const std::vector<RegistryValue> values = Values(makerKey);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, L"Gradivo 7 Path");
  EXPECT_EQ(values[0].type, DWORD{REG_SZ});
  EXPECT_EQ(values[0].data, StringData(L"C:\\App Folder\\Gradivo.exe"));
}

TEST(RegistrationCommandLine, QuotesBlanksAndAddsTheUpdateOption) {
  EXPECT_EQ(RegistrationCommandLine(L"C:\\Apps\\Gradivo.exe", 0), L"C:\\Apps\\Gradivo.exe /Register /Background");
  EXPECT_EQ(RegistrationCommandLine(L"C:\\Program Files\\Gradivo.exe", 0),
            L"\"C:\\Program Files\\Gradivo.exe\" /Register /Background");
  EXPECT_EQ(RegistrationCommandLine(L"C:\\Apps\\Gradivo.exe", 0x0007001000020000ull),
            L"C:\\Apps\\Gradivo.exe /Register /Background /update=0007001000020000");
  EXPECT_EQ(RegistrationCommandLine(L"C:\\Apps\\Gradivo.exe", 0xABCDEF0012345678ull),
            L"C:\\Apps\\Gradivo.exe /Register /Background /update=abcdef0012345678");
}

// The sample payload's stand-in product, copied into a folder with a blank in its name; it
// writes its command line and current folder to a log file the test names.
class RegistrationRun : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_);
    std::filesystem::copy_file(test::test_program_folder().parent_path() / L"payload" / L"files" / L"Gradivo.exe",
                               product_);
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_LOG", log_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_LOG", nullptr);
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_EXIT", nullptr);
  }
  std::string Log() const {
    std::ifstream in{std::filesystem::path(log_)};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  test::scratch_folder scratch_;
  std::filesystem::path folder_ = scratch_.path() / L"Gradivo 7";
  std::wstring product_ = (folder_ / L"Gradivo.exe").wstring();
  std::wstring log_ = (scratch_.path() / L"registration.log").wstring();
  kv::named_mutex mutex_{L"Gradivo7.test-registration-mutex", true, false};
};

TEST_F(RegistrationRun, RunsTheProductAndTakesTheMutexBack) {
  ASSERT_TRUE(mutex_.owned());
  SetEnvironmentVariableW(L"GRADIVO_PRODUCT_MUTEX", L"Gradivo7.test-registration-mutex");
  InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
  EXPECT_TRUE(RunProductRegistration(record, mutex_, product_, 0x0007001000020000ull, true));
  EXPECT_TRUE(mutex_.owned());
  const std::string log = Log();
  EXPECT_NE(log.find("/Register /Background /update=0007001000020000"), std::string::npos) << log;
  EXPECT_NE(log.find("command \"" + kv::wide_to_utf8(product_) + "\""), std::string::npos) << log;
  EXPECT_NE(log.find("folder " + kv::wide_to_utf8(folder_.wstring())), std::string::npos) << log;
  EXPECT_NE(log.find("mutex free"), std::string::npos) << "the mutex is free while the product runs: " << log;
  SetEnvironmentVariableW(L"GRADIVO_PRODUCT_MUTEX", nullptr);
  ASSERT_EQ(record.entries().size(), 1u);
  EXPECT_EQ(record.entries()[0].kind, RecordEntryKind::FileAssociations);
  EXPECT_TRUE(record.entries()[0].succeeded);
}

TEST_F(RegistrationRun, OutcomesOfTheRun) {
  const struct {
    const wchar_t* exitCode;  // null: the product's own -10
    bool entryWritten;
    bool productPresent;
    bool result;
    bool recorded;
  } cases[] = {
      {nullptr, true, true, true, true},
      {nullptr, false, true, false, true},  // the entry flag carries through
      {L"0", true, true, false, false},     // any other exit code is a failure
      {nullptr, true, false, false, false}, // the product cannot be started
  };
  for (const auto& c : cases) {
    SetEnvironmentVariableW(L"GRADIVO_PRODUCT_EXIT", c.exitCode);
    if (!c.productPresent) std::filesystem::remove(product_);
    InstallationRecord record(L"Gradivo 7.17a", L"Gradivo 7");
    EXPECT_EQ(RunProductRegistration(record, mutex_, product_, 0, c.entryWritten), c.result);
    EXPECT_TRUE(mutex_.owned()) << "the mutex is taken back in every case";
    ASSERT_EQ(record.entries().size(), 1u);
    EXPECT_EQ(record.entries()[0].succeeded, c.recorded);
    EXPECT_FALSE(record.entryOpen());
  }
  EXPECT_EQ(Log().find("/update="), std::string::npos) << "no update option without a previous version";
}

}  // namespace
