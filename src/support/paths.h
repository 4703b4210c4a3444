#pragma once
// The installer's dealings with the shell's folders and the program itself: the known folders it
// needs, its own path, an owner for dialogs opened from library code, and the system text of an
// error code.

#include <windows.h>

#include <string>

namespace kv {

// A path as the installer's texts show it: a copy of at most 259 characters, in quotation marks
// when it holds a blank (PathQuoteSpacesW).
std::wstring quote_spaces(const std::wstring& path);

// The user's Documents folder (FOLDERID_Documents). Looked up once per process and then copied
// from the cache; a failed lookup throws std::system_error with the HRESULT in the system
// category and leaves the cache empty, so the next call tries again.
std::wstring documents_folder();

// The shared program data folder (FOLDERID_ProgramData) with "Veltram & Ruziruzu" appended;
// cached and failing as documents_folder.
std::wstring common_data_folder();

// The user's roaming application data folder (FOLDERID_RoamingAppData) with "Veltram & Ruziruzu"
// appended; cached and failing as documents_folder.
std::wstring user_data_folder();

// The full path of the running program: the path the C runtime recorded at start-up, otherwise
// that of the program module. Does not fail; empty only when the system has no path for it.
std::wstring module_path();

// A window to own a dialog opened from library code: the last active popup of the active window's
// root owner or, without an active window, of the first of the thread's windows whose root owner
// has a caption (WS_BORDER and WS_DLGFRAME). Null when the thread has no such window.
HWND owner_window();

// The system's text for an error code (a Win32 error or an HRESULT) in language (0 for the user's
// default), without trailing line breaks. A language without messages falls back to language 0;
// a code without text gives the text of E_FAIL, or "Error" when even that is missing.
std::wstring error_text(DWORD code, LANGID language = 0);

// True for a path that begins with a drive letter, a colon and a separator, or with a root name
// such as a server share ("\\server\share").
bool is_rooted_path(const std::wstring& path);

// True when window is laid out right to left (WS_EX_LAYOUTRTL); message boxes it owns then read
// right to left too (MB_RTLREADING).
bool is_layout_rtl(HWND window);

}  // namespace kv
