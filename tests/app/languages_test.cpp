#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "app/languages.h"

namespace {

// Restores the current language after a test changes it.
class LanguageTest : public testing::Test {
 protected:
  void TearDown() override { SetCurrentLanguage(saved_); }

 private:
  Language saved_ = GetLanguageSettings().currentLanguage;
};

struct DetectionCase {
  LANGID userLanguage;
  std::uint32_t mask;
  Language expected;
};

TEST(DetectLanguage, MapsTheUsersLanguageWithinTheMask) {
  const DetectionCase cases[] = {
      {0x0807, productLanguageMask, German},        // Swiss German: primary language German
      {0x0404, productLanguageMask, English},       // Traditional Chinese is not a product language
      {0x0410, productLanguageMask, English},       // Italian is not in the product mask
      {0x0405, productLanguageMask, English},       // Czech neither
      {0x040C, productLanguageMask, French},
      {0x0C0A, productLanguageMask, Spanish},
      {0x0416, productLanguageMask, Portuguese},    // Brazilian Portuguese shares the primary language
      {0x0411, productLanguageMask, Japanese},
      {0x0804, 0xFFFFFFFF, ChineseSimplified},      // sublanguage 2
      {0x1004, 0xFFFFFFFF, ChineseSimplified},      // sublanguage 4 (Singapore)
      {0x0C04, 0xFFFFFFFF, English},                // sublanguage 3 (Hong Kong) is not detected
      {0x0C1A, 0xFFFFFFFF, SerbianLatin},           // Serbian, any sublanguage
      {0x0427, 0xFFFFFFFF, English},                // Lithuanian is no language of ours
      {0x0427, 1u << German, French},               // without English in the mask, French
      {0x0407, 1u << French, French},               // German not in the mask, no English: French
      {0x0409, 0, French},                          // mask 0: the available languages (French only)
  };
  for (const DetectionCase& c : cases) {
    EXPECT_EQ(DetectLanguageFromLangId(c.userLanguage, c.mask), c.expected)
        << "LANGID 0x" << std::hex << c.userLanguage << " mask 0x" << c.mask;
  }
}

TEST(LanguageTable, LangIdsAndMembership) {
  EXPECT_EQ(LanguageToLangId(French), 1036);
  EXPECT_EQ(LanguageToLangId(Spanish), 3082);
  EXPECT_EQ(LanguageToLangId(SerbianLatin), 2074);
  EXPECT_EQ(LanguageToLangId(static_cast<Language>(21)), 1036);
  EXPECT_EQ(LanguageToLangId(static_cast<Language>(-1)), 1036);

  const char* product = "111111010100001000110";      // languages 0..20, '1' = product language
  const char* installer = "111110010101100000010";    // '1' = installer language
  for (int i = 0; i < languageCount; ++i) {
    const auto language = static_cast<Language>(i);
    EXPECT_EQ(IsProductLanguage(language), product[i] == '1') << i;
    EXPECT_EQ(IsInstallerLanguage(language), installer[i] == '1') << i;
    EXPECT_EQ(IsProductLanguage(language), (productLanguageMask >> i & 1) != 0) << i;
  }
  EXPECT_FALSE(IsProductLanguage(static_cast<Language>(21)));
  EXPECT_FALSE(IsInstallerLanguage(static_cast<Language>(-1)));
}

TEST_F(LanguageTest, SetCurrentLanguageTakesTheLanguagesLocale) {
  SetCurrentLanguage(Greek);
  const LanguageSettings& settings = GetLanguageSettings();
  EXPECT_EQ(settings.currentLanguage, Greek);
  EXPECT_EQ(LANGIDFROMLCID(settings.localeId), 0x0408);
  EXPECT_EQ(settings.ansiCodePage, 1253u);
  EXPECT_FALSE(settings.rightToLeft);
  EXPECT_EQ(settings.resourceModule, nullptr);

  SetCurrentLanguage(Hebrew);
  EXPECT_TRUE(GetLanguageSettings().rightToLeft);
  EXPECT_EQ(GetLanguageSettings().ansiCodePage, 1255u);

  SetCurrentLanguage(German);
  EXPECT_FALSE(GetLanguageSettings().rightToLeft);
  EXPECT_EQ(GetLanguageSettings().ansiCodePage, 1252u);
}

TEST_F(LanguageTest, RuntimeLocaleFollowsTheLanguageExceptNumbers) {
  SetCurrentLanguage(English);
  SetCurrentLanguage(German);
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  const std::string collate = std::setlocale(LC_COLLATE, nullptr);
  EXPECT_NE(collate, "C");
  EXPECT_NE(collate.find("German"), std::string::npos) << collate;
  EXPECT_EQ(std::string(std::setlocale(LC_TIME, nullptr)), collate);
}

TEST_F(LanguageTest, SameLanguageLeavesTheLocalesAlone) {
  SetCurrentLanguage(German);
  std::setlocale(LC_COLLATE, "C");
  SetCurrentLanguage(German);
  EXPECT_STREQ(std::setlocale(LC_COLLATE, nullptr), "C");
}

TEST(LanguageNames, LocaleAndDisplayNames) {
  EXPECT_EQ(GetLanguageLocaleName(French), "fr-FR");
  EXPECT_EQ(GetLanguageLocaleName(German), "de-DE");
  EXPECT_EQ(GetLanguageLocaleName(Spanish), "es-ES");
  EXPECT_EQ(GetLanguageDisplayName(French), L"Fran\u00e7ais");
  EXPECT_EQ(GetLanguageDisplayName(German), L"Deutsch");
  // The first letter is made upper case even where the language writes its name in lower case.
  const std::wstring czech = GetLanguageDisplayName(Czech);
  ASSERT_FALSE(czech.empty());
  EXPECT_EQ(czech[0], L'\u010C');
}

}  // namespace
