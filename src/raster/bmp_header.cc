#include "raster/bmp_header.h"

#include <algorithm>
#include <cstring>

#include "raster/byte_order.h"

namespace pamirune {

BmpInfoHeader DecodeBmpInfoHeader(const uint8_t* p, size_t n) {
  uint8_t b[52] = {};
  std::memcpy(b, p, std::min(n, sizeof b));
  BmpInfoHeader h;
  h.size = GetLe32(b);
  h.core = h.size == kBmpCoreHeaderSize;
  if (h.core) {
    h.width = GetLe16(b + 4);
    h.height = GetLe16(b + 6);
    h.planes = GetLe16(b + 8);
    h.bit_count = GetLe16(b + 10);
    return h;
  }
  h.width = static_cast<int32_t>(GetLe32(b + 4));
  h.height = static_cast<int32_t>(GetLe32(b + 8));
  h.planes = GetLe16(b + 12);
  h.bit_count = GetLe16(b + 14);
  h.compression = GetLe32(b + 16);
  h.size_image = GetLe32(b + 20);
  h.x_pels_per_meter = static_cast<int32_t>(GetLe32(b + 24));
  h.y_pels_per_meter = static_cast<int32_t>(GetLe32(b + 28));
  h.clr_used = GetLe32(b + 32);
  h.clr_important = GetLe32(b + 36);
  if (n >= 52)
    for (int i = 0; i < 3; ++i) h.masks[i] = GetLe32(b + 40 + 4 * i);
  return h;
}

void AppendBmpInfoHeader(std::vector<uint8_t>& out, const BmpInfoHeader& h) {
  AppendLe32(out, kBmpInfoHeaderSize);
  AppendLe32(out, static_cast<uint32_t>(h.width));
  AppendLe32(out, static_cast<uint32_t>(h.height));
  AppendLe16(out, h.planes);
  AppendLe16(out, h.bit_count);
  AppendLe32(out, h.compression);
  AppendLe32(out, h.size_image);
  AppendLe32(out, static_cast<uint32_t>(h.x_pels_per_meter));
  AppendLe32(out, static_cast<uint32_t>(h.y_pels_per_meter));
  AppendLe32(out, h.clr_used);
  AppendLe32(out, h.clr_important);
}

}  // namespace pamirune
