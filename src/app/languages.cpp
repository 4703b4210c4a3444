#include "app/languages.h"

#include <clocale>
#include <locale>

#include "app/runtime_locale.h"
#include "support/encoding.h"

namespace {

struct LanguageEntry {
  LANGID langId;
  unsigned tableBase;
  unsigned flagIcon;
  WORD primaryLanguage;  // primary language of a Windows LANGID that is detected as this language
};

// One row per Language, in the order of its values.
constexpr LanguageEntry languageTable[languageCount] = {
    {0x040C, 1000, 144, 0x0C},   // French
    {0x0409, 2000, 145, 0x09},   // English
    {0x0407, 3000, 141, 0x07},   // German
    {0x0C0A, 4000, 143, 0x0A},   // Spanish
    {0x0816, 5000, 148, 0x16},   // Portuguese
    {0x0413, 7000, 147, 0x13},   // Dutch
    {0x0406, 8000, 142, 0x06},   // Danish
    {0x041F, 9000, 149, 0x1F},   // Turkish
    {0x0402, 11000, 150, 0x02},  // Bulgarian
    {0x0418, 12000, 151, 0x18},  // Romanian
    {0x0804, 10000, 152, 0x04},  // Chinese (Simplified)
    {0x0410, 6000, 146, 0x10},   // Italian
    {0x0405, 13000, 153, 0x05},  // Czech
    {0x0414, 14000, 154, 0x14},  // Norwegian
    {0x0408, 15000, 155, 0x08},  // Greek
    {0x0415, 16000, 156, 0x15},  // Polish
    {0x040D, 17000, 157, 0x0D},  // Hebrew
    {0x042A, 18000, 158, 0x2A},  // Vietnamese
    {0x0411, 19000, 160, 0x11},  // Japanese
    {0x040E, 20000, 161, 0x0E},  // Hungarian
    {0x081A, 21000, 162, 0x1A},  // Serbian (Latin)
};

constexpr std::uint32_t installerLanguageMask = (1u << French) | (1u << English) | (1u << German) |
                                                (1u << Spanish) | (1u << Portuguese) | (1u << Turkish) |
                                                (1u << Romanian) | (1u << Italian) | (1u << Czech) |
                                                (1u << Hungarian);

const LanguageEntry& EntryOf(Language language) {
  return IsValidLanguage(language) ? languageTable[language] : languageTable[French];
}

// The user's default LCID when it is of the given language, else the language's own LCID.
LCID LocaleOfLanguage(Language language) {
  const LCID user = GetUserDefaultLCID();
  const LANGID langId = LanguageToLangId(language);
  return LANGIDFROMLCID(user) == langId ? user : MAKELCID(langId, SORT_DEFAULT);
}

// The runtime library's locale is "C" for all categories, then the language's locale for collation,
// character types, currency and time; numbers stay "C". The standard library's global locale
// follows the same name where the library knows it.
void ApplyLanguageLocales(Language language) {
  const std::string name = GetLanguageLocaleName(language);
  SetGlobalLocale(name);
  std::setlocale(LC_ALL, "C");
  for (int category : {LC_COLLATE, LC_CTYPE, LC_MONETARY, LC_TIME}) SetRuntimeLocale(category, name);
}


std::uint32_t CodePageOf(LCID locale) {
  DWORD codePage = 0;
  if (GetLocaleInfoW(locale, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER, reinterpret_cast<wchar_t*>(&codePage),
                     sizeof(codePage) / sizeof(wchar_t)) == 0 ||
      codePage == 0)
    return GetACP();
  return codePage;
}

}  // namespace

bool IsRightToLeft(Language language) {
  LOCALESIGNATURE signature{};
  static_assert(sizeof(signature) == 16 * sizeof(wchar_t));
  if (GetLocaleInfoW(MAKELCID(LanguageToLangId(language), SORT_DEFAULT), LOCALE_FONTSIGNATURE,
                     reinterpret_cast<wchar_t*>(&signature), 16) == 0)
    return language == Hebrew;
  return (signature.lsUsb[3] & (1u << 27)) != 0;
}

namespace {

LanguageSettings CreateLanguageSettings() {
  LanguageSettings created;
  const LCID user = GetUserDefaultLCID();
  created.localeId = LOWORD(user) == 1036 ? user : 1036;
  _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
  ApplyLanguageLocales(French);
  // The only place that sets the thread locale: the thread's ANSI code page stays that of French
  // for the whole run, whatever language is chosen later.
  SetThreadLocale(created.localeId);
  return created;
}

}  // namespace

LanguageSettings& GetLanguageSettings() {
  static LanguageSettings settings = CreateLanguageSettings();
  return settings;
}

void SetCurrentLanguage(Language language) {
  LanguageSettings& settings = GetLanguageSettings();
  if (language != settings.currentLanguage) ApplyLanguageLocales(language);
  settings.currentLanguage = language;
  const LCID user = GetUserDefaultLCID();
  const LANGID langId = LanguageToLangId(language);
  settings.localeId = LOWORD(user) == langId ? user : langId;
  settings.ansiCodePage = CodePageOf(settings.localeId);
  settings.resourceModule = nullptr;
  settings.rightToLeft = IsRightToLeft(language);
}

Language DetectLanguageFromLangId(LANGID userLangId, std::uint32_t mask) {
  if (mask == 0) mask = GetLanguageSettings().availableLanguages;
  const Language fallback = (mask & (1u << English)) ? English : French;
  const WORD primary = PRIMARYLANGID(userLangId);
  const WORD sublanguage = SUBLANGID(userLangId);
  for (int i = 0; i < languageCount; ++i) {
    if (languageTable[i].primaryLanguage != primary) continue;
    if (i == ChineseSimplified && sublanguage != 2 && sublanguage != 4) continue;
    return (mask & (1u << i)) ? static_cast<Language>(i) : fallback;
  }
  return fallback;
}

Language DetectDefaultLanguage(std::uint32_t mask) { return DetectLanguageFromLangId(GetUserDefaultLangID(), mask); }

LANGID LanguageToLangId(Language language) {
  return language >= 1 && language < languageCount ? languageTable[language].langId : 1036;
}

unsigned GetLanguageTableBase(Language language) { return EntryOf(language).tableBase; }

unsigned GetLanguageFlagIcon(Language language) { return EntryOf(language).flagIcon; }

std::string GetLanguageLocaleName(Language language) {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (LCIDToLocaleName(LocaleOfLanguage(language), name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return {};
  return kv::w2a(name);
}

std::wstring GetLanguageDisplayName(Language language) {
  wchar_t name[128] = {};
  if (GetLocaleInfoW(LocaleOfLanguage(language), LOCALE_SNATIVELANGNAME, name, 128) == 0 || name[0] == L'\0') return {};
  const DWORD first = static_cast<DWORD>(CharNextW(name) - name);
  CharUpperBuffW(name, first);
  return name;
}

bool IsProductLanguage(Language language) {
  return IsValidLanguage(language) && (productLanguageMask & (1u << language)) != 0;
}

bool IsInstallerLanguage(Language language) {
  return IsValidLanguage(language) && (installerLanguageMask & (1u << language)) != 0;
}
