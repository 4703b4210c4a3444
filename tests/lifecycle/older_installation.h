#pragma once
// A machine as the installer of the previous release, Gradivo 7.16 (file version 7.16.2.0), left
// it: the stand-in product of that release (BUILD\payload\older\Gradivo.exe) and its other files
// in folders its user chose, its shortcuts, its Uninstall key and product path value, its file
// associations, and its record "Uninstall.ulog" listing all of it. Tests of an update start
// from here.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "lifecycle/machine_checks.h"

namespace lifecycle {

// The product text of the previous release, as its record's Install line names it.
inline const std::wstring olderProductText = L"Gradivo 7.16";
// Its file version 7.16.2.0, packed as the installer passes it with " /update=".
inline constexpr std::uint64_t olderFileVersion = 0x0007001000020000ull;

struct OlderInstallation {
  // Where it lies: not this release's default folders.
  Destinations destinations;
  // A file that release placed, with its payload kind and the bytes it wrote.
  struct PlacedFile {
    int kind = 0;
    std::string bytes;
  };
  // Every file it placed, by full path.
  std::map<std::wstring, PlacedFile> files;
  // A language library of that release that this release's payload no longer has.
  std::wstring retiredLibrary;
  // Its three shortcuts, named as that release named them.
  std::wstring programShortcut;
  std::wstring uninstallerShortcut;
  std::wstring desktopShortcut;
  // The entry lines of its record ("0000:00ff:1 -- C:\..."), in file order.
  std::vector<std::wstring> recordEntries;
};

// Places the previous release on this clean machine. Its payload had the destinations of this
// release's, but fewer files: the product, the uninstaller, two language libraries and one that
// this release dropped, the parts libraries (kind 3), the wood textures and all sample projects
// but the last (kind 4). Throws DriverError when the machine cannot be prepared.
OlderInstallation InstallOlderVersion();

}  // namespace lifecycle
