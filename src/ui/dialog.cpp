#include "ui/dialog.h"

#include <exception>
#include <utility>

#include "ui/data_exchange.h"
#include "ui/wait_cursor.h"
#include "ui/window_geometry.h"

namespace ui {

namespace {

// The first exception that escaped a handler and has not been rethrown yet. A handler runs inside
// the system's window procedure, which an exception must not cross.
thread_local std::exception_ptr handlerException;

Dialog* DialogOf(HWND window) { return reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER)); }

bool IsChildWindow(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) != 0; }

}  // namespace

Dialog::Dialog(int templateId) : templateId_(templateId) {}

Dialog::~Dialog() {
  if (hwnd_) {
    HWND window = hwnd_;
    SetWindowLongPtrW(window, DWLP_USER, 0);
    hwnd_ = nullptr;
    DestroyWindow(window);
  }
}

INT_PTR Dialog::DoModal(HWND owner) {
  modal_ = true;
  result_.reset();
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  modal_ = false;
  RethrowHandlerException();
  return result;
}

bool Dialog::Create(HWND parent) {
  modal_ = false;
  result_.reset();
  return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
  result_ = result;
  if (!hwnd_) return;
  if (modal_) {
    ::EndDialog(hwnd_, result);
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

HWND Dialog::Item(int id) const { return hwnd_ ? GetDlgItem(hwnd_, id) : nullptr; }

std::wstring Dialog::ItemText(int id) const {
  HWND item = Item(id);
  if (!item) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Dialog::SetItemText(int id, const std::wstring& text) {
  if (HWND item = Item(id)) SetWindowTextW(item, text.c_str());
}

void Dialog::EnableItem(int id, bool enabled) {
  if (HWND item = Item(id)) EnableWindow(item, enabled);
}

void Dialog::AdjustItem(int id, const ItemAdjustment& adjustment) {
  if (HWND item = Item(id)) AdjustChildWindow(item, adjustment.moveX, adjustment.moveY, adjustment.growX, adjustment.growY);
}

bool Dialog::UpdateData(bool save) {
  if (!hwnd_) return false;
  DataExchange exchange(hwnd_, save);
  DoDataExchange(exchange);
  return !exchange.Failed();
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void Dialog::DoDataExchange(DataExchange&) {}

bool Dialog::OnCommand(WORD id, WORD, HWND) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

void Dialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT Dialog::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* dialog = DialogOf(window);
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->hwnd_ = window;
  }
  if (!dialog) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    dialog->hwnd_ = nullptr;
    return FALSE;
  }
  try {
    return dialog->Dispatch(message, wParam, lParam);
  } catch (...) {
    if (!handlerException) handlerException = std::current_exception();
    // The modal dialog that holds this window ends, so that DoModal can rethrow.
    HWND root = GetAncestor(window, GA_ROOT);
    if (Dialog* rootDialog = DialogOf(root); rootDialog && rootDialog->modal_) ::EndDialog(root, -1);
    return FALSE;
  }
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return InitDialog();
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_SETCURSOR:
      if (!WaitCursor::Active()) break;
      WaitCursor::Show();
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default:
      break;
  }
  LRESULT result = 0;
  if (!OnMessage(message, wParam, lParam, result)) return FALSE;
  SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR Dialog::InitDialog() {
  RECT before{};
  GetWindowRect(hwnd_, &before);
  const bool focusFirst = OnInitDialog();
  // A top-level dialog that its initialisation did not place is centred, over its owner when
  // that is visible, else on its screen's work area.
  RECT after{};
  GetWindowRect(hwnd_, &after);
  if (hwnd_ && !IsChildWindow(hwnd_) && before.left == after.left && before.top == after.top) CenterWindow(hwnd_);
  return focusFirst ? TRUE : FALSE;
}

void RethrowHandlerException() {
  if (std::exception_ptr pending = std::exchange(handlerException, nullptr)) std::rethrow_exception(pending);
}

}  // namespace ui
