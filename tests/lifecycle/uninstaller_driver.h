#pragma once
// Drives the product's uninstaller as a person does from the system's list of programs: it starts
// the command stored in the product's Uninstall key and answers the message boxes it shows. The
// uninstaller may hand its work to a copy of itself, so its boxes are looked for among the
// windows of every process but the test program, and its end is the end of every process that
// showed one. Waits have time limits; a wait that runs out throws DriverError.

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "lifecycle/installer_driver.h"
#include "support/handles.h"

namespace lifecycle {

class Uninstaller {
 public:
  // Starts the command line (as stored, a program path that may hold blanks unquoted) with the
  // test program's environment plus the given variables. Throws when it cannot be started.
  explicit Uninstaller(const std::wstring& commandLine, const Environment& environment = {});
  // Processes of the uninstaller still running when the test ends are terminated.
  ~Uninstaller();
  Uninstaller(const Uninstaller&) = delete;
  Uninstaller& operator=(const Uninstaller&) = delete;

  // Waits for a message box of the uninstaller; throws when every process of it has ended first.
  MessageBoxView WaitForMessageBox(std::chrono::milliseconds limit = defaultWait);
  // Clicks one of the box's buttons and waits until the box is gone.
  void Answer(const MessageBoxView& box, int button);
  // Waits until every process of the uninstaller has ended; throws when one shows a message box
  // meanwhile or they do not end in time. Returns the exit code of the process that showed the
  // last box (the one started when none did).
  DWORD WaitForEnd(std::chrono::milliseconds limit = defaultWait);

 private:
  bool Running() const;

  // The process started, then each process that showed a box.
  std::vector<kv::unique_handle> processes_;
  std::vector<DWORD> processIds_;
};

// The command the product's Uninstall key stores ("UninstallString", 32-bit view); throws when
// there is none.
std::wstring StoredUninstallCommand();

}  // namespace lifecycle
