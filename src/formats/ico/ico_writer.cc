// The icon writers: the opaque writer and IconBuilder.
#include <algorithm>

#include "formats/ico/ico.h"
#include "raster/bmp_header.h"
#include "raster/byte_order.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

int MaskRowBytes(int width) { return (width + 31) / 32 * 4; }

// The icon directory with its one entry, then the 40-byte header with the height doubled.
void PutHeaders(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t image_bytes,
                uint32_t color_bytes, int32_t x_pels, int32_t y_pels) {
  AppendLe16(out, 0);
  AppendLe16(out, 1);                                // icon
  AppendLe16(out, 1);                                // one image
  out.push_back(static_cast<uint8_t>(width % 256));  // 256 is written as 0
  out.push_back(static_cast<uint8_t>(height % 256));
  out.push_back(static_cast<uint8_t>(bits == 1 ? 2 : bits == 4 ? 16 : 0));
  out.push_back(0);
  AppendLe16(out, 1);
  AppendLe16(out, static_cast<uint32_t>(bits));
  AppendLe32(out, image_bytes);
  AppendLe32(out, 22);
  BmpInfoHeader info;
  info.width = width;
  info.height = int64_t{height} * 2;  // colour image and mask
  info.planes = 1;
  info.bit_count = static_cast<uint32_t>(bits);
  info.size_image = color_bytes;
  info.x_pels_per_meter = x_pels;
  info.y_pels_per_meter = y_pels;
  // Colours used 0: the whole table.
  AppendBmpInfoHeader(out, info);
}

void WriteIconFile(const std::string& file_name, const std::vector<uint8_t>& bytes) {
  WriteFileAtomic(file_name, bytes);
}

}  // namespace

std::vector<uint8_t> EncodeOpaqueIcon(const DibImage& source) {
  DibImage dib = source;
  switch (dib.PixelFormat()) {
    case DibPixelFormat::k4BitRle:
      dib.SetPixelFormat(DibPixelFormat::k4Bit);
      break;
    case DibPixelFormat::k8BitRle:
    case DibPixelFormat::k24Bit:
      dib.SetPixelFormat(DibPixelFormat::k8Bit);
      break;
    default:
      break;
  }
  const DibData& data = dib.Data();
  if (data.Empty()) throw EInvalidGraphic(kInvalidIcon);
  const int bits = data.BitCount();
  const int entries = 1 << bits;
  const int width = data.Width();
  const int height = data.Height();
  const uint64_t color_bytes = static_cast<uint64_t>(data.Stride()) * height;
  const uint64_t mask_bytes = static_cast<uint64_t>(MaskRowBytes(width)) * height;
  const uint64_t image_bytes = 40 + 4 * uint64_t(entries) + color_bytes + mask_bytes;
  if (image_bytes > UINT32_MAX) throw EImageTooLarge(kInvalidIcon);

  std::vector<uint8_t> out;
  out.reserve(22 + image_bytes);
  PutHeaders(out, width, height, bits, static_cast<uint32_t>(image_bytes),
             static_cast<uint32_t>(color_bytes), data.header.x_pels_per_meter,
             data.header.y_pels_per_meter);
  for (int i = 0; i < entries; ++i) {
    TRGBQuad q = i < static_cast<int>(data.colors.size()) ? data.colors[i] : TRGBQuad{};
    out.insert(out.end(), {q.blue, q.green, q.red, 0});
  }
  out.insert(out.end(), data.bits.begin(), data.bits.begin() + static_cast<ptrdiff_t>(color_bytes));
  out.resize(out.size() + mask_bytes, 0);  // every pixel opaque
  return out;
}

void SaveOpaqueIcon(const DibImage& dib, const std::string& file_name) {
  WriteIconFile(file_name, EncodeOpaqueIcon(dib));
}

void SaveOpaqueIcon(const TBitmap& bitmap, const std::string& file_name) {
  DibImage dib;
  dib.Assign(bitmap);
  SaveOpaqueIcon(dib, file_name);
}

