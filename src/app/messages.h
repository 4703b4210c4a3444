#pragma once
// The catalogue of localised texts. Every text the installer shows is a message number, looked up
// in the current language's string table; a table entry of exactly "#" marks a text that is not
// translated, which falls back to English, then to French.

#include <string>

// The number of a text, 0 to 199.
using MessageId = unsigned;

// The string-resource id that GetMessageText loads for message n: the current installer language's
// text; where that is "#", the English text; where that is "#" too, the French one. A current
// language without installer texts reads as English.
unsigned GetMessageResourceId(MessageId n);

// The text of message n in the current language, with the fallback above; empty when it is missing.
std::wstring GetMessageText(MessageId n);

// The text of a string resource of the catalogue (any language's table), empty when it is missing.
std::wstring LoadCatalogueText(unsigned resourceId);

// Replaces %1, %2 and %3 of format by the arguments, by the rules of FormatMessageW for a string
// source without width limit: line breaks written in the text stay. Throws std::system_error
// carrying E_INVALIDARG for an empty format and E_FAIL when the text cannot be formatted. A call
// that returns leaves the thread's last-error value as it found it.
std::wstring FormatMessageText(const std::wstring& format, const std::wstring& arg1 = {},
                               const std::wstring& arg2 = {}, const std::wstring& arg3 = {});
