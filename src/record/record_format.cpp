#include "record/record_format.h"

#include <string>

#include "app/product.h"

std::wstring RecordUninstallKeyText(const std::wstring& productKeyName) {
  return L"HKEY_LOCAL_MACHINE\\" + GetUninstallKeyPath(productKeyName);
}

std::wstring FormatRecordHeaderLine(const RecordHeader& header, int line) {
  switch (line) {
    case 0:
      return recordVersionMarker + std::to_wstring(recordFileVersion);
    case 1:
      return recordWarningText;
    case 2: {
      std::wstring text = std::wstring(recordInstallMarker) + L" " + header.productText;
      if (!header.previousProduct.empty()) text += recordUpdateMarker + header.previousProduct + L")";
      return text;
    }
    case 3:
      return recordInstallPathMarker + header.installFolder;
    case 4:
      return recordShortcutPathMarker + header.startMenuFolder;
    case 5:
      // As long as the shortcut line's content.
      return std::wstring(std::char_traits<wchar_t>::length(recordShortcutPathMarker) + header.startMenuFolder.size(), L'-');
    default:
      return {};
  }
}

namespace {

// value in the given base with lowercase digits, padded with "0" to at least four digits.
std::wstring PaddedNumber(std::uint64_t value, unsigned base) {
  std::wstring digits;
  do {
    digits.insert(digits.begin(), L"0123456789abcdef"[value % base]);
    value /= base;
  } while (value != 0);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), L'0');
  return digits;
}

}  // namespace

std::wstring FormatRecordEntryLine(std::uint64_t sequence, const RecordEntry& entry) {
  const unsigned code = (static_cast<unsigned>(entry.kind) << 8) | (static_cast<unsigned>(entry.tag) & 0xFFu);
  return PaddedNumber(sequence, 10) + L':' + PaddedNumber(code, 16) + L':' + (entry.succeeded ? L'1' : L'0') +
         recordEntrySeparator + entry.text;
}
