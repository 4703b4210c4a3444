// Gradivo.exe of the sample payload: a stand-in for the product, so that the installer's hand-off
// to the installed product runs for real.
//
// With "/Register" on its command line (the installer passes "/Register /Background", and
// "/update=" with 16 hexadecimal digits after an update) it registers the ".gvp" project files
// under HKEY_CLASSES_ROOT and exits with -10, the product's code for a successful registration;
// any other exit code is the Windows error that stopped it. For tests, two environment variables
// change the registration: GRADIVO_PRODUCT_LOG names a file to which it appends its command line
// and current folder (one line each), GRADIVO_PRODUCT_EXIT an exit code (decimal) to give instead;
// with GRADIVO_PRODUCT_MUTEX naming a mutex, a third line says whether it was free ("mutex free")
// or held by another process ("mutex held") while the registration ran. Started otherwise, it counts itself
// among the running copies of its application identifier "Gradivo7" with the installer's own
// instance counter, and shows its window until the window is closed.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

#include "support/sync_objects.h"

namespace {

constexpr int kRegistrationSucceeded = -10;
constexpr wchar_t kProjectExtension[] = L".gvp";
constexpr wchar_t kProjectType[] = L"Gradivo.Project";
constexpr wchar_t kOpenCommandKey[] = L"Gradivo.Project\\shell\\open\\command";
// The "ApplicationId" of the version block, which names the objects shared with the installer.
constexpr wchar_t kApplicationId[] = L"Gradivo7";
constexpr wchar_t kWindowClass[] = L"Gradivo.StandIn.Main";
constexpr wchar_t kWindowTitle[] = L"Gradivo 7.17a";

// The full path of this program; empty when it cannot be read.
std::wstring OwnPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// Sets the default value of root\subKey (created when missing) to text; the Windows error code.
LSTATUS SetDefaultValue(HKEY root, const wchar_t* subKey, const std::wstring& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                   &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

// Registers the project file type: ".gvp" names "Gradivo.Project", which opens with this program.
// Returns the process's exit code.
int Register() {
  const std::wstring path = OwnPath();
  if (path.empty()) return static_cast<int>(GetLastError());
  if (const LSTATUS status = SetDefaultValue(HKEY_CLASSES_ROOT, kProjectExtension, kProjectType))
    return static_cast<int>(status);
  if (const LSTATUS status = SetDefaultValue(HKEY_CLASSES_ROOT, kOpenCommandKey, L"\"" + path + L"\" \"%1\""))
    return static_cast<int>(status);
  return kRegistrationSucceeded;
}

// Appends "command <line>" and "folder <current folder>" to the file GRADIVO_PRODUCT_LOG names.
void LogRegistration() {
  wchar_t logPath[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"GRADIVO_PRODUCT_LOG", logPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::wstring text = std::wstring(L"command ") + GetCommandLineW() + L"\r\nfolder " + folder + L"\r\n";
  wchar_t mutexName[MAX_PATH] = {};
  const DWORD nameLength = GetEnvironmentVariableW(L"GRADIVO_PRODUCT_MUTEX", mutexName, MAX_PATH);
  if (nameLength > 0 && nameLength < MAX_PATH) {
    bool free = false;
    if (HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, mutexName)) {
      const DWORD wait = WaitForSingleObject(mutex, 0);
      free = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
      if (free) ReleaseMutex(mutex);
      CloseHandle(mutex);
    }
    text += free ? L"mutex free\r\n" : L"mutex held\r\n";
  }
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
  HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(log);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      const auto* text = reinterpret_cast<const wchar_t*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      DrawTextW(dc, text, -1, &area, DT_CENTER | DT_WORDBREAK);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// Shows the main window until it is closed; text is what it says. Returns the exit code.
int ShowMainWindow(HINSTANCE instance, int show, const std::wstring& text) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) return static_cast<int>(GetLastError());
  HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                640, 400, nullptr, nullptr, instance, nullptr);
  if (!window) return static_cast<int>(GetLastError());
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(text.c_str()));
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool registration = false;
  std::wstring project;
  for (int i = 1; arguments && i < count; ++i) {
    const wchar_t* argument = arguments[i];
    if (lstrcmpiW(argument, L"/Register") == 0)
      registration = true;
    else if (argument[0] != L'/')
      project = argument;
    // "/Background" and "/update=..." change nothing in this stand-in.
  }
  LocalFree(arguments);

  if (registration) {
    LogRegistration();
    const int result = Register();
    wchar_t exitCode[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"GRADIVO_PRODUCT_EXIT", exitCode, 16);
    if (length > 0 && length < 16) return _wtoi(exitCode);
    return result;
  }

  // The installer's start-up counts the running copies of this application identifier.
  kv::join_instance_counter(kApplicationId);
  std::wstring text = L"Gradivo 7.17a\n\nThis is the stand-in of the product that the sample payload installs.";
  if (!project.empty()) text += L"\n\nProject: " + project;
  return ShowMainWindow(instance, show, text);
}
