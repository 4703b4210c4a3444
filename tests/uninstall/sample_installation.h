#pragma once
// A small installation of the sample payload's programs in a scratch folder, made and recorded
// with the installer's own operations (the record's Add and Close calls in the order of an
// installation run, the Uninstall entry, the product path and the record file), for the
// uninstaller's tests.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "uninstall/shipped_contents.h"
#include "uninstall/uninstall_steps.h"

namespace uninstall_test {

// What the installation placed, in the order of the record's entries.
struct SampleInstallation {
  std::filesystem::path installFolder;    // <scratch>\Program Files\Gradivo 7
  std::filesystem::path startMenuFolder;  // <scratch>\Start Menu\Gradivo 7
  std::filesystem::path libraryFolder;    // <scratch>\Common\Gradivo\Libraries\Parts
  std::filesystem::path product;          // Gradivo.exe (kind 1, read-only)
  std::filesystem::path uninstaller;      // Uninstall.exe (kind 2, read-only)
  std::filesystem::path language;         // Lang\Gradivo.fr.dll (kind 0)
  std::filesystem::path library;          // Standard.gvl (kind 3)
  std::filesystem::path otherLibrary;     // Kitchen.gvl (kind 3)
  std::filesystem::path programShortcut;  // Gradivo 7.17a.lnk
  std::filesystem::path recordFile;       // Uninstall.ulog beside the uninstaller
};

// Places the files under scratch, makes the two Start-menu shortcuts, records the DirectX step,
// writes the Uninstall entry and the product path under names, registers the associations
// (runProduct: by running the placed Gradivo.exe with "/Register /Background"; otherwise by writing
// names' extension and file type as the product does) and writes the record file. Failures are
// reported as GoogleTest failures.
SampleInstallation InstallSample(const std::filesystem::path& scratch, const uninstall::ProductNames& names,
                                 bool runProduct);

// The build's copy of a payload file, by its path below BUILD\payload\files.
std::filesystem::path PayloadFile(const std::wstring& relative);

// The contents of the sample payload's two library files that InstallSample places.
std::vector<uninstall::ShippedContent> LibraryContents();

// Removes names' registry keys and values (Uninstall key, maker's key, associations).
void DeleteProductRegistry(const uninstall::ProductNames& names);

// Whether a key exists below root in the view given (0: the program's own view).
bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view);

// The narrow text of a wide one, for messages.
std::string Narrow(const std::wstring& text);

}  // namespace uninstall_test
