#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "common/test_environment.h"
#include "support/folder_browser.h"
#include "support/folder_choice.h"
#include "support/paths.h"

namespace {

constexpr DWORD filename_too_long = 0x800700CE;

// The current folder of the process, as the system reports it.
std::wstring current_folder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

// Makes a folder current for one test and restores the previous one.
class current_folder_scope {
 public:
  explicit current_folder_scope(const std::wstring& folder) : saved_(current_folder()) {
    SetCurrentDirectoryW(folder.c_str());
  }
  ~current_folder_scope() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

std::wstring common_start_menu() {
  wchar_t folder[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_STARTMENU, FALSE);
  return folder;
}

// ---------------------------------------------------------------------------------------------
// The rules, without a dialog.

TEST(FolderSuffix, IsKeptAppendedComponentByComponent) {
  struct suffix_case {
    const wchar_t* path;
    const wchar_t* suffix;
    const wchar_t* expected;
  };
  const suffix_case cases[] = {
      {L"D:\\", L"Gradivo", L"D:\\Gradivo"},
      {L"D:\\Apps", L"Veltram & Ruziruzu\\Gradivo", L"D:\\Apps\\Veltram & Ruziruzu\\Gradivo"},
      {L"D:\\Apps\\Veltram & Ruziruzu", L"Veltram & Ruziruzu\\Gradivo", L"D:\\Apps\\Veltram & Ruziruzu\\Gradivo"},
      {L"D:\\Apps\\VELTRAM & ruziruzu\\gradivo", L"Veltram & Ruziruzu\\Gradivo", L"D:\\Apps\\VELTRAM & ruziruzu\\gradivo"},
      {L"D:\\Apps\\Gradivo 7", L"Gradivo 7", L"D:\\Apps\\Gradivo 7"},
      {L"D:\\Gradivo 7", L"Gradivo 7", L"D:\\Gradivo 7"},
      {L"D:\\Apps\\", L"Gradivo 7", L"D:\\Apps\\Gradivo 7"},
      // Components, not text: a folder whose name merely ends like the suffix gets it appended.
      {L"D:\\Apps\\Old Gradivo 7", L"Gradivo 7", L"D:\\Apps\\Old Gradivo 7\\Gradivo 7"},
      {L"D:\\Apps\\Gradivo", L"Veltram & Ruziruzu\\Gradivo", L"D:\\Apps\\Gradivo\\Veltram & Ruziruzu\\Gradivo"},
      {L"\\\\server\\share", L"Gradivo 7", L"\\\\server\\share\\Gradivo 7"},
      {L"D:\\Apps", L"", L"D:\\Apps"},
  };
  for (const suffix_case& c : cases) {
    EXPECT_EQ(kv::apply_folder_suffix(c.path, c.suffix, L""), c.expected) << c.path << L" + " << c.suffix;
  }
}

TEST(FolderSuffix, IsLeftOffWhenThePathWouldNotFit) {
  // 249 + 1 + 9 characters is the longest path the shell's 260-character buffers hold.
  const std::wstring fits = L"C:\\" + std::wstring(246, L'a');
  EXPECT_EQ(kv::apply_folder_suffix(fits, L"Gradivo 7", L""), fits + L"\\Gradivo 7");
  const std::wstring too_long = fits + L"a";
  EXPECT_EQ(kv::apply_folder_suffix(too_long, L"Gradivo 7", L""), too_long);
  const std::wstring over_buffer = L"C:\\" + std::wstring(300, L'a');
  EXPECT_EQ(kv::apply_folder_suffix(over_buffer, L"Gradivo 7", L""), over_buffer);
}

TEST(FolderSuffix, IsWrittenRelativeToTheRootBase) {
  const std::wstring base = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  EXPECT_EQ(kv::apply_folder_suffix(base + L"\\Programs", L"Gradivo 7", base), L"Programs\\Gradivo 7");
  EXPECT_EQ(kv::apply_folder_suffix(base + L"\\Programs\\Veltram & Ruziruzu\\Gradivo 7", L"Gradivo 7", base),
            L"Programs\\Veltram & Ruziruzu\\Gradivo 7");
  // Outside the root base the path stays whole rather than losing its leading steps.
  EXPECT_EQ(kv::apply_folder_suffix(L"C:\\Other", L"Gradivo 7", base), L"C:\\Other\\Gradivo 7");
  EXPECT_EQ(kv::apply_folder_suffix(L"D:\\Other", L"Gradivo 7", base), L"D:\\Other\\Gradivo 7");
}

TEST(PickerSuffix, DropsTrailingFullStopsAndRefusesInvalidCharacters) {
  struct suffix_case {
    const wchar_t* suffix;
    const wchar_t* taken;
  };
  const suffix_case cases[] = {
      {L"Gradivo 7", L"Gradivo 7"},
      {L"Gradivo 7...", L"Gradivo 7"},
      {L"Veltram & Ruziruzu\\Gradivo 7", L"Veltram & Ruziruzu\\Gradivo 7"},
      {L"Gradivo*", L""},
      {L"Gradivo?", L""},
      {L"Gra|divo", L""},
      {L"Gra\"divo", L""},
      {L"Gra\x0001divo", L""},
      {L"...", L""},
  };
  for (const suffix_case& c : cases) EXPECT_EQ(kv::picker_suffix(c.suffix), c.taken) << c.suffix;
}

TEST(InitialPickerPath, KeepsRootedPathsAndOtherwiseStartsAtTheRootOrDocuments) {
  const std::wstring documents = kv::documents_folder();
  struct initial_case {
    std::wstring initial;
    std::wstring root;
    std::wstring expected;
  };
  const initial_case cases[] = {
      {L"D:\\Apps\\Gradivo 7", L"", L"D:\\Apps\\Gradivo 7"},
      {L"\\\\server\\share\\Apps", L"", L"\\\\server\\share\\Apps"},
      {L"C:", L"", L"C:\\"},
      {L"Apps\\Gradivo", L"", documents},
      {L"C:Apps", L"", documents},
      {L"", L"", documents},
      {L"", L"C:\\Start\\Programs", L"C:\\Start\\Programs"},
      {L"Apps", L"C:\\Start\\Programs", L"C:\\Start\\Programs"},
  };
  for (const initial_case& c : cases) {
    EXPECT_EQ(kv::initial_picker_path(c.initial, c.root), c.expected) << c.initial << L" / " << c.root;
  }
}

TEST(RelativeFolderPath, IsTheFormBelowTheBaseOrNothing) {
  const std::wstring base = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  EXPECT_EQ(kv::relative_folder_path(base, base + L"\\Programs\\Veltram & Ruziruzu\\Gradivo 7"),
            L"Programs\\Veltram & Ruziruzu\\Gradivo 7");
  EXPECT_EQ(kv::relative_folder_path(base, base), L"");
  EXPECT_EQ(kv::relative_folder_path(base, base + L"\\"), L"");
  EXPECT_EQ(kv::relative_folder_path(base, L"C:\\ProgramData\\Other"), std::nullopt);
  EXPECT_EQ(kv::relative_folder_path(base, L"D:\\Programs"), std::nullopt);
  EXPECT_EQ(kv::relative_folder_path(L"", base), std::nullopt);
}

TEST(InvalidPathCharacter, CoversWildcardsInvalidCharactersAndStrayColons) {
  EXPECT_FALSE(kv::has_invalid_path_character(L"C:\\Apps\\Veltram & Ruziruzu\\Gradivo 7"));
  EXPECT_FALSE(kv::has_invalid_path_character(L"\\\\server\\share\\Apps"));
  for (const wchar_t* text : {L"C:\\Ap*ps", L"C:\\Ap?ps", L"C:\\A<b", L"C:\\A>b", L"C:\\A|b", L"C:\\A\"b",
                              L"C:\\A\tb", L"C:\\Apps:stream", L"C:\\A/b"}) {
    EXPECT_TRUE(kv::has_invalid_path_character(text)) << text;
  }
}

class TypedPath : public testing::Test {
 protected:
  test::scratch_folder scratch;
  std::wstring folder = scratch.path().wstring();
};

TEST_F(TypedPath, IsQualifiedWithoutTheSuffix) {
  const current_folder_scope current(folder);
  struct typed_case {
    std::wstring text;
    std::wstring expected;
  };
  const typed_case cases[] = {
      {L"C:", L"C:\\"},
      {L"C:\\", L"C:\\"},
      {L"  C:\\Apps\\Gradivo  ", L"C:\\Apps\\Gradivo"},
      {L"C:\\Apps\\Gradivo\\", L"C:\\Apps\\Gradivo"},
      {L"C:\\Apps\\..\\Gradivo", L"C:\\Gradivo"},
      {L"Not Yet There", folder + L"\\Not Yet There"},
      {L"", folder},
      {L"   ", folder},
  };
  for (const typed_case& c : cases) {
    const kv::typed_path_check check = kv::check_typed_path(c.text, L"");
    EXPECT_EQ(check.error, 0u) << c.text;
    EXPECT_EQ(check.path, c.expected) << c.text;
  }
}

TEST_F(TypedPath, RejectsMalformedAndOverlongText) {
  struct typed_case {
    std::wstring text;
    DWORD error;
  };
  const typed_case cases[] = {
      {L"C:\\Apps\\Gradi*o", ERROR_BAD_PATHNAME},
      {L"C:\\Apps\\Gradivo?", ERROR_BAD_PATHNAME},
      {L"C:\\Apps\\<Gradivo>", ERROR_BAD_PATHNAME},
      {L"C:\\Apps\\Gradivo:7", ERROR_BAD_PATHNAME},
      {std::wstring(300, L'a'), filename_too_long},
      {L"C:\\" + std::wstring(257, L'a'), filename_too_long},
  };
  for (const typed_case& c : cases) {
    const kv::typed_path_check check = kv::check_typed_path(c.text, L"");
    EXPECT_EQ(check.error, c.error) << c.text;
    EXPECT_TRUE(check.path.empty()) << c.text;
  }
}

TEST_F(TypedPath, ResolvesRelativeTextAgainstTheRootBaseAndStaysInsideIt) {
  const std::wstring base = folder + L"\\Start Menu";
  std::filesystem::create_directories(base + L"\\Programs");
  const std::wstring before = current_folder();
  struct typed_case {
    std::wstring text;
    DWORD error;
    std::wstring expected;
  };
  const typed_case cases[] = {
      {L"Programs\\Tools", 0, base + L"\\Programs\\Tools"},
      {L"Programs\\Tools\\", 0, base + L"\\Programs\\Tools"},
      {base + L"\\Programs\\Tools", 0, base + L"\\Programs\\Tools"},
      {L"..\\Tools", ERROR_BAD_PATHNAME, L""},
      {L"Programs\\..\\..\\Tools", ERROR_BAD_PATHNAME, L""},
      {folder + L"\\Start Menu Copy\\Tools", ERROR_BAD_PATHNAME, L""},
      {L"C:", ERROR_BAD_PATHNAME, L""},
  };
  for (const typed_case& c : cases) {
    const kv::typed_path_check check = kv::check_typed_path(c.text, base);
    EXPECT_EQ(check.error, c.error) << c.text;
    EXPECT_EQ(check.path, c.expected) << c.text;
    EXPECT_EQ(current_folder(), before) << c.text << L": the current folder is restored";
  }
}

TEST_F(TypedPath, FailsWithTheSystemErrorWhenTheRootBaseCannotBeMadeCurrent) {
  const std::wstring before = current_folder();
  const kv::typed_path_check check = kv::check_typed_path(L"Programs", folder + L"\\Missing");
  EXPECT_TRUE(check.error == ERROR_FILE_NOT_FOUND || check.error == ERROR_PATH_NOT_FOUND) << check.error;
  EXPECT_EQ(current_folder(), before);
}

// ---------------------------------------------------------------------------------------------
// The dialog, shown by the shell on the test session's display.

// The visible top-level windows of the calling thread.
std::vector<HWND> thread_windows() {
  std::vector<HWND> windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND tree_of(HWND dialog) { return FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr); }

// The picker's dialog: the thread's window that holds the folder tree.
HWND find_picker_dialog() {
  for (HWND window : thread_windows()) {
    if (tree_of(window)) return window;
  }
  return nullptr;
}

// The dialog's visible edit box; null when it shows none.
HWND visible_edit_box(HWND dialog) {
  for (HWND child = FindWindowExW(dialog, nullptr, L"Edit", nullptr); child;
       child = FindWindowExW(dialog, child, L"Edit", nullptr)) {
    if (IsWindowVisible(child)) return child;
  }
  return nullptr;
}

std::wstring window_text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// The label of the folder selected in the tree.
std::wstring selected_folder_label(HWND dialog) {
  const HWND tree = tree_of(dialog);
  wchar_t text[MAX_PATH] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = TreeView_GetSelection(tree);
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  if (!item.hItem || !TreeView_GetItem(tree, &item)) return {};
  return text;
}

// Selects folder in the tree, as clicking it would. (A dialog answers messages through
// DWLP_MSGRESULT, so the answer tells nothing; the tests look at the selection instead.)
void select_folder(HWND dialog, const std::wstring& folder) {
  SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
}

// Selects the top item of the tree, as clicking it would.
void select_tree_root(HWND dialog) {
  const HWND tree = tree_of(dialog);
  TreeView_SelectItem(tree, TreeView_GetRoot(tree));
}

void press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// Presses OK as the user would. Windows' dialog first hands an edit-box text that names no
// existing folder to the picker (BFFM_VALIDATEFAILEDW) and closes only when the picker accepts
// it; Wine's dialog does not validate its edit box (BIF_VALIDATE is not implemented there) and
// closes with the tree's selection, so under Wine the test hands the text over itself.
void press_ok(HWND dialog, kv::folder_browser& browser) {
  if (test::running_under_wine()) {
    const HWND edit = visible_edit_box(dialog);
    const std::wstring text = edit ? window_text(edit) : std::wstring();
    if (edit && !PathIsDirectoryW(text.c_str()) &&
        browser.handle_notification(dialog, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(text.c_str())) != 0)
      return;
  }
  press(dialog, IDOK);
}

// Drives the picker's dialog from a timer of the calling thread, which the dialog's modal loop
// (and that of any message box) keeps dispatching: each tick runs the next step of the script
// once the dialog is shown. Message boxes are closed as they appear, their texts and owners kept.
// When the script has run out and the dialog is still open, it is cancelled.
class dialog_script {
 public:
  using step = std::function<void(HWND dialog)>;
  struct message_box {
    std::wstring text;
    HWND owner;
  };

