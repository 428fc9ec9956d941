// Sample pictures for tests: deterministic, each with many distinct colours.
#pragma once

#include <cstdint>

#include "raster/bitmap.h"

namespace pamirune::testing {

// A bitmap of the format with pixel (x, y) set to colour(x, y); each depth keeps what it can
// hold of the colour.
template <typename Colour>
TBitmap BitmapOf(int width, int height, TPixelFormat format, Colour colour) {
  TBitmap b(width, height, format);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.SetPixel(x, y, colour(x, y));
  return b;
}

// Colours that change from pixel to pixel in all three channels, with no smooth run anywhere.
inline TBitmap PatternBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
  return BitmapOf(width, height, format, [](int x, int y) {
    return RGB(static_cast<uint8_t>(x * 37 + y), static_cast<uint8_t>(y * 53),
               static_cast<uint8_t>(x * y * 7 + 11));
  });
}

// Red from 0 to 255 across, green from 0 to 255 down, blue a fine pattern over both: smooth
// areas, and the corners hold the extremes.
inline TBitmap RampBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit) {
  return BitmapOf(width, height, format, [width, height](int x, int y) {
    return RGB(static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1)),
               static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1)),
               static_cast<uint8_t>((x * 7 + y * 13) & 0xFF));
  });
}

}  // namespace pamirune::testing
