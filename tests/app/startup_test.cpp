#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <regex>
#include <string>

#include "app/install_app.h"
#include "app/messages.h"
#include "common/test_environment.h"
#include "support/registry.h"
#include "support/wow64.h"

namespace {

const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";
const std::wstring makerKey = L"Software\\Veltram & Ruziruzu";

void WriteValue(const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kv::registry_view(),
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(key);
}

void WriteProductPath(const std::wstring& path) {
  WriteValue(makerKey, L"Gradivo 7 Path", REG_SZ, path.c_str(), static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

// Each test starts on a machine without the product's keys and leaves none behind.
class StartupTest : public testing::Test {
 protected:
  void SetUp() override { RemoveProductKeys(); }
  void TearDown() override {
    RemoveProductKeys();
    SetCurrentLanguage(savedLanguage_);
  }
  static void RemoveProductKeys() {
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, uninstallKey);
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, makerKey);
  }

 private:
  Language savedLanguage_ = GetLanguageSettings().currentLanguage;
};

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

TEST_F(StartupTest, LanguageFromKvLanguage) {
  // The test machine's user language is English (a product language), so English is the detected one.
  ASSERT_EQ(DetectDefaultLanguage(productLanguageMask), English);
  const struct {
    const char* what;
    DWORD type;
    DWORD value;
    DWORD size;
    Language expected;
  } cases[] = {
      {"German", REG_DWORD, 2, 4, German},
      {"French", REG_DWORD, 0, 4, French},
      {"Hungarian", REG_DWORD, 19, 4, Hungarian},
      {"Dutch: product language without installer texts", REG_DWORD, 5, 4, English},
      {"Italian: installer language but no product language", REG_DWORD, 11, 4, English},
      {"out of range", REG_DWORD, 21, 4, English},
      {"minus one", REG_DWORD, 0xFFFFFFFF, 4, English},
      {"binary, not a DWORD", REG_BINARY, 2, 4, English},
      {"short DWORD", REG_DWORD, 2, 2, English},
  };
  for (const auto& c : cases) {
    WriteValue(uninstallKey, L"KvLanguage", c.type, &c.value, c.size);
    SetCurrentLanguage(Czech);
    CInstallApp app;
    app.ResolveLanguage();
    EXPECT_EQ(GetLanguageSettings().currentLanguage, c.expected) << c.what;
  }
  const std::wstring text = L"2";
  WriteValue(uninstallKey, L"KvLanguage", REG_SZ, text.c_str(), 4);
  CInstallApp app;
  app.ResolveLanguage();
  EXPECT_EQ(GetLanguageSettings().currentLanguage, English) << "a string value";
}

TEST_F(StartupTest, LanguageWithoutKvLanguageAndTitle) {
  SetCurrentLanguage(German);
  CInstallApp app;
  app.ResolveLanguage();
  EXPECT_EQ(GetLanguageSettings().currentLanguage, English);
  EXPECT_EQ(app.GetTitle(), L"Installer \u2013 Gradivo 7.17a");
  EXPECT_EQ(app.GetInstallerTitle(false), L"Installer");
}

TEST_F(StartupTest, KvLanguageIsReadFromThe32BitView) {
  // A value in the 64-bit view only is not the installer's.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD german = German;
  RegSetValueExW(key, L"KvLanguage", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&german), sizeof(german));
  RegCloseKey(key);
  CInstallApp app;
  app.ResolveLanguage();
  EXPECT_EQ(GetLanguageSettings().currentLanguage, English);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, uninstallKey.c_str(), KEY_WOW64_64KEY, 0);
}