  explicit dialog_script(std::vector<step> steps) : steps_(std::move(steps)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, tick);
  }
  dialog_script(const dialog_script&) = delete;
  dialog_script& operator=(const dialog_script&) = delete;
  ~dialog_script() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }

  const std::vector<message_box>& message_boxes() const { return boxes_; }
  bool finished() const { return next_ == steps_.size(); }

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_) current_->on_tick();
  }

  void on_tick() {
    if (close_message_box()) return;
    if (running_) return;  // a step is waiting in a message box's loop
    const HWND dialog = find_picker_dialog();
    if (!dialog) return;
    if (next_ < steps_.size()) {
      running_ = true;
      steps_[next_++](dialog);
      running_ = false;
    } else if (++idle_ticks_ == 50) {
      ADD_FAILURE() << "the dialog stayed open after the last step";
      press(dialog, IDCANCEL);
    }
  }

  bool close_message_box() {
    for (HWND window : thread_windows()) {
      if (tree_of(window) || closed_.contains(window)) continue;
      wchar_t class_name[16] = {};
      GetClassNameW(window, class_name, 16);
      if (std::wstring(class_name) != L"#32770") continue;
      wchar_t text[1024] = {};
      GetDlgItemTextW(window, 0xFFFF, text, 1024);
      boxes_.push_back({text, GetWindow(window, GW_OWNER)});
      closed_.insert(window);
      PostMessageW(window, WM_COMMAND, IDOK, 0);
      return true;
    }
    return false;
  }

  static thread_local dialog_script* current_;
  std::vector<step> steps_;
  std::size_t next_ = 0;
  bool running_ = false;
  int idle_ticks_ = 0;
  UINT_PTR timer_ = 0;
  std::vector<message_box> boxes_;
  std::set<HWND> closed_;
};

