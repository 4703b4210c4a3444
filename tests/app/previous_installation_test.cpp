#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/install_app.h"
#include "common/test_environment.h"
#include "support/wow64.h"

namespace {

const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";
const std::wstring makerKey = L"Software\\Veltram & Ruziruzu";

void WriteProductPath(const std::wstring& path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, makerKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kv::registry_view(),
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"Gradivo 7 Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                 static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void WriteUtf16(const std::filesystem::path& file, const std::wstring& text) {
  std::ofstream out(file, std::ios::binary);
  out.write("\xFF\xFE", 2);
  for (wchar_t c : text) {
    out.put(static_cast<char>(c & 0xFF));
    out.put(static_cast<char>(c >> 8));
  }
}

// An installed product (one of the version fixtures copied in as Gradivo.exe) with a record file
// beside it that names its folders.
class PreviousInstallation : public testing::Test {
 protected:
  void SetUp() override { RemoveKeys(); }
  void TearDown() override { RemoveKeys(); }
  static void RemoveKeys() {
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, uninstallKey);
    test::delete_registry_tree(HKEY_LOCAL_MACHINE, makerKey);
  }

  void Install(const wchar_t* fixture, bool menuExists) {
    std::filesystem::create_directories(app_);
    if (menuExists) std::filesystem::create_directories(menu_);
    std::filesystem::copy_file(test::test_program_folder() / L"fixtures" / fixture, app_ / L"Gradivo.exe");
    WriteProductPath((app_ / L"Gradivo.exe").wstring());
    WriteUtf16(app_ / L"Uninstall.ulog",
               L"// Uninstall Log File v1\r\n// warning\r\n// Install Gradivo 7.16\r\n"
               L"// Install Path : " + app_.wstring() + L"\r\n// Shortcut Path : " + menu_.wstring() +
                   L"\r\n// ---\r\n0000:0101:1 -- " + (app_ / L"Gradivo.exe").wstring() + L"\r\n");
  }

  test::scratch_folder scratch_;
  std::filesystem::path app_ = scratch_.path() / L"Old App";
  std::filesystem::path menu_ = scratch_.path() / L"Old Menu";
};

TEST_F(PreviousInstallation, OlderVersionsFoldersAndEntriesAreTakenOver) {
  Install(L"product_7_17_0_9.dll", true);
  CInstallApp app;
  app.DetectInstalledProduct();
  app.ReadPreviousRecord();
  app.ApplyDefaultFolders();
  EXPECT_EQ(app.options.previousState, PreviousInstallState::OlderVersion);
  EXPECT_EQ(app.options.installFolder, app_.wstring());
  EXPECT_EQ(app.options.startMenuFolder, menu_.wstring());
  EXPECT_EQ(app.options.record.previousProduct, L"Gradivo 7.16");
  EXPECT_TRUE(app.options.record.WasFileInstalled((app_ / L"Gradivo.exe").wstring()));
}

TEST_F(PreviousInstallation, AMissingFolderFallsBackToTheDefault) {
  Install(L"product_7_17_1_1.dll", false);
  CInstallApp app;
  app.DetectInstalledProduct();
  app.ReadPreviousRecord();
  app.ApplyDefaultFolders();
  EXPECT_EQ(app.options.previousState, PreviousInstallState::SameVersion);
  EXPECT_EQ(app.options.installFolder, app_.wstring());
  EXPECT_NE(app.options.startMenuFolder, menu_.wstring());
  EXPECT_FALSE(app.options.startMenuFolder.empty());
}

TEST_F(PreviousInstallation, ANewerVersionsRecordIsNotRead) {
  Install(L"product_7_17_1_2.dll", true);
  CInstallApp app;
  app.DetectInstalledProduct();
  app.ReadPreviousRecord();
  app.ApplyDefaultFolders();
  EXPECT_EQ(app.options.previousState, PreviousInstallState::NewerVersion);
  EXPECT_NE(app.options.installFolder, app_.wstring());
  EXPECT_TRUE(app.options.record.previousEntries().empty());
}

}  // namespace
