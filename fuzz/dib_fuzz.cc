// Loads a BMP stream (or, by the last byte, a packed DIB) through DibImage, then changes its
// pixel format, renders it to a TBitmap and saves it again.
#include <cstdint>

#include "fuzz_limits.h"
#include "raster/dib_image.h"
#include "raster/errors.h"

// Conversions between depths cost several passes: smaller images than elsewhere.
static const fuzz::PixelLimit kLimit(int64_t{1} << 16);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[size - 1];
  const bool packed = options & 0x80;
  using pamirune::DibPixelFormat;
  try {
    pamirune::DibImage dib;
    if (packed) {
      dib.LoadFromClipboardFormat(data, size);
    } else {
      pamirune::TBufferStream stream(data, size);
      dib.LoadFromStream(stream);
    }
    static const DibPixelFormat kTargets[] = {DibPixelFormat::k24Bit, DibPixelFormat::k8Bit,
                                              DibPixelFormat::k4Bit, DibPixelFormat::k1Bit};
    dib.SetConvertMode(options & 0x40 ? 1 : 0);
    dib.SetPixelFormat(kTargets[options & 3]);
    if (options & 0x10) dib.SetPixelFormat(DibPixelFormat::k8Bit);
    pamirune::TBitmap bitmap;
    bitmap.Assign(dib);
    pamirune::TMemoryStream out;
    dib.SaveToStream(out);
  } catch (const pamirune::Exception&) {
  }
  return 0;
}
