#pragma once
// Registry access in the view of the 32-bit program (see wow64.h).

#include <windows.h>

#include <optional>
#include <string>

#include "support/handles.h"
#include "support/wow64.h"

namespace kv {

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
