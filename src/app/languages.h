#pragma once
// The installer's languages and the process-wide language state: which languages the product and
// the installer's own texts exist in, how a language maps to Windows identifiers, and the current
// language with its locale, ANSI code page and reading direction.

#include <windows.h>

#include <cstdint>
#include <string>

// A language of the product or the installer; the same numbers are stored as "KvLanguage".
enum Language : std::int32_t {
  French = 0,
  English = 1,
  German = 2,
  Spanish = 3,
  Portuguese = 4,
  Dutch = 5,
  Danish = 6,
  Turkish = 7,
  Bulgarian = 8,
  Romanian = 9,
  ChineseSimplified = 10,
  Italian = 11,
  Czech = 12,
  Norwegian = 13,
  Greek = 14,
  Polish = 15,
  Hebrew = 16,
  Vietnamese = 17,
  Japanese = 18,
  Hungarian = 19,
  SerbianLatin = 20,
};

// Number of languages (0 to 20).
constexpr int languageCount = 21;

// The languages the product is available in, bit i for language i.
constexpr std::uint32_t productLanguageMask = 0x000C42BF;

// The process's language state. Only SetCurrentLanguage changes it, apart from resourceModule,
// which a resource loader fills in with the program's own module when it finds it null.
struct LanguageSettings {
  std::uint32_t availableLanguages = 1;  // languages DetectDefaultLanguage considers for a mask of 0
  Language currentLanguage = French;
  LCID localeId = 1036;           // locale of the current language
  std::uint32_t ansiCodePage = 1252;  // ANSI code page of the current language
  HMODULE resourceModule = nullptr;   // module in which resources are looked up first
  bool rightToLeft = false;           // the current language is written right to left
};

// The process's LanguageSettings, created on first use: French, with the French locales applied
// and the thread locale set once for the whole run.
LanguageSettings& GetLanguageSettings();

// Whether language is written right to left: bit 123 of the Unicode-subset bits of its locale's
// font signature; Hebrew when the locale has no signature.
bool IsRightToLeft(Language language);

// Makes language the current one: applies its locales when it changes, then sets the locale id,
// the ANSI code page and the reading direction, and clears resourceModule.
void SetCurrentLanguage(Language language);

// The language of the user's default locale when its bit is set in mask (0 means
// availableLanguages); otherwise English when mask has English, else French.
Language DetectDefaultLanguage(std::uint32_t mask);

// DetectDefaultLanguage for a user whose default language is userLangId.
Language DetectLanguageFromLangId(LANGID userLangId, std::uint32_t mask);

// The LANGID of a language; any value outside 1 to 20 gives French (1036).
LANGID LanguageToLangId(Language language);

// The string-resource id of message 0 in the language's table.
unsigned GetLanguageTableBase(Language language);

// The icon resource of the language's flag.
unsigned GetLanguageFlagIcon(Language language);

// The locale name of a language (for example "fr-FR"), in the thread's ANSI code page; the user's
// own locale when it is of that language. Empty when the system has no name for it.
std::string GetLanguageLocaleName(Language language);

// The language's own name with its first letter in upper case; empty when the system has none.
std::wstring GetLanguageDisplayName(Language language);

// True for the eleven languages the product exists in.
bool IsProductLanguage(Language language);

// True for the ten languages the installer's own texts exist in.
bool IsInstallerLanguage(Language language);

// True when a value read from outside (the registry) names a language.
constexpr bool IsValidLanguage(std::int64_t value) { return value >= 0 && value < languageCount; }
