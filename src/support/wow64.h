#pragma once
// The installer is a 32-bit program; on 64-bit Windows it sees the 32-bit view of the registry and
// the x86 Program Files folders. The 64-bit test build asks for that same view explicitly, so both
// builds read and write the same keys and folders. On the 32-bit build these choices change nothing.

#include <windows.h>
#include <shlobj.h>

namespace kv {

// The flag every registry access adds to its access mask.
constexpr REGSAM registry_view() noexcept { return KEY_WOW64_32KEY; }

// The CSIDL of the Program Files folder of 32-bit programs.
constexpr int program_files_csidl() noexcept {
#ifdef _WIN64
  return CSIDL_PROGRAM_FILESX86;
#else
  return CSIDL_PROGRAM_FILES;
#endif
}

// The CSIDL of the Common Files folder of 32-bit programs.
constexpr int program_files_common_csidl() noexcept {
#ifdef _WIN64
  return CSIDL_PROGRAM_FILES_COMMONX86;
#else
  return CSIDL_PROGRAM_FILES_COMMON;
#endif
}

}  // namespace kv
