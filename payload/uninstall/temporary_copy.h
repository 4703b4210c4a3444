#pragma once
// Running the uninstallation from a copy of the uninstaller. A program cannot delete its own
// executable or the folder that holds it while it runs, so the uninstaller started from the
// installation folder copies itself into the temporary folder, starts the copy and ends; the copy
// waits for it to end, removes the installation and has itself deleted at the next restart.
//
// The copy's command line: the copy's path, then
//     /finish HANDLE FOLDER
// HANDLE is the decimal value of a handle to the original process (synchronise access only) that
// the copy inherits, FOLDER the installation folder, the one that holds the record file.

#include <windows.h>

#include <optional>
#include <string>

namespace uninstall {

inline constexpr wchar_t finishSwitch[] = L"/finish";

struct FinishArguments {
  HANDLE original = nullptr;  // the process to wait for; its handle is inherited
  std::wstring folder;        // the installation folder
};

// The arguments after the program's name when they are those of a copy; nothing otherwise.
std::optional<FinishArguments> ParseFinishArguments(const std::wstring& commandLine);

// The copy's whole command line, its path quoted and the folder quoted so that it reads back whole.
std::wstring FinishCommandLine(const std::wstring& copyPath, HANDLE original, const std::wstring& folder);

// Copies program into the temporary folder under a new name and starts the copy with this process's
// handle and folder. True when the copy runs: this process should end at once. On failure no copy
// is left. copyPath receives the copy's path when given.
bool StartTemporaryCopy(const std::wstring& program, const std::wstring& folder, std::wstring* copyPath = nullptr);

// Waits until the original process has ended (a minute at most) and closes the handle.
void WaitForOriginal(HANDLE original);

// Has the file deleted when the system next starts. False when that cannot be arranged.
bool ScheduleRemovalAtRestart(const std::wstring& path);

}  // namespace uninstall
