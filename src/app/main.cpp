// The installer's entry point: the process-level start-up, then the application object.
#include <windows.h>

#include "app/install_app.h"
#include "app/process_startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (const std::optional<int> exitCode = InitializeProcess()) return *exitCode;
  CInstallApp application;
  // The program's exit status does not tell whether the installation succeeded.
  return application.Run();
}
