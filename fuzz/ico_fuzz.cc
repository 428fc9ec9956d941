// Fuzz target of the icon reader: load, draw at the chosen entry's size, and write the drawing
// again with either writer (chosen by the last input byte).
#include <cstddef>
#include <cstdint>

#include "formats/ico/ico.h"
#include "fuzz_limits.h"

static const fuzz::PixelLimit kLimit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  TBufferStream input(data, size);
  TIcon icon;
  try {
    icon.LoadFromStream(input);
    TBitmap drawn;
    icon.ToBitmap(drawn);
    if (size > 0 && (data[size - 1] & 1)) {
      IconBuilder builder;
      builder.EncodeIcon(builder.MakeIcon(drawn, 16 + (data[size - 1] & 16)));
    } else {
      DibImage dib;
      dib.Assign(drawn);
      EncodeOpaqueIcon(dib);
    }
  } catch (const Exception&) {
  }
  return 0;
}