thread_local dialog_script* dialog_script::current_ = nullptr;

// Wine's dialog finds a folder in its tree by comparing item identifiers byte for byte, and those
// carry the folders' dates, access time included. The first read of a folder after a change
// moves its access time, so an identifier made before that read differs from one made after it.
// The tests therefore read every folder they create (and its parent) once before a dialog opens.
void create_settled_folder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  for (const std::filesystem::path& read : {folder, folder.parent_path()}) {
    for (const auto& entry : std::filesystem::directory_iterator(read)) (void)entry;
  }
}

// A new empty folder at the top of drive C: of the test prefix, deleted with its contents on
// destruction. Folders the tests select sit there because in a fresh prefix the shell creates the
// user's own folders (Downloads, Desktop) while it fills the tree, which changes the profile
// folders around the temporary folder while a dialog is open.
class drive_scratch_folder {
 public:
  drive_scratch_folder() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    path_ = std::filesystem::path(L"C:\\gradivo-picker-" + std::wstring(text));
    create_settled_folder(path_);
  }
  drive_scratch_folder(const drive_scratch_folder&) = delete;
  drive_scratch_folder& operator=(const drive_scratch_folder&) = delete;
  ~drive_scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class FolderPicker : public testing::Test {
 protected:
  drive_scratch_folder scratch;
  std::wstring folder = scratch.path().wstring();
};

