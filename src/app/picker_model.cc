#include "app/picker_model.h"

namespace pamirune {

void PickerModel::Activate(const TBitmap& image) {
  image_ = &image;
  x_ = 0;
  y_ = 0;
}

bool PickerModel::MousePress(int x, int y) {
  // Outside the image (the window is larger than the image) there is no pixel to read.
  if (!image_ || x < 0 || y < 0 || x >= image_->Width() || y >= image_->Height()) return false;
  colour_ = image_->Pixel(x, y);
  picked_ = true;
  x_ = x;
  y_ = y;
  return true;
}

PickerResult PickerModel::Close() {
  image_ = nullptr;
  PickerResult result;
  result.color = colour_;
  result.x = x_;
  result.y = y_;
  result.picked = picked_;
  return result;
}

}  // namespace pamirune
