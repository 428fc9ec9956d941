// Fuzz target of the GIF reader: load, render frame 0, save and load the result again.
// The last input byte chooses the encoder used for the re-save.
#include <cstddef>
#include <cstdint>

#include "formats/gif/gif.h"
#include "fuzz_limits.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  TBufferStream input(data, size);
  TGIFImage gif;
  gif.OnWarning = [](TGIFSeverity, const std::string&) {};
  try {
    gif.LoadFromStream(input);
    TBitmap frame0;
    gif.ToBitmap(frame0);
    if (size > 0 && (data[size - 1] & 1)) gif.SetCompression(TGIFCompression::gcRLE);
    TMemoryStream saved;
    gif.SaveToStream(saved);
    saved.Seek(0);
    TGIFImage again;
    again.OnWarning = gif.OnWarning;
    again.LoadFromStream(saved);
  } catch (const Exception&) {
  }
  return 0;
}
