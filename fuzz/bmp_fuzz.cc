// Loads arbitrary bytes as a BMP file through the Raster image, then writes the image back and
// reads it again (the pixels must survive unchanged) and runs a colour-depth change over it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace {

// Large but valid images only cost time: skip headers claiming more than 4 million pixels.
bool TooLarge(const uint8_t* data, size_t size) {
  if (size < 26) return false;
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(data[at] | (data[at + 1] << 8)); };
  auto s32 = [&](size_t at) { return static_cast<int32_t>(u16(at) | (u16(at + 2) << 16)); };
  int64_t w, h;
  if (u16(14) == 12 && u16(16) == 0) {
    w = u16(18), h = u16(20);
  } else {
    w = s32(18), h = s32(22);
  }
  return std::llabs(w) * std::llabs(h) > (int64_t{1} << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  if (TooLarge(data, size)) return 0;
  try {
    TBufferStream in(data, size);
    TBitmap image;
    image.LoadFromStream(in);
    if (image.Empty()) return 0;
    TMemoryStream out;
    image.SaveToStream(out);
    out.Seek(0);
    TBitmap again;
    again.LoadFromStream(out);
    if (again.Bits() != image.Bits() || again.PixelFormat() != image.PixelFormat()) std::abort();
    (void)image.TransparentColor();
    image.SetPixelFormat(size % 2 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    TBitmap small(7, 5, TPixelFormat::pf4bit);
    small.StretchDraw({-1, 0, 9, 5}, image);
  } catch (const Exception&) {
  }
  return 0;
}
