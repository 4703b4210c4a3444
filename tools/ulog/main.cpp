// ulog: shows what an installation record file "Uninstall.ulog" holds, read by the installer's
// own reader.
//
//   ulog dump FILE    one field a line: version, product, the two folders (empty when they do
//                     not exist), then "entry KIND TAG RESULT TEXT" per entry, in UTF-8
//   ulog check FILE   whether the file is well formed, else the first line the reader stops at
//                     and why
//
// Exit status: 0, also when the reading stopped early; 1 when check finds the file malformed;
// 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <string>

#include "record/installation_record.h"
#include "record/record_file_reader.h"
#include "support/encoding.h"

namespace {

void PrintLine(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Utf8(const std::wstring& text) { return kv::wide_to_utf8(text); }

int Dump(const std::wstring& file) {
  InstallationRecord record;
  record.Read(file);
  // The version is the header's; the record object does not keep it.
  const RecordFileContents contents = ReadRecordFile(file);
  PrintLine("version " + std::to_string(contents.version));
  PrintLine("product " + Utf8(record.previousProduct));
  PrintLine("install-path " + Utf8(record.previousInstallPath));
  PrintLine("shortcut-path " + Utf8(record.previousShortcutPath));
  for (const RecordEntry& entry : record.previousEntries())
    PrintLine("entry " + std::to_string(static_cast<int>(entry.kind)) + " " + std::to_string(entry.tag) + " " +
              (entry.succeeded ? "1" : "0") + " " + Utf8(entry.text));
  return 0;
}

int Check(const std::wstring& file) {
  const RecordFileContents contents = ReadRecordFile(file);
  if (contents.complete) {
    PrintLine("well formed: version " + std::to_string(contents.version) + ", " +
              std::to_string(contents.entries.size()) + " entries");
    return 0;
  }
  // Lines are shown counted from 1, as an editor counts them.
  PrintLine("line " + std::to_string(contents.stopLine + 1) + ": " + contents.stopReason + " (" +
            std::to_string(contents.entries.size()) + " entries read before it)");
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: ulog dump FILE | ulog check FILE\n", stderr);
    return 2;
  }
  const std::wstring command = argv[1];
  if (command == L"dump") return Dump(argv[2]);
  if (command == L"check") return Check(argv[2]);
  std::fputs("usage: ulog dump FILE | ulog check FILE\n", stderr);
  return 2;
}
