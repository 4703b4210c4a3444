#pragma once
// The lines of the record file "Uninstall.ulog": what the installer writes and what its reader and
// the product's uninstaller expect.

#include <cstdint>
#include <string>

#include "record/record_entry.h"

// The record file's name; it lies in the uninstaller's folder.
inline constexpr wchar_t recordFileName[] = L"Uninstall.ulog";

// The only record file version this program writes and reads.
inline constexpr int recordFileVersion = 1;

inline constexpr wchar_t recordVersionMarker[] = L"Uninstall Log File v";
inline constexpr wchar_t recordWarningText[] = L"############ WARNING: Do not delete or modify this file. ############";
inline constexpr wchar_t recordInstallMarker[] = L"Install";
inline constexpr wchar_t recordUpdateMarker[] = L" -- Update (";
inline constexpr wchar_t recordInstallPathMarker[] = L"Install Path : ";
inline constexpr wchar_t recordShortcutPathMarker[] = L"Shortcut Path : ";
inline constexpr wchar_t recordEntrySeparator[] = L" -- ";

// The texts an entry of kind UninstallKey and FileAssociations carries in the file; they are not
// kept in memory but written anew each time.
std::wstring RecordUninstallKeyText(const std::wstring& productKeyName);
inline constexpr wchar_t recordFileAssociationsText[] = L"HKEY_CLASSES_ROOT\\...";

// The six header lines without their "// " and line end, for the product text ("Gradivo 7.17a"),
// the previous product's text (empty for a first installation) and the run's two folders.
struct RecordHeader {
  std::wstring productText;
  std::wstring previousProduct;
  std::wstring installFolder;
  std::wstring startMenuFolder;
};
std::wstring FormatRecordHeaderLine(const RecordHeader& header, int line);
inline constexpr int recordHeaderLineCount = 6;

// One entry line without its line end: "0002:0101:1 -- C:\...". The sequence number has at least
// four digits, the code (kind * 256 + low byte of the tag) four lowercase hexadecimal digits.
std::wstring FormatRecordEntryLine(std::uint64_t sequence, const RecordEntry& entry);
