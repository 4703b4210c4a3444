#pragma once
// The wizard's texts: messages of the catalogue in the current language, with their inserts.

#include <string>

#include "app/messages.h"

// Message n of the current language with %1, %2 and %3 replaced by the arguments. A message
// without text (the Start page's copyright line is one in every language) stays empty: there is
// nothing to format.
std::wstring FormatCatalogueMessage(MessageId n, const std::wstring& arg1 = {}, const std::wstring& arg2 = {},
                                    const std::wstring& arg3 = {});

// The same for a format text that is already loaded.
std::wstring FormatText(const std::wstring& format, const std::wstring& arg1 = {}, const std::wstring& arg2 = {},
                        const std::wstring& arg3 = {});
