#include "ui/data_exchange.h"

#include "ui/application.h"
#include "ui/controls.h"

namespace ui {

namespace {

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  return _wcsicmp(className, name) == 0;
}

bool StartsGroup(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_GROUP) != 0; }

bool IsRadioButton(HWND window) { return (SendMessageW(window, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0; }

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

std::wstring TooLongTextMessage(std::size_t maxLength) {
  return L"Enter no more than " + std::to_wstring(maxLength) + L" characters.";
}

DataExchange::DataExchange(HWND dialog, bool save) : dialog_(dialog), save_(save) {}

void DataExchange::Control(int id, ui::Control& control) {
  if (failed_ || control.hwnd()) return;
  control.Attach(GetDlgItem(dialog_, id));
}

void DataExchange::Text(int id, std::wstring& value, std::size_t maxLength) {
  HWND control = GetDlgItem(dialog_, id);
  if (failed_ || !control) return;
  if (!save_) {
    if (HasClass(control, L"Edit")) SendMessageW(control, EM_LIMITTEXT, maxLength, 0);
    SetWindowTextW(control, value.c_str());
    return;
  }
  std::wstring text = WindowText(control);
  if (text.size() > maxLength) {
    Fail(control, TooLongTextMessage(maxLength));
    return;
  }
  value = std::move(text);
}

void DataExchange::Check(int id, int& state) {
  HWND control = GetDlgItem(dialog_, id);
  if (failed_ || !control) return;
  if (save_) {
    state = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    return;
  }
  if (state < BST_UNCHECKED || state > BST_INDETERMINATE) state = BST_UNCHECKED;
  SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

void DataExchange::RadioGroup(int firstId, int& index) {
  HWND button = GetDlgItem(dialog_, firstId);
  if (failed_ || !button) return;
  if (save_) index = -1;
  int position = 0;
  do {
    if (IsRadioButton(button)) {
      if (save_) {
        if (SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED) index = position;
      } else {
        SendMessageW(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++position;
    }
    button = GetWindow(button, GW_HWNDNEXT);
  } while (button && !StartsGroup(button));
}

void DataExchange::Fail(HWND control, const std::wstring& message) {
  failed_ = true;
  ShowMessage(message, MB_ICONEXCLAMATION);
  SetFocus(control);
  if (HasClass(control, L"Edit")) SendMessageW(control, EM_SETSEL, 0, -1);
}

}  // namespace ui
