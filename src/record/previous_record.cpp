#include "record/previous_record.h"

#include <windows.h>

#include <vector>

#include "app/product.h"
#include "record/record_format.h"
#include "support/paths.h"
#include "support/registry.h"

namespace {

// The "UninstallString" of the product's Uninstall key, only when it is a string value of an even
// size that ends with its NUL.
std::wstring RegisteredUninstaller(const std::wstring& productKeyName) {
  const kv::unique_hkey key = kv::open_registry_key(
      HKEY_LOCAL_MACHINE, GetUninstallKeyPath(productKeyName), MAXIMUM_ALLOWED);
  if (!key) return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size % sizeof(wchar_t) != 0 || size < sizeof(wchar_t)) return {};
  std::vector<wchar_t> value(size / sizeof(wchar_t), L'\0');
  DWORD got = size;
  if (RegQueryValueExW(key.get(), L"UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &got) !=
          ERROR_SUCCESS ||
      got != size || value.back() != L'\0')
    return {};
  return value.data();
}

bool Exists(const std::wstring& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

std::wstring RecordFileBeside(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  if (path.empty()) return {};
  std::wstring folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder + L'\\' + recordFileName;
}

std::wstring FindPreviousRecord(const std::wstring& productKeyName, const std::wstring& installedProductPath) {
  const std::wstring candidates[] = {
      RecordFileBeside(RegisteredUninstaller(productKeyName)),
      RecordFileBeside(kv::module_path()),
      Exists(installedProductPath) ? RecordFileBeside(installedProductPath) : std::wstring(),
  };
  for (const std::wstring& candidate : candidates)
    if (Exists(candidate)) return candidate;
  return {};
}
