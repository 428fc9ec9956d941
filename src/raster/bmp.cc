// BMP file reading and writing of the Raster image.
//
// Reading accepts the Windows headers of every version (40, 52, 56, 108 and 124 bytes; also the
// shorter and longer second-generation OS/2 forms, whose missing fields count as zero) and the
// 12-byte OS/2 core header. Leniencies towards damaged files, each deliberate:
//  - pixel data the headers promise but the stream lacks is read as far as it goes; the missing
//    rows stay zero (black, or palette entry 0), and the load says so (OnLoadWarning);
//  - a colour table cut short by the end of the stream keeps black for the missing entries;
//  - a colours-used count beyond what the depth can address: the surplus entries are skipped;
//  - the pixel-data offset of the file header is followed when it points between the end of the
//    headers and the end of the stream; otherwise (zero, too small, too large) the pixels are
//    taken right after the colour table. An offset that points just past the info header of a
//    palette image, forgetting the table, is taken as the end of the table;
//  - run-length data is decoded within the image: runs past the end of a row are cut there,
//    deltas past the last row end the image, unwritten pixels keep palette entry 0, and data
//    ending without an end-of-bitmap mark ends the image;
//  - bit-field masks that are all zero stand for the usual layout of their depth.
// Refused with "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です": a wrong signature, a header cut short or of an
// unknown size, planes other than 1, a negative width, a bit count or compression this format
// does not define (run-length coding only with its depth, bit fields only with 16 and 32 bits).
// Images over the pixel limit are refused before anything is allocated.
#include <algorithm>
#include <cstring>
#include <limits>

#include "raster/bitmap.h"
#include "raster/bmp_header.h"
#include "raster/byte_order.h"
#include "raster/errors.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

const char kBadBitmap[] = "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です";

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kLargestHeader = 1024;

void ReadExact(TStream& stream, void* buffer, size_t count) {
  if (stream.Read(buffer, count) != count) throw EInvalidGraphic(kBadBitmap);
}

// The headers of a BMP file as this reader takes them.
struct Headers {
  uint32_t pixel_offset = 0;  // from the file header
  BmpInfoHeader info;
  bool bit_fields = false;
  int64_t end = 0;  // where the headers (and masks) end, from the file's start
};

// Refuses a bit count and compression this format does not define together (run-length
// coding only with its depth, bit fields only with 16 and 32 bits); true for bit fields.
bool CheckCompression(uint32_t bpp, uint32_t compression) {
  switch (compression) {
    case kBiRgb:
      if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw EInvalidGraphic(kBadBitmap);
      return false;
    case kBiRle8:
      if (bpp != 8) throw EInvalidGraphic(kBadBitmap);
      return false;
    case kBiRle4:
      if (bpp != 4) throw EInvalidGraphic(kBadBitmap);
      return false;
    case kBiBitfields:
    case kBiAlphaBitfields:
      if (bpp != 16 && bpp != 32) throw EInvalidGraphic(kBadBitmap);
      return true;
    default:
      throw EInvalidGraphic(kBadBitmap);
  }
}

