// Uninstall.exe of the sample payload: a stand-in for the product's uninstaller. It only says so;
// the installation record "Uninstall.ulog" beside it is left as the installer wrote it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr,
              L"This uninstaller is a stand-in of the sample payload of Gradivo 7.17a.\n"
              L"It removes nothing.",
              L"Gradivo", MB_OK | MB_ICONINFORMATION);
  return 0;
}
