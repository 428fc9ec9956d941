// Conversions between the Raster image and Qt's QImage: the clipboard hands over QImages, and
// the picker and the open dialog's preview draw Raster images.
#pragma once

#include <QImage>
#include <memory>

#include "raster/bitmap.h"

namespace pamirune {

// A 24-bit Raster image of the QImage. Pixels with an alpha channel are laid over white, as
// the clipboard's bitmap has no transparency. Raises EImageTooLarge past the pixel limit (before
// allocating) and returns an empty image for a null QImage.
TBitmap BitmapFromQImage(const QImage& image);

// An opaque QImage (RGB32) of any Raster image.
QImage QImageFromBitmap(const TBitmap& bitmap);

}  // namespace pamirune
