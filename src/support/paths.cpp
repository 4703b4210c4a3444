#include "support/paths.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

#include "support/handles.h"

namespace kv {

namespace {

// The maker's folder under the shared and the per-user application data folders.
constexpr wchar_t maker_folder[] = L"Veltram & Ruziruzu";

// The path of a known folder, without checking that it exists. Throws std::system_error with the
// HRESULT when the shell has no path for it.
std::wstring known_folder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
  const unique_cotaskmem owner(path);
  if (FAILED(result)) throw std::system_error(static_cast<int>(result), std::system_category(), "SHGetKnownFolderPath");
  return path ? std::wstring(path) : std::wstring();
}

// folder with one more component.
std::wstring append_component(std::wstring folder, const wchar_t* component) {
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  folder += component;
  return folder;
}

// The system's text for code in language, as FormatMessageW gives it; nothing without a text.
std::optional<std::wstring> system_text(DWORD code, LANGID language) {
  constexpr DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
  unique_hlocal buffer;
  DWORD length = FormatMessageW(flags, nullptr, code, language, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
  if (length == 0 && language != 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
    length = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
  if (length == 0 || !buffer) return std::nullopt;
  std::wstring text(static_cast<const wchar_t*>(buffer.get()), length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
  return text;
}

BOOL CALLBACK find_captioned_root(HWND window, LPARAM found) {
  const HWND root = GetAncestor(window, GA_ROOTOWNER);
  if (!root) return TRUE;
  if ((GetWindowLongW(root, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return TRUE;
  *reinterpret_cast<HWND*>(found) = root;
  return FALSE;
}

}  // namespace

// A function-local static whose initialiser throws stays uninitialised, so a failed lookup is
// retried by the next call; initialisation is thread-safe.
std::wstring documents_folder() {
  static const std::wstring path = known_folder(FOLDERID_Documents);
  return path;
}

std::wstring common_data_folder() {
  static const std::wstring path = append_component(known_folder(FOLDERID_ProgramData), maker_folder);
  return path;
}

std::wstring user_data_folder() {
  static const std::wstring path = append_component(known_folder(FOLDERID_RoamingAppData), maker_folder);
  return path;
}

std::wstring module_path() {
  if (const wchar_t* recorded = _wpgmptr; recorded && *recorded) return recorded;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

HWND owner_window() {
  HWND owner = GetActiveWindow();
  if (owner) {
    owner = GetAncestor(owner, GA_ROOTOWNER);
  } else {
    EnumThreadWindows(GetCurrentThreadId(), find_captioned_root, reinterpret_cast<LPARAM>(&owner));
  }
  return owner ? GetLastActivePopup(owner) : nullptr;
}

std::wstring error_text(DWORD code, LANGID language) {
  if (std::optional<std::wstring> text = system_text(code, language)) return *std::move(text);
  if (code == static_cast<DWORD>(E_FAIL)) return L"Error";
  return error_text(static_cast<DWORD>(E_FAIL), language);
}

bool is_rooted_path(const std::wstring& path) {
  const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  const bool drive = path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && separator(path[2]);
  const bool share = path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
  return drive || share;
}

bool is_layout_rtl(HWND window) { return window && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

std::wstring quote_spaces(const std::wstring& path) {
  // Room for the copy and the two quotation marks.
  wchar_t buffer[MAX_PATH + 2] = {};
  lstrcpynW(buffer, path.c_str(), MAX_PATH);
  PathQuoteSpacesW(buffer);
  return buffer;
}

}  // namespace kv
