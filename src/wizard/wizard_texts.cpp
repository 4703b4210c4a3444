#include "wizard/wizard_texts.h"

std::wstring FormatCatalogueMessage(MessageId n, const std::wstring& arg1, const std::wstring& arg2,
                                    const std::wstring& arg3) {
  return FormatText(GetMessageText(n), arg1, arg2, arg3);
}

std::wstring FormatText(const std::wstring& format, const std::wstring& arg1, const std::wstring& arg2,
                        const std::wstring& arg3) {
  return format.empty() ? std::wstring() : FormatMessageText(format, arg1, arg2, arg3);
}
