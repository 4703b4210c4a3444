#include "ui/application.h"

#include "support/paths.h"

namespace ui {

namespace {
ApplicationBase* currentApplication = nullptr;
}

ApplicationBase::ApplicationBase() { currentApplication = this; }

ApplicationBase::~ApplicationBase() {
  if (currentApplication == this) currentApplication = nullptr;
}

ApplicationBase* ApplicationBase::Current() { return currentApplication; }

int ApplicationBase::Run() {
  if (!InitInstance()) return 0;
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

int ApplicationBase::ShowMessage(const std::wstring& text, UINT style) const {
  HWND owner = kv::owner_window();
  if (kv::is_layout_rtl(owner)) style |= MB_RTLREADING;
  return MessageBoxW(owner, text.c_str(), title_.c_str(), style);
}

}  // namespace ui
