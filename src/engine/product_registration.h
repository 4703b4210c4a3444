#pragma once
// Connecting the placed product to the system: its entry in the list of uninstallable programs,
// the path of its executable under the maker's key, and one run of the product in which it
// registers itself.

#include <cstdint>
#include <string>

#include "record/installation_record.h"
#include "support/sync_objects.h"

// What the product's Uninstall entry shows.
struct UninstallEntry {
  std::wstring keyName;         // "Gradivo 7"
  std::wstring displayName;     // "Gradivo 7.17a"
  std::wstring uninstaller;     // the placed uninstaller, unquoted
  std::wstring productExePath;  // the placed executable, unquoted; shown as its icon
  std::wstring displayVersion;  // "7.17.1.1"
  std::wstring publisher;       // "Veltram & Ruziruzu"
  std::wstring webAddress;
  std::wstring supportTelephone;
  std::uint32_t language = 0;   // "KvLanguage": the language the product is installed in
};

// Creates or opens the product's key below the Uninstall list, records it (with a snapshot when it
// existed) and writes its twelve values. True when "DisplayName" and "UninstallString" were both
// written; false, with nothing recorded, when the key cannot be opened or created.
bool WriteUninstallEntry(InstallationRecord& record, const UninstallEntry& entry);

// Stores the product executable's path as "<keyName> Path" under HKEY_LOCAL_MACHINE
// "Software\<maker>", where later runs look for the installed product. False when the key or the
// value cannot be written.
bool WriteProductPath(const std::wstring& maker, const std::wstring& keyName, const std::wstring& productExePath);

// The registration command line: the executable (quoted when it holds a blank), " /Register
// /Background", and for an update " /update=" with the previous version as 16 hexadecimal digits.
std::wstring RegistrationCommandLine(const std::wstring& productExePath, std::uint64_t previousVersion);

// The exit code by which the product reports a successful registration (-10).
inline constexpr std::uint32_t registrationSucceeded = 0xFFFFFFF6u;

// Runs the placed product once to register itself, waiting for it; the single-instance mutex is
// given up for the run (the product checks it) and taken back in every case. Records the file
// associations. True when entryWritten and the product exited with -10.
bool RunProductRegistration(InstallationRecord& record, kv::named_mutex& singleInstanceMutex,
                            const std::wstring& productExePath, std::uint64_t previousVersion, bool entryWritten);
