// Reading, through libtiff, the TIFF files the program's own reader does not handle. Private to
// this folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raster/bitmap.h"

namespace pamirune::tiff {

// The first page of file (the whole file in memory) as a 24-bit image, in the order its rows
// are stored; orientation receives its Orientation tag (1 when absent or not 1 to 8). Alpha is
// dropped, the colours stay as stored (not multiplied by it).
// Raises EImageTooLarge past the pixel limit (before any pixel memory is taken) and
// EInvalidGraphic when libtiff cannot read the file at all. libtiff's warnings (captioned
// "Loading of Tiff"), and its errors while reading pixels ("Picture reading failed!" and the
// detail, captioned "Error"; the rows read stay), go to warn (message, caption); nothing
// reaches the console.
void ReadWithLibTiff(const std::vector<uint8_t>& file, TBitmap& image, int& orientation,
                     const std::function<void(const std::string&, const std::string&)>& warn);

}  // namespace pamirune::tiff
