// Fuzz target of the PNG reader. The last input byte picks the reading options and the
// options of a re-encoding, so one target covers the reader's and the writer's paths.
#include <cstddef>
#include <cstdint>

#include "formats/png/png_reader.h"
#include "formats/png/png_writer.h"
#include "fuzz_limits.h"
#include "raster/errors.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  uint8_t choice = size ? data[size - 1] : 0;
  TBufferStream in(data, size);
  PngReadStream reader(in);
  reader.SetDecode1516(choice & 1);
  reader.SetPaletteAsGrey(choice & 2);
  reader.SetMaxPixels(int64_t{1} << 20);  // keeps a run's memory small
  TBitmap image, alpha;
  PngOptions meta;
  try {
    reader.Read(image, alpha, meta);
    if (image.Empty() || static_cast<int64_t>(image.Width()) * image.Height() > 65536) return 0;
    PngOptions out;
    out.filter_mode = (choice >> 2) % 7;
    out.interlace = (choice >> 5) & 1;
    out.greyscale = (choice >> 6) & 1;
    out.compression_level = 1;
    out.transparent_color = meta.transparent_color;
    out.background_color = meta.background_color;
    TMemoryStream encoded;
    PngWriteStream writer(encoded, out);
    writer.SetClock([] { return PngTime{2000, 1, 1, 0, 0, 0}; });
    writer.SetAlphaMask(meta.alpha_present ? &alpha : nullptr);
    writer.Write(image);
    // What we write, we read.
    encoded.Seek(0);
    PngReadStream again(encoded);
    TBitmap image2, alpha2;
    PngOptions meta2;
    again.Read(image2, alpha2, meta2);
    if (image2.Width() != image.Width() || image2.Height() != image.Height()) __builtin_trap();
  } catch (const Exception&) {
  }
  return 0;
}
