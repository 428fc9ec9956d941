#include "raster/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "raster/errors.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {
const char kBadPixelFormat[] = "画像ﾌｫｰﾏｯﾄが不正です";
}

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    case TPixelFormat::pfCustom: break;
  }
  throw EInvalidGraphic(kBadPixelFormat);
}

int64_t RowBytes(int width, int bits_per_pixel) {
  if (width < 0) throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です");
  return ((static_cast<int64_t>(width) * bits_per_pixel + 31) / 32) * 4;
}

int64_t CheckedImageBytes(int width, int height, int bits_per_pixel) {
  if (width < 0 || height < 0) throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です");
  if (static_cast<int64_t>(width) * height > kMaxPixels)
    throw EImageTooLarge("画像が大きすぎます (" + std::to_string(width) + " x " +
                         std::to_string(height) + ")");
  return RowBytes(width, bits_per_pixel) * height;
}

TBitmap::TBitmap(int width, int height, TPixelFormat format) { Allocate(width, height, format); }

void TBitmap::Allocate(int width, int height, TPixelFormat format) {
  int bpp = BitsPerPixel(format);
  int64_t bytes = CheckedImageBytes(width, height, bpp);
  width_ = width;
  height_ = height;
  format_ = format;
  stride_ = static_cast<int>(RowBytes(width, bpp));
  bits_.assign(static_cast<size_t>(bytes), 0);
  if (format == TPixelFormat::pf16bit && !has_masks_) {
    masks_ = {0xF800, 0x07E0, 0x001F};
    has_masks_ = true;
  }
  if (format == TPixelFormat::pf15bit) has_masks_ = false;
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  TBitmap old = *this;
  Allocate(width, height, format_);
  Fill(kClWhite);
  CopyFrom(old, 0, 0);
  Changed();
}

void TBitmap::SetPalette(std::vector<TRGBQuad> palette) {
  if (palette.size() > 256) palette.resize(256);
  palette_ = std::move(palette);
  Changed();
}

void TBitmap::SetMasks(uint32_t red, uint32_t green, uint32_t blue) {
  masks_ = {red, green, blue};
  has_masks_ = true;
}

bool TBitmap::Monochrome() const {
  if (format_ != TPixelFormat::pf1bit) return false;
  if (palette_.size() < 2) return true;
  auto black = TRGBQuad{0, 0, 0, 0};
  auto white = TRGBQuad{255, 255, 255, 0};
  auto a = palette_[0], b = palette_[1];
  a.reserved = b.reserved = 0;
  return a == black && b == white;
}

TColor TBitmap::TransparentColor() const {
  if (transparent_mode_ == TTransparentMode::tmFixed) return transparent_color_;
  if (Monochrome()) return kClWhite;
  if (Empty()) return kClBlack;
  return Pixel(0, height_ - 1);
}

namespace {

// Position of the lowest set bit and width of a mask.
void MaskShape(uint32_t mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (mask == 0) return;
  while (!(mask & 1u)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1u) {
    mask >>= 1;
    ++bits;
  }
}

uint8_t Expand(uint32_t value, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
  // Replicate the high bits into the low ones (5 bits: v << 3 | v >> 2).
  uint32_t v = value << (8 - bits);
  int filled = bits;
  while (filled < 8) {
    v |= v >> filled;
    filled *= 2;
  }
  return static_cast<uint8_t>(v);
}

uint32_t Compress(uint8_t value, int shift, int bits) {
  if (bits <= 0) return 0;
  uint32_t v = bits >= 8 ? static_cast<uint32_t>(value) << (bits - 8) : value >> (8 - bits);
  return v << shift;
}

}  // namespace

uint32_t TBitmap::RawPixel(int x, int y) const {
  const uint8_t* row = ScanLine(y);
  switch (format_) {
    case TPixelFormat::pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case TPixelFormat::pf4bit: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case TPixelFormat::pf8bit: return row[x];
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return row[2 * x] | (row[2 * x + 1] << 8);
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      return row[3 * x] | (row[3 * x + 1] << 8) | (static_cast<uint32_t>(row[3 * x + 2]) << 16);
    case TPixelFormat::pf32bit: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
    case TPixelFormat::pfCustom: break;
  }
  return 0;
}

void TBitmap::SetRawPixel(int x, int y, uint32_t value) {
  uint8_t* row = ScanLine(y);
  switch (format_) {
    case TPixelFormat::pf1bit: {
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      if (value & 1) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
      break;
    }
    case TPixelFormat::pf4bit:
      if (x & 1) row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (value & 0x0F));
      else row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((value & 0x0F) << 4));
      break;
    case TPixelFormat::pf8bit: row[x] = static_cast<uint8_t>(value); break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
      break;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      row[3 * x] = static_cast<uint8_t>(value);
      row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(value >> 16);
      break;
    case TPixelFormat::pf32bit: std::memcpy(row + 4 * x, &value, 4); break;
    case TPixelFormat::pfCustom: break;
  }
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kClBlack;
  uint32_t v = RawPixel(x, y);
  switch (format_) {
    case TPixelFormat::pf1bit:
      if (palette_.size() <= v) return v ? kClWhite : kClBlack;
      return ColorFromQuad(palette_[v]);
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
      if (palette_.size() <= v) return kClBlack;
      return ColorFromQuad(palette_[v]);
    case TPixelFormat::pf15bit:
      return RGB(Expand((v >> 10) & 31, 5), Expand((v >> 5) & 31, 5), Expand(v & 31, 5));
    case TPixelFormat::pf16bit:
    case TPixelFormat::pf32bit:
      if (has_masks_) {
        int rs, rb, gs, gb, bs, bb;
        MaskShape(masks_[0], rs, rb);
        MaskShape(masks_[1], gs, gb);
        MaskShape(masks_[2], bs, bb);
        return RGB(Expand((v & masks_[0]) >> rs, rb), Expand((v & masks_[1]) >> gs, gb),
                   Expand((v & masks_[2]) >> bs, bb));
      }
      if (format_ == TPixelFormat::pf16bit)
        return RGB(Expand((v >> 10) & 31, 5), Expand((v >> 5) & 31, 5), Expand(v & 31, 5));
      [[fallthrough]];
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      return RGB(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v));
    case TPixelFormat::pfCustom: break;
  }
  return kClBlack;
}

