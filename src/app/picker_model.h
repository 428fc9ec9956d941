// The transparent-colour picker "透過色指定": the image is shown at its natural size from the
// top-left corner and a click on a pixel makes its colour the transparent colour.
//
// The view keeps one PickerModel for the life of the program: the picked colour stays from one
// showing to the next, the point is reset to 0 at every showing.
#pragma once

#include <string>

#include "app/dialog_models.h"
#include "raster/bitmap.h"

namespace pamirune {

// The bottom bar's colour before the first pick (the button face).
inline constexpr TColor kButtonFaceColour = RGB(0xF0, 0xF0, 0xF0);

class PickerModel {
 public:
  // Shows the picker for an image: the point labels go back to "0", the colour stays. The
  // image must outlive the showing.
  void Activate(const TBitmap& image);
  // A press on the image area at (x, y). A point outside the image is ignored (false).
  bool MousePress(int x, int y);
  // Closing by "OK" or by the title bar: the answer.
  PickerResult Close();

  TColor Colour() const { return colour_; }  // the bottom bar's background
  bool Picked() const { return picked_; }
  int X() const { return x_; }
  int Y() const { return y_; }
  std::string XText() const { return std::to_string(x_); }
  std::string YText() const { return std::to_string(y_); }
  // The default bar colour, when the view knows the desktop's button face.
  void SetDefaultColour(TColor colour) {
    if (!picked_) colour_ = colour;
  }

 private:
  const TBitmap* image_ = nullptr;
  TColor colour_ = kButtonFaceColour;
  bool picked_ = false;
  int x_ = 0;
  int y_ = 0;
};

}  // namespace pamirune
