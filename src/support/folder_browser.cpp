#include "support/folder_browser.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <utility>

#include "app/languages.h"
#include "support/folder_choice.h"
#include "support/paths.h"

namespace kv {

namespace {

// BIF_RETURNONLYFSDIRS, BIF_RETURNFSANCESTORS and BIF_NEWDIALOGSTYLE, and with a suffix also
// BIF_EDITBOX and BIF_VALIDATE, so that a folder that does not exist yet can be typed.
constexpr UINT tree_only_flags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
constexpr UINT edit_box_flags = tree_only_flags | BIF_EDITBOX | BIF_VALIDATE;

// The picker's error box: the system's text for code, the system's default caption, owned by
// owner and read right to left when the owner is laid out so.
void show_error_box(HWND owner, DWORD code) {
  UINT style = MB_ICONEXCLAMATION;
  if (owner ? is_layout_rtl(owner) : IsRightToLeft(DetectDefaultLanguage(0))) style |= MB_RTLREADING;
  MessageBoxW(owner, error_text(code, 0).c_str(), nullptr, style);
}

// The file-system path of a shell item; nothing for an item that is not a file-system object.
std::optional<std::wstring> item_path(PCIDLIST_ABSOLUTE item) {
  wchar_t path[MAX_PATH] = {};
  if (!item || !SHGetPathFromIDListW(item, path)) return std::nullopt;
  return std::wstring(path);
}

// The first child window of dialog whose class is "Edit"; null when there is none.
HWND find_edit_box(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[16] = {};
    const int length = GetClassNameW(child, class_name, 16);
    if (CompareStringOrdinal(class_name, length, L"Edit", -1, TRUE) == CSTR_EQUAL) return child;
  }
  return nullptr;
}

// The nearest existing folder on the way up from path (path itself when it exists); nothing when
// no part of it exists or it does not fit the shell's buffer.
std::optional<std::wstring> nearest_existing_folder(const std::wstring& path) {
  if (path.empty() || path.size() >= MAX_PATH) return std::nullopt;
  wchar_t folder[MAX_PATH] = {};
  wcsncpy(folder, path.c_str(), MAX_PATH - 1);
  while (!PathIsDirectoryW(folder)) {
    if (!PathRemoveFileSpecW(folder) || folder[0] == L'\0') return std::nullopt;
  }
  return std::wstring(folder);
}

}  // namespace

folder_browser::folder_browser(std::wstring title) : title_(std::move(title)) {}

folder_browser::~folder_browser() {
  if (com_initialised_) CoUninitialize();
}

void folder_browser::root_at_common_programs() {
  PIDLIST_ABSOLUTE programs = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_PROGRAMS, &programs))) root_.reset(programs);
  root_base_.reset();
}

std::wstring folder_browser::root_path() const { return item_path(root_.get()).value_or(std::wstring()); }

const std::wstring& folder_browser::root_base() {
  if (!root_base_) {
    std::wstring base = root_path();
    if (!base.empty()) {
      wchar_t parent[MAX_PATH] = {};
      wcsncpy(parent, base.c_str(), MAX_PATH - 1);
      base = PathRemoveFileSpecW(parent) ? std::wstring(parent) : std::wstring();
    }
    root_base_ = std::move(base);
  }
  return *root_base_;
}

bool folder_browser::enter_com(HWND owner) {
  if (com_initialised_) return true;
  // S_FALSE (already initialised on this thread) has to be balanced too.
  const HRESULT result = CoInitialize(nullptr);
  if (FAILED(result)) {
    show_error_box(owner, static_cast<DWORD>(result));
    return false;
  }
  com_initialised_ = true;
  return true;
}

void folder_browser::prepare(const std::wstring& initial_path, const std::wstring& suffix) {
  dialog_initialised_ = false;
  path_typed_ = false;
  edit_box_ = nullptr;
  suffix_ = picker_suffix(suffix);
  path_ = apply_folder_suffix(initial_picker_path(initial_path, root_path()), suffix_, root_base());
}