TIconImage IconBuilder::MakeIcon(const TBitmap& bitmap, int size) const {
  if (size < 1 || size > 256) throw EInvalidGraphic(kInvalidIcon);
  TIconImage icon;
  TBitmap& b = icon.color;
  b = TBitmap(size, size, TPixelFormat::pf24bit);
  b.Fill(kClWhite);
  if (bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    b.CopyFrom(bitmap, 0, 0);
  } else {
    TBitmap source = bitmap;
    source.SetPixelFormat(TPixelFormat::pf24bit);
    b.CopyFrom(source, 0, 0);
  }
  icon.mask = TBitmap(size, size, TPixelFormat::pf1bit);
  icon.mask.SetPalette(BlackWhitePalette());

  auto colour_at = [](const uint8_t* p) { return RGB(p[2], p[1], p[0]); };
  const TColor key = colour_at(b.ScanLine(size - 1));
  const bool key_is_black = key == kClBlack;
  for (int y = 0; y < size; ++y) {
    uint8_t* row = b.ScanLine(y);
    uint8_t* mask = icon.mask.ScanLine(y);
    for (int x = 0; x < size; ++x) {
      uint8_t* p = row + 3 * x;
      TColor c = colour_at(p);
      // Black would be taken for the key colour: it waits as the placeholder meanwhile.
      if (!key_is_black && c == kClBlack) c = kPlaceholder;
      if (c == key) c = kClBlack;
      if (c == kClBlack) mask[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));  // transparent
      if (c == kPlaceholder) c = kClBlack;
      p[0] = GetBValue(c);
      p[1] = GetGValue(c);
      p[2] = GetRValue(c);
    }
  }
  return icon;
}

std::vector<uint8_t> IconBuilder::EncodeIcon(const TIconImage& icon) const {
  const int width = icon.color.Width();
  const int height = icon.color.Height();
  if (width == 0 || height == 0 || icon.mask.Width() != width || icon.mask.Height() != height ||
      icon.mask.PixelFormat() != TPixelFormat::pf1bit)
    throw EInvalidGraphic(kInvalidIcon);
  TBitmap color = icon.color;
  color.SetPixelFormat(TPixelFormat::pf24bit);
  const auto& palette = HalftonePalette256();
  TNearestColorMapper mapper(palette.data(), static_cast<int>(palette.size()));

  const int color_row = static_cast<int>(RowBytes(width, 8));
  const int mask_row = MaskRowBytes(width);
  const uint32_t color_bytes = static_cast<uint32_t>(color_row) * height;
  const uint32_t mask_bytes = static_cast<uint32_t>(mask_row) * height;
  std::vector<uint8_t> out;
  PutHeaders(out, width, height, 8, 40 + 1024 + color_bytes + mask_bytes, color_bytes, 0, 0);
  for (const TRGBQuad& q : palette) out.insert(out.end(), {q.blue, q.green, q.red, 0});
  // Rows bottom-up, as the colour image and the mask are stored.
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* p = color.ScanLine(y);
    size_t start = out.size();
    out.resize(start + color_row, 0);
    for (int x = 0; x < width; ++x, p += 3)
      out[start + x] = static_cast<uint8_t>(mapper.Index(RGB(p[2], p[1], p[0])));
  }
  const int mask_used = (width + 7) / 8;
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* m = icon.mask.ScanLine(y);
    out.insert(out.end(), m, m + mask_used);
    out.resize(out.size() + (mask_row - mask_used), 0);
  }
  return out;
}

void IconBuilder::SaveIcon(const TIconImage& icon, const std::string& file_name) const {
  WriteIconFile(file_name, EncodeIcon(icon));
}

void IconBuilder::MakeAndSave(const TBitmap& bitmap, const std::string& file_name, int size) const {
  SaveIcon(MakeIcon(bitmap, size), file_name);
}

void SaveTransparentIcon(const TBitmap& bitmap, const std::string& file_name, int icon_size) {
  IconBuilder().MakeAndSave(bitmap, file_name, icon_size);
}

}  // namespace pamirune
