// The built installer as a user meets it: the resources inside the executable, and a start under
// Wine that shows the wizard announcing the installation.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "common/test_environment.h"
#include "engine/payload_extractor.h"
#include "support/handles.h"
#include "support/memory_stream.h"
#include "support/version_info.h"

namespace {

std::filesystem::path InstallerPath() {
  return test::test_program_folder().parent_path() / L"bin" / L"InstallGradivo7.17a.exe";
}

class InstallerResources : public testing::Test {
 protected:
  void SetUp() override {
    module_.reset(LoadLibraryExW(InstallerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_) << "cannot load " << InstallerPath().string();
  }
  HMODULE module() const { return module_.get(); }

  // The bytes of one resource, or an empty view.
  std::string_view Resource(const wchar_t* type, const wchar_t* name) const {
    HRSRC found = FindResourceW(module(), name, type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module(), found);
    return {static_cast<const char*>(LockResource(loaded)), SizeofResource(module(), found)};
  }

 private:
  kv::unique_hmodule module_;
};

TEST_F(InstallerResources, VersionBlock) {
  const kv::version_info info(InstallerPath().wstring());
  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } values[] = {
      {L"ProductName", L"Install"},
      {L"ProductVersion", L"2.04a"},
      {L"FileVersion", L"2.4.1.1"},
      {L"FileDescription", L"Installeur Gradivo 7.17a"},
      {L"CompanyName", L"Veltram & Ruziruzu"},
      {L"InternalName", L"Install"},
      {L"OriginalFilename", L"InstallGradivo7.17a.exe"},
      {L"ApplicationId", L"Gradivo7"},
  };
  for (const auto& v : values) EXPECT_EQ(info.value(v.name), v.value) << std::wstring(v.name).size();
  EXPECT_NE(info.legal_text().find(L"Veltram & Ruziruzu"), std::wstring::npos);
  EXPECT_EQ(info.file_version(), 0x0002000400010001ull);
  ASSERT_EQ(info.translations().size(), 1u);
  EXPECT_EQ(info.translations()[0], L"040004b0");
  EXPECT_EQ(info.display_name_with_version(), L"Install 2.04a");
}

TEST_F(InstallerResources, Manifest) {
  const std::string manifest(Resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1)));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
}

TEST_F(InstallerResources, IconsAndSideBitmap) {
  for (int id = 141; id <= 162; ++id) {
    const bool present = FindResourceW(module(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    EXPECT_EQ(present, id != 159) << "flag icon " << id;
  }
  EXPECT_NE(FindResourceW(module(), MAKEINTRESOURCEW(128), MAKEINTRESOURCEW(14)), nullptr) << "program icon";

  const std::string_view bitmap = Resource(MAKEINTRESOURCEW(2) /* RT_BITMAP */, MAKEINTRESOURCEW(137));
  ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header{};
  std::memcpy(&header, bitmap.data(), sizeof(header));
  EXPECT_EQ(header.biWidth, 87);
  EXPECT_EQ(std::abs(header.biHeight), 171);
  EXPECT_EQ(header.biBitCount, 8);
}

TEST_F(InstallerResources, CarriesTheSamplePayload) {
  HRSRC found = FindResourceExW(module(), MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_NE(found, nullptr) << "payload resource 260/134, language neutral";
  const std::string_view payload = Resource(MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134));
  ASSERT_GT(payload.size(), 4u);
  EXPECT_EQ(payload.substr(0, 4), "BZh9");

  kv::basic_imemstream source(payload.data(), payload.size());
  ASSERT_TRUE(VerifyPayload(source));
  source.clear();
  source.seekg(0);

  test::scratch_folder folder;
  std::vector<int> kinds(6, 0);
  int ended = 0;
  std::uint64_t total = 0;
  const bool ok = ExtractPayload(source, (folder.path() / L"install").wstring(), (folder.path() / L"samples").wstring(),
                                 (folder.path() / L"temp").wstring(), [&](notification message) {
                                   if (auto* end = std::get_if<notification::file_end>(&message)) {
                                     ++ended;
                                     if (end->entry.kind < kinds.size()) ++kinds[end->entry.kind];
                                   }
                                   if (auto* finished = std::get_if<notification::finished>(&message))
                                     total = finished->total;
                                   return notification::result::proceed;
                                 });
  ASSERT_TRUE(ok);
  EXPECT_EQ(ended, 72);
  EXPECT_EQ(kinds, (std::vector<int>{10, 1, 1, 13, 41, 6}));
  EXPECT_GT(total, 30u * 1024 * 1024);
  const kv::version_info product((folder.path() / L"install" / L"Gradivo.exe").wstring());
  EXPECT_EQ(product.file_version(), 0x0007001100010001ull);
}

TEST(InstallerProgram, StartsAndAnnouncesTheInstallation) {
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + InstallerPath().wstring() + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  kv::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
  // Whatever the test finds, the installer does not outlive it.
  struct Terminator {
    HANDLE process;
    ~Terminator() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
    }
  } terminator{processHandle.get()};

  // The wizard of the installer, captioned with its title.
  HWND box = nullptr;
  for (int i = 0; i < 300 && !box; ++i) {
    box = FindWindowW(L"#32770", L"Installer \u2013 Gradivo 7.17a");
    // The wizard shows itself once its pages are made.
    if (box && !IsWindowVisible(box)) box = nullptr;
    if (!box) Sleep(100);
  }
  ASSERT_NE(box, nullptr) << "the installer showed no window";
  std::wstring text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM param) -> BOOL {
        wchar_t buffer[512] = {};
        GetWindowTextW(child, buffer, 512);
        if (wcscmp(buffer, L"'Gradivo 7.17a' Installation.") != 0) return TRUE;
        *reinterpret_cast<std::wstring*>(param) = buffer;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&text));
  EXPECT_EQ(text, L"'Gradivo 7.17a' Installation.");
  // Exit asks for confirmation (the installation is not complete); Yes ends the program.
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  HWND confirmation = nullptr;
  for (int i = 0; i < 300 && !confirmation; ++i) {
    HWND popup = GetLastActivePopup(box);
    if (popup != box && IsWindowVisible(popup)) confirmation = popup;
    if (!confirmation) Sleep(100);
  }
  ASSERT_NE(confirmation, nullptr) << "the installer asked nothing";
  PostMessageW(confirmation, WM_COMMAND, IDYES, 0);
  ASSERT_EQ(WaitForSingleObject(processHandle.get(), 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  EXPECT_EQ(exitCode, 0u);
}

}  // namespace
