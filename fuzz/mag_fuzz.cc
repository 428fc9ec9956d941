// Fuzz target of the MAG reader: any bytes either load or fail with a pamirune::Exception. A
// loaded image must encode again and read back to the same pixels.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/mag/mag_image.h"
#include "fuzz_limits.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  try {
    TBufferStream in(data, size);
    TMAGImage image;
    image.LoadFromStream(in);
    if (image.Empty() || image.Width() * static_cast<int64_t>(image.Height()) > (1 << 20)) return 0;
    image.SetComment("again");  // forces a new encoding
    TMemoryStream out;
    image.SaveToStream(out);
    out.Seek(0);
    TMAGImage back;
    back.LoadFromStream(out);
    const TBitmap& a = *image.Raster();
    const TBitmap& b = *back.Raster();
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Bits() != b.Bits() ||
        a.Palette() != b.Palette())
      std::abort();
  } catch (const pamirune::Exception&) {
  }
  return 0;
}
