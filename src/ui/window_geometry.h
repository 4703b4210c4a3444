#pragma once
// Where windows are: a child window's rectangle in its parent's client coordinates, moving and
// sizing children, centring a top-level window.

#include <windows.h>

namespace ui {

// The rectangle of child in the client coordinates of its parent.
RECT ChildRect(HWND child);

// Moves child's left and top edges by (moveX, moveY) and makes it growX wider and growY taller,
// without changing its z-order or activating it.
void AdjustChildWindow(HWND child, int moveX, int moveY, int growX, int growY);

// Centres a top-level window over its owner when the owner is visible and not minimised,
// otherwise on the work area of the window's screen; it is kept inside that work area.
void CenterWindow(HWND window);

}  // namespace ui
