#pragma once
// Giving a copy of a program another payload: the tests that run an installation of an archive
// of their own (a damaged one, a small one) put it where the installer looks for its payload.

#include <windows.h>

#include <filesystem>
#include <string_view>

namespace test {

// Replaces the payload resource (type 260, name 134, language neutral) of the executable file
// with the given bytes, a compressed archive as the build packs it. Returns 0, or the Windows
// error of the step that failed (the file is then left as it was).
DWORD replace_payload_resource(const std::filesystem::path& executable, std::string_view compressed);

}  // namespace test
