#pragma once
// An image list owned by the program (the language box's flags).

#include <windows.h>

#include <commctrl.h>

#include "support/handles.h"

namespace ui {

class ImageList {
 public:
  // Creates the list: images of width by height pixels with flags (ILC_COLOR24...), room for
  // initial images, growing by grow. Replaces a list created before. False on failure.
  bool Create(int width, int height, UINT flags, int initial, int grow);
  // Appends a copy of icon, scaled to the images' size. Returns its index, -1 on failure.
  int AddIcon(HICON icon);
  int Count() const;
  HIMAGELIST get() const { return list_.get(); }

 private:
  kv::unique_himagelist list_;
};

}  // namespace ui
