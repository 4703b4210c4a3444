#pragma once
// What an installation leaves on the machine, read the way the uninstaller and a later installer
// read it: the placed files (compared with the build's payload files, listed in
// BUILD\payload\manifest.txt), their attributes, folders, registry values in the 32-bit view of
// the installer, shell shortcuts and the record file "Uninstall.ulog" byte by byte. The readers
// return what they find and leave the judging to the test; the Expect... functions are GoogleTest
// expectations for what every successful installation must show.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/languages.h"

namespace lifecycle {

// ---- Names the installation uses ----
inline const std::wstring uninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradivo 7";
inline const std::wstring makerKey = L"Software\\Veltram & Ruziruzu";
inline const std::wstring productPathValue = L"Gradivo 7 Path";
// The names of the three shortcut files (in English; the uninstaller's is message 13).
inline const std::wstring programShortcutName = L"Gradivo 7.17a.lnk";
inline const std::wstring uninstallerShortcutName = L"Uninstall Gradivo.lnk";
// The record file beside the uninstaller.
inline const std::wstring recordFileName = L"Uninstall.ulog";
// The text of the DirectX step in the record (message 131: not translated in English or German,
// so the catalogue gives the French text).
inline const std::wstring directXStepText = L"Mise \u00e0 jour de DirectX...";

// ---- Folders of this machine ----
// A folder of the shell (SHGetFolderPathW); throws DriverError when the system has none.
std::wstring ShellFolder(int csidl);
// <32-bit Program Files>\Veltram & Ruziruzu\Gradivo 7.
std::wstring DefaultInstallFolder();
// <common Start menu Programs>\Veltram & Ruziruzu\Gradivo 7.
std::wstring DefaultStartMenuFolder();
// The all-users desktop, where the desktop shortcut and the sample folder go.
std::wstring CommonDesktopFolder();

// ---- The build's payload ----
struct PayloadFile {
  int kind = 0;                    // 0 to 5
  std::wstring destination;        // its folder in macro form, for example <InstallPath>\Lang
  std::filesystem::path source;    // the build's copy of the file
  std::wstring Name() const;       // its file name
};
// The payload in archive order, from BUILD\payload\manifest.txt.
std::vector<PayloadFile> PayloadFiles();

// Where an installation puts the payload.
struct Destinations {
  std::wstring installFolder = DefaultInstallFolder();
  // Message 18 of the run's language with the product name: "Gradivo Examples" in English,
  // "Gradivo Beispiele" in German; a folder on the all-users desktop.
  std::wstring sampleFolderName = L"Gradivo Examples";
  // The Start-menu folder of the shortcuts and the uninstaller's shortcut name (message 13 of the
  // run's language: "Uninstall Gradivo.lnk" in English, "Gradivo deinstallieren.lnk" in German).
  std::wstring startMenuFolder = DefaultStartMenuFolder();
  std::wstring uninstallerShortcutName = lifecycle::uninstallerShortcutName;

  // The full path at which the file is placed. Kind-5 files go to the run's temporary folder,
  // which is gone after the run: for them the result is empty.
  std::wstring PathOf(const PayloadFile& file) const;
  std::wstring ProductPath() const { return installFolder + L"\\Gradivo.exe"; }
  std::wstring UninstallerPath() const { return installFolder + L"\\Uninstall.exe"; }
  std::wstring RecordPath() const { return installFolder + L"\\" + recordFileName; }
  std::wstring ProgramShortcutPath() const { return startMenuFolder + L"\\" + programShortcutName; }
  std::wstring UninstallerShortcutPath() const { return startMenuFolder + L"\\" + uninstallerShortcutName; }
  std::wstring DesktopShortcutPath() const { return CommonDesktopFolder() + L"\\" + programShortcutName; }
};

// ---- Files and folders ----
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// INVALID_FILE_ATTRIBUTES when the file is missing.
DWORD FileAttributes(const std::wstring& path);
// The bytes of a file; nothing when it cannot be read.
std::optional<std::string> FileBytes(const std::filesystem::path& path);
// Writes bytes to a file, replacing it (clearing its read-only attribute first); throws on failure.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);
// The names in a folder, sorted; empty when it is missing.
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// Every file below a folder, by its path relative to the folder, with its size and last write
// time: two trees compare equal when nothing below the folder was added, removed or written.
struct FileStamp {
  std::uint64_t size = 0;
  std::uint64_t writeTime = 0;
  DWORD attributes = 0;
  bool operator==(const FileStamp&) const = default;
};
using FileTree = std::map<std::wstring, FileStamp>;
// Folders appear with an empty stamp but their attributes. A missing folder gives an empty tree.
FileTree ReadFileTree(const std::wstring& folder);

// ---- Registry, in the installer's view (KEY_WOW64_32KEY) ----
bool RegistryKeyExists(HKEY root, const std::wstring& subkey);
std::optional<std::wstring> RegistryString(HKEY root, const std::wstring& subkey, const std::wstring& name);
std::optional<DWORD> RegistryDword(HKEY root, const std::wstring& subkey, const std::wstring& name);
struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool operator==(const RegistryValue&) const = default;
};
// Every value of a key by name; empty when the key is missing.
std::map<std::wstring, RegistryValue> RegistryValues(HKEY root, const std::wstring& subkey);
// Writes a REG_SZ value, creating the key; throws on failure. For preparing a machine.
void WriteRegistryString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& value);
// The default value of HKEY_CLASSES_ROOT\.gvp, which the product's registration run writes
// ("Gradivo.Project"), read in the view of the stand-in product (a program of this build).
std::optional<std::wstring> ProjectFileType();
// Writes a REG_DWORD value, creating the key; throws on failure.
void WriteRegistryDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD value);

