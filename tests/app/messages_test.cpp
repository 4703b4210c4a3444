#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <system_error>

#include "app/languages.h"
#include "app/messages.h"

namespace {

constexpr std::wstring_view directXUpdateFrench = L"Mise \u00e0 jour de DirectX...";

// Every message number in use.
std::set<MessageId> MessagesInUse() {
  std::set<MessageId> ids;
  for (MessageId n = 0; n <= 18; ++n) ids.insert(n);
  for (MessageId n = 100; n <= 127; ++n)
    if (n != 116) ids.insert(n);
  ids.insert(129);
  ids.insert(131);
  return ids;
}

// The messages each installer language leaves untranslated.
struct Coverage {
  Language language;
  std::set<MessageId> untranslated;
};

const Coverage installerCoverage[] = {
    {French, {}},        {Romanian, {}},      {Hungarian, {}},     {English, {131}}, {German, {131}},
    {Spanish, {131}},    {Portuguese, {131}}, {Italian, {131}},    {Turkish, {131}}, {Czech, {7}},
};

class MessagesTest : public testing::Test {
 protected:
  void TearDown() override { SetCurrentLanguage(saved_); }

 private:
  Language saved_ = GetLanguageSettings().currentLanguage;
};

TEST(Catalogue, EveryInstallerTableHoldsEveryMessageWithItsMarks) {
  for (const Coverage& coverage : installerCoverage) {
    const unsigned base = GetLanguageTableBase(coverage.language);
    for (MessageId n : MessagesInUse()) {
      const std::wstring text = LoadCatalogueText(base + n);
      if (coverage.untranslated.count(n)) {
        EXPECT_EQ(text, L"#") << "language " << coverage.language << " message " << n;
      } else {
        EXPECT_NE(text, L"#") << "language " << coverage.language << " message " << n;
        if (n != 109) {
          EXPECT_FALSE(text.empty()) << "language " << coverage.language << " message " << n;
        }
      }
    }
  }
}

TEST(Catalogue, TablesCarryTheirLanguagesLangId) {
  HMODULE module = GetModuleHandleW(nullptr);
  for (int i = 0; i < languageCount; ++i) {
    const auto language = static_cast<Language>(i);
    // Message 0's block of the language's table, stored under the language's LANGID.
    const unsigned id = GetLanguageTableBase(language);
    EXPECT_NE(FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), LanguageToLangId(language)),
              nullptr)
        << "language " << i;
  }
}

TEST(Catalogue, EnglishTextsAsTheyStand) {
  const struct {
    MessageId n;
    const wchar_t* text;
  } cases[] = {
      {0, L"Installer"},
      {14, L"Select Installation Langage"},
      {18, L"%1 Examples"},
      {100, L"'%1' Installation."},
      {109, L""},
      {110, L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?"},
      {115, L"Copying File  %1..."},
      {126, L"You should have Administrator Rights in order to proceed to Installation."},
      {129, L"'%1' will be installed in the selected Langage, but the Installer, still under translation,  shall run "
            L"in English."},
      {131, L"#"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadCatalogueText(GetLanguageTableBase(English) + c.n), c.text) << c.n;
  EXPECT_EQ(LoadCatalogueText(GetLanguageTableBase(French) + 131), directXUpdateFrench);
}

TEST_F(MessagesTest, FallbackToEnglishThenFrench) {
  const struct {
    Language language;
    MessageId n;
    unsigned expectedId;
  } cases[] = {
      {Czech, 7, 2007},      // Czech leaves "Install" untranslated: English
      {Czech, 6, 13006},     // the rest is Czech
      {Czech, 131, 13131},
      {English, 131, 1131},  // English has no text of its own: French
      {German, 131, 1131},   // German marks it and so does English: French
      {Spanish, 131, 1131},
      {Portuguese, 131, 1131},
      {Italian, 131, 1131},
      {Turkish, 131, 1131},
      {German, 100, 3100},
      {Italian, 100, 6100},
      {French, 131, 1131},
      {Dutch, 5, 2005},      // a product language without installer texts reads as English
      {Greek, 131, 1131},
      {Japanese, 100, 2100},
      {Romanian, 131, 12131},
  };
  for (const auto& c : cases) {
    SetCurrentLanguage(c.language);
    EXPECT_EQ(GetMessageResourceId(c.n), c.expectedId) << "language " << c.language << " message " << c.n;
  }
  SetCurrentLanguage(Czech);
  EXPECT_EQ(GetMessageText(7), L"Install");
  for (Language language : {English, German, Spanish, Portuguese, Italian, Turkish}) {
    SetCurrentLanguage(language);
    EXPECT_EQ(GetMessageText(131), directXUpdateFrench) << language;
  }
}

TEST_F(MessagesTest, LanguageWithoutInstallerTextsIsEnglishThroughout) {
  for (MessageId n : MessagesInUse()) {
    SetCurrentLanguage(English);
    const std::wstring english = GetMessageText(n);
    SetCurrentLanguage(Dutch);
    EXPECT_EQ(GetMessageText(n), english) << n;
  }
}

TEST(FormatMessageText, ReplacesInsertsAndKeepsLineBreaks) {
  EXPECT_EQ(FormatMessageText(L"Update from '%1' to '%2'.", L"Gradivo 7.16", L"Gradivo 7.17a"),
            L"Update from 'Gradivo 7.16' to 'Gradivo 7.17a'.");
  EXPECT_EQ(FormatMessageText(L"%3-%2-%1", L"a", L"b", L"c"), L"c-b-a");
  EXPECT_EQ(FormatMessageText(L"Installation is not complete.\r\n\r\nExit ?"),
            L"Installation is not complete.\r\n\r\nExit ?");
  // A long line is not wrapped.
  const std::wstring longLine(400, L'x');
  EXPECT_EQ(FormatMessageText(L"%1", longLine), longLine);
  // An insert beyond the three arguments reads as empty.
  EXPECT_EQ(FormatMessageText(L"[%4]", L"a"), L"[]");
}

TEST(FormatMessageText, EmptyFormatIsAnInvalidArgument) {
  try {
    FormatMessageText(L"");
    FAIL() << "no exception";
  } catch (const std::system_error& error) {
    EXPECT_EQ(static_cast<HRESULT>(error.code().value()), E_INVALIDARG);
  }
}

TEST(FormatMessageText, KeepsTheLastError) {
  SetLastError(ERROR_ACCESS_DENIED);
  FormatMessageText(L"'%1' Installation.", L"Gradivo");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
