#include "app/messages.h"

#include <windows.h>

#include <array>
#include <system_error>

#include "app/languages.h"
#include "support/handles.h"

namespace {

constexpr std::wstring_view untranslatedMark = L"#";

// The language whose table holds a string-resource id.
Language LanguageOfResourceId(unsigned resourceId) {
  for (int i = 0; i < languageCount; ++i) {
    const unsigned base = GetLanguageTableBase(static_cast<Language>(i));
    if (resourceId >= base && resourceId < base + 1000) return static_cast<Language>(i);
  }
  return French;
}

// The module whose resources hold the catalogue; the program's own when none was chosen.
HMODULE CatalogueModule() {
  LanguageSettings& settings = GetLanguageSettings();
  if (!settings.resourceModule) settings.resourceModule = GetModuleHandleW(nullptr);
  return settings.resourceModule;
}

// Reads string resourceId from its block of 16 counted strings in the table of the given language.
std::wstring ReadStringBlock(HMODULE module, unsigned resourceId, LANGID language) {
  const auto blockName = MAKEINTRESOURCEW(resourceId / 16 + 1);
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */, blockName, language);
  if (!found) found = FindResourceW(module, blockName, MAKEINTRESOURCEW(6));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const auto* data = static_cast<const WORD*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD words = SizeofResource(module, found) / sizeof(WORD);
  if (!data) return {};
  DWORD at = 0;
  for (unsigned index = 0; index < resourceId % 16; ++index) {
    if (at >= words) return {};
    at += 1 + data[at];
  }
  if (at >= words || at + 1 + data[at] > words) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(data + at + 1), data[at]);
}

}  // namespace

std::wstring LoadCatalogueText(unsigned resourceId) {
  return ReadStringBlock(CatalogueModule(), resourceId, LanguageToLangId(LanguageOfResourceId(resourceId)));
}

unsigned GetMessageResourceId(MessageId n) {
  Language language = GetLanguageSettings().currentLanguage;
  if (!IsInstallerLanguage(language)) language = English;
  const unsigned french = GetLanguageTableBase(French) + n;
  if (language == French) return french;
  const unsigned own = GetLanguageTableBase(language) + n;
  if (LoadCatalogueText(own) != untranslatedMark) return own;
  if (language == English) return french;
  const unsigned english = GetLanguageTableBase(English) + n;
  return LoadCatalogueText(english) == untranslatedMark ? french : english;
}

std::wstring GetMessageText(MessageId n) { return LoadCatalogueText(GetMessageResourceId(n)); }

std::wstring FormatMessageText(const std::wstring& format, const std::wstring& arg1, const std::wstring& arg2,
                               const std::wstring& arg3) {
  const DWORD lastError = GetLastError();
  if (format.empty()) throw std::system_error(E_INVALIDARG, std::system_category(), "FormatMessageText");
  // A text may name any insert up to %99; those beyond the third read as empty instead of reading
  // past the arguments.
  std::array<DWORD_PTR, 99> inserts;
  inserts.fill(reinterpret_cast<DWORD_PTR>(L""));
  inserts[0] = reinterpret_cast<DWORD_PTR>(arg1.c_str());
  inserts[1] = reinterpret_cast<DWORD_PTR>(arg2.c_str());
  inserts[2] = reinterpret_cast<DWORD_PTR>(arg3.c_str());
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                     format.c_str(), 0, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                     reinterpret_cast<va_list*>(inserts.data()));
  kv::unique_hlocal owner(buffer);
  if (!buffer) {
    SetLastError(lastError);
    throw std::system_error(E_FAIL, std::system_category(), "FormatMessageText");
  }
  std::wstring text(buffer, length);
  owner.reset();
  SetLastError(lastError);
  return text;
}
