#include "engine/output_file.h"

#include <windows.h>

#include <algorithm>
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

// A failure as the extraction reads it: the system's error in the C runtime's last
// operating-system error value.
[[noreturn]] void RaiseSystemFailure(DWORD error, const char* what) {
  _doserrno = error;
  errno = 0;
  throw std::ios_base::failure(what);
}

void ClearReadOnly(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// The existing folders from a file's folder up to its root, each read from the disk once, and only
// as far up as a comparison needs.
class FolderWalk {
 public:
  explicit FolderWalk(const std::wstring& folder) : next_(folder) {}

  // The folder `steps` levels above the start, nothing when the walk ends before it (a folder that
  // does not exist, or the root passed). A folder whose status cannot be read raises
  // std::filesystem::filesystem_error.
  const PathIdentity* At(std::size_t steps) {
    while (levels_.size() <= steps && !ended_) Extend();
    return steps < levels_.size() ? &levels_[steps] : nullptr;
  }

 private:
  void Extend() {
    std::error_code status;
    const std::filesystem::file_status state = std::filesystem::status(next_, status);
    if (status && status != std::errc::no_such_file_or_directory)
      throw std::filesystem::filesystem_error("cannot read the folder's status", next_, status);
    if (!std::filesystem::is_directory(state)) {
      ended_ = true;
      return;
    }
    levels_.emplace_back(next_.wstring());
    const std::filesystem::path parent = next_.parent_path();
    if (parent.native().size() >= next_.native().size()) ended_ = true;
    next_ = parent;
  }

  std::filesystem::path next_;
  std::vector<PathIdentity> levels_;
  bool ended_ = false;
};

}  // namespace

OutputFile::OutputFile(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
  if (!file_) RaiseSystemFailure(GetLastError(), "cannot open the output file");
  buffer_.reserve(outputBufferSize);
}

void OutputFile::Write(const char* data, std::size_t count) {
  while (count > 0) {
    const std::size_t part = std::min(count, outputBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), data, data + part);
    data += part;
    count -= part;
    if (buffer_.size() == outputBufferSize) Flush();
  }
}

void OutputFile::Flush() {
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, static_cast<DWORD>(left), &written, nullptr))
      RaiseSystemFailure(GetLastError(), "cannot write the output file");
    // A write that the system takes without writing anything has no room for the file.
    if (written == 0) RaiseSystemFailure(ERROR_DISK_FULL, "cannot write the output file");
    data += written;
    left -= written;
  }
  buffer_.clear();
}

void OutputFile::Close() {
  Flush();
  if (!CloseHandle(file_.release())) RaiseSystemFailure(GetLastError(), "cannot close the output file");
}

void GrantSharedFolders(std::vector<SharedFolder>& sharedFolders, const std::wstring& folder) {
  // Every shared folder is compared with the same walk up from the file's folder: the walk's
  // folders are read once per file, not once per shared folder.
  FolderWalk walk(folder);
  for (SharedFolder& shared : sharedFolders) {
    if (shared.granted) continue;
    const PathIdentity element(shared.path);
    for (std::size_t steps = 0; const PathIdentity* level = walk.At(steps); ++steps) {
      if (level->IsSameAs(element)) {
        shared.granted = true;
        kv::grant_users_access(shared.path, sharedFolderAccessMask, sharedFolderInheritance);
        break;
      }
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