TEST_F(FolderPicker, ShowsTheSelectedFolderWithTheSuffixAndReturnsIt) {
  create_settled_folder(folder + L"\\Apps");
  kv::folder_browser browser(L"Choose the folder of Gradivo");
  dialog_script script({
      [&](HWND dialog) {
        EXPECT_NE(FindWindowExW(dialog, nullptr, L"Static", L"Choose the folder of Gradivo"), nullptr);
        const HWND edit = visible_edit_box(dialog);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(window_text(edit), folder + L"\\Gradivo 7");
        EXPECT_EQ(selected_folder_label(dialog), scratch.path().filename().wstring());
      },
      [&](HWND dialog) {
        select_folder(dialog, L"C:\\");
        EXPECT_EQ(window_text(visible_edit_box(dialog)), L"C:\\Gradivo 7");
      },
      [&](HWND dialog) {
        select_folder(dialog, folder + L"\\Apps");
        EXPECT_EQ(window_text(visible_edit_box(dialog)), folder + L"\\Apps\\Gradivo 7");
        EXPECT_EQ(selected_folder_label(dialog), L"Apps");
      },
      [&](HWND dialog) { press_ok(dialog, browser); },
  });
  EXPECT_EQ(browser.browse(folder, L"Gradivo 7"), folder + L"\\Apps\\Gradivo 7");
  EXPECT_TRUE(script.finished());
  EXPECT_TRUE(script.message_boxes().empty());
}