// ---- Shortcuts ----
struct Shortcut {
  std::wstring target;         // the file it starts
  std::wstring workingFolder;  // its working folder
  std::wstring arguments;
};
// Reads a .lnk file through the shell (IShellLinkW); nothing when it is missing or unreadable.
std::optional<Shortcut> ReadShortcut(const std::wstring& path);

// ---- The record file ----
struct RecordFile {
  bool byteOrderMark = false;          // starts with FF FE
  bool everyLineEndsWithCrLf = false;  // the text is lines each ending in CR LF, the last one too
  std::vector<std::wstring> lines;     // without their CR LF
};
// Reads the file as UTF-16LE; throws DriverError when it cannot be read.
RecordFile ReadRecordFile(const std::wstring& path);
// The six header lines (without CR LF) that a record of these folders must start with.
std::vector<std::wstring> ExpectedRecordHeader(const std::wstring& installFolder, const std::wstring& startMenuFolder,
                                               const std::wstring& previousProduct = {});
// The record file's attributes after writing: read-only, archive and not content-indexed. Wine
// keeps no not-content-indexed attribute on its files; under Wine the other two are checked.
void ExpectRecordFileAttributes(const std::wstring& path);
// One entry line, "SSSS:CCCC:R -- TEXT".
struct RecordLine {
  std::wstring sequence;   // "0000", "0001", ...
  unsigned code = 0;       // kind * 256 + tag byte
  bool succeeded = false;
  std::wstring text;
  int Kind() const { return static_cast<int>(code >> 8); }
  int TagByte() const { return static_cast<int>(code & 0xFF); }
};
// The entry lines (the lines after the header), parsed. Throws DriverError naming the first line
// that is not of the form above, or whose sequence number is not its position (four digits at
// least) or whose code is not four lower-case hexadecimal digits.
std::vector<RecordLine> RecordEntries(const RecordFile& file);
// The entry lines of one code, in file order.
std::vector<RecordLine> EntriesWithCode(const std::vector<RecordLine>& entries, unsigned code);

// The entry lines ("0000:00ff:1 -- C:\\...") that a successful first installation into these
// destinations writes, computed from the machine as it is now (call it before the run): for each
// payload file of kinds 0 to 4 in archive order, a created-folder line for every folder of its
// path that does not exist yet, then its file line; then the shortcuts (with the folders they
// create), the DirectX step, the Uninstall key and the file associations.
std::vector<std::wstring> ExpectedFirstRecordEntries(const Destinations& destinations, bool startMenuShortcuts,
                                                     bool desktopShortcut);

// ---- The stand-ins' logs ----
// The lines of a UTF-8 text file, without line ends; empty when it is missing.
std::vector<std::wstring> TextLines(const std::wstring& path);

// ---- Expectations of a successful installation ----
// Every payload file of kinds 0 to 4 is at its place with the build's content (the full paths in
// skipped are left out: files the test changed on purpose); no kind-5 file is in the installation
// folder; the product and the uninstaller are read-only.
void ExpectPayloadPlaced(const Destinations& destinations, const std::vector<std::wstring>& skipped = {});
// The shortcut file exists and starts target, with target's folder as working folder.
void ExpectShortcut(const std::wstring& path, const std::wstring& target);
// The Uninstall key holds the values of an installation in this folder, with this language.
void ExpectUninstallEntry(const Destinations& destinations, Language language);
// The record file: BOM, CR LF lines, the six header lines of these folders (the installation
// and Start-menu folders of destinations), well-formed entry
// lines; every placed payload file (kinds 0 to 4) has exactly one entry line with code
// 0100 + kind, result 1; the steps (Uninstall key 05ff, associations 06ff) have one line each,
// succeeded. Returns the entry lines for further checks.
std::vector<RecordLine> ExpectRecordOfInstallation(const Destinations& destinations,
                                                  const std::wstring& previousProduct = {});

}  // namespace lifecycle
