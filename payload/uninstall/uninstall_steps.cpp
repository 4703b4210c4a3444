#include "uninstall/uninstall_steps.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <filesystem>
#include <optional>

#include "record/same_path.h"
#include "support/handles.h"
#include "support/paths.h"
#include "support/registry.h"

namespace uninstall {

namespace {

constexpr wchar_t localMachinePrefix[] = L"HKEY_LOCAL_MACHINE\\";
constexpr wchar_t classesRootPrefix[] = L"HKEY_CLASSES_ROOT\\";
// The project file type as the product registers it when it is run once (payload/product.cpp).
constexpr wchar_t projectExtension[] = L".gvp";
constexpr wchar_t projectType[] = L"Gradivo.Project";
// How long the uninstaller's own program file may stay locked after its process ended.
constexpr int programUnlockAttempts = 30;
constexpr DWORD programUnlockStepMs = 100;

std::wstring ErrorReason(DWORD error) { return L"error " + std::to_wstring(error) + L": " + kv::error_text(error); }

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool IsLocked(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// A path as a registry value may hold it: without blanks around it and without quotation marks.
std::wstring Unquoted(std::wstring path) {
  const std::size_t begin = path.find_first_not_of(L" \t");
  if (begin == std::wstring::npos) return {};
  path.erase(0, begin);
  if (path.front() == L'"') {
    const std::size_t end = path.find(L'"', 1);
    return path.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
  }
  path.erase(path.find_last_not_of(L" \t") + 1);
  return path;
}

std::wstring FolderOf(const std::wstring& path) { return std::filesystem::path(path).parent_path().wstring(); }

// Deletes the file, read-only or not; 0 or the Windows error. A file that stays gets its
// attributes back.
DWORD DeleteAnyFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(path.c_str())) return 0;
  const DWORD error = GetLastError();
  SetFileAttributesW(path.c_str(), attributes);
  return error;
}

const wchar_t* KindWord(RecordEntryKind kind) {
  switch (kind) {
    case RecordEntryKind::CreatedFolder: return L"folder";
    case RecordEntryKind::InstalledFile: return L"file";
    case RecordEntryKind::ProgramShortcut:
    case RecordEntryKind::UninstallerShortcut:
    case RecordEntryKind::DesktopShortcut: return L"shortcut";
    case RecordEntryKind::UninstallKey: return L"key";
    case RecordEntryKind::FileAssociations: return L"associations";
    case RecordEntryKind::DirectXRuntime: return L"DirectX runtime";
  }
  return L"entry";
}

bool NamesPath(RecordEntryKind kind) {
  return kind == RecordEntryKind::CreatedFolder || kind == RecordEntryKind::InstalledFile ||
         kind == RecordEntryKind::ProgramShortcut || kind == RecordEntryKind::UninstallerShortcut ||
         kind == RecordEntryKind::DesktopShortcut;
}

// An executable of the product (payload kind 1) that the installation placed.
bool IsPlacedProgramEntry(const RecordEntry& entry) {
  return entry.kind == RecordEntryKind::InstalledFile && entry.tag == 1 && entry.succeeded && !entry.text.empty();
}

// One walk over a record's entries.
class Undo {
 public:
  Undo(const std::wstring& recordFile, const RecordFileContents& record, const UninstallSettings& settings,
       UninstallReport& report)
      : recordFile_(recordFile), record_(record), names_(settings.names), settings_(settings), report_(report) {}

  void Run() {
    for (auto entry = record_.entries.rbegin(); entry != record_.entries.rend(); ++entry) UndoEntry(*entry);
    if (!productPathDone_ && PlacesProductProgram()) RemoveProductPath();
    if (!recordRemoved_) RemoveRecordFile();
  }

 private:
  void UndoEntry(const RecordEntry& entry) {
    const wchar_t* what = KindWord(entry.kind);
    // The product path value was written right after the Uninstall key, whatever became of it.
    if (entry.kind == RecordEntryKind::UninstallKey && !productPathDone_ && PlacesProductProgram())
      RemoveProductPath();
    if (!entry.succeeded) {
      report_.Add(Outcome::skipped, what, entry.text, L"not done by the installation");
      return;
    }
    if (NamesPath(entry.kind) && !kv::is_rooted_path(entry.text)) {
      report_.Add(Outcome::skipped, what, entry.text, L"not a full path");
      return;
    }
    switch (entry.kind) {
      case RecordEntryKind::CreatedFolder:
        RemoveFolder(entry.text);
        break;
      case RecordEntryKind::InstalledFile:
        RemoveInstalledFile(entry);
        break;
      case RecordEntryKind::ProgramShortcut:
      case RecordEntryKind::UninstallerShortcut:
      case RecordEntryKind::DesktopShortcut:
        RemoveShortcut(entry.text);
        break;
      case RecordEntryKind::UninstallKey:
        RemoveUninstallKey();
        break;
      case RecordEntryKind::FileAssociations:
        RemoveAssociations();
        break;
      case RecordEntryKind::DirectXRuntime:
        report_.Add(Outcome::skipped, what, {}, L"it stays for other programs");
        break;
    }
  }