std::wstring folder_browser::result_for(PCIDLIST_ABSOLUTE chosen) {
  // A typed path has passed its own check; it stays the result even when the tree's selection
  // is not a file-system folder.
  if (path_typed_) return path_;
  const std::optional<std::wstring> chosen_path = item_path(chosen);
  if (!chosen_path) return {};
  path_ = *chosen_path;
  return path_;
}

std::wstring folder_browser::browse(const std::wstring& initial_path, const std::wstring& suffix) {
  const HWND owner = owner_window();
  if (!enter_com(owner)) return {};
  prepare(initial_path, suffix);

  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = root_.get();
  info.lpszTitle = title_.empty() ? nullptr : title_.c_str();
  info.ulFlags = suffix_.empty() ? tree_only_flags : edit_box_flags;
  info.lpfn = callback;
  info.lParam = reinterpret_cast<LPARAM>(this);
  const unique_idlist chosen(SHBrowseForFolderW(&info));
  return chosen ? result_for(chosen.get()) : std::wstring();
}

int CALLBACK folder_browser::callback(HWND dialog, UINT message, LPARAM param, LPARAM data) {
  return reinterpret_cast<folder_browser*>(data)->handle_notification(dialog, message, param);
}

int folder_browser::handle_notification(HWND dialog, UINT message, LPARAM param) {
  switch (message) {
    case BFFM_INITIALIZED:
      on_initialized(dialog);
      return 0;
    case BFFM_SELCHANGED:
      if (dialog_initialised_) on_selection_changed(dialog, reinterpret_cast<PCIDLIST_ABSOLUTE>(param));
      return 0;
    case BFFM_VALIDATEFAILEDW:
      return on_validate_failed(dialog, reinterpret_cast<const wchar_t*>(param));
    default:
      return 0;
  }
}

void folder_browser::on_initialized(HWND dialog) {
  dialog_initialised_ = true;
  std::wstring shown = path_;
  if (const std::wstring& base = root_base(); !base.empty()) {
    wchar_t joined[MAX_PATH] = {};
    const bool fits = base.size() + 1 + path_.size() < MAX_PATH;
    shown = fits && PathCombineW(joined, base.c_str(), path_.c_str()) ? std::wstring(joined) : std::wstring();
  }
  const std::optional<std::wstring> folder = nearest_existing_folder(shown);
  if (folder) {
    // Selecting the folder reports a selection change, which would replace the path by that
    // folder with the suffix; the edit box shows the whole starting path instead, folders that
    // do not exist yet included.
    const std::wstring whole = path_;
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
    SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
    path_ = whole;
  }
  if (!suffix_.empty()) {
    edit_box_ = find_edit_box(dialog);
    if (folder) show_path_in_edit_box();
  }
}

void folder_browser::on_selection_changed(HWND dialog, PCIDLIST_ABSOLUTE item) {
  const std::optional<std::wstring> selected = item_path(item);
  if (selected) path_ = apply_folder_suffix(*selected, suffix_, root_base());
  show_path_in_edit_box();
  if (!edit_box_) SendMessageW(dialog, BFFM_ENABLEOK, 0, selected ? TRUE : FALSE);
}

int folder_browser::on_validate_failed(HWND dialog, const wchar_t* text) {
  const typed_path_check check = check_typed_path(text ? text : L"", root_base());
  if (check.error != ERROR_SUCCESS) {
    show_error_box(dialog, check.error);
    return 1;
  }
  path_ = check.path;
  path_typed_ = true;
  return 0;
}

void folder_browser::show_path_in_edit_box() const {
  if (!edit_box_) return;
  SendMessageW(edit_box_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path_.c_str()));
  SendMessageW(edit_box_, EM_SETSEL, 0, -1);
}

std::wstring browse_for_folder(const std::wstring& initial_path, const std::wstring& suffix, const std::wstring& title) {
  folder_browser browser(title);
  return browser.browse(initial_path, suffix);
}

std::wstring browse_for_start_menu_folder(const std::wstring& initial_path, const std::wstring& suffix,
                                          const std::wstring& title, std::wstring& relative) {
  folder_browser browser(title);
  browser.root_at_common_programs();
  std::wstring chosen = browser.browse(initial_path, suffix);
  if (!chosen.empty()) relative = relative_folder_path(browser.root_base(), chosen).value_or(chosen);
  return chosen;
}

}  // namespace kv
