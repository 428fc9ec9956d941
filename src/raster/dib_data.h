// The device-independent bitmap held by DibImage: a 40-byte Windows info header, a colour table
// and the packed pixel rows (bottom-up, each padded to 4 bytes; for the RLE formats the
// compressed stream). DibImage shares one DibData between its copies.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "raster/bmp_header.h"
#include "raster/errors.h"
#include "raster/graphic.h"

namespace pamirune {

// The six pixel formats, numbered as DibImage numbers them.
enum class DibPixelFormat {
  k1Bit = 0,
  k4Bit = 1,
  k4BitRle = 2,
  k8Bit = 3,
  k8BitRle = 4,
  k24Bit = 5,
};

// Resolution given to a header whose resolution is 0 (96 dots per inch).
constexpr int32_t kDefaultPelsPerMeter = 3780;

// Errors of the DIB image: conversions, RLE decoding and BMP loading.
class EDibError : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

struct DibInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 1;
  uint16_t bit_count = 24;
  uint32_t compression = kBiRgb;
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = kDefaultPelsPerMeter;
  int32_t y_pels_per_meter = kDefaultPelsPerMeter;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
};

// Invariants kept by every producer: height >= 0; size_image == bits.size(); clr_used ==
// colors.size(); uncompressed formats hold exactly Stride() * height bytes.
struct DibData {
  DibInfoHeader header;
  std::vector<TRGBQuad> colors;
  std::vector<uint8_t> bits;

  int Width() const { return header.width; }
  int Height() const { return header.height; }
  bool Empty() const { return header.width == 0 || header.height == 0; }
  int BitCount() const { return header.bit_count; }
  // The format named by bit count and compression; nullopt for a combination none names.
  std::optional<DibPixelFormat> Format() const;
  // Bytes of one uncompressed row.
  int Stride() const;
  // Uncompressed rows, counted from the top as TBitmap::ScanLine counts them.
  uint8_t* ScanLine(int y) {
    return bits.data() + static_cast<size_t>(Height() - 1 - y) * Stride();
  }
  const uint8_t* ScanLine(int y) const {
    return bits.data() + static_cast<size_t>(Height() - 1 - y) * Stride();
  }
};

std::optional<DibPixelFormat> DibFormatOf(int bit_count, uint32_t compression);

// A zero-filled uncompressed DIB of the given size and depth (1, 4, 8 or 24) with the colour
// table colors. Resolutions of 0 become 3780. Refuses sizes over the pixel limit before
// allocating (EImageTooLarge).
DibData MakeDib(int width, int height, int bit_count, std::vector<TRGBQuad> colors = {},
                int32_t x_pels_per_meter = 0, int32_t y_pels_per_meter = 0);

// Sizes a pixel buffer, zero-filled. An allocation failure raises
// EDibError("GetMemory: Cannot Make File Mapping Object") rather than escaping as std::bad_alloc.
void AllocateDibBits(std::vector<uint8_t>& bits, size_t size);

// Sets size_image and clr_used from the buffers after a producer filled them.
void SyncDibHeader(DibData& data);

}  // namespace pamirune
