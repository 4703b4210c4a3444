#include "common/test_environment.h"

#include <objbase.h>

#include <system_error>

#include "support/registry.h"

namespace test {

bool running_under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

scratch_folder::scratch_folder() {
  GUID guid{};
  CoCreateGuid(&guid);
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  path_ = std::filesystem::temp_directory_path() / (std::wstring(L"gradivo-test-") + text);
  std::filesystem::create_directories(path_);
}

scratch_folder::~scratch_folder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void delete_registry_tree(HKEY root, const std::wstring& subkey) {
  RegDeleteTreeW(root, subkey.c_str());
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | kv::registry_view(),
                    &key) == ERROR_SUCCESS) {
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
  }
  RegDeleteKeyExW(root, subkey.c_str(), kv::registry_view(), 0);
}

std::filesystem::path test_program_folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::filesystem::path(path).parent_path();
}

}  // namespace test