TEST_F(StartupTest, DefaultFoldersOnAFreshMachine) {
  CInstallApp app;
  app.DetectInstalledProduct();
  app.ApplyDefaultFolders();
  EXPECT_EQ(app.options.previousState, PreviousInstallState::None);
  EXPECT_EQ(app.options.installFolder, SpecialFolder(kv::program_files_csidl()) + L"\\Veltram & Ruziruzu\\Gradivo 7");
  EXPECT_EQ(app.options.startMenuFolder, SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Veltram & Ruziruzu\\Gradivo 7");
  EXPECT_TRUE(app.options.startMenuShortcuts);
  EXPECT_TRUE(app.options.desktopShortcut);
  EXPECT_FALSE(app.options.advancedMode);
  EXPECT_FALSE(PathFileExistsW(app.options.installFolder.c_str())) << "the folder is not created";
#ifdef _WIN64
  // The 32-bit program's Program Files folder.
  EXPECT_NE(app.options.installFolder.find(L"(x86)"), std::wstring::npos);
#endif
}

TEST_F(StartupTest, FoldersAlreadyChosenAreKept) {
  CInstallApp app;
  app.options.installFolder = L"D:\\Apps\\Gradivo";
  app.options.startMenuFolder = L"D:\\Menu";
  app.ApplyDefaultFolders();
  EXPECT_EQ(app.options.installFolder, L"D:\\Apps\\Gradivo");
  EXPECT_EQ(app.options.startMenuFolder, L"D:\\Menu");
}

TEST_F(StartupTest, InstalledVersionComparison) {
  const std::wstring fixtures = (test::test_program_folder() / L"fixtures").wstring();
  const struct {
    const wchar_t* file;
    PreviousInstallState state;
    std::uint64_t previousVersion;
    const wchar_t* versionText;
  } cases[] = {
      {L"product_7_17_1_1.dll", PreviousInstallState::SameVersion, 0, L""},
      {L"product_7_17_1_2.dll", PreviousInstallState::NewerVersion, 0, L"Gradivo 7.17.1.2"},
      {L"product_7_17_0_9.dll", PreviousInstallState::OlderVersion, PackVersion(7, 17, 0, 9), L"Gradivo 7.17.0.9"},
      {L"product_unversioned.dll", PreviousInstallState::SameVersion, 0, L""},
      {L"missing.dll", PreviousInstallState::None, 0, L""},
  };
  for (const auto& c : cases) {
    const std::wstring path = fixtures + L"\\" + c.file;
    WriteProductPath(path);
    CInstallApp app;
    app.DetectInstalledProduct();
    EXPECT_EQ(app.options.previousState, c.state) << c.file;
    EXPECT_EQ(app.options.previousVersion, c.previousVersion) << c.file;
    std::wstring versionText = L"untouched";
    app.GetPreviousInstallState(&versionText);
    const bool reported = c.state == PreviousInstallState::OlderVersion || c.state == PreviousInstallState::NewerVersion;
    EXPECT_EQ(versionText, reported ? std::wstring(c.versionText) : L"untouched") << c.file;
    EXPECT_EQ(app.GetInstalledProductPath(), c.state == PreviousInstallState::None ? L"" : path) << c.file;
  }
}

TEST_F(StartupTest, MissingExecutableKeepsTheStoredLanguage) {
  WriteProductPath(L"C:\\nowhere\\Gradivo.exe");
  const DWORD german = German;
  WriteValue(uninstallKey, L"KvLanguage", REG_DWORD, &german, sizeof(german));
  CInstallApp app;
  app.ResolveLanguage();
  app.DetectInstalledProduct();
  EXPECT_EQ(app.options.previousState, PreviousInstallState::None);
  EXPECT_EQ(GetLanguageSettings().currentLanguage, German);
}

TEST_F(StartupTest, TemporaryFolderName) {
  CInstallApp app;
  std::wstring error;
  ASSERT_TRUE(app.PrepareTemporaryFolder(error));
  const std::wstring first = app.options.temporaryFolder;
  ASSERT_TRUE(app.PrepareTemporaryFolder(error));
  EXPECT_NE(app.options.temporaryFolder, first);

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  ASSERT_EQ(first.rfind(temp, 0), 0u) << "under the user's temporary folder";
  const std::wstring name = first.substr(wcslen(temp));
  EXPECT_TRUE(std::regex_match(
      name, std::wregex(L"veltram_\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\}")))
      << std::string(name.begin(), name.end());
  EXPECT_FALSE(PathFileExistsW(first.c_str()));
}

TEST(ProductConstants, KeyNamesAndProductName) {
  EXPECT_EQ(GetProductKeyName(0x0407), L"Gradivo 7");
  EXPECT_THROW(GetProductKeyName(0x0408), std::logic_error);
  CInstallApp app;
  EXPECT_EQ(app.GetProductName(true), L"Gradivo");
  EXPECT_EQ(app.GetProductName(false), L"Gradivo 7.17a");
  EXPECT_EQ(app.product.productVersion, 0x0007001100010001ull);
  EXPECT_EQ(app.product.applicationId, L"Gradivo7");
}

}  // namespace
