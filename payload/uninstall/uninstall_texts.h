#pragma once
// What the uninstaller says to the user: its question, its closing message and its error message.
// The uninstaller is a program of the payload with texts of its own, in English.

#include <string>

#include "record/record_file_reader.h"
#include "uninstall/uninstall_report.h"

namespace uninstall {

// The caption of every box the uninstaller shows.
inline constexpr wchar_t uninstallCaption[] = L"Gradivo";

// The product as the record's Install line names it ("Gradivo 7.17a"); "Gradivo" when it names none.
std::wstring ProductText(const RecordFileContents& record);

// "Remove Gradivo 7.17a and all of its components?", with a warning when the record is damaged.
std::wstring ConfirmationText(const RecordFileContents& record);

// The closing message: removed, or what could not be removed and what was kept, each listed (a
// long list is cut), and a note when the record was damaged.
std::wstring DoneText(const RecordFileContents& record, const UninstallReport& report);

// Why nothing was removed: the record file is missing or cannot be used.
std::wstring RecordErrorText(const std::wstring& recordFile, const RecordFileContents& record);

// Longest list the closing message shows; the rest is counted.
inline constexpr std::size_t shownItemLimit = 12;

}  // namespace uninstall
