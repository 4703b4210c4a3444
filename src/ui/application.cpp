#include "ui/application.h"

#include "support/paths.h"
#include "ui/dialog.h"

namespace ui {

namespace {

ApplicationBase* currentApplication = nullptr;

// True for the messages that the dialog manager acts on: keys and characters.
bool IsKeyboardMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }

// The top-level dialog that holds window, or null when its root is not a dialog.
HWND RootDialog(HWND window) {
  if (!window) return nullptr;
  HWND root = GetAncestor(window, GA_ROOT);
  wchar_t className[16] = {};
  GetClassNameW(root, className, 16);
  return wcscmp(className, L"#32770") == 0 ? root : nullptr;
}

}  // namespace

ApplicationBase::ApplicationBase() { currentApplication = this; }

ApplicationBase::~ApplicationBase() {
  if (currentApplication == this) currentApplication = nullptr;
}

ApplicationBase* ApplicationBase::Current() { return currentApplication; }

int ApplicationBase::Run() {
  if (!InitInstance()) return 0;
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (PreTranslateMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

bool ApplicationBase::PreTranslateMessage(MSG& message) { return PreTranslateForDialogs(message); }

bool PreTranslateForDialogs(MSG& message) {
  if (!IsKeyboardMessage(message.message)) return false;
  HWND dialog = RootDialog(message.hwnd);
  return dialog && IsDialogMessageW(dialog, &message);
}

HWND ApplicationBase::GetMainWindow() const {
  if (mainDialog_ && mainDialog_->hwnd()) return mainDialog_->hwnd();
  return mainWindow_;
}

int ApplicationBase::ShowMessage(const std::wstring& text, UINT style) const {
  HWND owner = kv::owner_window();
  if (kv::is_layout_rtl(owner)) style |= MB_RTLREADING;
  return MessageBoxW(owner, text.c_str(), title_.c_str(), style);
}

int ShowMessage(const std::wstring& text, UINT style) {
  if (const ApplicationBase* application = ApplicationBase::Current()) return application->ShowMessage(text, style);
  HWND owner = kv::owner_window();
  if (kv::is_layout_rtl(owner)) style |= MB_RTLREADING;
  return MessageBoxW(owner, text.c_str(), nullptr, style);
}

}  // namespace ui
