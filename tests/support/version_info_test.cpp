#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/languages.h"
#include "common/test_environment.h"
#include "support/version_info.h"

namespace {

// The path of a version fixture built next to the test program.
std::wstring fixture(const wchar_t* name) { return (test::test_program_folder() / name).wstring(); }

std::wstring own_program_path() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// Sets the installer's locale for the life of the object and restores the previous one.
class locale_override {
 public:
  explicit locale_override(LCID locale) : saved_(GetLanguageSettings().localeId) {
    GetLanguageSettings().localeId = locale;
  }
  ~locale_override() { GetLanguageSettings().localeId = saved_; }
  locale_override(const locale_override&) = delete;
  locale_override& operator=(const locale_override&) = delete;

 private:
  LCID saved_;
};

TEST(VersionInfo, ProgramOwnResource) {
  const kv::version_info info;
  ASSERT_NE(info.fixed_info(), nullptr);
  EXPECT_EQ(info.fixed_info()->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info.translations(), std::vector<std::wstring>{L"040004b0"});
  EXPECT_EQ(info.product_name(), L"Install");
  EXPECT_EQ(info.product_version(), L"2.04a");
  EXPECT_EQ(info.display_name_with_version(), L"Install 2.04a");
  EXPECT_EQ(info.file_version(), 0x0002000400010001u);
  EXPECT_EQ(info.value(L"ApplicationId"), L"Gradivo7");
  EXPECT_EQ(info.value(L"NoSuchValue"), L"");
}

TEST(VersionInfo, ProgramResourceMatchesProgramFile) {
  const kv::version_info in_memory;
  const kv::version_info on_disk(own_program_path());
  EXPECT_EQ(on_disk.translations(), in_memory.translations());
  EXPECT_EQ(on_disk.file_version(), in_memory.file_version());
  EXPECT_EQ(on_disk.display_name_with_version(), in_memory.display_name_with_version());
  EXPECT_EQ(on_disk.legal_text(), in_memory.legal_text());
}

TEST(VersionInfo, ValuesComeFromFirstUnicodeTranslation) {
  const kv::version_info info(fixture(L"version_fixture_two_translations.dll"));
  EXPECT_EQ(info.translations(), (std::vector<std::wstring>{L"040904b0", L"040c04b0"}));
  EXPECT_EQ(info.product_name(), L"Gradivo");
  EXPECT_EQ(info.product_version(), L"7.18");
  EXPECT_EQ(info.value(L"Comments"), L"") << "a value of the second translation only";
  EXPECT_EQ(info.file_version(), 0x0007001200000005u);
}

TEST(VersionInfo, CodePage1252OnlyResourceHasNoValues) {
  const std::wstring path = fixture(L"version_fixture_ansi_only.dll");
  const kv::version_info info(path);
  EXPECT_TRUE(info.translations().empty());
  EXPECT_EQ(info.product_name(), L"");
  EXPECT_EQ(info.product_version(), L"");
  EXPECT_EQ(info.display_name_with_version(), L"");
  ASSERT_NE(info.fixed_info(), nullptr);
  EXPECT_EQ(info.file_version(), 0x0001000200030004u);

  // The string table is there; only its code page keeps it out of reach.
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  ASSERT_NE(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  void* text = nullptr;
  UINT length = 0;
  EXPECT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040904e4\\ProductName", &text, &length));
}

TEST(VersionInfo, PrereleaseMarkFollowsInstallerLanguage) {
  const kv::version_info info(fixture(L"version_fixture_prerelease.dll"));
  ASSERT_EQ(info.product_version(), L"7.18 b\u00EAta");
  EXPECT_EQ(info.legal_text(), L"Copyright \u00A9 2026 Veltram & Ruziruzu");

  struct locale_case {
    LCID locale;
    const wchar_t* expected;
  };
  const locale_case cases[] = {
      {0x040C, L"Gradivo b\u00EAta 7.18 b\u00EAta"},  // French (France)
      {0x080C, L"Gradivo b\u00EAta 7.18 b\u00EAta"},  // French (Belgium): same primary language
      {0x0409, L"Gradivo b\u00EAta 7.18 beta"},       // English: only the last occurrence changes
      {0x0407, L"Gradivo b\u00EAta 7.18 beta"},       // German
      {0x030C, L"Gradivo b\u00EAta 7.18 beta"},       // primary language 0x30C, French only in its low byte
  };
  for (const locale_case& c : cases) {
    const locale_override locale(c.locale);
    EXPECT_EQ(info.display_name_with_version(), c.expected) << std::hex << c.locale;
  }
}

TEST(VersionInfo, PrivateDebugBuildMarks) {
  const kv::version_info info(fixture(L"version_fixture_private_debug.dll"));
  // The pre-release flag is set but outside the mask, so the accent stays in every language.
  for (LCID locale : {LCID{0x040C}, LCID{0x0409}}) {
    const locale_override guard(locale);
    EXPECT_EQ(info.display_name_with_version(), L"Gradivo 7.18 b\u00EAta \u2013 Private \u2013 Debug")
        << std::hex << locale;
  }
}

TEST(VersionInfo, FileWithoutResourceIsEmpty) {
  const test::scratch_folder scratch;
  const std::filesystem::path text_file = scratch.path() / L"notes.txt";
  std::ofstream(text_file) << "not a program";

  const std::wstring paths[] = {
      fixture(L"version_fixture_none.dll"),     // a module without a version block
      text_file.wstring(),                      // not a module at all
      (scratch.path() / L"absent.dll").wstring(),  // missing
  };
  for (const std::wstring& path : paths) {
    const kv::version_info info(path);
    EXPECT_EQ(info.fixed_info(), nullptr) << path;
    EXPECT_EQ(info.file_version(), 0u) << path;
    EXPECT_TRUE(info.translations().empty()) << path;
    EXPECT_EQ(info.product_name(), L"") << path;
    EXPECT_EQ(info.display_name_with_version(), L"") << path;
  }
}

TEST(VersionInfo, CopiesOutliveTheOriginal) {
  auto original = std::make_unique<kv::version_info>(fixture(L"version_fixture_prerelease.dll"));
  const kv::version_info copy = *original;
  const kv::version_info moved = std::move(*original);
  original.reset();
  for (const kv::version_info* info : {&copy, &moved}) {
    EXPECT_EQ(info->product_name(), L"Gradivo b\u00EAta");
    EXPECT_EQ(info->file_version(), 0x0007001200000003u);
  }
}

}  // namespace
