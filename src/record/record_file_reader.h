#pragma once
// Reading a record file "Uninstall.ulog" written by an earlier installation.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "record/record_entry.h"

// What a record file holds, as far as it could be read. Reading never fails: it stops at the first
// line it cannot take and keeps everything before it.
struct RecordFileContents {
  bool opened = false;
  int version = 0;
  std::wstring product;       // from the Install line, without its Update part
  std::wstring installPath;   // the header's folders as written, whether or not they exist
  std::wstring shortcutPath;
  std::vector<RecordEntry> entries;  // texts of kinds UninstallKey and FileAssociations left empty

  // Where reading stopped early: the line's number (lines counted from 0) and the reason, for a
  // person. complete is true when every line was taken.
  bool complete = true;
  std::uint64_t stopLine = 0;
  std::string stopReason;
};

// Longest line the reader takes, its line end and a terminating NUL included: 511 code units in a
// UTF-16 file, 1,023 bytes in a narrow one. A longer line ends the reading.
inline constexpr std::size_t recordLineBufferBytes = 1024;

// Reads the file: UTF-16LE when it starts with the bytes FF FE, else text in the thread's ANSI code
// page. Header lines start with "//", every other line is an entry line.
RecordFileContents ReadRecordFile(const std::wstring& path);

// Parses one entry line (trailing white space already removed); on failure returns false and says
// why. White space is allowed in front of every field.
bool ParseRecordEntryLine(const std::wstring& line, RecordEntry& entry, std::string& why);
