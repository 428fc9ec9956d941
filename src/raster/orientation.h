// Turning a picture into the position it is meant to be shown in: the orientation values 1 to 8
// that EXIF (JPEG) and the TIFF Orientation tag share.
#pragma once

#include "raster/bitmap.h"

namespace pamirune {

// 1: as stored; 2: mirrored left-right; 3: turned 180°; 4: mirrored top-bottom; 5: mirrored
// along the main diagonal; 6: stored turned left (shown turned 90° clockwise); 7: mirrored
// along the other diagonal; 8: stored turned right (shown turned 90° anticlockwise).
// Values 5 to 8 swap width and height. Other values leave the image as it is. Pixel format,
// palette and transparency are kept.
void ApplyOrientation(TBitmap& bitmap, int orientation);

}  // namespace pamirune