TEST_F(FolderPicker, StartsAtTheNearestExistingFolderAndShowsTheWholePath) {
  const std::wstring initial = folder + L"\\Veltram & Ruziruzu\\Gradivo 7";
  dialog_script script({
      [&](HWND dialog) {
        EXPECT_EQ(window_text(visible_edit_box(dialog)), initial);
        EXPECT_EQ(selected_folder_label(dialog), scratch.path().filename().wstring());
        press(dialog, IDCANCEL);
      },
  });
  EXPECT_EQ(kv::browse_for_folder(initial, L"Gradivo 7", L"Title"), L"");
  EXPECT_TRUE(script.finished());
}

TEST_F(FolderPicker, IgnoresARelativeInitialPathAndStartsInDocuments) {
  dialog_script script({
      [&](HWND dialog) {
        EXPECT_EQ(window_text(visible_edit_box(dialog)), kv::documents_folder() + L"\\Gradivo");
        press(dialog, IDCANCEL);
      },
  });
  EXPECT_EQ(kv::browse_for_folder(L"Apps\\Gradivo", L"Gradivo", L""), L"");
  EXPECT_TRUE(script.finished());
}

TEST_F(FolderPicker, WithoutAUsableSuffixShowsNoEditBoxAndReturnsTheSelection) {
  create_settled_folder(folder + L"\\Apps");
  for (const wchar_t* suffix : {L"", L"Gradivo*"}) {
    dialog_script script({
        [&](HWND dialog) {
          EXPECT_EQ(visible_edit_box(dialog), nullptr) << suffix;
          select_folder(dialog, folder + L"\\Apps");
        },
        [&](HWND dialog) { press(dialog, IDOK); },
    });
    EXPECT_EQ(kv::browse_for_folder(folder, suffix, L"Title"), folder + L"\\Apps") << suffix;
    EXPECT_TRUE(script.finished()) << suffix;
  }
}

TEST_F(FolderPicker, RejectsMalformedTypedPathsWithTheSystemTextAndStaysOpen) {
  kv::folder_browser browser(L"Title");
  const std::wstring too_long(300, L'a');
  HWND picker = nullptr;
  const auto type = [&](HWND dialog, const std::wstring& text) {
    return browser.handle_notification(dialog, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(text.c_str()));
  };
  dialog_script script({
      [&](HWND dialog) {
        picker = dialog;
        EXPECT_EQ(type(dialog, L"C:\\Apps\\Gradi*o"), 1);
        EXPECT_TRUE(IsWindowVisible(dialog));
      },
      [&](HWND dialog) {
        EXPECT_EQ(type(dialog, too_long), 1);
        EXPECT_TRUE(IsWindowVisible(dialog));
      },
      [&](HWND dialog) {
        EXPECT_EQ(type(dialog, L" C: "), 0) << "a bare drive is accepted";
        press(dialog, IDOK);
      },
  });
  EXPECT_EQ(browser.browse(folder, L"Gradivo 7"), L"C:\\") << "the typed path, without the suffix";
  ASSERT_EQ(script.message_boxes().size(), 2u);
  EXPECT_EQ(script.message_boxes()[0].text, kv::error_text(ERROR_BAD_PATHNAME));
  EXPECT_EQ(script.message_boxes()[1].text, kv::error_text(filename_too_long));
  for (const auto& box : script.message_boxes()) EXPECT_EQ(box.owner, picker) << "owned by the dialog";
}

