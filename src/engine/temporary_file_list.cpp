#include "engine/temporary_file_list.h"

#include <windows.h>

TemporaryFileList::TemporaryFileList(std::wstring folder) : folder_(std::move(folder)) {}

TemporaryFileList::~TemporaryFileList() {
  for (const std::wstring& file : files_) {
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
  }
  if (!folder_.empty()) RemoveDirectoryW(folder_.c_str());
}
