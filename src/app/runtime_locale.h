#pragma once
// Setting the C runtime's and the standard library's locales from a locale name such as "fr-FR".

#include <string>

// Sets one category of the C runtime's locale (LC_ALL included) to the locale of that name.
// Runtimes that do not take locale names ("fr-FR") take the same locale under its English
// language and country names with its ANSI code page ("French_France.1252"). Returns false when
// the runtime accepts neither.
bool SetRuntimeLocale(int category, const std::string& localeName);

// Replaces the standard library's global locale by the one of that name; when the library has no
// locale of that name, the global locale becomes the classic one. Doing so also sets the C
// runtime's locale (all categories) to the new global locale's name, so callers set the runtime's
// categories afterwards.
void SetGlobalLocale(const std::string& localeName);