  // Whether the file at path is there as a file: reports and answers false when it is not.
  bool IsFilePresent(const wchar_t* what, const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      report_.Add(IsMissing(error) ? Outcome::gone : Outcome::failed, what, path,
                  IsMissing(error) ? std::wstring() : ErrorReason(error));
      return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      report_.Add(Outcome::skipped, what, path, L"a folder, not a file");
      return false;
    }
    return true;
  }

  void RemoveInstalledFile(const RecordEntry& entry) {
    const std::wstring& path = entry.text;
    if (!IsFilePresent(L"file", path)) return;
    if (entry.tag == 3) {
      const std::optional<bool> shipped = HoldsShippedContent(path, settings_.shippedContents);
      if (!shipped || !*shipped) {
        report_.Add(Outcome::kept, L"file", path, shipped ? L"changed" : L"cannot be read");
        return;
      }
    }
    DWORD error = DeleteAnyFile(path);
    // The uninstaller's own program: its process may have ended only a moment ago.
    for (int attempt = 0; entry.tag == 2 && IsLocked(error) && attempt < programUnlockAttempts; ++attempt) {
      Sleep(programUnlockStepMs);
      error = DeleteAnyFile(path);
    }
    ReportFileDeletion(L"file", path, error);
  }

  void RemoveShortcut(const std::wstring& path) {
    if (!EqualIgnoringCase(std::filesystem::path(path).extension().wstring(), L".lnk")) {
      report_.Add(Outcome::skipped, L"shortcut", path, L"not a shortcut file");
      return;
    }
    if (!IsFilePresent(L"shortcut", path)) return;
    const DWORD error = DeleteAnyFile(path);
    if (error == 0) SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path.c_str(), nullptr);
    ReportFileDeletion(L"shortcut", path, error);
  }

  void ReportFileDeletion(const wchar_t* what, const std::wstring& path, DWORD error) {
    if (error == 0)
      report_.Add(Outcome::removed, what, path);
    else
      report_.Add(IsMissing(error) ? Outcome::gone : Outcome::failed, what, path,
                  IsMissing(error) ? std::wstring() : ErrorReason(error));
  }

  void RemoveFolder(const std::wstring& path) {
    if (!recordRemoved_ && HoldsRecordFile(path)) RemoveRecordFile();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      report_.Add(IsMissing(error) ? Outcome::gone : Outcome::failed, L"folder", path,
                  IsMissing(error) ? std::wstring() : ErrorReason(error));
      return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      report_.Add(Outcome::skipped, L"folder", path, L"not a folder");
      return;
    }
    if (RemoveDirectoryW(path.c_str())) {
      SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHW, path.c_str(), nullptr);
      report_.Add(Outcome::removed, L"folder", path);
      return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY)
      report_.Add(Outcome::kept, L"folder", path, L"not empty");
    else
      report_.Add(Outcome::failed, L"folder", path, ErrorReason(error));
  }

  // The folder is the record file's folder or one above it.
  bool HoldsRecordFile(const std::wstring& folder) const {
    std::filesystem::path holder = std::filesystem::path(recordFile_).parent_path();
    for (;;) {
      if (IsSamePath(folder, holder.wstring())) return true;
      const std::filesystem::path parent = holder.parent_path();
      if (parent == holder || parent.empty()) return false;
      holder = parent;
    }
  }

  void RemoveRecordFile() {
    recordRemoved_ = true;
    ReportFileDeletion(L"record", recordFile_, DeleteAnyFile(recordFile_));
  }

  void RemoveUninstallKey() {
    const std::wstring name = UninstallKeyName(names_);
    const kv::unique_hkey list = kv::open_registry_key(HKEY_LOCAL_MACHINE, uninstallListKey, KEY_ALL_ACCESS);
    if (!list) {
      ReportRegistryFailure(L"key", name, GetLastError());
      return;
    }
    {
      const kv::unique_hkey key = kv::open_registry_key(list.get(), names_.productKeyName, KEY_QUERY_VALUE);
      if (!key) {
        ReportRegistryFailure(L"key", name, GetLastError());
        return;
      }
      // A key that a later installation in another folder took over belongs to that installation.
      const std::optional<std::wstring> uninstaller = kv::read_registry_string(key.get(), L"UninstallString");
      const std::wstring registered = uninstaller ? Unquoted(*uninstaller) : std::wstring();
      if (!registered.empty() && !IsSamePath(FolderOf(registered), FolderOf(recordFile_))) {
        report_.Add(Outcome::kept, L"key", name, L"it names the uninstaller in another folder");
        return;
      }
    }
    const LSTATUS status = SHDeleteKeyW(list.get(), names_.productKeyName.c_str());
    ReportRegistryDeletion(L"key", name, status);
  }

  // The record names an executable of the product that the installation placed.
  bool PlacesProductProgram() const {
    for (const RecordEntry& entry : record_.entries)
      if (IsPlacedProgramEntry(entry)) return true;
    return false;
  }

  bool IsPlacedProductProgram(const std::wstring& path) const {
    for (const RecordEntry& entry : record_.entries)
      if (IsPlacedProgramEntry(entry) && IsSamePath(entry.text, path))
        return true;
    return false;
  }

  void RemoveProductPath() {
    productPathDone_ = true;
    const std::wstring name = ProductPathValueName(names_);
    const kv::unique_hkey maker =
        kv::open_registry_key(HKEY_LOCAL_MACHINE, names_.makerKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!maker) {
      ReportRegistryFailure(L"value", name, GetLastError());
      return;
    }
    const std::optional<std::wstring> program = kv::read_registry_string(maker.get(), names_.productPathValue.c_str());
    if (!program) {
      report_.Add(Outcome::gone, L"value", name);
    } else if (!IsPlacedProductProgram(Unquoted(*program))) {
      report_.Add(Outcome::kept, L"value", name, L"it names a program this installation did not place");
      return;
    } else {
      ReportRegistryDeletion(L"value", name, RegDeleteValueW(maker.get(), names_.productPathValue.c_str()));
    }
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(maker.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
      return;
    const LSTATUS status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, names_.makerKey.c_str(), kv::registry_view(), 0);
    ReportRegistryDeletion(L"key", localMachinePrefix + names_.makerKey, status);
  }

  // The associations are where the product wrote them: in the registry view of its own bitness,
  // which is this program's (both are built for the same target), so no view flag is added.
  void RemoveAssociations() {
    bool changed = false;
    const std::wstring extensionName = classesRootPrefix + names_.fileExtension;
    HKEY rawExtension = nullptr;
    const LSTATUS opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, names_.fileExtension.c_str(), 0, KEY_QUERY_VALUE, &rawExtension);
    if (opened != ERROR_SUCCESS) {
      ReportRegistryFailure(L"key", extensionName, static_cast<DWORD>(opened));
    } else {
      kv::unique_hkey extension(rawExtension);
      const std::optional<std::wstring> type = kv::read_registry_string(extension.get(), nullptr);
      extension.reset();
      if (!type || !EqualIgnoringCase(*type, names_.fileType)) {
        report_.Add(Outcome::kept, L"key", extensionName, L"it no longer names " + names_.fileType);
      } else {
        const LSTATUS status = SHDeleteKeyW(HKEY_CLASSES_ROOT, names_.fileExtension.c_str());
        changed = status == ERROR_SUCCESS;
        ReportRegistryDeletion(L"key", extensionName, status);
      }
    }
    const LSTATUS status = SHDeleteKeyW(HKEY_CLASSES_ROOT, names_.fileType.c_str());
    changed = changed || status == ERROR_SUCCESS;
    ReportRegistryDeletion(L"key", classesRootPrefix + names_.fileType, status);
    if (changed) SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  }

  void ReportRegistryDeletion(const wchar_t* what, const std::wstring& name, LSTATUS status) {
    if (status == ERROR_SUCCESS)
      report_.Add(Outcome::removed, what, name);
    else
      ReportRegistryFailure(what, name, static_cast<DWORD>(status));
  }

  void ReportRegistryFailure(const wchar_t* what, const std::wstring& name, DWORD error) {
    if (IsMissing(error))
      report_.Add(Outcome::gone, what, name);
    else
      report_.Add(Outcome::failed, what, name, ErrorReason(error));
  }

  const std::wstring& recordFile_;
  const RecordFileContents& record_;
  const ProductNames& names_;
  const UninstallSettings& settings_;
  UninstallReport& report_;
  bool recordRemoved_ = false;
  bool productPathDone_ = false;
};

}  // namespace

ProductNames ProductNamesOf(const ProductDefinition& product) {
  return ProductNames{product.productKeyName, L"Software\\" + product.makerFolder, product.productKeyName + L" Path",
                      projectExtension, projectType};
}

bool IsUsableRecord(const RecordFileContents& record) {
  return record.opened && record.version == 1 && (record.complete || !record.entries.empty());
}

void UndoInstallation(const std::wstring& recordFile, const RecordFileContents& record,
                      const UninstallSettings& settings, UninstallReport& report) {
  Undo(recordFile, record, settings, report).Run();
}

std::wstring UninstallKeyName(const ProductNames& names) {
  return localMachinePrefix + GetUninstallKeyPath(names.productKeyName);
}

std::wstring ProductPathValueName(const ProductNames& names) {
  return localMachinePrefix + names.makerKey + L"\\" + names.productPathValue;
}

}  // namespace uninstall
