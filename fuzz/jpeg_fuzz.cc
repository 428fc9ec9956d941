// Fuzz target of the JPEG reader: header, then decoding with options taken from the last
// input byte (scale, greyscale, 8-bit output, best speed, progressive display, smoothing).
// Any input either decodes or fails with a pamirune::Exception.
#include <cstdint>
#include <cstdlib>

#include "formats/jpeg/jpeg_image.h"
#include "fuzz_limits.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  if (size == 0) return 0;
  const uint8_t options = data[size - 1];
  try {
    TBufferStream in(data, size);
    TJPEGImage jpeg;
    jpeg.LoadFromStream(in);
    const int64_t pixels = static_cast<int64_t>(jpeg.Width()) * jpeg.Height();
    if (pixels > (int64_t{1} << 22)) return 0;  // keep each run short
    jpeg.SetScale(static_cast<TJPEGScale>(options & 3));
    jpeg.SetGrayscale(options & 4);
    jpeg.SetPixelFormat(options & 8 ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit);
    jpeg.SetPerformance(options & 16 ? TJPEGPerformance::jpBestSpeed
                                     : TJPEGPerformance::jpBestQuality);
    jpeg.SetProgressiveDisplay((options & 32) && pixels <= 256 * 256);
    jpeg.SetSmoothing(options & 64);
    TBitmap out;
    out.Assign(jpeg);
    if (out.Empty()) std::abort();  // a decoded JPEG always has pixels
    if (options & 128) {
      TJPEGImage again;
      again.Assign(out);
      again.SetCompressionQuality(options & 127);
      again.Compress();
      if (again.Data().stream.empty()) std::abort();
    }
  } catch (const pamirune::Exception&) {
  }
  return 0;
}
