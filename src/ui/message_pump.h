#pragma once
// Keeping windows alive while the user-interface thread is busy.

namespace ui {

// Dispatches the window messages waiting in the thread's queue, each offered to the application's
// PreTranslateMessage first, then translated and dispatched. A WM_QUIT is posted again and ends
// the dispatching. Returns false when a WM_QUIT was met. An exception that escaped a handler of
// a page or modeless dialog meanwhile is rethrown.
bool PumpWaitingMessages();

}  // namespace ui
