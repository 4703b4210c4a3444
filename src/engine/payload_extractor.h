#pragma once
// The streaming extractor of the payload archive. The compressed resource is decompressed as a
// stream and the archive's bytes are fed, as they come, to a PayloadExtractor, which collects and
// parses the header, resolves every entry's destination, writes one file after the other, checks
// each written file against its CRC-32 and reports every step to a callback.

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "engine/destinations.h"
#include "engine/output_file.h"
#include "engine/payload_archive.h"
#include "support/memory_stream.h"

class PayloadExtractor {
 public:
  // An extractor that places files by the given folders and reports to callback (not empty).
  PayloadExtractor(const std::wstring& installFolder, const std::wstring& sampleFolder,
                   const std::wstring& temporaryFolder, PayloadCallback callback);

  // Consumes up to count bytes of the archive and returns how many it took: never past the end of
  // the header or of the current entry in one call, and none for an entry of size 0 that it
  // completes. Raises on a failure (compress_error, file-system and stream errors, whatever the
  // callback raises); after a failure every call consumes its bytes without effect.
  std::uint64_t write(const char* data, std::uint64_t count);

  // Marks the extractor failed, so that later bytes are consumed without effect.
  void set_failed() noexcept { failed_ = true; }

  // Finishes the entries of size 0 that follow the last byte of file data.
  void finish_trailing_empty_entries();

  const std::vector<PayloadEntry>& entries() const noexcept { return entries_; }
  std::uint64_t processed() const noexcept { return processed_; }
  std::uint64_t total() const noexcept { return total_; }
  // The entry being written, or null outside an entry.
  const PayloadEntry* current_entry() const noexcept;
  // The folders destinations are resolved against, with the shared-folder list.
  DestinationFolders& folders() noexcept { return folders_; }

 private:
  std::uint64_t collect_header(const char* data, std::uint64_t count);
  void parse_header();
  std::uint64_t write_entry(const char* data, std::uint64_t count);
  void begin_entry(PayloadEntry& entry);
  void end_entry(PayloadEntry& entry);
  void report_progress();

  DestinationFolders folders_;
  PayloadCallback callback_;
  std::vector<PayloadEntry> entries_;
  std::uint64_t headerSize_ = 0;
  std::uint64_t processed_ = 0;
  std::uint64_t total_ = 0;
  std::unique_ptr<kv::basic_memstream> header_ = std::make_unique<kv::basic_memstream>();
  std::unique_ptr<OutputFile> output_;
  std::uint32_t position_ = 0;
  std::uint64_t remaining_ = 0;
  bool started_ = false;
  bool skipping_ = false;
  bool failed_ = false;
};

// Extracts the archive that source holds compressed: sends started, places every file, and sends
// finished and returns true when all were written and verified. Any failure ends in one failure
// notification (value, category, path) and false; files already written stay on disk.
bool ExtractPayload(std::istream& source, const std::wstring& installFolder, const std::wstring& sampleFolder,
                    const std::wstring& temporaryFolder, PayloadCallback callback);

// True when the whole of source decompresses cleanly and source is exhausted. The caller rewinds
// source (clear, seekg 0) before extracting from it.
bool VerifyPayload(std::istream& source);

// The CRC-32 of a file's contents. Retries three times, a second apart, while another process
// holds the file; raises std::ios_base::failure otherwise, with the C runtime's error values set.
std::uint32_t FileCrc32(const std::wstring& path);

// The value and category that a failure caught as the current exception is reported with.
std::error_code ClassifyPayloadFailure(std::exception_ptr failure);
