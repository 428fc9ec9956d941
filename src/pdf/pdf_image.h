// The image creator registered as "Pdf-Bitmap": turns a Raster image into an image object,
// 8-bit indexed with a 256-entry palette or 24-bit DeviceRGB, always deflated.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/pdf_doc.h"
#include "raster/bitmap.h"

namespace pamirune {

class TPdfBitmapImage : public TPdfImageCreator {
 public:
  // 1, 4 and 8 bits per pixel become 8-bit indices into the image's palette; every other
  // depth becomes 24-bit RGB. Rows run from top to bottom without padding.
  std::unique_ptr<TPdfImage> CreateImage(const TGraphic& image) override;
};

// The image object of a Raster image as the creator makes it, without its data: ColorSpace,
// Width, Height, BitsPerComponent and /FlateDecode.
std::unique_ptr<TPdfImage> BitmapImageObject(const TBitmap& bitmap);
// The data of that object, deflated at level 9. Reads the bitmap only, so that it may run on
// another thread while the bitmap is left alone.
std::vector<uint8_t> DeflateBitmapImageData(const TBitmap& bitmap);

}  // namespace pamirune
