#include "record/backup.h"

#include <windows.h>

std::wstring MakeBackup(const std::wstring& source, bool copy) {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length > 246) return {};
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(folder, L"kv", 0, name) == 0) return {};
  // Only the unique name is wanted; the empty file that reserved it goes at once.
  DeleteFileW(name);
  if (source.empty()) return name;

  const DWORD attributes = GetFileAttributesW(source.c_str());
  const bool haveAttributes = attributes != INVALID_FILE_ATTRIBUTES;
  if (haveAttributes) SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (copy) {
    if (CopyFileW(source.c_str(), name, FALSE)) {
      if (haveAttributes) {
        SetFileAttributesW(source.c_str(), attributes);
        SetFileAttributesW(name, attributes);
      }
      return name;
    }
  } else if (MoveFileW(source.c_str(), name)) {
    if (haveAttributes) SetFileAttributesW(name, attributes);
    return name;
  }
  if (haveAttributes) SetFileAttributesW(source.c_str(), attributes);
  return {};
}