// Reads the file header, the info header and any masks that follow it.
Headers ReadHeaders(TStream& stream, int64_t start) {
  uint8_t file_header[kFileHeaderSize];
  ReadExact(stream, file_header, sizeof file_header);
  if (file_header[0] != 'B' || file_header[1] != 'M') throw EInvalidGraphic(kBadBitmap);
  Headers h;
  h.pixel_offset = GetLe32(file_header + 10);

  std::vector<uint8_t> info(4);
  ReadExact(stream, info.data(), 4);
  const uint32_t size = GetLe32(info.data());
  if (size != kBmpCoreHeaderSize && (size < 16 || size > kLargestHeader))
    throw EInvalidGraphic(kBadBitmap);
  info.resize(size);
  ReadExact(stream, info.data() + 4, size - 4);
  // Fields past the end of a short header count as zero.
  h.info = DecodeBmpInfoHeader(info.data(), info.size());
  if (h.info.planes != 1) throw EInvalidGraphic(kBadBitmap);
  h.bit_fields = CheckCompression(h.info.bit_count, h.info.compression);

  auto& masks = h.info.masks;
  if (h.bit_fields && size < 52) {
    // The masks follow a shorter header: red, green, blue (and alpha, which is not kept).
    uint8_t bytes[16];
    size_t count = h.info.compression == kBiAlphaBitfields ? 16 : 12;
    ReadExact(stream, bytes, count);
    for (int i = 0; i < 3; ++i) masks[i] = GetLe32(bytes + 4 * i);
  }
  if (h.bit_fields && masks[0] == 0 && masks[1] == 0 && masks[2] == 0) {
    if (h.info.bit_count == 16)
      masks = {0x7C00, 0x03E0, 0x001F};
    else
      masks = {0xFF0000, 0x00FF00, 0x0000FF};
  }
  if (h.info.width < 0 || h.info.height == std::numeric_limits<int32_t>::min())
    throw EInvalidGraphic(kBadBitmap);
  h.end = stream.Position() - start;
  return h;
}

TPixelFormat FormatOf(uint32_t bpp, bool bit_fields) {
  switch (bpp) {
    case 1:
      return TPixelFormat::pf1bit;
    case 4:
      return TPixelFormat::pf4bit;
    case 8:
      return TPixelFormat::pf8bit;
    case 16:
      return bit_fields ? TPixelFormat::pf16bit : TPixelFormat::pf15bit;
    case 24:
      return TPixelFormat::pf24bit;
    default:
      return TPixelFormat::pf32bit;
  }
}

// The colour table and where the pixels start, counted from the file's start.
struct ColourTable {
  std::vector<TRGBQuad> palette;
  int64_t pixels_at = 0;
};

// The core header has no colours-used field: its table is full, unless the pixel offset says
// that fewer entries fit before the pixels. The pixel offset is followed when it points
// between the end of the headers and the end of the file.
ColourTable ReadColourTable(TStream& stream, const Headers& h, int64_t file_size) {
  const uint32_t bpp = h.info.bit_count;
  const bool os2 = h.info.core;
  const int entry_size = os2 ? 3 : 4;
  int64_t colors = h.info.clr_used;
  if (colors == 0 && bpp <= 8) colors = int64_t{1} << bpp;
  if (os2 && h.pixel_offset > h.end && h.pixel_offset < h.end + colors * entry_size)
    colors = (h.pixel_offset - h.end) / entry_size;
  const int kept = bpp <= 8 ? static_cast<int>(std::min<int64_t>(colors, int64_t{1} << bpp)) : 0;
  ColourTable t;
  t.palette.resize(static_cast<size_t>(kept));
  if (kept > 0) {
    std::vector<uint8_t> table(static_cast<size_t>(kept) * entry_size, 0);
    stream.Read(table.data(), table.size());  // a short table keeps black entries
    for (int i = 0; i < kept; ++i) {
      const uint8_t* e = table.data() + static_cast<size_t>(i) * entry_size;
      t.palette[static_cast<size_t>(i)] = TRGBQuad{e[0], e[1], e[2], 0};
    }
  }
  t.pixels_at = h.end + colors * entry_size;
  if (h.pixel_offset >= h.end && h.pixel_offset <= file_size &&
      !(bpp <= 8 && h.pixel_offset == h.end && colors > 0))
    t.pixels_at = h.pixel_offset;
  return t;
}

