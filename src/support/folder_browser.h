#pragma once
// The folder picker: the shell's folder-browse dialog, wrapped so that the user can choose a
// folder that does not exist yet. The product's sub-folder stays appended to whatever parent the
// user selects, and a path typed into the dialog's edit box is accepted when it is well formed.

#include <windows.h>

#include <optional>
#include <string>

#include "support/handles.h"

namespace kv {

// The state of one run of the folder picker, on the caller's thread: created, shown modally,
// destroyed. It owns its tree root and, when it initialised COM for the thread, that
// initialisation; both are released when it is destroyed.
class folder_browser {
 public:
  // A picker that shows title above its tree (nothing when title is empty), rooted at the desktop.
  explicit folder_browser(std::wstring title);
  folder_browser(const folder_browser&) = delete;
  folder_browser& operator=(const folder_browser&) = delete;
  ~folder_browser();

  // Roots the tree at the common Programs folder of the Start menu (CSIDL_COMMON_PROGRAMS); the
  // edit box and the result are then related to the folder above it, the root base. Without such
  // a folder the picker stays rooted at the desktop.
  void root_at_common_programs();

  // Shows the dialog, owned by owner_window(), starting at initial_path (see initial_picker_path)
  // with suffix kept appended (see picker_suffix and apply_folder_suffix), and returns the chosen
  // folder: a typed path that passed check_typed_path, or else the folder selected in the tree.
  // Empty when the user cancels, when COM cannot be initialised (after an error box with the
  // system's text) or when the selection is not a file-system folder.
  std::wstring browse(const std::wstring& initial_path, const std::wstring& suffix);

  // The parent of the root's file-system path, computed on first use; empty without a root.
  const std::wstring& root_base();

  // The current choice: the path the edit box shows, relative to the root base when there is
  // one; after a browse that returned a folder, that folder.
  const std::wstring& path() const { return path_; }

  // Handles one notification of the browse dialog, as the dialog's callback receives it:
  // BFFM_INITIALIZED shows the starting folder and fills the edit box, BFFM_SELCHANGED (param:
  // the selected item) applies the suffix to the new selection, and BFFM_VALIDATEFAILEDW (param:
  // the edit box's text) runs check_typed_path, answering 0 to let the dialog close with the
  // typed path or 1, after an error box owned by the dialog, to keep it open.
  int handle_notification(HWND dialog, UINT message, LPARAM param);

 private:
  static int CALLBACK callback(HWND dialog, UINT message, LPARAM param, LPARAM data);
  // Initialises COM for the thread unless this browser already did; false after the error box.
  bool enter_com(HWND owner);
  // Clears the state of a previous run and sets the starting path with the suffix.
  void prepare(const std::wstring& initial_path, const std::wstring& suffix);
  // The result once the dialog closed with chosen selected.
  std::wstring result_for(PCIDLIST_ABSOLUTE chosen);
  void on_initialized(HWND dialog);
  void on_selection_changed(HWND dialog, PCIDLIST_ABSOLUTE item);
  int on_validate_failed(HWND dialog, const wchar_t* text);
  void show_path_in_edit_box() const;
  // The path of the root of the tree; empty without a root.
  std::wstring root_path() const;

  std::wstring title_;
  std::wstring path_;
  std::wstring suffix_;
  unique_idlist root_;
  std::optional<std::wstring> root_base_;
  bool com_initialised_ = false;
  bool dialog_initialised_ = false;
  bool path_typed_ = false;
  HWND edit_box_ = nullptr;
};

// Lets the user choose a folder, starting at initial_path with suffix kept appended; title is
// shown above the tree. Returns the chosen folder, or an empty string when the user cancels or
// the dialog cannot be shown; callers then keep their previous value.
std::wstring browse_for_folder(const std::wstring& initial_path, const std::wstring& suffix, const std::wstring& title);

// As browse_for_folder, with the tree rooted at the common Programs folder of the Start menu.
// On success relative receives the chosen folder relative to the common Start-menu folder
// (for example "Programs\Tools"; empty for that folder itself), or the chosen folder itself when
// it has no such form; it is left unchanged when the result is empty.
std::wstring browse_for_start_menu_folder(const std::wstring& initial_path, const std::wstring& suffix,
                                          const std::wstring& title, std::wstring& relative);

}  // namespace kv
