#pragma once
// The files that an extraction writes.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/destinations.h"
#include "support/handles.h"

// One output file, open for writing in byte mode; other processes may read it but not write it
// while it is open. Every failure raises std::ios_base::failure with the C runtime's last
// operating-system error value set to the system's error code of the failing call (errno 0).
// The system's own calls write the file: a write that the system takes only in part (a drive
// that fills up) is followed by one for the rest, which reports why, for example a full disk.
class OutputFile {
 public:
  // Creates the file, or truncates an existing one.
  explicit OutputFile(const std::wstring& path);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Writes all count bytes (through a buffer).
  void Write(const char* data, std::size_t count);
  // Writes what the buffer holds and closes the file; raises when either fails.
  void Close();

 private:
  void Flush();

  kv::unique_file file_;
  std::vector<char> buffer_;
};

// Prepares and opens the output file at path: clears the read-only attribute of an existing file
// (or of a link's target), creates the missing folders above it (raising std::filesystem::filesystem_error
// with the path when that fails), and opens it as OutputFile.
std::unique_ptr<OutputFile> OpenOutputFile(DestinationFolders& folders, const std::wstring& path);

// Gives the Users group access to each shared folder not yet granted that folder lies in or is;
// so every shared folder is granted once, when the first file below it is about to be written.
// A folder whose status cannot be read raises std::filesystem::filesystem_error.
void GrantSharedFolders(std::vector<SharedFolder>& sharedFolders, const std::wstring& folder);
