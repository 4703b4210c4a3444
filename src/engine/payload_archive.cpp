#include "engine/payload_archive.h"

#include <string_view>

namespace {

constexpr std::uint64_t minimumHeaderSize = 12;
// Source length, destination length, kind, size and CRC of an entry with empty strings.
constexpr std::uint64_t minimumEntrySize = 4 + 4 + 4 + 8 + 4;

[[noreturn]] void FailMalformed(const char* what) {
  throw std::system_error(make_error_code(compress_error::unexpected), what);
}

// Reads the little-endian integers and counted UTF-16 strings of the header, never past its end.
class HeaderReader {
 public:
  explicit HeaderReader(std::string_view bytes) : bytes_(bytes) {}

  template <typename T>
  T Integer() {
    Need(sizeof(T));
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
      value |= static_cast<T>(static_cast<unsigned char>(bytes_[at_ + i])) << (8 * i);
    at_ += sizeof(T);
    return value;
  }

  std::wstring String() {
    const std::uint64_t length = Integer<std::uint32_t>();
    Need(length * 2);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes_[at_ + 2 * i]) |
                                     static_cast<unsigned char>(bytes_[at_ + 2 * i + 1]) << 8);
    at_ += text.size() * 2;
    return text;
  }

  std::size_t Offset() const { return at_; }

 private:
  void Need(std::uint64_t count) const {
    if (count > bytes_.size() - at_) FailMalformed("archive header ends inside an entry");
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
};


class CompressCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "compress"; }
  std::string message(int value) const override {
    switch (static_cast<compress_error>(value)) {
      case compress_error::invalid_checksum:
        return "invalid checksum";
      case compress_error::interrupted:
        return "interrupted";
      case compress_error::bzip2_error:
        return "bzip2 error";
      case compress_error::unexpected:
        return "unexpected error";
      default:
        return "unknown error";
    }
  }
};

}  // namespace

const std::error_category& compress_category() noexcept {
  static const CompressCategory category;
  return category;
}

std::error_code make_error_code(compress_error error) noexcept {
  return {static_cast<int>(error), compress_category()};
}

std::uint64_t ReadPayloadHeaderSize(std::string_view bytes) {
  const std::uint64_t size = HeaderReader(bytes).Integer<std::uint64_t>();
  if (size < minimumHeaderSize || size > maxPayloadHeaderSize) FailMalformed("archive header size out of range");
  return size;
}

std::vector<PayloadEntry> ReadPayloadEntries(std::string_view header) {
  HeaderReader reader(header);
  const std::uint64_t headerSize = ReadPayloadHeaderSize(header);
  reader.Integer<std::uint64_t>();
  if (header.size() != headerSize) FailMalformed("archive header incomplete");
  const std::uint32_t count = reader.Integer<std::uint32_t>();
  if (count > (headerSize - minimumHeaderSize) / minimumEntrySize) FailMalformed("archive entry count does not fit its header");
  std::vector<PayloadEntry> entries(count);
  for (PayloadEntry& entry : entries) {
    entry.source = reader.String();
    entry.destination = reader.String();
    entry.kind = reader.Integer<std::uint32_t>();
    entry.size = reader.Integer<std::uint64_t>();
    entry.crc = reader.Integer<std::uint32_t>();
  }
  if (reader.Offset() != headerSize) FailMalformed("archive entries do not end at the header size");
  return entries;
}
