#pragma once
// Helpers shared by the tests: what the tests run on, scratch folders and registry keys that are
// removed again, and access to the test program's own files.

#include <windows.h>

#include <filesystem>
#include <string>

namespace test {

// True when the program runs under Wine (ntdll exports wine_get_version).
bool running_under_wine();

// A new empty folder under the user's temporary folder, deleted with its contents on destruction.
class scratch_folder {
 public:
  scratch_folder();
  ~scratch_folder();
  scratch_folder(const scratch_folder&) = delete;
  scratch_folder& operator=(const scratch_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Deletes a registry key with all its subkeys in the view the program uses (the 32-bit view).
void delete_registry_tree(HKEY root, const std::wstring& subkey);

// The folder that holds the running test program (where the test fixtures are built).
std::filesystem::path test_program_folder();

}  // namespace test
