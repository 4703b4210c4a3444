#pragma once
// The hourglass while the program works on the user-interface thread.

namespace ui {

// Shows the wait cursor from construction to destruction. While one exists, the program's
// dialogs keep showing it when the mouse moves over them (the installation run dispatches window
// messages while it works). Objects may nest; the last one restores the cursor it found.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  // True while a WaitCursor exists on this thread.
  static bool Active();
  // Sets the wait cursor.
  static void Show();
};

}  // namespace ui