// Decodes run-length data into the bottom-up rows of pixels (8 bits or 4 bits per pixel).
// Nothing is ever written outside the rows: a run that passes the end of a row is cut there,
// absolute pixels past the end are skipped, and a move below the last row ends the image.
void DecodeRle(const uint8_t* data, size_t size, bool four_bit, int width, int height, int stride,
               uint8_t* pixels) {
  size_t at = 0;
  int64_t x = 0, y = 0;  // y counts rows from the bottom, as the data does
  auto put = [&](uint32_t index) {
    if (x < width && y < height) {
      uint8_t* row = pixels + static_cast<size_t>(y) * stride;
      if (four_bit) {
        uint8_t& byte = row[x >> 1];
        if (x & 1)
          byte = static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
        else
          byte = static_cast<uint8_t>((byte & 0x0F) | (index << 4));
      } else {
        row[x] = static_cast<uint8_t>(index);
      }
    }
    ++x;
  };
  while (at + 2 <= size && y < height) {
    uint8_t count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      // Encoded run; past the end of the row the pixels are dropped.
      int n = std::min<int64_t>(count, std::max<int64_t>(0, width - x));
      for (int i = 0; i < n; ++i) put(four_bit ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      x += count - n;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: right and up (rows counted from the bottom)
        if (at + 2 > size) return;
        x += data[at];
        y += data[at + 1];
        at += 2;
        break;
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        size_t bytes = four_bit ? (value + 1u) / 2 : value;
        size_t available = std::min(bytes, size - at);
        for (int i = 0; i < value; ++i) {
          size_t byte = four_bit ? static_cast<size_t>(i) / 2 : static_cast<size_t>(i);
          if (byte >= available) return;  // the data ends inside the run
          uint8_t v = data[at + byte];
          put(four_bit ? ((i & 1) ? v & 0x0F : v >> 4) : v);
        }
        at += bytes + (bytes & 1);
        break;
      }
    }
  }
}

void FlipRows(std::vector<uint8_t>& bits, int height, int stride) {
  std::vector<uint8_t> tmp(static_cast<size_t>(stride));
  for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = bits.data() + static_cast<size_t>(top) * stride;
    uint8_t* b = bits.data() + static_cast<size_t>(bottom) * stride;
    std::memcpy(tmp.data(), a, tmp.size());
    std::memcpy(a, b, tmp.size());
    std::memcpy(b, tmp.data(), tmp.size());
  }
}

// Reads the pixels into the bottom-up rows of bits (stride bytes each); false when the stream
// lacks pixels the headers promise.
bool ReadPixels(TStream& stream, const BmpInfoHeader& info, int width, int height, int stride,
                std::vector<uint8_t>& bits) {
  if (info.compression == kBiRle8 || info.compression == kBiRle4) {
    // Run-length data never needs more than two bytes a pixel and a few more a row (what
    // follows, zeros padding a file to gigabytes say, is not read).
    const int64_t most = (2 * int64_t{width} + 8) * height + 1024;
    std::vector<uint8_t> data = stream.ReadRest(most);
    if (!bits.empty())
      DecodeRle(data.data(), data.size(), info.compression == kBiRle4, width, height, stride,
                bits.data());
    return true;
  }
  // Exactly the rows the size calls for; a wrong image-size field is not trusted. What the
  // stream lacks stays zero.
  size_t want = bits.size();
  size_t got = want ? stream.Read(bits.data(), want) : 0;
  // Only the padding of the last row missing costs no pixels.
  const size_t padding =
      static_cast<size_t>(stride) - (static_cast<size_t>(width) * info.bit_count + 7) / 8;
  return want - got <= padding;
}

}  // namespace

void TBitmap::LoadFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  const int64_t end = stream.Size();
  if (end - start <= 0) {
    // No bytes left: the empty image.
    TBitmap empty;
    TakePixels(std::move(empty));
    os2_format_ = false;
    Changed();
    return;
  }

  const Headers h = ReadHeaders(stream, start);
  const bool top_down = h.info.height < 0;
  int width = static_cast<int>(h.info.width);
  int height = static_cast<int>(top_down ? -h.info.height : h.info.height);
  // No pixels in one direction: the empty image, 0 by 0.
  if (width == 0 || height == 0) width = height = 0;
  const TPixelFormat format = FormatOf(h.info.bit_count, h.bit_fields);
  // Refuses an image over the pixel limit before anything is allocated.
  CheckedImageBytes(width, height, static_cast<int>(h.info.bit_count));

  ColourTable table = ReadColourTable(stream, h, end - start);
  stream.Seek(start + std::min<int64_t>(table.pixels_at, end - start));

  TBitmap next;
  next.palette_ = std::move(table.palette);
  if (h.bit_fields) next.SetMasks(h.info.masks[0], h.info.masks[1], h.info.masks[2]);
  // A palette image whose file holds no table at all gets the default palette of its depth.
  next.Allocate(width, height, format);
  if (!ReadPixels(stream, h.info, width, height, next.stride_, next.bits_))
    LoadWarning(TLoadWarning::lwDataRanOut);
  if (top_down) FlipRows(next.bits_, height, next.stride_);

  TakePixels(std::move(next));
  os2_format_ = h.info.core;
  x_pels_per_meter_ = h.info.x_pels_per_meter;
  y_pels_per_meter_ = h.info.y_pels_per_meter;
  Changed();
}

