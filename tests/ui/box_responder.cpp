#include "ui/box_responder.h"

namespace test {

namespace {

thread_local BoxResponder* activeResponder = nullptr;

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

BOOL CALLBACK RememberTopLevel(HWND window, LPARAM param) {
  reinterpret_cast<std::set<HWND>*>(param)->insert(window);
  return TRUE;
}

SeenBox ReadBox(HWND box) {
  SeenBox seen;
  seen.caption = WindowText(box);
  seen.owner = GetWindow(box, GW_OWNER);
  const LRESULT defaultId = SendMessageW(box, DM_GETDEFID, 0, 0);
  if (HIWORD(defaultId) == DC_HASDEFID) seen.defaultId = LOWORD(defaultId);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring text = WindowText(child);
    if (ClassName(child) == L"Button" && (GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      seen.defaultStyleId = GetDlgCtrlID(child);
    const int id = GetDlgCtrlID(child);
    if (id != 0 && id != -1 && id != 0xFFFF) seen.items[id] = text;
    if (ClassName(child) == L"Static" && !text.empty()) seen.text += (seen.text.empty() ? L"" : L"\n") + text;
  }
  return seen;
}

}  // namespace

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

BoxResponder::BoxResponder(int answer) : BoxResponder([answer](const SeenBox&) { return answer; }) {}

BoxResponder::BoxResponder(std::function<int(const SeenBox&)> answer) : answer_(std::move(answer)) {
  EnumThreadWindows(GetCurrentThreadId(), RememberTopLevel, reinterpret_cast<LPARAM>(&present_));
  activeResponder = this;
  hook_ = SetWindowsHookExW(WH_CBT, HookProc, nullptr, GetCurrentThreadId());
}

BoxResponder::~BoxResponder() {
  if (hook_) UnhookWindowsHookEx(hook_);
  for (const auto& [timer, window] : waiting_) KillTimer(nullptr, timer);
  if (activeResponder == this) activeResponder = nullptr;
}

LRESULT CALLBACK BoxResponder::HookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (activeResponder && code == HCBT_ACTIVATE) activeResponder->OnActivate(reinterpret_cast<HWND>(wParam));
  // A handle may be given to a new window once its window is gone.
  if (activeResponder && code == HCBT_DESTROYWND) {
    activeResponder->answered_.erase(reinterpret_cast<HWND>(wParam));
    activeResponder->present_.erase(reinterpret_cast<HWND>(wParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void BoxResponder::OnActivate(HWND window) {
  if (ClassName(window) != L"#32770" || answered_.count(window)) return;
  if (!GetWindow(window, GW_OWNER) && present_.count(window)) return;
  answered_.insert(window);
  // A thread timer reaches the box once its modal loop takes messages, after its initialisation
  // and activation are complete.
  waiting_[SetTimer(nullptr, 0, 0, TimerProc)] = window;
}

void CALLBACK BoxResponder::TimerProc(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (!activeResponder) return;
  const auto box = activeResponder->waiting_.find(timer);
  if (box == activeResponder->waiting_.end()) return;
  const HWND window = box->second;
  activeResponder->waiting_.erase(box);
  if (IsWindow(window)) activeResponder->Answer(window);
}

void BoxResponder::Answer(HWND window) {
  boxes_.push_back(ReadBox(window));
  const int command = answer_(boxes_.back());
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, command)));
}

}  // namespace test
