#include "uninstall/shipped_contents.h"

#include <windows.h>

#include <algorithm>

#include <boost/crc.hpp>

#include "support/handles.h"

namespace uninstall {

namespace {

std::optional<std::uint64_t> FileSize(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::uint32_t> ContentCrc(HANDLE file) {
  boost::crc_32_type crc;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
    if (got == 0) return crc.checksum();
    crc.process_bytes(buffer, got);
  }
}

kv::unique_file OpenForReading(const std::wstring& path) {
  return kv::unique_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

std::optional<ShippedContent> ReadContent(const std::wstring& path) {
  const kv::unique_file file = OpenForReading(path);
  if (!file) return std::nullopt;
  const std::optional<std::uint64_t> size = FileSize(file.get());
  const std::optional<std::uint32_t> crc = size ? ContentCrc(file.get()) : std::nullopt;
  if (!crc) return std::nullopt;
  return ShippedContent{*size, *crc};
}

std::optional<bool> HoldsShippedContent(const std::wstring& path, const std::vector<ShippedContent>& shipped) {
  const kv::unique_file file = OpenForReading(path);
  if (!file) return std::nullopt;
  const std::optional<std::uint64_t> size = FileSize(file.get());
  if (!size) return std::nullopt;
  // A size that no shipped content has settles it without reading the file.
  const auto sameSize = [&](const ShippedContent& content) { return content.size == *size; };
  if (std::none_of(shipped.begin(), shipped.end(), sameSize)) return false;
  const std::optional<std::uint32_t> crc = ContentCrc(file.get());
  if (!crc) return std::nullopt;
  return std::any_of(shipped.begin(), shipped.end(),
                     [&](const ShippedContent& content) { return sameSize(content) && content.crc32 == *crc; });
}

}  // namespace uninstall
