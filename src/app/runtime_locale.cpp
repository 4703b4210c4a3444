#include "app/runtime_locale.h"

#include <windows.h>

#include <clocale>
#include <locale>
#include <stdexcept>

#include "support/encoding.h"

namespace {

// The runtime's own spelling of a locale: English language name, English country name and the
// ANSI code page, for example "French_France.1252". Empty when the system does not know the name.
std::string RuntimeLocaleSpelling(const std::string& localeName) {
  const std::wstring name = kv::a2w(localeName);
  if (name.empty()) return {};
  wchar_t language[128] = {}, country[128] = {};
  DWORD codePage = 0;
  if (GetLocaleInfoEx(name.c_str(), LOCALE_SENGLISHLANGUAGENAME, language, 128) == 0 ||
      GetLocaleInfoEx(name.c_str(), LOCALE_SENGLISHCOUNTRYNAME, country, 128) == 0 ||
      GetLocaleInfoEx(name.c_str(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                      reinterpret_cast<wchar_t*>(&codePage), sizeof(codePage) / sizeof(wchar_t)) == 0)
    return {};
  std::string spelling = kv::w2a(std::wstring(language) + L"_" + country);
  if (codePage != 0 && codePage != CP_UTF8) spelling += "." + std::to_string(codePage);
  return spelling;
}

}  // namespace

bool SetRuntimeLocale(int category, const std::string& localeName) {
  if (localeName.empty()) return false;
  if (std::setlocale(category, localeName.c_str()) != nullptr) return true;
  const std::string spelling = RuntimeLocaleSpelling(localeName);
  return !spelling.empty() && std::setlocale(category, spelling.c_str()) != nullptr;
}

void SetGlobalLocale(const std::string& localeName) {
  try {
    std::locale::global(std::locale(localeName));
  } catch (const std::runtime_error&) {
    std::locale::global(std::locale::classic());
  }
}
