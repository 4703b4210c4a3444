#pragma once
// The payload archive as the extractor sees it: one entry per file, the messages the extractor
// sends to its callback, and the extractor's error category.

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <string_view>
#include <variant>
#include <vector>

// One file of the archive. destination holds the macro form while the header is read, and the
// full path of the output file from then on.
struct PayloadEntry {
  std::wstring source;
  std::wstring destination;
  std::uint32_t kind = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};

// The largest header an archive may declare. The payload's header is some kilobytes; the bound
// keeps a damaged archive from claiming memory it cannot fill.
constexpr std::uint64_t maxPayloadHeaderSize = 4u * 1024 * 1024;

// What a kind of payload file is, and so which placement rule applies to it.
enum PayloadKind : std::uint32_t {
  LanguageLibraryKind = 0,
  ProductExecutableKind = 1,
  UninstallerKind = 2,
  UserDataKind = 3,
  SharedContentKind = 4,
  TemporaryFileKind = 5,
};

namespace notification_types {
struct started {};
struct finished {
  std::uint64_t consumed;  // bytes taken from the compressed source
  std::uint64_t total;     // size of the archive
};
struct file_begin {
  PayloadEntry& entry;
};
struct file_end {
  PayloadEntry& entry;
};
struct progress {
  std::uint64_t processed;
  std::uint64_t total;
};
struct failure {
  std::int32_t value;
  const std::error_category& category;
  std::wstring path;
};
}  // namespace notification_types

// A message of the extractor to its callback; index() tells which one it is (0 started, 1 finished,
// 2 file_begin, 3 file_end, 4 progress, 5 failure).
struct notification
    : std::variant<notification_types::started, notification_types::finished, notification_types::file_begin,
                   notification_types::file_end, notification_types::progress, notification_types::failure> {
  using started = notification_types::started;
  using finished = notification_types::finished;
  using file_begin = notification_types::file_begin;
  using file_end = notification_types::file_end;
  using progress = notification_types::progress;
  using failure = notification_types::failure;
  using variant::variant;

  // The callback's answer. The extractor acts on all three after file_begin, and on abort after
  // file_end and progress; it ignores the answer to the other messages.
  enum class result : int { proceed = 0, abort = 1, skip = 2 };
};

// The extractor's callback: receives every notification, answers with what to do.
using PayloadCallback = std::function<notification::result(notification)>;

// The values of the extractor's own error category.
enum class compress_error : int {
  invalid_checksum = 3,  // a written file's CRC-32 differs from its entry
  unknown = 4,           // the compressed resource failed its check before extraction
  interrupted = 5,       // the callback asked to abort
  bzip2_error = 6,       // the decompressor met damaged data
  unexpected = 7,        // the archive is malformed, ended early, or a folder was not found
};

// The extractor's error category, named "compress".
const std::error_category& compress_category() noexcept;

std::error_code make_error_code(compress_error error) noexcept;

namespace std {
template <>
struct is_error_code_enum<compress_error> : true_type {};
}  // namespace std

// The header size that the first 8 bytes of an archive declare. Throws std::system_error with
// compress_error::unexpected when it is below 12 or above maxPayloadHeaderSize.
std::uint64_t ReadPayloadHeaderSize(std::string_view firstBytes);

// The entries of a complete archive header (destinations in macro form). Throws std::system_error
// with compress_error::unexpected when the header is malformed: an entry count that cannot fit,
// a string running past the end, entries that do not end exactly at the header size.
std::vector<PayloadEntry> ReadPayloadEntries(std::string_view header);
