#pragma once
// Destination macros: every payload entry names its folder relative to one of thirteen base
// folders ("<InstallPath>\Lang", "<CommonData>\Veltram & Ruziruzu\Gradivo"), replaced while the
// archive's header is read. Folders below the shared bases are listed so that the Users group can
// be given access to them when the first file is placed there.

#include <string>
#include <utility>
#include <vector>

// One folder of the shared-folder list; granted is set once the Users group has been given access.
struct SharedFolder {
  std::wstring path;
  bool granted = false;
};

// The folders of an extraction that destinations are resolved against, and the shared-folder list
// that resolving fills.
struct DestinationFolders {
  std::wstring installFolder;
  std::wstring sampleFolder;     // absolute, relative to the all-users desktop, or empty
  std::wstring temporaryFolder;  // empty means the installation folder
  std::vector<SharedFolder> sharedFolders;
  // The shell folders already asked for during this extraction, by CSIDL: the system is asked
  // once per folder, not once per entry.
  std::vector<std::pair<int, std::wstring>> shellFolders;
};

// The folder a destination in macro form stands for. A destination whose first element is not a
// macro is returned unchanged when it is an absolute path. Throws std::system_error with
// compress_error::unexpected for a macro that is not known, a destination that would be relative
// to the current folder, an element made of dots and blanks only such as ".." (which would not
// stay below the base folder), and a system folder that cannot be found. Adds the folders below a
// shared base to folders.sharedFolders.
std::wstring ResolveDestination(const std::wstring& destination, DestinationFolders& folders);

// The path of a shell folder (a CSIDL), or of the fallback when the first gives nothing (a
// fallback of -1 means none). Throws std::system_error with compress_error::unexpected when
// neither gives a path.
std::wstring GetSystemFolder(int csidl, int fallbackCsidl = -1);

// Adds a folder to the shared-folder list unless an element already names the same folder.
void AddSharedFolder(std::vector<SharedFolder>& list, const std::wstring& folder);
