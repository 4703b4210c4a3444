#include "ui/window_geometry.h"

#include <algorithm>

namespace ui {

RECT ChildRect(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void AdjustChildWindow(HWND child, int moveX, int moveY, int growX, int growY) {
  const RECT rect = ChildRect(child);
  SetWindowPos(child, nullptr, rect.left + moveX, rect.top + moveY, rect.right - rect.left + growX,
               rect.bottom - rect.top + growY, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterWindow(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MONITORINFO monitor{sizeof(monitor)};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;

  RECT around = work;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);

  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int left = around.left + (around.right - around.left - width) / 2;
  int top = around.top + (around.bottom - around.top - height) / 2;
  left = std::max(static_cast<int>(work.left), std::min(left, static_cast<int>(work.right) - width));
  top = std::max(static_cast<int>(work.top), std::min(top, static_cast<int>(work.bottom) - height));
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
