#include "engine/output_file.h"

#include <windows.h>

#include <share.h>

#include <cerrno>
#include <filesystem>
#include <ios>
#include <system_error>
#include <utility>

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

std::unique_ptr<OutputFile> OpenOutputFile(DestinationFolders& /*folders*/, const std::wstring& path) {
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
  return std::make_unique<OutputFile>(path);
}
