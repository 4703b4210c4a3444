#include "record/installation_record.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include "app/product.h"
#include "record/backup.h"
#include "record/record_file_reader.h"
#include "record/record_format.h"
#include "record/same_path.h"
#include "support/handles.h"
#include "support/security.h"
#include "support/wow64.h"

namespace {

// A path cut to the 260 characters of the buffers the shell's path functions work in.
std::wstring PathBuffer(const std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  lstrcpynW(buffer.data(), path.c_str(), MAX_PATH);
  return buffer;
}

// A file, not a folder, is at path: only files are moved or copied aside.
bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

RecordEntryKind ShortcutKind(int which) {
  if (which == 0) return RecordEntryKind::ProgramShortcut;
  if (which == 1) return RecordEntryKind::UninstallerShortcut;
  return RecordEntryKind::DesktopShortcut;
}

// Whether an entry of this run makes a previous one redundant: the same path for folders and
// files, the same kind for everything else.
bool Supersedes(const RecordEntry& current, const RecordEntry& previous) {
  if (current.kind != previous.kind) return false;
  if (previous.kind == RecordEntryKind::CreatedFolder || previous.kind == RecordEntryKind::InstalledFile)
    return IsSamePath(current.text, previous.text);
  return true;
}

bool WriteLine(HANDLE file, const std::wstring& text) {
  const std::wstring line = text + L"\r\n";
  const DWORD bytes = static_cast<DWORD>(line.size() * sizeof(wchar_t));
  DWORD written = 0;
  return ::WriteFile(file, line.data(), bytes, &written, nullptr) && written == bytes;
}

}  // namespace

InstallationRecord::InstallationRecord(std::wstring productText, std::wstring productKeyName)
    : productText_(std::move(productText)), productKeyName_(std::move(productKeyName)) {}

InstallationRecord::InstallationRecord()
    : InstallationRecord(ProductDefinition{}.productName + L" " + ProductDefinition{}.versionText,
                         ProductDefinition{}.productKeyName) {}

RecordEntry& InstallationRecord::Append(RecordEntryKind kind, int tag) {
  RecordEntry& entry = entries_.emplace_back();
  entry.kind = kind;
  entry.tag = tag;
  return entry;
}

void InstallationRecord::AddFile(const std::wstring& path, int tag, bool copyBackup) {
  entryOpen_ = true;
  std::wstring folder = PathBuffer(path);
  PathRemoveFileSpecW(folder.data());
  CreateFolders(folder.c_str());
  RecordEntry& entry = Append(RecordEntryKind::InstalledFile, tag);
  entry.text = path;
  if (FileExists(path)) entry.backupPath = MakeBackup(path, copyBackup);
}

void InstallationRecord::AddShortcut(int which, const std::wstring& folder) {
  entryOpen_ = true;
  CreateFolders(folder);
  RecordEntry& entry = Append(ShortcutKind(which));
  const auto previous = std::find_if(previousEntries_.begin(), previousEntries_.end(),
                                     [&](const RecordEntry& e) { return e.kind == entry.kind; });
  if (previous != previousEntries_.end() && FileExists(previous->text))
    entry.backupPath = MakeBackup(previous->text, false);
}

void InstallationRecord::AddUninstallKey(HKEY key) {
  entryOpen_ = true;
  RecordEntry& entry = Append(RecordEntryKind::UninstallKey);
  if (!key) return;
  entry.backupPath = MakeBackup();
  if (entry.backupPath.empty()) return;
  kv::set_privilege(L"SeBackupPrivilege", true);
  if (RegSaveKeyW(key, entry.backupPath.c_str(), nullptr) != ERROR_SUCCESS) {
    SetFileAttributesW(entry.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(entry.backupPath.c_str());
    entry.backupPath.clear();
    // The key existed: without its snapshot a rollback keeps it rather than deleting it.
    entry.keepKey = true;
  }
  kv::set_privilege(L"SeBackupPrivilege", false);
}

void InstallationRecord::AddFileAssociations() {
  entryOpen_ = true;
  Append(RecordEntryKind::FileAssociations);
}

void InstallationRecord::AddDirectXRuntime() {
  entryOpen_ = true;
  Append(RecordEntryKind::DirectXRuntime);
}

void InstallationRecord::CloseEntry(bool succeeded, const std::optional<std::wstring>& text) {
  if (!entryOpen_ || entries_.empty()) return;
  entryOpen_ = false;
  entries_.back().succeeded = succeeded;
  if (text) entries_.back().text = *text;
}

void InstallationRecord::CreateFolders(const std::wstring& path) {
  std::wstring buffer = PathBuffer(path);
  wchar_t* const start = buffer.data();
  // The drive part is never examined on its own: the first prefix ends after the second component.
  const wchar_t* component = PathFindNextComponentW(start);
  while (component && *component) {
    const wchar_t* next = PathFindNextComponentW(component);
    // The prefix ends at the separator in front of the following component, or with the path.
    const std::size_t length = next && *next ? static_cast<std::size_t>(next - start) - 1 : wcslen(start);
    const std::wstring folder(start, length);
    if (!PathIsDirectoryW(folder.c_str())) {
      if (!CreateDirectoryW(folder.c_str(), nullptr)) return;
      SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, folder.c_str(), nullptr);
      RecordEntry& entry = Append(RecordEntryKind::CreatedFolder);
      entry.text = folder;
      entry.succeeded = true;
    }
    component = next;
  }
}

