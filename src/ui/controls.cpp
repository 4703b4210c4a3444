#include "ui/controls.h"

#include <climits>

namespace ui {

LRESULT Control::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  return hwnd_ ? SendMessageW(hwnd_, message, wParam, lParam) : 0;
}

// ---- ComboBoxEx ----

HIMAGELIST ComboBoxEx::SetImageList(HIMAGELIST list) {
  return reinterpret_cast<HIMAGELIST>(Send(CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list)));
}

int ComboBoxEx::InsertItem(int index, const std::wstring& text, int image, LPARAM data) {
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text.c_str());
  item.iImage = image;
  item.iSelectedImage = image;
  item.lParam = data;
  return static_cast<int>(Send(CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::optional<LPARAM> ComboBoxEx::ItemData(int index) const {
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_LPARAM;
  item.iItem = index;
  if (!Send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return std::nullopt;
  return item.lParam;
}

std::wstring ComboBoxEx::ItemText(int index) const {
  wchar_t text[256] = {};
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_TEXT;
  item.iItem = index;
  item.pszText = text;
  item.cchTextMax = 256;
  if (!Send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return {};
  return item.pszText ? item.pszText : L"";
}

std::optional<int> ComboBoxEx::ItemImage(int index) const {
  COMBOBOXEXITEMW item{};
  item.mask = CBEIF_IMAGE;
  item.iItem = index;
  if (!Send(CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return std::nullopt;
  return item.iImage;
}

int ComboBoxEx::Count() const { return static_cast<int>(Send(CB_GETCOUNT)); }

int ComboBoxEx::CurrentSelection() const { return static_cast<int>(Send(CB_GETCURSEL)); }

void ComboBoxEx::SetCurrentSelection(int index) { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }

HWND ComboBoxEx::ComboControl() const { return reinterpret_cast<HWND>(Send(CBEM_GETCOMBOCONTROL)); }

void ComboBoxEx::SetDroppedWidth(int width) {
  if (HWND combo = ComboControl()) SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

// ---- Edit ----

std::wstring Edit::Text() const {
  if (!hwnd()) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd())) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd(), text.data(), static_cast<int>(text.size()))));
  return text;
}

void Edit::SetText(const std::wstring& text) {
  if (hwnd()) SetWindowTextW(hwnd(), text.c_str());
}

void Edit::ReplaceSelection(const std::wstring& text) { Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str())); }

void Edit::SetSelection(int start, int end) { Send(EM_SETSEL, static_cast<WPARAM>(start), end); }

void Edit::MoveCaretToEnd() { SetSelection(INT_MAX, -1); }

void Edit::ScrollLines(int lines) { Send(EM_LINESCROLL, 0, lines); }

int Edit::FirstVisibleLine() const { return static_cast<int>(Send(EM_GETFIRSTVISIBLELINE)); }

int Edit::LeftMargin() const { return LOWORD(Send(EM_GETMARGINS)); }

int Edit::RightMargin() const { return HIWORD(Send(EM_GETMARGINS)); }

void Edit::SetReadOnly(bool readOnly) { Send(EM_SETREADONLY, readOnly ? TRUE : FALSE); }

// ---- ProgressBar ----

void ProgressBar::SetRange(int low, int high) { Send(PBM_SETRANGE32, static_cast<WPARAM>(low), high); }

void ProgressBar::SetPosition(int position) { Send(PBM_SETPOS, static_cast<WPARAM>(position)); }

int ProgressBar::Position() const { return static_cast<int>(Send(PBM_GETPOS)); }

}  // namespace ui
