#pragma once
// Thin wrappers of the common controls that the pages use. A wrapper holds the control's window,
// which belongs to its dialog; it owns nothing.

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>

namespace ui {

class Control {
 public:
  // Binds the wrapper to a control window (null unbinds it).
  void Attach(HWND window) { hwnd_ = window; }
  // The control's window, null while unbound.
  HWND hwnd() const { return hwnd_; }

 protected:
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

 private:
  HWND hwnd_ = nullptr;
};

// A ComboBoxEx control: items with a text, an image and a value.
class ComboBoxEx : public Control {
 public:
  // Lets the items show images of list (not owned); returns the previous list.
  HIMAGELIST SetImageList(HIMAGELIST list);
  // Inserts an item at index (-1 for the end) with text, image (also when selected) and data.
  // Returns the item's index, or -1 when it could not be inserted.
  int InsertItem(int index, const std::wstring& text, int image, LPARAM data);
  // The data of item index, or nothing when there is no such item.
  std::optional<LPARAM> ItemData(int index) const;
  // The text of item index (at most 255 characters), empty when there is no such item.
  std::wstring ItemText(int index) const;
  // The image of item index, or nothing when there is no such item.
  std::optional<int> ItemImage(int index) const;
  int Count() const;
  // The selected item, -1 for none.
  int CurrentSelection() const;
  // Selects item index; -1 clears the selection.
  void SetCurrentSelection(int index);
  // The combo box inside the control, which shows the items.
  HWND ComboControl() const;
  // The minimum width of the drop-down list, in pixels.
  void SetDroppedWidth(int width);
};

// An edit control.
class Edit : public Control {
 public:
  std::wstring Text() const;
  void SetText(const std::wstring& text);
  // Replaces the selection (or inserts at the caret) with text; the change cannot be undone.
  void ReplaceSelection(const std::wstring& text);
  // Selects the characters from start to end (end -1: to the end of the text).
  void SetSelection(int start, int end);
  // Moves the caret to the end of the text.
  void MoveCaretToEnd();
  // Scrolls the text by lines (negative: up).
  void ScrollLines(int lines);
  // The index of the first visible line.
  int FirstVisibleLine() const;
  // The left and right margins in pixels.
  int LeftMargin() const;
  int RightMargin() const;
  void SetReadOnly(bool readOnly);
};

// A progress bar.
class ProgressBar : public Control {
 public:
  void SetRange(int low, int high);
  void SetPosition(int position);
  int Position() const;
};

}  // namespace ui
