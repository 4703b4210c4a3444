#include "record/same_path.h"

#include <windows.h>
#include <shlwapi.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "support/handles.h"
#include "support/paths.h"

namespace {

// The identity of an existing file or folder, read without opening its contents.
std::optional<FileIdentity> ReadIdentity(const std::wstring& path) {
  kv::unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

std::vector<std::wstring> Elements(const std::wstring& path) {
  std::filesystem::path absolute(path);
  if (!kv::is_rooted_path(path)) {
    std::error_code error;
    std::filesystem::path made = std::filesystem::absolute(absolute, error);
    if (!error) absolute = made;
  }
  std::vector<std::wstring> elements;
  for (const std::filesystem::path& element : absolute) elements.push_back(element.wstring());
  return elements;
}

// The last rule of IsSamePath, for paths whose identities could not both be read.
bool SameElements(const std::wstring& a, const std::wstring& b) {
  const std::vector<std::wstring> left = Elements(a), right = Elements(b);
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i)
    if (!StrIsIntlEqualW(FALSE, left[i].c_str(), right[i].c_str(), -1)) return false;
  return true;
}

}  // namespace

bool IsSamePath(const std::wstring& a, const std::wstring& b) {
  if (a == b) return true;
  const std::optional<FileIdentity> first = ReadIdentity(a);
  const std::optional<FileIdentity> second = first ? ReadIdentity(b) : std::nullopt;
  if (first && second) return *first == *second;
  return SameElements(a, b);
}

bool PathIdentity::IsSameAs(const PathIdentity& other) const {
  if (path_ == other.path_) return true;
  if (identity() && other.identity()) return *identity() == *other.identity();
  return SameElements(path_, other.path_);
}

const std::optional<FileIdentity>& PathIdentity::identity() const {
  if (!read_) {
    identity_ = ReadIdentity(path_);
    read_ = true;
  }
  return identity_;
}
