#include "formats/register_all.h"

#include "formats/gif/gif.h"
#include "formats/ico/ico.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/mag/mag_image.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff.h"
#include "raster/dib_image.h"

namespace pamirune {

void RegisterGraphicKinds() {
  static bool done = false;
  if (done) return;
  done = true;
  // In the registry's order; a later entry for the same extension wins.
  RegisterPngGraphic();
  RegisterDibGraphic();
  RegisterJpegGraphic();
  RegisterMagGraphic();
  RegisterGifGraphic();
  RegisterTiffGraphic();  // "tif", and "bmp" through the TIFF-capable bitmap
  RegisterIconGraphic();  // reads ".ico" files (the built-in entry has no reader)
}

}  // namespace pamirune
