#pragma once
// Undoing an installation of the product from its record file, as its uninstaller would: used by
// the tests that install for real and by the installation benchmark between its passes.

#include <string>

namespace test {

// Reads the record file and undoes what it lists: files and shortcuts deleted (read-only ones
// too), the folders the installation created removed newest first with the record file itself,
// then the product's Uninstall key, the maker's key and the project file associations.
void remove_installation(const std::wstring& recordFile);

}  // namespace test
