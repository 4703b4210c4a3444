#pragma once
// Writing payload archives: the header of a list of entries, and bzip2 compression as the
// standard compressor does it with its largest block size.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/payload_archive.h"

// The archive header for entries (destination in macro form, size and CRC filled in): the header
// size, the entry count and every entry, little-endian, strings as counted UTF-16LE.
std::string EncodePayloadHeader(const std::vector<PayloadEntry>& entries);

// The CRC-32 (zlib's) of bytes.
std::uint32_t PayloadCrc32(std::string_view bytes);

// Compresses raw archive bytes into one bzip2 stream ("BZh9").
std::string CompressPayload(std::string_view raw);

// Writes the compressed archive of entries to out: the header, then each entry's data, which
// writeData(index, sink) produces by writing exactly entries[index].size bytes to sink.
void WritePayloadArchive(std::ostream& out, const std::vector<PayloadEntry>& entries,
                         const std::function<void(std::size_t, std::ostream&)>& writeData);
