#pragma once
// The files an installation run writes only for its own use (payload kind 5: the DirectX setup
// library and its companions), which go again when the run ends.

#include <string>
#include <vector>

class TemporaryFileList {
 public:
  // folder is the run's temporary folder, which the files are written to.
  explicit TemporaryFileList(std::wstring folder);
  // Deletes every listed file, then the run's temporary folder when it is empty; errors are ignored.
  ~TemporaryFileList();
  TemporaryFileList(const TemporaryFileList&) = delete;
  TemporaryFileList& operator=(const TemporaryFileList&) = delete;

  void Add(const std::wstring& path) { files_.push_back(path); }
  const std::wstring& folder() const noexcept { return folder_; }
  const std::vector<std::wstring>& files() const noexcept { return files_; }

 private:
  std::wstring folder_;
  std::vector<std::wstring> files_;
};
