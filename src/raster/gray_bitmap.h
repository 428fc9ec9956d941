// Grey conversion of the black-and-white colour mode.
#pragma once

#include "raster/bitmap.h"

namespace pamirune {

// A new 24-bit bitmap of the same size whose pixels are
// grey = round(0.289 R + 0.586 G + 0.114 B) (halves to even) in red, green and blue. The weights
// add up to 0.989, so pure white becomes 252. The source is read in any pixel format.
TBitmap MakeGrayBitmap(const TBitmap& bitmap);
// The same for a bitmap not needed afterwards: 24-bit pixels are turned grey where they are,
// without a second image; bitmap is empty afterwards.
TBitmap MakeGrayBitmap(TBitmap&& bitmap);

// The grey level of one colour by the rule above.
uint8_t GrayLevel(uint8_t red, uint8_t green, uint8_t blue);

}  // namespace pamirune
