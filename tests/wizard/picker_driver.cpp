#include "picker_driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <filesystem>
#include <system_error>

#include "ui/box_responder.h"

namespace test {

namespace {

thread_local PickerScript* activeScript = nullptr;

std::vector<HWND> VisibleThreadWindows() {
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

BOOL CALLBACK RememberWindow(HWND window, LPARAM present) {
  reinterpret_cast<std::set<HWND>*>(present)->insert(window);
  return TRUE;
}

HWND TreeOf(HWND dialog) { return FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr); }

bool IsDialogBox(HWND window) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  return std::wstring(name) == L"#32770";
}

std::wstring TreeItemLabel(HWND tree, HTREEITEM item) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW data{};
  data.mask = TVIF_TEXT;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = MAX_PATH;
  return TreeView_GetItem(tree, &data) ? std::wstring(text) : std::wstring();
}

HWND FindPicker() {
  for (HWND window : VisibleThreadWindows()) {
    if (IsDialogBox(window) && TreeOf(window)) return window;
  }
  return nullptr;
}

}  // namespace

PickerScript::PickerScript(std::vector<Step> steps) : steps_(std::move(steps)) {
  EnumThreadWindows(GetCurrentThreadId(), RememberWindow, reinterpret_cast<LPARAM>(&present_));
  activeScript = this;
  timer_ = SetTimer(nullptr, 0, 20, Tick);
}

PickerScript::~PickerScript() {
  KillTimer(nullptr, timer_);
  activeScript = nullptr;
}

void CALLBACK PickerScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (activeScript) activeScript->OnTick();
}

void PickerScript::OnTick() {
  if (CloseMessageBox()) return;
  if (running_) return;  // a step waits in a message box's loop
  const HWND picker = FindPicker();
  if (!picker) return;
  if (next_ < steps_.size()) {
    running_ = true;
    steps_[next_++](picker);
    running_ = false;
  } else if (++idleTicks_ == 50) {
    ADD_FAILURE() << "the picker stayed open after the last step";
    PressPickerButton(picker, IDCANCEL);
  }
}

bool PickerScript::CloseMessageBox() {
  for (HWND window : VisibleThreadWindows()) {
    if (present_.contains(window) || !IsDialogBox(window) || TreeOf(window)) continue;
    present_.insert(window);
    wchar_t text[1024] = {};
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    boxes_.push_back({WindowText(window), text});
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return true;
  }
  return false;
}

HWND PickerEditBox(HWND picker) {
  for (HWND child = FindWindowExW(picker, nullptr, L"Edit", nullptr); child;
       child = FindWindowExW(picker, child, L"Edit", nullptr)) {
    if (IsWindowVisible(child)) return child;
  }
  return nullptr;
}

std::wstring PickerEditText(HWND picker) {
  const HWND edit = PickerEditBox(picker);
  return edit ? WindowText(edit) : std::wstring();
}

void SelectPickerFolder(HWND picker, const std::wstring& folder) {
  SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
}

bool SelectPickerTreeItem(HWND picker, std::initializer_list<std::wstring> labels) {
  const HWND tree = TreeOf(picker);
  HTREEITEM item = tree ? TreeView_GetRoot(tree) : nullptr;
  for (const std::wstring& label : labels) {
    if (!item) return false;
    TreeView_Expand(tree, item, TVE_EXPAND);
    HTREEITEM child = TreeView_GetChild(tree, item);
    while (child && TreeItemLabel(tree, child) != label) child = TreeView_GetNextSibling(tree, child);
    item = child;
  }
  return item && TreeView_SelectItem(tree, item);
}

void PressPickerButton(HWND picker, int id) { PostMessageW(picker, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

void AcceptPickerFolder(HWND picker, const std::wstring& folder) {
  SelectPickerFolder(picker, folder);
  PressPickerButton(picker, IDOK);
}

void CreateSettledFolder(const std::wstring& folder) {
  const std::filesystem::path path(folder);
  std::filesystem::create_directories(path);
  for (const std::filesystem::path& read : {path, path.parent_path()}) {
    for (const auto& entry : std::filesystem::directory_iterator(read)) (void)entry;
  }
}

PickerScratchFolder::PickerScratchFolder(const std::wstring& parent) {
  GUID guid{};
  CoCreateGuid(&guid);
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  path_ = parent + L"\\gradivo-picker-" + text;
  CreateSettledFolder(path_);
}

PickerScratchFolder::~PickerScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace test
