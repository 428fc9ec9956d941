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
#include "raster/byte_order.h"
#include "raster/errors.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

const char kBadBitmap[] = "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です";

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kLargestHeader = 1024;

void ReadExact(TStream& stream, void* buffer, size_t count) {
  if (stream.Read(buffer, count) != count) throw EInvalidGraphic(kBadBitmap);
}

// The fields of the info header this reader uses, whatever form the file had.
struct InfoHeader {
  uint32_t size = 0;
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top-down
  uint32_t planes = 0;
  uint32_t bit_count = 0;
  uint32_t compression = 0;
  int32_t x_pels = 0;
  int32_t y_pels = 0;
  uint32_t colors_used = 0;
  uint32_t masks[3] = {0, 0, 0};
};

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

  uint8_t file_header[kFileHeaderSize];
  ReadExact(stream, file_header, sizeof file_header);
  if (file_header[0] != 'B' || file_header[1] != 'M') throw EInvalidGraphic(kBadBitmap);
  const uint32_t pixel_offset = GetLe32(file_header + 10);

  InfoHeader h;
  uint8_t size_bytes[4];
  ReadExact(stream, size_bytes, 4);
  h.size = GetLe32(size_bytes);
  const bool os2 = h.size == kCoreHeaderSize;
  if (os2) {
    uint8_t core[8];
    ReadExact(stream, core, sizeof core);
    h.width = GetLe16(core);
    h.height = GetLe16(core + 2);
    h.planes = GetLe16(core + 4);
    h.bit_count = GetLe16(core + 6);
  } else {
    if (h.size < 16 || h.size > kLargestHeader) throw EInvalidGraphic(kBadBitmap);
    // Fields past the end of a short header count as zero.
    std::vector<uint8_t> info(std::max<size_t>(h.size - 4, 52), 0);
    ReadExact(stream, info.data(), h.size - 4);
    h.width = static_cast<int32_t>(GetLe32(info.data()));
    h.height = static_cast<int32_t>(GetLe32(info.data() + 4));
    h.planes = GetLe16(info.data() + 8);
    h.bit_count = GetLe16(info.data() + 10);
    h.compression = GetLe32(info.data() + 12);
    h.x_pels = static_cast<int32_t>(GetLe32(info.data() + 20));
    h.y_pels = static_cast<int32_t>(GetLe32(info.data() + 24));
    h.colors_used = GetLe32(info.data() + 28);
    if (h.size >= 52)
      for (int i = 0; i < 3; ++i) h.masks[i] = GetLe32(info.data() + 36 + 4 * i);
  }
  if (h.planes != 1) throw EInvalidGraphic(kBadBitmap);

  const uint32_t bpp = h.bit_count;
  bool bit_fields = false;
  switch (h.compression) {
    case kBiRgb:
      if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        throw EInvalidGraphic(kBadBitmap);
      break;
    case kBiRle8:
      if (bpp != 8) throw EInvalidGraphic(kBadBitmap);
      break;
    case kBiRle4:
      if (bpp != 4) throw EInvalidGraphic(kBadBitmap);
      break;
    case kBiBitFields:
    case kBiAlphaBitFields:
      if (bpp != 16 && bpp != 32) throw EInvalidGraphic(kBadBitmap);
      bit_fields = true;
      break;
    default:
      throw EInvalidGraphic(kBadBitmap);
  }
  if (bit_fields && h.size < 52) {
    // The masks follow a shorter header: red, green, blue (and alpha, which is not kept).
    uint8_t masks[16];
    size_t count = h.compression == kBiAlphaBitFields ? 16 : 12;
    ReadExact(stream, masks, count);
    for (int i = 0; i < 3; ++i) h.masks[i] = GetLe32(masks + 4 * i);
  }
  if (bit_fields && h.masks[0] == 0 && h.masks[1] == 0 && h.masks[2] == 0) {
    if (bpp == 16) {
      h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else {
      h.masks[0] = 0xFF0000, h.masks[1] = 0x00FF00, h.masks[2] = 0x0000FF;
    }
  }

  if (h.width < 0 || h.height == std::numeric_limits<int32_t>::min())
    throw EInvalidGraphic(kBadBitmap);
  const bool top_down = h.height < 0;
  int width = static_cast<int>(h.width);
  int height = static_cast<int>(top_down ? -h.height : h.height);
  // No pixels in one direction: the empty image, 0 by 0.
  if (width == 0 || height == 0) width = height = 0;

  TPixelFormat format;
  switch (bpp) {
    case 1:
      format = TPixelFormat::pf1bit;
      break;
    case 4:
      format = TPixelFormat::pf4bit;
      break;
    case 8:
      format = TPixelFormat::pf8bit;
      break;
    case 16:
      format = bit_fields ? TPixelFormat::pf16bit : TPixelFormat::pf15bit;
      break;
    case 24:
      format = TPixelFormat::pf24bit;
      break;
    default:
      format = TPixelFormat::pf32bit;
      break;
  }
  // Refuses an image over the pixel limit before anything is allocated.
  CheckedImageBytes(width, height, static_cast<int>(bpp));

  // Colour table. The core header has no colours-used field: its table is full, unless the
  // pixel offset says that fewer entries fit before the pixels.
  const int64_t headers_end = stream.Position() - start;
  const int entry_size = os2 ? 3 : 4;
  int64_t colors = h.colors_used;
  if (colors == 0 && bpp <= 8) colors = int64_t{1} << bpp;
  if (os2 && pixel_offset > headers_end && pixel_offset < headers_end + colors * entry_size)
    colors = (pixel_offset - headers_end) / entry_size;
  const int kept = bpp <= 8 ? static_cast<int>(std::min<int64_t>(colors, int64_t{1} << bpp)) : 0;
  std::vector<TRGBQuad> palette(static_cast<size_t>(kept));
  if (kept > 0) {
    std::vector<uint8_t> table(static_cast<size_t>(kept) * entry_size, 0);
    stream.Read(table.data(), table.size());  // a short table keeps black entries
    for (int i = 0; i < kept; ++i) {
      const uint8_t* e = table.data() + static_cast<size_t>(i) * entry_size;
      palette[static_cast<size_t>(i)] = TRGBQuad{e[0], e[1], e[2], 0};
    }
  }
  const int64_t table_end = headers_end + colors * entry_size;

  // Where the pixels start.
  int64_t pixels_at = table_end;
  if (pixel_offset >= headers_end && pixel_offset <= end - start &&
      !(bpp <= 8 && pixel_offset == headers_end && colors > 0))
    pixels_at = pixel_offset;
  stream.Seek(start + std::min<int64_t>(pixels_at, end - start));

  TBitmap next;
  next.palette_ = std::move(palette);
  if (bit_fields) next.SetMasks(h.masks[0], h.masks[1], h.masks[2]);
  // A palette image whose file holds no table at all gets the default palette of its depth.
  next.Allocate(width, height, format);

  if (h.compression == kBiRle8 || h.compression == kBiRle4) {
    // Run-length data never needs more than two bytes a pixel and a few more a row (what
    // follows, zeros padding a file to gigabytes say, is not read).
    const int64_t most = (2 * int64_t{width} + 8) * height + 1024;
    std::vector<uint8_t> data = stream.ReadRest(most);
    if (!next.bits_.empty())
      DecodeRle(data.data(), data.size(), h.compression == kBiRle4, width, height, next.stride_,
                next.bits_.data());
  } else {
    // Exactly the rows the size calls for; a wrong image-size field is not trusted. What the
    // stream lacks stays zero.
    size_t want = next.bits_.size();
    size_t got = want ? stream.Read(next.bits_.data(), want) : 0;
    // Only the padding of the last row missing costs no pixels.
    const size_t padding = static_cast<size_t>(next.stride_) -
                           (static_cast<size_t>(width) * BitsPerPixel(format) + 7) / 8;
    if (want - got > padding) LoadWarning(TLoadWarning::lwDataRanOut);
  }
  if (top_down) FlipRows(next.bits_, height, next.stride_);

  TakePixels(std::move(next));
  os2_format_ = os2;
  x_pels_per_meter_ = h.x_pels;
  y_pels_per_meter_ = h.y_pels;
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

  const uint32_t header_size = os2 ? kCoreHeaderSize : kInfoHeaderSize;
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
    AppendLe32(head, kCoreHeaderSize);
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
    AppendLe32(head, kInfoHeaderSize);
    AppendLe32(head, static_cast<uint32_t>(width_));
    AppendLe32(head, static_cast<uint32_t>(height_));
    AppendLe16(head, 1);
    AppendLe16(head, static_cast<uint32_t>(bpp));
    AppendLe32(head, bit_fields ? kBiBitFields : kBiRgb);
    AppendLe32(head, static_cast<uint32_t>(image_bytes));
    AppendLe32(head, static_cast<uint32_t>(x_pels_per_meter_));
    AppendLe32(head, static_cast<uint32_t>(y_pels_per_meter_));
    AppendLe32(head, static_cast<uint32_t>(table.size()));
    AppendLe32(head, 0);
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
