#pragma once
// One extraction of a payload through the real extractor, with the file placement, installation
// record and temporary files of an installation run, into destination folders below one root
// folder: the installation folder (root\install), the sample folder (root\samples), the run's
// temporary folder (root\tmp\run), and root\common and root\user, which this process's shell
// gives as the shared and the user's application data folders while the run exists (the user's
// and the machine's registry roots are redirected to keys of the run's own, as installers
// redirect them for self-registration). The user's temporary folder (where backups go) is
// root\tmp meanwhile. A failed extraction is rolled back as the installation run rolls it back.

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string>
#include <system_error>
#include <vector>

#include "app/install_options.h"
#include "engine/file_placement.h"
#include "engine/payload_archive.h"
#include "engine/temporary_file_list.h"

namespace faults {

// A file that an extraction began, at the path where it was placed.
struct BegunFile {
  std::wstring path;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};

struct ExtractionOutcome {
  bool succeeded = false;
  std::error_code failure;    // the failure notification's value and category
  std::wstring failurePath;
  std::vector<BegunFile> begun;
  std::size_t ended = 0;      // file_end notifications
  // Destinations outside every destination folder, or with an element made of dots and blanks
  // only. The run aborts at the first such file, before it is written, so that a test never
  // writes outside its folders.
  std::vector<std::wstring> escapes;
};

class ExtractionRun {
 public:
  explicit ExtractionRun(std::filesystem::path root);
  // Ends the run if the test did not, and gives the temporary folder and registry roots back.
  ~ExtractionRun();
  ExtractionRun(const ExtractionRun&) = delete;
  ExtractionRun& operator=(const ExtractionRun&) = delete;

  // ExtractPayload over compressed, placing every file as the installation run does; a failure
  // closes the open record entry as failed.
  ExtractionOutcome Extract(std::istream& compressed);
  ExtractionOutcome Extract(std::string_view compressed);

  // Rolls back what the record holds when the extraction failed, and deletes the run's temporary
  // files and folder (the end of an installation run). With undoSuccess, a successful extraction
  // is rolled back as well, which leaves the root as it was.
  void Finish(bool undoSuccess = false);

  // Entries of the root folder that are none of the destination folders.
  std::vector<std::wstring> StrangersInRoot() const;
  // Every file and folder below the root, the user's temporary folder (root\tmp) itself left out.
  std::vector<std::wstring> EverythingBelowRoot() const;
  // Checks each placed file against the archive's entries: the same count, and for each entry a
  // file with its name, size and CRC-32. Returns the first difference, empty when all match.
  std::wstring CompareWithEntries(const std::vector<PayloadEntry>& entries) const;

  // Whether the shell gives root\common and root\user as the data folders, as the run needs.
  bool redirected() const;
  const std::filesystem::path& root() const noexcept { return root_; }
  std::wstring installFolder() const { return (root_ / L"install").wstring(); }
  InstallOptions& options() noexcept { return options_; }

 private:
  notification::result OnNotification(const notification& message);
  // Whether a destination lies in one of the destination folders.
  bool StaysInDestinations(const std::wstring& destination) const;
  void RedirectRegistryRoots();
  void RestoreRegistryRoots();

  std::filesystem::path root_;
  std::wstring savedTmp_, savedTemp_;
  std::wstring redirectKey_;
  InstallOptions options_;
  std::unique_ptr<TemporaryFileList> temporaryFiles_;
  std::unique_ptr<FilePlacement> placement_;
  ExtractionOutcome outcome_;
  bool finished_ = true;
};

// The CRC-32 and size of a file's contents.
std::uint32_t FileContentCrc(const std::filesystem::path& path, std::uint64_t& size);

}  // namespace faults
