#pragma once
// Pictures of windows for a person to look at: a rectangle of a device context saved as a 24-bit
// BMP file.

#include <windows.h>

#include <string>

namespace test {

// Copies the rectangle (x, y, width, height) of source into a 24-bit BMP file at path.
bool save_bitmap_file(HDC source, int x, int y, int width, int height, const std::wstring& path);

// Saves what the screen shows of window (frame included, so also a window of another process)
// as a BMP file.
bool save_window_from_screen(HWND window, const std::wstring& path);

}  // namespace test
