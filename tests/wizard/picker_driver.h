#pragma once
// Drives the shell's folder picker that a page opens from its Browse button, as a person would:
// the picker runs its own modal loop inside the click, so the steps run from a timer of the
// test's thread, which that loop (and the loop of any message box) keeps dispatching.

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

namespace test {

// While it exists, runs one step per timer tick once a picker dialog of the thread is shown.
// Message boxes that appear meanwhile (new top-level dialog boxes without a folder tree) are read
// and closed with OK. When the steps have run out and the picker is still open, the test fails and
// the picker is cancelled. One script at a time per thread.
class PickerScript {
 public:
  using Step = std::function<void(HWND picker)>;
  struct MessageBox {
    std::wstring caption;
    std::wstring text;
  };

  explicit PickerScript(std::vector<Step> steps);
  ~PickerScript();
  PickerScript(const PickerScript&) = delete;
  PickerScript& operator=(const PickerScript&) = delete;

  // True when every step has run.
  bool Finished() const { return next_ == steps_.size(); }
  // The message boxes closed so far, in order.
  const std::vector<MessageBox>& MessageBoxes() const { return boxes_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();
  bool CloseMessageBox();

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool running_ = false;
  int idleTicks_ = 0;
  UINT_PTR timer_ = 0;
  std::set<HWND> present_;  // top-level windows that existed before: the wizard, never closed
  std::vector<MessageBox> boxes_;
};

// The picker's visible edit box, null when it shows none.
HWND PickerEditBox(HWND picker);
// The text of the picker's edit box, empty without one.
std::wstring PickerEditText(HWND picker);
// Selects folder in the picker's tree by its path (BFFM_SETSELECTIONW). Wine's dialog does this
// only in a tree rooted at the desktop.
void SelectPickerFolder(HWND picker, const std::wstring& folder);
// Selects a folder in the picker's tree as a person would click their way to it: from the tree's
// top item, each label in turn among the children of the item before, expanding it first. False
// when a label is not found (the selection then stays).
bool SelectPickerTreeItem(HWND picker, std::initializer_list<std::wstring> labels);
// Presses OK or Cancel of the picker. Windows' dialog closes with the folder its edit box names;
// Wine's dialog ignores its edit box and closes with the tree's selection: the tests press OK with
// the folder the edit box names (which they have created) selected, so the result is the same.
void PressPickerButton(HWND picker, int id);
// Selects folder by its path, an existing folder that already ends with the suffix (so that the
// edit box names it too), and presses OK.
void AcceptPickerFolder(HWND picker, const std::wstring& folder);

// Creates folder (with its parents) and reads it and its parent once. Wine's dialog finds a folder
// in its tree by comparing item identifiers byte for byte, and those carry the folders' access
// times, which the first read after a change moves.
void CreateSettledFolder(const std::wstring& folder);

// A new empty folder named "gradivo-picker-{GUID}" inside parent, deleted with its contents on
// destruction.
class PickerScratchFolder {
 public:
  explicit PickerScratchFolder(const std::wstring& parent);
  ~PickerScratchFolder();
  PickerScratchFolder(const PickerScratchFolder&) = delete;
  PickerScratchFolder& operator=(const PickerScratchFolder&) = delete;

  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

}  // namespace test
