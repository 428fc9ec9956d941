// Loads arbitrary bytes as a BMP file through the Raster image, then writes the image back and
// reads it again (the pixels must survive unchanged) and runs a colour-depth change over it.
#include <cstddef>
#include <cstdint>

#include "fuzz_limits.h"
#include "raster/bitmap.h"
#include "raster/errors.h"

static const fuzz::PixelLimit kLimit(int64_t{1} << 20);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
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
