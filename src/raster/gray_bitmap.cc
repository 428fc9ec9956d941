#include "raster/gray_bitmap.h"

#include <algorithm>

#include "raster/dib_image.h"

namespace pamirune {

uint8_t GrayLevel(uint8_t red, uint8_t green, uint8_t blue) {
  // In thousandths, exactly, so that halves are recognised and go to the even neighbour.
  int thousandths = 289 * red + 586 * green + 114 * blue;
  int grey = thousandths / 1000;
  int rest = thousandths % 1000;
  if (rest > 500 || (rest == 500 && (grey & 1))) ++grey;
  return static_cast<uint8_t>(std::clamp(grey, 0, 255));
}

namespace {

// One row of 24-bit pixels to grey; in and out may be the same row.
void GreyRow(const uint8_t* in, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x) {
    uint8_t v = GrayLevel(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = v;
  }
}

}  // namespace

TBitmap MakeGrayBitmap(const TBitmap& bitmap) {
  // Read through the DIB image, which brings every pixel format to 24 bits row by row.
  DibImage dib;
  dib.Assign(bitmap);
  dib.SetPixelFormat(DibPixelFormat::k24Bit);
  const DibData& source = dib.Data();
  TBitmap grey(source.Width(), source.Height(), TPixelFormat::pf24bit);
  grey.SetResolution(bitmap.XPelsPerMeter(), bitmap.YPelsPerMeter());
  for (int y = 0; y < source.Height(); ++y)
    GreyRow(source.ScanLine(y), grey.ScanLine(y), source.Width());
  return grey;
}

TBitmap MakeGrayBitmap(TBitmap&& bitmap) {
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit || bitmap.Empty())
    return MakeGrayBitmap(static_cast<const TBitmap&>(bitmap));
  // Already 24 bits: the pixels turn grey where they are, in a bitmap as new as the copy's.
  const int width = bitmap.Width(), height = bitmap.Height();
  TBitmap grey(width, height, TPixelFormat::pf24bit, std::move(bitmap.Bits()));
  grey.SetResolution(bitmap.XPelsPerMeter(), bitmap.YPelsPerMeter());
  bitmap = TBitmap();
  for (int y = 0; y < height; ++y) GreyRow(grey.ScanLine(y), grey.ScanLine(y), width);
  return grey;
}

}  // namespace pamirune
