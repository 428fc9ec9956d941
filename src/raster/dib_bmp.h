// BMP files and packed DIBs (info header, colour table and pixels in one block, the clipboard's
// DIB form) read into and written from DibData.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/dib_data.h"
#include "raster/stream.h"

namespace pamirune {

// Reads a BMP file from the stream's position to its end. Headers of 12 (OS/2), 40, 52, 56,
// 108 and 124 bytes are understood; 16- and 32-bit pixels (plain or with bit-field masks) become
// 24 bits, top-down rows become bottom-up, RLE data is kept compressed. A stream with no bytes
// left yields an empty image. Errors are EDibError ("LoadBmp: ...") or EImageTooLarge.
// Leniencies: pixel rows missing at the end of the file read as 0; a colour table cut short by
// the pixel offset or the file's end keeps the entries present; the planes field is ignored.
DibData ReadBmpDib(TStream& stream);
// Writes a BMP file: always a 40-byte info header, offsets 54 + 4 * colours.
void WriteBmpDib(const DibData& data, TStream& stream);
// The same file from the header and colour table of layout and pixel rows kept elsewhere (a
// DIB image's pixels handed to a bitmap), without copying them back.
void WriteBmpDib(const DibData& layout, const std::vector<uint8_t>& bits, TStream& stream);

// The packed-DIB form; the pixels follow the colour table directly.
DibData ReadPackedDib(const uint8_t* bytes, size_t size);
std::vector<uint8_t> WritePackedDib(const DibData& data);

}  // namespace pamirune
