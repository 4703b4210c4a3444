#include "engine/output_file.h"

#include <windows.h>

#include <share.h>

#include <cerrno>
#include <filesystem>
#include <ios>
#include <system_error>
#include <utility>

#include "engine/file_placement.h"
#include "record/same_path.h"
#include "support/security.h"

namespace {

constexpr std::size_t outputBufferSize = 64 * 1024;

[[noreturn]] void RaiseStreamFailure(const char* what) { throw std::ios_base::failure(what); }

void ClearReadOnly(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

OutputFile::OutputFile(const std::wstring& path) {
  file_ = _wfsopen(path.c_str(), L"wb", _SH_DENYWR);
  if (!file_) RaiseStreamFailure("cannot open the output file");
  std::setvbuf(file_, nullptr, _IOFBF, outputBufferSize);
}

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
}

void OutputFile::Write(const char* data, std::size_t count) {
  if (count != 0 && std::fwrite(data, 1, count, file_) != count) RaiseStreamFailure("cannot write the output file");
}

void OutputFile::Close() {
  std::FILE* file = std::exchange(file_, nullptr);
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed) RaiseStreamFailure("cannot close the output file");
}

void GrantSharedFolders(std::vector<SharedFolder>& sharedFolders, const std::wstring& folder) {
  for (SharedFolder& shared : sharedFolders) {
    if (shared.granted) continue;
    // Walk up from the file's folder; the shared folder is granted when the walk meets it.
    std::filesystem::path walk(folder);
    for (;;) {
      std::error_code status;
      const std::filesystem::file_status state = std::filesystem::status(walk, status);
      if (status && status != std::errc::no_such_file_or_directory)
        throw std::filesystem::filesystem_error("cannot read the folder's status", walk, status);
      if (!std::filesystem::is_directory(state)) break;
      if (IsSamePath(walk.wstring(), shared.path)) {
        shared.granted = true;
        kv::grant_users_access(shared.path, sharedFolderAccessMask, sharedFolderInheritance);
        break;
      }
      const std::filesystem::path parent = walk.parent_path();
      if (parent.native().size() >= walk.native().size()) break;
      walk = parent;
    }
  }
}

std::unique_ptr<OutputFile> OpenOutputFile(DestinationFolders& folders, const std::wstring& path) {
  const std::filesystem::path file(path);
  std::error_code status;
  if (std::filesystem::exists(file, status)) {
    std::error_code ignored;
    ClearReadOnly(std::filesystem::is_symlink(std::filesystem::symlink_status(file, ignored))
                      ? std::filesystem::canonical(file, ignored)
                      : file);
  } else {
    const std::filesystem::path parent = file.parent_path();
    if (!parent.empty() && !std::filesystem::exists(parent, status)) std::filesystem::create_directories(parent);
  }
  GrantSharedFolders(folders.sharedFolders, file.parent_path().wstring());
  return std::make_unique<OutputFile>(path);
}
