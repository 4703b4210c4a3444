#include "common/window_picture.h"

#include <cstdio>
#include <vector>

#include "support/handles.h"

namespace test {
namespace {

// A memory device context compatible with another one.
class MemoryDc {
 public:
  explicit MemoryDc(HDC like) : dc_(CreateCompatibleDC(like)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() { DeleteDC(dc_); }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// The device context of the whole screen.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() { ReleaseDC(nullptr, dc_); }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

bool save_bitmap_file(HDC source, int x, int y, int width, int height, const std::wstring& path) {
  if (!source || width <= 0 || height <= 0) return false;
  const MemoryDc memory(source);
  kv::unique_gdi_object bitmap(CreateCompatibleBitmap(source, width, height));
  if (!memory.get() || !bitmap) return false;
  {
    kv::scoped_select selection(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, source, x, y, SRCCOPY);
  }

  BITMAPINFOHEADER header{sizeof(header), width, height, 1, 24, BI_RGB};
  const int stride = (width * 3 + 3) & ~3;
  std::vector<BYTE> pixels(static_cast<std::size_t>(stride) * height);
  if (!GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, height, pixels.data(),
                 reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS))
    return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  const bool written = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1 &&
                       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return fclose(out) == 0 && written;
}

bool save_window_from_screen(HWND window, const std::wstring& path) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const ScreenDc screen;
  return save_bitmap_file(screen.get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, path);
}

}  // namespace test
