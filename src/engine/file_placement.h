#pragma once
// What an installation run does with each payload file: write it, keep what is there, or leave it
// out; what the installation record learns about it; and the Users group's access to the files the
// user is meant to change.

#include <string>

#include "app/install_options.h"
#include "engine/payload_archive.h"
#include "engine/temporary_file_list.h"

// Access the Users group gets on files of kind 3 (read, write, append, attributes, delete, read
// permissions, synchronise; no execution) and on the shared folders (full access, inherited by
// files and folders created inside).
inline constexpr unsigned long userFileAccessMask = 0x13019F;
inline constexpr unsigned long sharedFolderAccessMask = 0x1F01FF;
inline constexpr unsigned long sharedFolderInheritance = 3;  // objects and containers

class FilePlacement {
 public:
  // The decision for one entry at file_begin, with the log line to show ("Copying File  ...");
  // the text is empty when the entry is left out silently.
  struct Decision {
    notification::result result = notification::result::proceed;
    std::wstring text;
  };

  // options (with its record) and the run's temporary files must outlive the placement.
  FilePlacement(InstallOptions& options, TemporaryFileList& temporaryFiles);

  Decision OnFileBegin(const PayloadEntry& entry);
  // The file is written and checked: grants for kind 3, the record entry closed.
  void OnFileEnd(const PayloadEntry& entry);

  // The product's executable and the uninstaller, once their entries have begun; else empty.
  const std::wstring& productExePath() const noexcept { return productExePath_; }
  const std::wstring& uninstallerPath() const noexcept { return uninstallerPath_; }

 private:
  // Kind 3: the file exists (or the previous installation placed it): it stays as it is.
  bool KeepUserFile(const std::wstring& path);

  InstallOptions& options_;
  TemporaryFileList& temporaryFiles_;
  std::wstring productExePath_;
  std::wstring uninstallerPath_;
};

// Gives the Users group access to a file of kind 3; failures change nothing and are not reported.
void GrantUserFileAccess(const std::wstring& path);
