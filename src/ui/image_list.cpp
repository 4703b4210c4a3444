#include "ui/image_list.h"

namespace ui {

bool ImageList::Create(int width, int height, UINT flags, int initial, int grow) {
  list_.reset(ImageList_Create(width, height, flags, initial, grow));
  return static_cast<bool>(list_);
}

int ImageList::AddIcon(HICON icon) { return list_ && icon ? ImageList_ReplaceIcon(list_.get(), -1, icon) : -1; }

int ImageList::Count() const { return list_ ? ImageList_GetImageCount(list_.get()) : 0; }

}  // namespace ui
