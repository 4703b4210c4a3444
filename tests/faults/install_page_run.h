#pragma once
// The real wizard on its installation page, in the test's own thread, with the options start-up
// gives on a machine without the product (in English), for tests that make the installation run
// meet a fault; and what such a run must leave: no trace of the product anywhere.

#include <string>

#include "app/install_app.h"
#include "wizard/install_page.h"
#include "wizard/wizard_frame.h"

namespace faults {

class InstallPageRun {
 public:
  // Options as start-up sets them, with the desktop shortcut chosen too; set others before Open.
  InstallPageRun();
  ~InstallPageRun();
  InstallPageRun(const InstallPageRun&) = delete;
  InstallPageRun& operator=(const InstallPageRun&) = delete;

  // Creates the wizard as the program's main dialog and shows the installation page.
  bool Open();
  // Clicks Install, as far as the run goes: the page's DoInstall.
  bool DoInstall();

  InstallOptions& options() noexcept { return app_.options; }
  CDlgInstall& Page();
  std::wstring Status();
  std::wstring Log();

 private:
  CInstallApp app_;
  CInstallDlg wizard_;
};

// Expects that nothing of the product is on the machine: no Uninstall entry, maker's key or
// project file association, no shortcut, none of its shared, user or sample folders, no record
// of the run and no temporary folder of it.
void ExpectNoTraceOfTheProduct(InstallPageRun& run);

// The lines of the log that tell of a file written ("Copying File  ...OK").
int PlacedFileLines(const std::wstring& log);
// The last line of the log, with its line end.
std::wstring LastLogLine(const std::wstring& log);

}  // namespace faults
