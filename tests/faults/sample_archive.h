#pragma once
// The sample payload as the build packs it, and what the fault tests need to know of a bzip2
// stream: where its blocks and its end marker lie, the archive header it carries, and the ways
// of damaging it (a flipped bit, a cut, inserted bytes).

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/payload_archive.h"

namespace faults {

// The compressed sample payload that the build packed (BUILD/resources/payload/payload.bz2,
// found from the test program's folder). Empty when it cannot be read.
const std::string& SampleArchive();

// The payload resource (260/134) linked into the running program, as the installer reads it.
std::string_view LinkedPayload();

// The first count bytes of the archive a bzip2 stream holds (fewer when it is shorter), or all
// of it. Throws on damaged data.
std::string Decompress(std::string_view compressed, std::size_t count = SIZE_MAX);

// The entries of the archive a bzip2 stream holds (destinations in macro form), decompressing
// only as far as the end of the archive's header.
std::vector<PayloadEntry> ReadEntries(std::string_view compressed);

// The bit positions (counted from the first bit of the stream, most significant bit of each byte
// first, as bzip2 writes) of every block header and of the end-of-stream marker.
struct StreamLayout {
  std::vector<std::uint64_t> blockBits;
  std::uint64_t endBit = 0;
};
StreamLayout ScanStream(std::string_view compressed);

// Damages: bit counted as in StreamLayout.
std::string FlipBit(std::string_view stream, std::uint64_t bit);
std::string CutAt(std::string_view stream, std::size_t size);
std::string InsertAt(std::string_view stream, std::size_t at, std::string_view bytes);

// The file name part of an entry's source path, which names its output file.
std::wstring SourceFileName(const PayloadEntry& entry);

}  // namespace faults
