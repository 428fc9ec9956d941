#include "raster/dib_data.h"

#include <new>

#include "raster/bitmap.h"

namespace pamirune {

std::optional<DibPixelFormat> DibData::Format() const {
  return DibFormatOf(header.bit_count, header.compression);
}

int DibData::Stride() const { return static_cast<int>(RowBytes(header.width, header.bit_count)); }

std::optional<DibPixelFormat> DibFormatOf(int bit_count, uint32_t compression) {
  if (compression == kBiRgb) {
    switch (bit_count) {
      case 1:
        return DibPixelFormat::k1Bit;
      case 4:
        return DibPixelFormat::k4Bit;
      case 8:
        return DibPixelFormat::k8Bit;
      case 24:
        return DibPixelFormat::k24Bit;
      default:
        return std::nullopt;
    }
  }
  if (compression == kBiRle4 && bit_count == 4) return DibPixelFormat::k4BitRle;
  if (compression == kBiRle8 && bit_count == 8) return DibPixelFormat::k8BitRle;
  return std::nullopt;
}

DibData MakeDib(int width, int height, int bit_count, std::vector<TRGBQuad> colors,
                int32_t x_pels_per_meter, int32_t y_pels_per_meter) {
  int64_t bytes = CheckedImageBytes(width, height, bit_count);
  DibData data;
  data.header.width = width;
  data.header.height = height;
  data.header.bit_count = static_cast<uint16_t>(bit_count);
  data.header.compression = kBiRgb;
  data.header.x_pels_per_meter = x_pels_per_meter ? x_pels_per_meter : kDefaultPelsPerMeter;
  data.header.y_pels_per_meter = y_pels_per_meter ? y_pels_per_meter : kDefaultPelsPerMeter;
  if (bit_count > 8) colors.clear();
  if (bit_count <= 8 && colors.size() > (size_t{1} << bit_count))
    colors.resize(size_t{1} << bit_count);
  data.colors = std::move(colors);
  AllocateDibBits(data.bits, static_cast<size_t>(bytes));
  SyncDibHeader(data);
  return data;
}

void AllocateDibBits(std::vector<uint8_t>& bits, size_t size) {
  try {
    bits.assign(size, 0);
  } catch (const std::bad_alloc&) {
    throw EDibError("GetMemory: Cannot Make File Mapping Object");
  }
}

void SyncDibHeader(DibData& data) {
  data.header.size = 40;
  data.header.planes = 1;
  data.header.size_image = static_cast<uint32_t>(data.bits.size());
  data.header.clr_used = static_cast<uint32_t>(data.colors.size());
  if (data.header.clr_important > data.header.clr_used) data.header.clr_important = 0;
}

}  // namespace pamirune
