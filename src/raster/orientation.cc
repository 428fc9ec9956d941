#include "raster/orientation.h"

#include <cstring>

namespace pamirune {

namespace {

// Where the shown pixel (x, y) lies in the stored image of size w x h.
struct SourceOf {
  int orientation;
  int w, h;
  void operator()(int x, int y, int& sx, int& sy) const {
    switch (orientation) {
      case 2:
        sx = w - 1 - x;
        sy = y;
        return;
      case 3:
        sx = w - 1 - x;
        sy = h - 1 - y;
        return;
      case 4:
        sx = x;
        sy = h - 1 - y;
        return;
      case 5:
        sx = y;
        sy = x;
        return;
      case 6:
        sx = y;
        sy = h - 1 - x;
        return;
      case 7:
        sx = w - 1 - y;
        sy = h - 1 - x;
        return;
      case 8:
        sx = w - 1 - y;
        sy = x;
        return;
      default:
        sx = x;
        sy = y;
        return;
    }
  }
};

}  // namespace

void ApplyOrientation(TBitmap& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8 || bitmap.Empty()) return;
  const int w = bitmap.Width(), h = bitmap.Height();
  const bool swap = orientation >= 5;
  TBitmap out(swap ? h : w, swap ? w : h, bitmap.PixelFormat());
  out.SetPalette(bitmap.Palette());
  if (bitmap.HasMasks()) {
    const auto& m = bitmap.Masks();
    out.SetMasks(m[0], m[1], m[2]);
  }
  const SourceOf source{orientation, w, h};
  const int bits = bitmap.BitCount();
  const int ow = out.Width(), oh = out.Height();
  int sx = 0, sy = 0;
  if (bits >= 8) {
    const size_t bytes = static_cast<size_t>(bits / 8);
    for (int y = 0; y < oh; ++y) {
      uint8_t* row = out.ScanLine(y);
      for (int x = 0; x < ow; ++x) {
        source(x, y, sx, sy);
        std::memcpy(row + bytes * static_cast<size_t>(x),
                    bitmap.ScanLine(sy) + bytes * static_cast<size_t>(sx), bytes);
      }
    }
  } else {
    for (int y = 0; y < oh; ++y)
      for (int x = 0; x < ow; ++x) {
        source(x, y, sx, sy);
        out.SetRawPixel(x, y, bitmap.RawPixel(sx, sy));
      }
  }
  out.SetTransparent(bitmap.Transparent());
  out.SetTransparentMode(bitmap.TransparentMode());
  if (bitmap.TransparentMode() == TTransparentMode::tmFixed)
    out.SetTransparentColor(bitmap.TransparentColor());
  out.SetResolution(swap ? bitmap.YPelsPerMeter() : bitmap.XPelsPerMeter(),
                    swap ? bitmap.XPelsPerMeter() : bitmap.YPelsPerMeter());
  bitmap = std::move(out);
}

}  // namespace pamirune