TEST_F(FolderPicker, ShowsAnErrorAndReturnsNothingWhenComCannotStart) {
  std::wstring result = L"unchanged";
  std::vector<dialog_script::message_box> boxes;
  // A thread of the multithreaded apartment cannot enter the single-threaded one the picker asks for.
  std::thread thread([&] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    {
      dialog_script script({});
      result = kv::browse_for_folder(folder, L"Gradivo 7", L"Title");
      boxes = script.message_boxes();
    }
    CoUninitialize();
  });
  thread.join();
  EXPECT_EQ(result, L"");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kv::error_text(static_cast<DWORD>(RPC_E_CHANGED_MODE)));
  EXPECT_EQ(boxes[0].owner, nullptr);
}

class StartMenuPicker : public FolderPicker {
 protected:
  std::wstring start_menu = common_start_menu();
};

TEST_F(StartMenuPicker, ShowsFoldersRelativeToTheStartMenuAndResolvesTypedOnes) {
  kv::folder_browser browser(L"Menu Shortcut");
  browser.root_at_common_programs();
  EXPECT_EQ(browser.root_base(), start_menu);
  const std::wstring before = current_folder();
  const std::wstring initial = start_menu + L"\\Programs\\Veltram & Ruziruzu\\Gradivo 7";
  dialog_script script({
      // Wine's dialog cannot select its own root item by path (it takes the root's first child,
      // or nothing, and the tree then selects its top item when it gets the focus), so what the
      // edit box shows first depends on the prefix; the steps start from a selection of their own.
      [&](HWND dialog) {
        select_tree_root(dialog);
        EXPECT_EQ(window_text(visible_edit_box(dialog)), L"Programs\\Gradivo 7");
      },
      [&](HWND dialog) {
        const std::wstring outside = L"..\\Outside";
        EXPECT_EQ(browser.handle_notification(dialog, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(outside.c_str())), 1);
      },
      [&](HWND dialog) {
        SetWindowTextW(visible_edit_box(dialog), L"Programs\\Tools");
        press_ok(dialog, browser);
      },
  });
  const std::wstring chosen = browser.browse(initial, L"Gradivo 7");
  EXPECT_EQ(chosen, start_menu + L"\\Programs\\Tools");
  EXPECT_EQ(kv::relative_folder_path(browser.root_base(), chosen), L"Programs\\Tools");
  EXPECT_EQ(current_folder(), before);
  ASSERT_EQ(script.message_boxes().size(), 1u);
  EXPECT_EQ(script.message_boxes()[0].text, kv::error_text(ERROR_BAD_PATHNAME));
}

TEST_F(StartMenuPicker, ReturnsTheSelectionAndItsFormRelativeToTheStartMenu) {
  std::wstring relative = L"unchanged";
  dialog_script script({
      [&](HWND dialog) {
        EXPECT_EQ(selected_folder_label(dialog).empty(), false);
        select_tree_root(dialog);
      },
      [&](HWND dialog) { press(dialog, IDOK); },
  });
  EXPECT_EQ(kv::browse_for_start_menu_folder(L"", L"", L"Title", relative), start_menu + L"\\Programs");
  EXPECT_EQ(relative, L"Programs");
  EXPECT_TRUE(script.finished());
}

TEST_F(StartMenuPicker, LeavesTheRelativeFormAloneWhenCancelled) {
  std::wstring relative = L"unchanged";
  dialog_script script({[&](HWND dialog) { press(dialog, IDCANCEL); }});
  EXPECT_EQ(kv::browse_for_start_menu_folder(start_menu + L"\\Programs", L"Gradivo 7", L"Title", relative), L"");
  EXPECT_EQ(relative, L"unchanged");
  EXPECT_TRUE(script.finished());
}

}  // namespace
