#pragma once
// The user's choices and the detected state of the machine, shared by every part of the installer
// through the application object.

#include <cstdint>
#include <string>

#include "record/installation_record.h"

// What start-up found of an earlier installation of the product.
enum class PreviousInstallState : std::int32_t {
  None = 0,          // no installed product was found
  SameVersion = 1,   // same file version, or no fixed version information
  OlderVersion = 2,  // the installed executable is older: this run is an update
  NewerVersion = -1  // the installed executable is newer: nothing can be installed
};

struct InstallOptions {
  PreviousInstallState previousState = PreviousInstallState::None;
  // For an older or newer installation: the installed executable's name and version as shown.
  std::wstring previousVersionText;
  // For an older installation: its packed file version; else 0.
  std::uint64_t previousVersion = 0;
  std::wstring installFolder;     // at most 260 characters
  std::wstring startMenuFolder;   // at most 260 characters
  std::wstring temporaryFolder;   // empty until the installation run names it
  bool startMenuShortcuts = false;
  bool desktopShortcut = false;
  bool advancedMode = false;
  bool installed = false;  // the installation run succeeded
  // This run's changes; at start-up filled with what the previous installation's record holds.
  InstallationRecord record;
};