void InstallationRecord::MergePreviousEntries() {
  while (!previousEntries_.empty()) {
    RecordEntry previous = std::move(previousEntries_.back());
    previousEntries_.pop_back();
    const bool redundant = std::any_of(entries_.begin(), entries_.end(),
                                       [&](const RecordEntry& current) { return Supersedes(current, previous); });
    if (!redundant) entries_.push_front(std::move(previous));
  }
}

bool InstallationRecord::Write(const std::wstring& recordFile, const std::wstring& installFolder,
                               const std::wstring& startMenuFolder) {
  MergePreviousEntries();
  const bool written = WriteFile(recordFile, installFolder, startMenuFolder);
  DeleteBackups();
  return written;
}

bool InstallationRecord::WriteFile(const std::wstring& recordFile, const std::wstring& installFolder,
                                   const std::wstring& startMenuFolder) {
  // A read-only record of an earlier run is replaced.
  SetFileAttributesW(recordFile.c_str(), FILE_ATTRIBUTE_NORMAL);
  kv::unique_file file(
      CreateFileW(recordFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;

  bool good = true;
  static constexpr unsigned char byteOrderMark[] = {0xFF, 0xFE};
  DWORD written = 0;
  good = ::WriteFile(file.get(), byteOrderMark, sizeof byteOrderMark, &written, nullptr) && written == 2;
  const RecordHeader header{productText_, previousProduct, installFolder, startMenuFolder};
  for (int line = 0; line < recordHeaderLineCount; ++line)
    good = WriteLine(file.get(), L"// " + FormatRecordHeaderLine(header, line)) && good;

  std::uint64_t sequence = 0;
  for (RecordEntry& entry : entries_) {
    if (entry.kind == RecordEntryKind::UninstallKey) entry.text = RecordUninstallKeyText(productKeyName_);
    if (entry.kind == RecordEntryKind::FileAssociations) entry.text = recordFileAssociationsText;
    good = WriteLine(file.get(), FormatRecordEntryLine(sequence++, entry)) && good;
  }
  file.reset();
  SetFileAttributesW(recordFile.c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return good;
}

void InstallationRecord::DeleteBackups() {
  for (RecordEntry& entry : entries_) {
    if (entry.backupPath.empty()) continue;
    SetFileAttributesW(entry.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(entry.backupPath.c_str());
    entry.backupPath.clear();
  }
}

void InstallationRecord::Rollback() {
  while (!entries_.empty()) {
    const RecordEntry& entry = entries_.back();
    switch (entry.kind) {
      case RecordEntryKind::CreatedFolder:
        RemoveDirectoryW(entry.text.c_str());  // stays when something else is inside
        break;
      case RecordEntryKind::UninstallKey:
        RollbackUninstallKey(entry);
        break;
      case RecordEntryKind::FileAssociations:
      case RecordEntryKind::DirectXRuntime:
        break;
      default:
        // Placed files and shortcuts: deleted, and what they replaced put back.
        SetFileAttributesW(entry.text.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(entry.text.c_str());
        if (!entry.backupPath.empty()) {
          const DWORD attributes = GetFileAttributesW(entry.backupPath.c_str());
          SetFileAttributesW(entry.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
          if (MoveFileW(entry.backupPath.c_str(), entry.text.c_str()) && attributes != INVALID_FILE_ATTRIBUTES)
            SetFileAttributesW(entry.text.c_str(), attributes);
        }
        break;
    }
    entries_.pop_back();
  }
  entryOpen_ = false;
}

void InstallationRecord::RollbackUninstallKey(const RecordEntry& entry) {
  kv::set_privilege(L"SeRestorePrivilege", true);
  HKEY list = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallListKey, 0,
                    KEY_ALL_ACCESS | kv::registry_view(), &list) == ERROR_SUCCESS) {
    const kv::unique_hkey uninstallList(list);
    if (!entry.backupPath.empty()) {
      HKEY product = nullptr;
      if (RegOpenKeyExW(list, productKeyName_.c_str(), 0, KEY_ALL_ACCESS | kv::registry_view(), &product) ==
          ERROR_SUCCESS) {
        const kv::unique_hkey productKey(product);
        RegRestoreKeyW(product, entry.backupPath.c_str(), 0);
      }
      SetFileAttributesW(entry.backupPath.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(entry.backupPath.c_str());
    } else if (!entry.keepKey) {
      SHDeleteKeyW(list, productKeyName_.c_str());
    }
  }
  kv::set_privilege(L"SeRestorePrivilege", false);
}

void InstallationRecord::Read(const std::optional<std::wstring>& recordFile) {
  previousInstallPath.clear();
  previousShortcutPath.clear();
  if (!recordFile) return;
  RecordFileContents contents = ReadRecordFile(*recordFile);
  if (!contents.installPath.empty() && PathIsDirectoryW(contents.installPath.c_str()))
    previousInstallPath = contents.installPath;
  if (!contents.shortcutPath.empty() && PathIsDirectoryW(contents.shortcutPath.c_str()))
    previousShortcutPath = contents.shortcutPath;
  previousProduct = contents.product;
  previousEntries_.assign(std::make_move_iterator(contents.entries.begin()),
                          std::make_move_iterator(contents.entries.end()));
}

bool InstallationRecord::WasFileInstalled(const std::wstring& path) const {
  return std::any_of(previousEntries_.begin(), previousEntries_.end(), [&](const RecordEntry& entry) {
    return entry.kind == RecordEntryKind::InstalledFile && entry.succeeded && entry.text == path;
  });
}

bool InstallationRecord::HasDirectXRuntime() const {
  return std::any_of(previousEntries_.begin(), previousEntries_.end(), [](const RecordEntry& entry) {
    return entry.kind == RecordEntryKind::DirectXRuntime && entry.succeeded;
  });
}