int TBitmap::NearestPaletteIndex(TColor color) const {
  int best = 0;
  int best_distance = std::numeric_limits<int>::max();
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  for (size_t i = 0; i < palette_.size(); ++i) {
    int dr = palette_[i].red - r, dg = palette_[i].green - g, db = palette_[i].blue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (format_) {
    case TPixelFormat::pf1bit:
      if (palette_.empty()) {
        SetRawPixel(x, y, (r + g + b) >= 384 ? 1 : 0);
        return;
      }
      [[fallthrough]];
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
      SetRawPixel(x, y, static_cast<uint32_t>(NearestPaletteIndex(color)));
      return;
    case TPixelFormat::pf15bit:
      SetRawPixel(x, y, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
      return;
    case TPixelFormat::pf16bit:
    case TPixelFormat::pf32bit:
      if (has_masks_) {
        int rs, rb, gs, gb, bs, bb;
        MaskShape(masks_[0], rs, rb);
        MaskShape(masks_[1], gs, gb);
        MaskShape(masks_[2], bs, bb);
        SetRawPixel(x, y, Compress(r, rs, rb) | Compress(g, gs, gb) | Compress(b, bs, bb));
        return;
      }
      if (format_ == TPixelFormat::pf16bit) {
        SetRawPixel(x, y, ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        return;
      }
      [[fallthrough]];
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      SetRawPixel(x, y, b | (g << 8) | (static_cast<uint32_t>(r) << 16));
      return;
    case TPixelFormat::pfCustom: return;
  }
}

void TBitmap::Fill(TColor color) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) SetPixel(x, y, color);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == TPixelFormat::pfCustom) throw EInvalidGraphic(kBadPixelFormat);
  if (format == format_) return;
  TBitmap old = *this;
  has_masks_ = false;
  switch (format) {
    case TPixelFormat::pf1bit:
      if (old.palette_.empty() || old.format_ != TPixelFormat::pf1bit) {
        // The current palette is kept when it has two entries; otherwise black and white.
        if (old.palette_.size() != 2) palette_ = BlackWhitePalette();
      }
      break;
    case TPixelFormat::pf4bit:
      palette_.assign(SystemPalette16().begin(), SystemPalette16().end());
      break;
    case TPixelFormat::pf8bit:
      palette_.assign(HalftonePalette256().begin(), HalftonePalette256().end());
      break;
    default:
      palette_.clear();
      break;
  }
  Allocate(old.width_, old.height_, format);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) SetPixel(x, y, old.Pixel(x, y));
  Changed();
}

void TBitmap::CopyFrom(const TBitmap& source, int x0, int y0) {
  for (int y = std::max(0, -y0); y < source.height_ && y + y0 < height_; ++y)
    for (int x = std::max(0, -x0); x < source.width_ && x + x0 < width_; ++x)
      SetPixel(x + x0, y + y0, source.Pixel(x, y));
}

void TBitmap::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  TBitmap converted;
  const TBitmap* src = dynamic_cast<const TBitmap*>(&graphic);
  if (!src) {
    graphic.ToBitmap(converted);
    src = &converted;
  }
  int tw = rect.Width(), th = rect.Height();
  if (tw <= 0 || th <= 0 || src->Empty()) return;
  int64_t sw = src->Width(), sh = src->Height();
  for (int y = 0; y < th; ++y) {
    int ty = rect.top + y;
    if (ty < 0 || ty >= height_) continue;
    int sy = static_cast<int>(y * sh / th);
    for (int x = 0; x < tw; ++x) {
      int tx = rect.left + x;
      if (tx < 0 || tx >= width_) continue;
      int sx = static_cast<int>(x * sw / tw);
      SetPixel(tx, ty, src->Pixel(sx, sy));
    }
  }
  Changed();
}

void TBitmap::Assign(const TGraphic& source) {
  if (const auto* b = dynamic_cast<const TBitmap*>(&source)) {
    if (b != this) *this = *b;
    Changed();
    return;
  }
  if (source.AssignTo(*this)) {
    Changed();
    return;
  }
  source.ToBitmap(*this);
  Changed();
}

bool TBitmap::AssignTo(TGraphic& dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&dest)) {
    *b = *this;
    return true;
  }
  return false;
}

}  // namespace pamirune
