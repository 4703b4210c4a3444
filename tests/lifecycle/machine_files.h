#pragma once
// Every file and folder in the places an installation can write to (both Program Files folders,
// the all-users data folder with the common Start menu, and the users' folders with their data,
// desktops and temporary folders), read at one moment, so that a test can say what a run changed
// on the machine as a whole. The test's own scratch files (lifecycle::ScratchFile) are left out.

#include <string>
#include <vector>

#include "lifecycle/machine_checks.h"

namespace lifecycle {

// By full path; folders with their attributes only, files with size, write time and attributes.
using MachineFiles = FileTree;

MachineFiles ReadMachineFiles();

// What changed from before to after, one line per path ("added C:\...", "removed C:\...",
// "changed C:\..."), sorted by path; empty when nothing did.
std::vector<std::wstring> FileChanges(const MachineFiles& before, const MachineFiles& after);

// The lines of FileChanges as one text for a failure message.
std::string Describe(const std::vector<std::wstring>& changes);

}  // namespace lifecycle
