// The frames of the converter's GIF files. Every source image becomes one frame at (0, 0);
// frame 0 carries the looping extension (loop for ever) and every frame a graphic control
// extension with the delay and, on request, the transparent colour.
#pragma once

#include <string>

#include "formats/gif/gif.h"

namespace pamirune {

// Where the transparent colour comes from when it is chosen per image.
struct GifTransparentPick {
  bool per_image = false;  // the transparent colour is chosen per image
  int x = 0;               // the picked point, in the coordinates of the image the picker showed
  int y = 0;
  // Size of the image the picker showed. When given and different from the frame's (the image
  // was scaled after picking), the point is scaled to the frame. 0 = the frame's own size.
  int source_width = 0;
  int source_height = 0;
  TColor colour = 0;  // the picked colour (clipboard conversion)
};

// The delay in hundredths of a second for the text of the delay field: 30 for an empty text,
// limited to 0..65535. A text that is no integer raises an Exception.
int GifDelayFromText(const std::string& text);

// Adds the image as a new frame and returns its index: the loop extension on frame 0, then a
// graphic control extension (disposal 0, the delay of delay_text) which, when transparent is
// set, marks the colour index of the frame at (0, 0) or at the picked point transparent.
int AddGifFrame(TGIFImage& gif, const TBitmap& dib_as_bitmap, bool transparent,
                const std::string& delay_text, const GifTransparentPick& pick = {});

// The clipboard variant: the delay is always 30, and a colour picked per image is made
// transparent by its RGB value (its index in the frame's colour map, appended when absent).
int AddClipGifFrame(TGIFImage& gif, const TBitmap& dib_as_bitmap, bool transparent,
                    const GifTransparentPick& pick = {});

}  // namespace pamirune
