#include "support/registry.h"

#include <shlwapi.h>

#include <vector>

namespace kv {

unique_hkey open_registry_key(HKEY root, const std::wstring& subkey, REGSAM access) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(root, subkey.c_str(), 0, access | registry_view(), &key);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    return {};
  }
  return unique_hkey(key);
}

std::optional<DWORD> read_registry_dword(HKEY root, const std::wstring& subkey, const wchar_t* name) {
  unique_hkey key = open_registry_key(root, subkey, KEY_QUERY_VALUE);
  if (!key) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof(value);
  if (SHQueryValueExW(key.get(), name, nullptr, &type, &value, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_DWORD || size != sizeof(value)) return std::nullopt;
  return value;
}

std::optional<std::wstring> read_registry_string(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // Room for a terminating NUL that the stored data may lack.
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  std::size_t length = bytes / sizeof(wchar_t);
  while (length > 0 && buffer[length - 1] == L'\0') --length;
  return std::wstring(buffer.data(), length);
}

}  // namespace kv
