#pragma once
// One change that an installation made to the machine, as the installation record keeps it.

#include <cstdint>
#include <string>

// What an entry changed. In the record file the kind is the high byte of the entry's code.
enum class RecordEntryKind : std::int32_t {
  CreatedFolder = 0,        // a folder the installation created; text: its full path
  InstalledFile = 1,        // a file it placed; text: its full path; tag: the payload kind
  ProgramShortcut = 2,      // the Start-menu shortcut that starts the product
  UninstallerShortcut = 3,  // the Start-menu shortcut that starts the uninstaller
  DesktopShortcut = 4,      // the desktop shortcut
  UninstallKey = 5,         // the product's key in the list of uninstallable programs
  FileAssociations = 6,     // the associations the product registered when it was run once
  DirectXRuntime = 7        // the DirectX runtime update; text: the step's status text
};

constexpr std::int32_t lastRecordEntryKind = 7;

struct RecordEntry {
  RecordEntryKind kind = RecordEntryKind::CreatedFolder;
  std::wstring text;
  // A temporary file holding what the change replaced (a file moved or copied aside, or a registry
  // snapshot); empty when there is none. Never written to the record file.
  std::wstring backupPath;
  bool succeeded = false;
  // -1 when the entry has none; only the low 8 bits reach the file.
  std::int32_t tag = -1;
  // An UninstallKey entry for a key that existed before the run but whose snapshot could not be
  // saved: a rollback keeps the key. Never written to the record file.
  bool keepKey = false;

  friend bool operator==(const RecordEntry&, const RecordEntry&) = default;
};