void TBitmap::SaveToStream(TStream& stream) const {
  // The empty image is written as nothing at all, which reads back as the empty image.
  if (Empty()) return;
  const int bpp = BitCount();
  const bool palette_format = bpp <= 8;
  const bool os2 =
      os2_format_ && (palette_format || bpp == 24) && width_ <= 0xFFFF && height_ <= 0xFFFF;
  const bool bit_fields =
      (format_ == TPixelFormat::pf16bit || format_ == TPixelFormat::pf32bit) && has_masks_;

  std::vector<TRGBQuad> table;
  if (palette_format) {
    int n = UsablePaletteSize();
    table.assign(palette_.begin(), palette_.begin() + n);
    if (table.empty()) {
      // No palette at all: write the colours the pixels read as.
      table.assign(static_cast<size_t>(1) << bpp, TRGBQuad{});
      if (bpp == 1) table[1] = QuadFromColor(kClWhite);
    }
    // The core header has no colours-used field: readers expect the whole table.
    if (os2) table.resize(static_cast<size_t>(1) << bpp, TRGBQuad{});
  }

  const uint32_t header_size = os2 ? kBmpCoreHeaderSize : kBmpInfoHeaderSize;
  const uint32_t mask_bytes = bit_fields ? 12 : 0;
  const uint32_t table_bytes = static_cast<uint32_t>(table.size()) * (os2 ? 3 : 4);
  const uint64_t image_bytes = bits_.size();
  const uint32_t offset = kFileHeaderSize + header_size + mask_bytes + table_bytes;
  const uint64_t file_size = offset + image_bytes;
  if (file_size > std::numeric_limits<uint32_t>::max()) ThrowImageTooLarge(width_, height_);

  std::vector<uint8_t> head;
  head.reserve(offset);
  head.push_back('B');
  head.push_back('M');
  AppendLe32(head, static_cast<uint32_t>(file_size));
  AppendLe16(head, 0);
  AppendLe16(head, 0);
  AppendLe32(head, offset);
  if (os2) {
    AppendLe32(head, kBmpCoreHeaderSize);
    AppendLe16(head, static_cast<uint32_t>(width_));
    AppendLe16(head, static_cast<uint32_t>(height_));
    AppendLe16(head, 1);
    AppendLe16(head, static_cast<uint32_t>(bpp));
    for (const TRGBQuad& q : table) {
      head.push_back(q.blue);
      head.push_back(q.green);
      head.push_back(q.red);
    }
  } else {
    BmpInfoHeader info;
    info.width = width_;
    info.height = height_;
    info.planes = 1;
    info.bit_count = static_cast<uint32_t>(bpp);
    info.compression = bit_fields ? kBiBitfields : kBiRgb;
    info.size_image = static_cast<uint32_t>(image_bytes);
    info.x_pels_per_meter = x_pels_per_meter_;
    info.y_pels_per_meter = y_pels_per_meter_;
    info.clr_used = static_cast<uint32_t>(table.size());
    AppendBmpInfoHeader(head, info);
    if (bit_fields)
      for (uint32_t m : masks_) AppendLe32(head, m);
    for (const TRGBQuad& q : table) {
      head.push_back(q.blue);
      head.push_back(q.green);
      head.push_back(q.red);
      head.push_back(0);
    }
  }
  stream.Write(head.data(), head.size());
  stream.Write(bits_.data(), bits_.size());
}

}  // namespace pamirune
