// Fuzz target of the TIFF reader: load (warnings dropped), bring the picture to 8 bits as the
// conversion does, then save the image again with the options chosen by the last input byte
// and load the result.
#include <cstddef>
#include <cstdint>

#include "formats/tiff/tiff.h"
#include "fuzz_limits.h"
#include "raster/dib_image.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  TBufferStream input(data, size);
  TTIFFBitMap tiff;
  tiff.OnWarning = [](const std::string&, const std::string&) {};
  try {
    tiff.LoadFromStream(input);
    // The conversion's way to a fixed depth, empty pictures included.
    TBitmap loaded;
    tiff.ToBitmap(loaded);
    DibImage dib;
    dib.Assign(loaded);
    dib.SetPixelFormat(DibPixelFormat::k8Bit);
    dib.ToBitmap(loaded);
    if (tiff.Empty() || int64_t{tiff.Width()} * tiff.Height() > (int64_t{1} << 22)) return 0;
    uint8_t options = size > 0 ? data[size - 1] : 0;
    tiff.SetCompress(options & 1);
    tiff.SetPredict(options & 2);
    tiff.SetAskForOptions(false);
    TMemoryStream saved;
    tiff.SaveToStream(saved);
    saved.Seek(0);
    TTIFFBitMap again;
    again.OnWarning = tiff.OnWarning;
    again.LoadFromStream(saved);
  } catch (const Exception&) {
  }
  return 0;
}
