#pragma once
// Registry access in the view of the 32-bit program. The release is a 32-bit process, which on
// 64-bit Windows sees the 32-bit view of the registry; the 64-bit test build asks for that same
// view explicitly, so both builds read and write the same keys.

#include <windows.h>

#include <optional>
#include <string>

#include "support/handles.h"

namespace kv {

// The flag every registry access adds to its access mask: KEY_WOW64_32KEY.
constexpr REGSAM registry_view() noexcept { return KEY_WOW64_32KEY; }

// Opens root\subkey with the given access (the view flag is added). Returns an empty owner and
// sets the last error when the key cannot be opened.
unique_hkey open_registry_key(HKEY root, const std::wstring& subkey, REGSAM access);

// The value name of root\subkey when it is a REG_DWORD of exactly 4 bytes; nothing when the key or
// value is missing or has another type or size.
std::optional<DWORD> read_registry_dword(HKEY root, const std::wstring& subkey, const wchar_t* name);

// The string value name of an open key (REG_SZ or REG_EXPAND_SZ, returned as stored, without its
// terminating NUL); nothing when it is missing or of another type.
std::optional<std::wstring> read_registry_string(HKEY key, const wchar_t* name);

}  // namespace kv
