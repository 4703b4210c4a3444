#include "engine/file_placement.h"

#include <windows.h>

#include <shlwapi.h>

#include "app/messages.h"
#include "support/paths.h"
#include "support/security.h"

void GrantUserFileAccess(const std::wstring& path) { kv::grant_users_access(path, userFileAccessMask, 0); }

FilePlacement::FilePlacement(InstallOptions& options, TemporaryFileList& temporaryFiles)
    : options_(options), temporaryFiles_(temporaryFiles) {}

bool FilePlacement::KeepUserFile(const std::wstring& path) {
  // A file the previous installation placed stays as the user left it, even when the user deleted
  // it; its entry comes over from the previous record.
  if (options_.previousState != PreviousInstallState::None && options_.record.WasFileInstalled(path)) {
    GrantUserFileAccess(path);
    return true;
  }
  // Any other file already there is adopted: recorded with a copy aside, left unchanged.
  if (PathFileExistsW(path.c_str())) {
    options_.record.AddFile(path, UserDataKind, true);
    options_.record.CloseEntry(true);
    GrantUserFileAccess(path);
    return true;
  }
  return false;
}

FilePlacement::Decision FilePlacement::OnFileBegin(const PayloadEntry& entry) {
  const std::wstring& path = entry.destination;
  bool copyBackup = false;
  switch (entry.kind) {
    case ProductExecutableKind:
      productExePath_ = path;
      break;
    case UninstallerKind:
      uninstallerPath_ = path;
      break;
    case UserDataKind:
      copyBackup = true;
      if (KeepUserFile(path)) return {notification::result::skip, {}};
      break;
    case SharedContentKind:
      // An update keeps the textures and samples the user has.
      if (options_.previousState == PreviousInstallState::OlderVersion) return {notification::result::skip, {}};
      break;
    case TemporaryFileKind:
      temporaryFiles_.Add(path);
      break;
    default:
      break;
  }
  Decision decision;
  decision.text = FormatMessageText(GetMessageText(115), kv::quote_spaces(path));
  if (entry.kind != TemporaryFileKind) {
    // Any kind the installer does not know is placed and recorded as a language library is.
    const int tag = entry.kind <= SharedContentKind ? static_cast<int>(entry.kind) : static_cast<int>(LanguageLibraryKind);
    options_.record.AddFile(path, tag, copyBackup);
  }
  return decision;
}

void FilePlacement::OnFileEnd(const PayloadEntry& entry) {
  if (entry.kind == UserDataKind) GrantUserFileAccess(entry.destination);
  if (entry.kind != TemporaryFileKind && options_.record.entryOpen()) options_.record.CloseEntry(true);
}
