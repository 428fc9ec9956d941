#include "raster/dib_bmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "raster/bitmap.h"
#include "raster/bmp_header.h"
#include "raster/byte_order.h"
#include "raster/channel_mask.h"

namespace pamirune {

namespace {

[[noreturn]] void Fail(const char* what) { throw EDibError(std::string("LoadBmp: ") + what); }

constexpr char kEndOfFile[] = "Unexpected End of File";

struct ParsedHeader {
  DibInfoHeader info;
  size_t header_size = 0;
  bool core = false;  // 12-byte OS/2 header, 3-byte colour entries
  std::array<uint32_t, 3> masks{};
  bool has_masks = false;
  size_t masks_after_header = 0;  // 12 when a 40-byte header is followed by the masks
  bool top_down = false;
};

ParsedHeader ParseHeader(const uint8_t* p, size_t n) {
  ParsedHeader h;
  if (n < 4) Fail(kEndOfFile);
  uint32_t size = GetLe32(p);
  if (size != 12 && size != 40 && size != 52 && size != 56 && size != 108 && size != 124)
    Fail("Unknown Header Size");
  if (n < size) Fail(kEndOfFile);
  h.header_size = size;
  const BmpInfoHeader fields = DecodeBmpInfoHeader(p, n);
  DibInfoHeader& info = h.info;
  h.core = fields.core;
  if (fields.width <= 0 || fields.height == 0 ||
      fields.height == std::numeric_limits<int32_t>::min())
    Fail("Invalid Width or Height");
  int64_t height = fields.height;
  info.width = static_cast<int32_t>(fields.width);
  info.bit_count = static_cast<uint16_t>(fields.bit_count);
  info.compression = fields.compression;
  info.size_image = fields.size_image;
  info.x_pels_per_meter = fields.x_pels_per_meter;
  info.y_pels_per_meter = fields.y_pels_per_meter;
  info.clr_used = fields.clr_used;
  info.clr_important = fields.clr_important;
  if (height < 0) {
    h.top_down = true;
    height = -height;
  }
  info.height = static_cast<int32_t>(height);
  const int bits = info.bit_count;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Fail("Invalid Bitcount");
  const uint32_t c = info.compression;
  bool combination_ok = c == kBiRgb || (c == kBiRle8 && bits == 8) || (c == kBiRle4 && bits == 4) ||
                        (c == kBiBitfields && (bits == 16 || bits == 32));
  if (!combination_ok) Fail("Invalid Bitcount & Compression Combination");
  if (h.top_down && c != kBiRgb && c != kBiBitfields)
    Fail("Invalid Bitcount & Compression Combination");
  if (c == kBiBitfields) {
    if (size == 40) {
      if (n < 52) Fail(kEndOfFile);
      h.masks_after_header = 12;
    }
    h.masks = fields.masks;
    h.has_masks = true;
    // Each mask is one run of bits inside the pixel, and no two masks overlap.
    uint32_t seen = 0;
    uint32_t limit = bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    for (uint32_t mask : h.masks) {
      if (!MaskIsContiguous(mask) || (mask & ~limit) || (mask & seen)) Fail("Invalid Color Masks");
      seen |= mask;
    }
  } else if (bits == 16) {
    h.masks = {0x7C00, 0x03E0, 0x001F};
    h.has_masks = true;
  } else if (bits == 32) {
    h.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    h.has_masks = true;
  }
  return h;
}

// Parses the DIB that starts at p[0] (its info header). pixel_offset counts from p; nullopt
// means the pixels follow the colour table.
DibData ParseDib(const uint8_t* p, size_t n, std::optional<size_t> pixel_offset) {
  ParsedHeader h = ParseHeader(p, n);
  DibInfoHeader& info = h.info;
  const int bits = info.bit_count;
  const size_t table_start = h.header_size + h.masks_after_header;
  const size_t entry = h.core ? 3 : 4;
  if (pixel_offset && *pixel_offset < table_start) Fail("Invalid Pixel Offset");

  // The colour table, as far as it is present before the pixels and in the data.
  size_t colours = 0;
  if (bits <= 8) {
    size_t full = size_t{1} << bits;
    colours = (h.core || info.clr_used == 0) ? full : std::min<size_t>(info.clr_used, full);
  }
  size_t table_end_limit = pixel_offset ? std::min(*pixel_offset, n) : n;
  colours = std::min(colours, (table_end_limit - std::min(table_end_limit, table_start)) / entry);
  // In a packed DIB the pixels follow the table; above 8 bits a table of clr_used entries
  // may still be present and is skipped.
  size_t skipped = colours;
  if (bits > 8 && !h.core) skipped = std::min<size_t>(info.clr_used, n / entry);
  const size_t pixels_at = pixel_offset ? *pixel_offset : table_start + skipped * entry;

  const int out_bits = bits > 8 ? 24 : bits;
  const int width = info.width, height = info.height;
  int64_t image_bytes = CheckedImageBytes(width, height, out_bits);

  DibData data;
  data.colors.resize(colours);
  for (size_t i = 0; i < colours; ++i) {
    const uint8_t* q = p + table_start + i * entry;
    data.colors[i] = {q[0], q[1], q[2], 0};
  }
  data.header = info;
  data.header.bit_count = static_cast<uint16_t>(out_bits);
  if (data.header.x_pels_per_meter == 0) data.header.x_pels_per_meter = kDefaultPelsPerMeter;
  if (data.header.y_pels_per_meter == 0) data.header.y_pels_per_meter = kDefaultPelsPerMeter;

  const uint8_t* pixels = p + std::min(pixels_at, n);
  const size_t available = n - std::min(pixels_at, n);

  if (info.compression == kBiRle8 || info.compression == kBiRle4) {
    // Kept compressed; the decoders check the stream when the format is changed.
    size_t take = info.size_image ? std::min<size_t>(info.size_image, available) : available;
    data.bits.assign(pixels, pixels + take);
    SyncDibHeader(data);
    return data;
  }

  data.header.compression = kBiRgb;
  AllocateDibBits(data.bits, static_cast<size_t>(image_bytes));
  const size_t in_stride = static_cast<size_t>(RowBytes(width, bits));
  const size_t out_stride = static_cast<size_t>(RowBytes(width, out_bits));
  MaskShape shape[3];
  for (int c = 0; c < 3; ++c) shape[c] = MaskShapeOf(h.masks[c]);
  for (int row = 0; row < height; ++row) {
    // Stored row `row` (in file order) goes to buffer row `target` (bottom-up).
    size_t target = h.top_down ? static_cast<size_t>(height - 1 - row) : static_cast<size_t>(row);
    size_t from = static_cast<size_t>(row) * in_stride;
    if (from >= available) break;  // leniency: rows missing at the end stay 0
    size_t have = std::min(in_stride, available - from);
    const uint8_t* in = pixels + from;
    uint8_t* out = data.bits.data() + target * out_stride;
    if (bits != 16 && bits != 32) {
      std::memcpy(out, in, std::min(have, out_stride));
      continue;
    }
    const int step = bits / 8;
    const int whole = static_cast<int>(std::min<size_t>(width, have / step));
    for (int x = 0; x < whole; ++x) {
      uint32_t v = step == 2 ? GetLe16(in + 2 * x) : GetLe32(in + 4 * x);
      for (int c = 0; c < 3; ++c)
        out[3 * x + 2 - c] = WidenChannel((v & h.masks[c]) >> shape[c].shift, shape[c].bits);
    }
  }
  SyncDibHeader(data);
  return data;
}

void WriteInfoAndTable(const DibData& data, size_t bits_size, std::vector<uint8_t>& out) {
  const DibInfoHeader& h = data.header;
  BmpInfoHeader info;
  info.width = h.width;
  info.height = h.height;
  info.planes = 1;
  info.bit_count = h.bit_count;
  info.compression = h.compression;
  info.size_image = static_cast<uint32_t>(bits_size);
  info.x_pels_per_meter = h.x_pels_per_meter ? h.x_pels_per_meter : kDefaultPelsPerMeter;
  info.y_pels_per_meter = h.y_pels_per_meter ? h.y_pels_per_meter : kDefaultPelsPerMeter;
  info.clr_used = static_cast<uint32_t>(data.colors.size());
  info.clr_important = h.clr_important <= data.colors.size() ? h.clr_important : 0;
  AppendBmpInfoHeader(out, info);
  for (const TRGBQuad& q : data.colors) {
    out.push_back(q.blue);
    out.push_back(q.green);
    out.push_back(q.red);
    out.push_back(0);
  }
}

}  // namespace

DibData ReadBmpDib(TStream& stream) {
  std::vector<uint8_t> bytes = stream.ReadRest();
  if (bytes.empty()) {
    DibData empty;
    SyncDibHeader(empty);
    return empty;
  }
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') Fail("Invalid File Type");
  if (bytes.size() < 14) Fail(kEndOfFile);
  uint32_t offset = GetLe32(bytes.data() + 10);
  if (offset < 14) Fail("Invalid Pixel Offset");
  return ParseDib(bytes.data() + 14, bytes.size() - 14, size_t{offset} - 14);
}

void WriteBmpDib(const DibData& data, TStream& stream) { WriteBmpDib(data, data.bits, stream); }

void WriteBmpDib(const DibData& layout, const std::vector<uint8_t>& bits, TStream& stream) {
  std::vector<uint8_t> out;
  const uint32_t table = 4 * static_cast<uint32_t>(layout.colors.size());
  out.reserve(54 + table);
  out.push_back('B');
  out.push_back('M');
  AppendLe32(out, 54 + table + static_cast<uint32_t>(bits.size()));
  AppendLe16(out, 0);
  AppendLe16(out, 0);
  AppendLe32(out, 54 + table);
  WriteInfoAndTable(layout, bits.size(), out);
  // The pixels go to the stream from where they are.
  stream.WriteBuffer(out.data(), out.size());
  stream.WriteBuffer(bits.data(), bits.size());
}

DibData ReadPackedDib(const uint8_t* bytes, size_t size) {
  return ParseDib(bytes, size, std::nullopt);
}

std::vector<uint8_t> WritePackedDib(const DibData& data) {
  std::vector<uint8_t> out;
  out.reserve(40 + 4 * data.colors.size() + data.bits.size());
  WriteInfoAndTable(data, data.bits.size(), out);
  out.insert(out.end(), data.bits.begin(), data.bits.end());
  return out;
}

}  // namespace pamirune
