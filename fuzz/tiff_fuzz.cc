// Fuzz target of the TIFF reader: load (warnings dropped), then save the image again with the
// options chosen by the last input byte and load the result.
#include <cstddef>
#include <cstdint>

#include "formats/tiff/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  TBufferStream input(data, size);
  TTIFFBitMap tiff;
  tiff.OnWarning = [](const std::string&, const std::string&) {};
  try {
    tiff.LoadFromStream(input);
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
