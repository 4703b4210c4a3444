#include "archive_writer.h"

#include <boost/crc.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filtering_stream.hpp>

#include <sstream>

namespace {

template <typename T>
void PutInteger(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutString(std::string& out, const std::wstring& text) {
  PutInteger<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
  for (wchar_t c : text) PutInteger<std::uint16_t>(out, static_cast<std::uint16_t>(c));
}

boost::iostreams::bzip2_params CompressorParams() { return boost::iostreams::bzip2_params(9); }

}  // namespace

std::string EncodePayloadHeader(const std::vector<PayloadEntry>& entries) {
  std::string body;
  PutInteger<std::uint32_t>(body, static_cast<std::uint32_t>(entries.size()));
  for (const PayloadEntry& entry : entries) {
    PutString(body, entry.source);
    PutString(body, entry.destination);
    PutInteger<std::uint32_t>(body, entry.kind);
    PutInteger<std::uint64_t>(body, entry.size);
    PutInteger<std::uint32_t>(body, entry.crc);
  }
  std::string header;
  PutInteger<std::uint64_t>(header, 8 + body.size());
  return header + body;
}

std::uint32_t PayloadCrc32(std::string_view bytes) {
  boost::crc_32_type crc;
  crc.process_bytes(bytes.data(), bytes.size());
  return crc.checksum();
}

std::string CompressPayload(std::string_view raw) {
  std::ostringstream compressed;
  {
    boost::iostreams::filtering_ostream out;
    out.push(boost::iostreams::bzip2_compressor(CompressorParams()));
    out.push(compressed);
    out.write(raw.data(), static_cast<std::streamsize>(raw.size()));
  }
  return compressed.str();
}

void WritePayloadArchive(std::ostream& out, const std::vector<PayloadEntry>& entries,
                         const std::function<void(std::size_t, std::ostream&)>& writeData) {
  boost::iostreams::filtering_ostream compressed;
  compressed.push(boost::iostreams::bzip2_compressor(CompressorParams()));
  compressed.push(out);
  // Set once the chain is complete: before, the stream has no buffer and is bad.
  compressed.exceptions(std::ios::badbit | std::ios::failbit);
  const std::string header = EncodePayloadHeader(entries);
  compressed.write(header.data(), static_cast<std::streamsize>(header.size()));
  for (std::size_t i = 0; i < entries.size(); ++i) writeData(i, compressed);
  compressed.reset();
}
