#include "ui/wait_cursor.h"

#include <windows.h>

namespace ui {

namespace {
thread_local int waitCursorDepth = 0;
thread_local HCURSOR cursorBefore = nullptr;
}  // namespace

WaitCursor::WaitCursor() {
  if (waitCursorDepth++ == 0) cursorBefore = GetCursor();
  Show();
}

WaitCursor::~WaitCursor() {
  if (--waitCursorDepth == 0) SetCursor(cursorBefore);
}

bool WaitCursor::Active() { return waitCursorDepth > 0; }

void WaitCursor::Show() { SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }

}  // namespace ui
