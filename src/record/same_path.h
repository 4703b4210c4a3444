#pragma once
// Whether two paths name the same file or folder.

#include <optional>
#include <string>

// True when the texts are equal; otherwise, when both exist, when they are the same object on disk
// (volume serial number and file identifier); otherwise when their absolute forms have the same
// elements, compared without regard to letter case.
bool IsSamePath(const std::wstring& a, const std::wstring& b);

// What names an existing file or folder on disk: its volume's serial number and its file identifier.
struct FileIdentity {
  unsigned long volume;
  unsigned long indexHigh;
  unsigned long indexLow;
  bool operator==(const FileIdentity&) const = default;
};

// One path with its identity on disk, read at most once: for comparing one path with many without
// asking the disk again for every pair.
class PathIdentity {
 public:
  explicit PathIdentity(const std::wstring& path) : path_(path) {}

  const std::wstring& path() const noexcept { return path_; }
  // The answer of IsSamePath(path(), other.path()).
  bool IsSameAs(const PathIdentity& other) const;

 private:
  const std::optional<FileIdentity>& identity() const;

  std::wstring path_;
  mutable bool read_ = false;
  mutable std::optional<FileIdentity> identity_;
};
