/* DSetup.dll of the sample payload: a stand-in of our own for the DirectX setup library, with the
 * three exports that the installer takes from it by name. It installs nothing; it reports
 * progress through the registered callback and answers with results that tests can choose
 * through the environment:
 *   GRADIVO_DSETUP_VERSION   version reported by DirectXSetupGetVersion (default 0x00040009)
 *   GRADIVO_DSETUP_REVISION  revision reported by DirectXSetupGetVersion (default 904)
 *   GRADIVO_DSETUP_RESULT    return value of DirectXSetupW (default 0)
 *   GRADIVO_DSETUP_LOG       a file to which DirectXSetupW appends one line per call
 *                            ("DirectXSetupW flags=0x... folder=..."), so tests can tell it ran
 * Numbers are decimal, or hexadecimal with a "0x" prefix; a value that does not parse is ignored. */
#include <windows.h>

#include <stdlib.h>

/* The library's callback: reason, message type, message text, name, information. */
typedef DWORD(WINAPI *DirectXSetupCallback)(DWORD reason, DWORD msgType, LPSTR message, LPSTR name, void *info);

enum { kReasonProgress = 18, kDefaultVersion = 0x00040009, kDefaultRevision = 904 };

static DirectXSetupCallback registeredCallback;

/* Reads the environment variable name as a number into *value; FALSE (and *value untouched) when
 * it is missing or not a number. */
static BOOL ReadNumber(const char *name, long long *value) {
  char text[32];
  const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return FALSE;
  const char *digits = text;
  const BOOL negative = *digits == '-';
  if (negative) ++digits;
  int base = 10;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits += 2;
  }
  char *end = NULL;
  const unsigned long long number = strtoull(digits, &end, base);
  if (end == digits || *end != '\0') return FALSE;
  *value = negative ? -(long long)number : (long long)number;
  return TRUE;
}

static void AppendCallToLog(LPCWSTR sourceFolder, DWORD flags) {
  wchar_t logPath[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"GRADIVO_DSETUP_LOG", logPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (log == INVALID_HANDLE_VALUE) return;
  char line[MAX_PATH * 3 + 64];
  int used = wsprintfA(line, "DirectXSetupW flags=0x%lx folder=", (unsigned long)flags);
  used += WideCharToMultiByte(CP_UTF8, 0, sourceFolder ? sourceFolder : L"", -1, line + used, (int)sizeof line - used - 2, NULL, NULL);
  if (used > 0 && line[used - 1] == '\0') --used;
  line[used++] = '\n';
  DWORD written = 0;
  WriteFile(log, line, (DWORD)used, &written, NULL);
  CloseHandle(log);
}

INT WINAPI DirectXSetupGetVersion(DWORD *version, DWORD *revision) {
  long long number = kDefaultVersion;
  ReadNumber("GRADIVO_DSETUP_VERSION", &number);
  if (version) *version = (DWORD)number;
  number = kDefaultRevision;
  ReadNumber("GRADIVO_DSETUP_REVISION", &number);
  if (revision) *revision = (DWORD)number;
  return 1;
}

INT WINAPI DirectXSetupSetCallback(DirectXSetupCallback callback) {
  registeredCallback = callback;
  return 0;
}

INT WINAPI DirectXSetupW(HWND window, LPWSTR sourceFolder, DWORD flags) {
  (void)window;
  AppendCallToLog(sourceFolder, flags);
  static char steps[][40] = {"Checking the DirectX runtime", "Copying the DirectX files",
                             "Registering the DirectX components", "DirectX setup complete"};
  for (size_t i = 0; registeredCallback && i < sizeof steps / sizeof steps[0]; ++i)
    registeredCallback(kReasonProgress, MB_OK, steps[i], NULL, NULL);
  long long result = 0;
  ReadNumber("GRADIVO_DSETUP_RESULT", &result);
  return (INT)result;
}
