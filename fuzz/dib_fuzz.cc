// Loads a BMP stream (or, by the last byte, a packed DIB) through DibImage, then changes its
// pixel format, renders it to a TBitmap and saves it again.
#include <cstdint>
#include <cstdlib>

#include "raster/dib_image.h"
#include "raster/errors.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// True when the header asks for more pixels than a fuzzing run should allocate (the pixel limit
// itself is tested elsewhere; here it would only make the run slow).
bool TooLarge(const uint8_t* header, size_t size) {
  if (size < 12) return false;
  int64_t w, h;
  if (Le32(header) == 12) {
    w = header[4] | (header[5] << 8);
    h = header[6] | (header[7] << 8);
  } else {
    w = static_cast<int32_t>(Le32(header + 4));
    h = static_cast<int32_t>(Le32(header + 8));
  }
  return std::llabs(w) * std::llabs(h) > (int64_t{1} << 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t options = data[size - 1];
  const bool packed = options & 0x80;
  if (packed ? TooLarge(data, size) : size > 14 && TooLarge(data + 14, size - 14)) return 0;
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
