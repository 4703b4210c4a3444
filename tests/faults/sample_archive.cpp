#include "faults/sample_archive.h"

#include <windows.h>

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_streambuf.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "common/test_environment.h"
#include "support/memory_stream.h"

namespace faults {

namespace {

constexpr std::uint64_t blockMagic = 0x314159265359ull;
constexpr std::uint64_t endMagic = 0x177245385090ull;
constexpr std::uint64_t magicMask = (1ull << 48) - 1;

// A decompressing stream buffer over compressed bytes, with the bytes' own stream kept alive.
class DecompressingReader {
 public:
  explicit DecompressingReader(std::string_view compressed) : source_(compressed.data(), compressed.size()) {
    chain_.push(boost::iostreams::bzip2_decompressor());
    chain_.push(source_);
  }
  std::string Read(std::size_t count) {
    std::string bytes(count, '\0');
    const std::streamsize got = chain_.sgetn(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return bytes;
  }

 private:
  kv::basic_imemstream source_;
  boost::iostreams::filtering_istreambuf chain_;
};

}  // namespace

const std::string& SampleArchive() {
  static const std::string archive = [] {
    const std::filesystem::path path =
        test::test_program_folder().parent_path() / L"resources" / L"payload" / L"payload.bz2";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return archive;
}

std::string_view LinkedPayload() {
  static const kv::basic_imemstream resource = kv::load_resource_stream(MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(134));
  return resource.contents();
}

std::string Decompress(std::string_view compressed, std::size_t count) {
  DecompressingReader reader(compressed);
  std::string archive;
  for (std::string piece; archive.size() < count &&
                          !(piece = reader.Read(std::min<std::size_t>(count - archive.size(), 1 << 20))).empty();)
    archive += piece;
  return archive;
}

std::vector<PayloadEntry> ReadEntries(std::string_view compressed) {
  DecompressingReader reader(compressed);
  std::string header = reader.Read(8);
  const std::uint64_t headerSize = ReadPayloadHeaderSize(header);
  header += reader.Read(static_cast<std::size_t>(headerSize - 8));
  return ReadPayloadEntries(header);
}

StreamLayout ScanStream(std::string_view compressed) {
  StreamLayout layout;
  std::uint64_t window = 0;
  std::uint64_t bit = 0;
  for (const char byte : compressed) {
    for (int i = 7; i >= 0; --i, ++bit) {
      window = (window << 1 | ((static_cast<unsigned char>(byte) >> i) & 1)) & magicMask;
      if (bit < 47) continue;
      if (window == blockMagic) layout.blockBits.push_back(bit - 47);
      if (window == endMagic) layout.endBit = bit - 47;
    }
  }
  return layout;
}

std::string FlipBit(std::string_view stream, std::uint64_t bit) {
  std::string damaged(stream);
  damaged[static_cast<std::size_t>(bit / 8)] ^= static_cast<char>(0x80 >> (bit % 8));
  return damaged;
}

std::string CutAt(std::string_view stream, std::size_t size) { return std::string(stream.substr(0, size)); }

std::string InsertAt(std::string_view stream, std::size_t at, std::string_view bytes) {
  std::string damaged(stream);
  damaged.insert(at, bytes);
  return damaged;
}

std::wstring SourceFileName(const PayloadEntry& entry) {
  const std::size_t separator = entry.source.find_last_of(L"\\/");
  return separator == std::wstring::npos ? entry.source : entry.source.substr(separator + 1);
}

}  // namespace faults
