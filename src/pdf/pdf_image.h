// The image creator registered as "Pdf-Bitmap": turns a Raster image into an image object,
// 8-bit indexed with a 256-entry palette or 24-bit DeviceRGB, always deflated.
#pragma once

#include <memory>

#include "pdf/pdf_doc.h"
#include "raster/bitmap.h"

namespace pamirune {

class TPdfBitmapImage : public TPdfImageCreator {
 public:
  // 1, 4 and 8 bits per pixel become 8-bit indices into the image's palette; every other
  // depth becomes 24-bit RGB. Rows run from top to bottom without padding.
  std::unique_ptr<TPdfImage> CreateImage(const TGraphic& image) override;
};

}  // namespace pamirune
