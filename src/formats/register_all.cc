#include "formats/register_all.h"

namespace pamirune {

void RegisterGraphicKinds() {
  static bool done = false;
  if (done) return;
  done = true;
  // Each format adds its entries here as it lands, in the registry order:
  // PNG, dib, jpeg/jpg, MAG, GIF, tif, bmp (the TIFF-capable bitmap).
}

}  // namespace pamirune
