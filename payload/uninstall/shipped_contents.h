#pragma once
// The contents of the files that the user may change (payload kind 3) as the payload ships them.
// The uninstaller removes such a file only while it still holds one of these contents: a changed
// file is the user's work and stays.
//
// The contents decide, not the file times: a reinstallation leaves a present kind-3 file alone but
// rewrites the record, so the record's time says nothing about a change made before it, and the
// creation time is not kept by every file system (Wine on Linux reports the last-write time for it).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace uninstall {

struct ShippedContent {
  std::uint64_t size = 0;
  std::uint32_t crc32 = 0;
};

// The size and CRC-32 of the file's contents; nothing when it cannot be opened or read.
std::optional<ShippedContent> ReadContent(const std::wstring& path);

// Whether the file's contents equal one of the shipped ones; nothing when it cannot be read.
std::optional<bool> HoldsShippedContent(const std::wstring& path, const std::vector<ShippedContent>& shipped);

// The contents of the sample payload's kind-3 files, generated from the payload when the
// uninstaller program is built (defined by the program, not by this library).
const std::vector<ShippedContent>& PayloadUserFileContents();

}  // namespace uninstall
