#include "raster/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "raster/channel_mask.h"
#include "raster/errors.h"
#include "raster/palettes.h"
#include "raster/pixel_layout.h"

namespace pamirune {

using namespace pixel_layout;

namespace {

const char kBadBitmap[] = "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です";

// Copies count raw pixels of bpp bits from src (starting at pixel sx) to dst (at pixel dx).
void CopyRawPixels(const uint8_t* src, int sx, uint8_t* dst, int dx, int count, int bpp) {
  if (count <= 0) return;
  if (bpp >= 8) {
    size_t bytes = static_cast<size_t>(bpp / 8);
    std::memmove(dst + dx * bytes, src + sx * bytes, count * bytes);
  } else if (bpp == 4) {
    for (int i = 0; i < count; ++i) SetIndex4(dst, dx + i, GetIndex4(src, sx + i));
  } else {
    for (int i = 0; i < count; ++i) SetIndex1(dst, dx + i, GetIndex1(src, sx + i));
  }
}

bool SameLayout(const TBitmap& a, const TBitmap& b) {
  Kind ka = KindOf(a), kb = KindOf(b);
  if (ka != kb) return false;
  if (ka == kMasked16 || ka == kMasked32) return MasksOf(a) == MasksOf(b);
  if (ka == kIndex1 || ka == kIndex4 || ka == kIndex8) return PaletteColors(a) == PaletteColors(b);
  return true;
}

}  // namespace

TColor ResolveColor(const TBitmap& b, TColor color) {
  if (!(color & kPaletteIndexFlag)) return color & 0xFFFFFF;
  size_t index = color & 0xFF;
  if (index < b.Palette().size()) return ColorFromQuad(b.Palette()[index]);
  return kClBlack;
}

// ---------------------------------------------------------------------------------------------
// Sizes and the pixel limit.

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf4bit:
      return 4;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return 16;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      return 24;
    case TPixelFormat::pf32bit:
      return 32;
    case TPixelFormat::pfCustom:
      break;
  }
  throw EInvalidGraphic(kBadPixelFormat);
}

int64_t RowBytes(int width, int bits_per_pixel) {
  if (width < 0) throw EInvalidGraphic(kBadBitmap);
  return ((static_cast<int64_t>(width) * bits_per_pixel + 31) / 32) * 4;
}

namespace {
int64_t pixel_limit = kMaxPixels;
}  // namespace

int64_t PixelLimit() { return pixel_limit; }
void SetPixelLimit(int64_t pixels) { pixel_limit = std::max<int64_t>(pixels, 1); }

int64_t CheckedImageBytes(int width, int height, int bits_per_pixel) {
  if (width < 0 || height < 0) throw EInvalidGraphic(kBadBitmap);
  if (static_cast<int64_t>(width) * height > pixel_limit) ThrowImageTooLarge(width, height);
  return RowBytes(width, bits_per_pixel) * height;
}

// ---------------------------------------------------------------------------------------------
// TBitmap.

TBitmap::TBitmap(int width, int height, TPixelFormat format) { Allocate(width, height, format); }

TBitmap::TBitmap(int width, int height, TPixelFormat format, std::vector<uint8_t>&& bits) {
  Allocate(width, 0, format);
  if (bits.size() != static_cast<size_t>(CheckedImageBytes(width, height, BitsPerPixel(format))))
    throw EInvalidGraphic("TBitmap: rows do not fit the size");
  height_ = height;
  bits_ = std::move(bits);
}

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
  if (palette_.empty()) {
    if (format == TPixelFormat::pf1bit) palette_ = BlackWhitePalette();
    if (format == TPixelFormat::pf4bit)
      palette_.assign(SystemPalette16().begin(), SystemPalette16().end());
    if (format == TPixelFormat::pf8bit)
      palette_.assign(HalftonePalette256().begin(), HalftonePalette256().end());
  }
}

void TBitmap::TakePixels(TBitmap&& other) {
  width_ = other.width_;
  height_ = other.height_;
  format_ = other.format_;
  stride_ = other.stride_;
  bits_ = std::move(other.bits_);
  palette_ = std::move(other.palette_);
  masks_ = other.masks_;
  has_masks_ = other.has_masks_;
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  TBitmap next;
  next.format_ = format_;
  next.palette_ = palette_;
  next.masks_ = masks_;
  next.has_masks_ = has_masks_;
  next.Allocate(width, height, format_);
  next.Fill(kClWhite);
  int bpp = BitsPerPixel(format_);
  int w = std::min(width, width_), h = std::min(height, height_);
  for (int y = 0; y < h; ++y) CopyRawPixels(ScanLine(y), 0, next.ScanLine(y), 0, w, bpp);
  TakePixels(std::move(next));
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

int TBitmap::UsablePaletteSize() const {
  int n = static_cast<int>(palette_.size());
  if (IsPaletteFormat(format_)) n = std::min(n, 1 << BitsPerPixel(format_));
  return n;
}

bool TBitmap::Monochrome() const {
  if (format_ != TPixelFormat::pf1bit) return false;
  if (palette_.size() < 2) return true;
  TColor a = ColorFromQuad(palette_[0]), b = ColorFromQuad(palette_[1]);
  return (a == kClBlack && b == kClWhite) || (a == kClWhite && b == kClBlack);
}

TColor TBitmap::TransparentColor() const {
  if (transparent_mode_ == TTransparentMode::tmFixed) return transparent_color_;
  if (Monochrome()) return kClWhite;
  if (Empty()) return kClBlack;
  return Pixel(0, height_ - 1);
}

uint32_t TBitmap::RawPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = ScanLine(y);
  switch (format_) {
    case TPixelFormat::pf1bit:
      return GetIndex1(row, x);
    case TPixelFormat::pf4bit:
      return GetIndex4(row, x);
    case TPixelFormat::pf8bit:
      return row[x];
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return row[2 * x] | (row[2 * x + 1] << 8);
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      return row[3 * x] | (row[3 * x + 1] << 8) | (static_cast<uint32_t>(row[3 * x + 2]) << 16);
    case TPixelFormat::pf32bit: {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      return v;
    }
    case TPixelFormat::pfCustom:
      break;
  }
  return 0;
}

void TBitmap::SetRawPixel(int x, int y, uint32_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* row = ScanLine(y);
  switch (format_) {
    case TPixelFormat::pf1bit:
      SetIndex1(row, x, value);
      break;
    case TPixelFormat::pf4bit:
      SetIndex4(row, x, value);
      break;
    case TPixelFormat::pf8bit:
      row[x] = static_cast<uint8_t>(value);
      break;
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
    case TPixelFormat::pf32bit:
      std::memcpy(row + 4 * x, &value, 4);
      break;
    case TPixelFormat::pfCustom:
      break;
  }
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kClBlack;
  uint32_t v = RawPixel(x, y);
  switch (KindOf(*this)) {
    case kIndex1:
      if (palette_.empty()) return v ? kClWhite : kClBlack;
      [[fallthrough]];
    case kIndex4:
    case kIndex8:
      return static_cast<int>(v) < UsablePaletteSize() ? ColorFromQuad(palette_[v]) : kClBlack;
    case kMasked16:
    case kMasked32: {
      auto masks = MasksOf(*this);
      uint8_t c[3];
      for (int i = 0; i < 3; ++i) c[i] = ChannelValue(v, masks[i]);
      return RGB(c[0], c[1], c[2]);
    }
    default:
      return RGB(static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                 static_cast<uint8_t>(v));
  }
}

int TBitmap::NearestPaletteIndex(TColor color) const {
  return LinearNearest(palette_.data(), UsablePaletteSize(), color);
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if ((color & kPaletteIndexFlag) && IsPaletteFormat(format_)) {
    SetRawPixel(x, y, color & 0xFF);
    return;
  }
  color = ResolveColor(*this, color);
  if (format_ == TPixelFormat::pf15bit || format_ == TPixelFormat::pf16bit ||
      (format_ == TPixelFormat::pf32bit && has_masks_)) {
    auto masks = MasksOf(*this);
    SetRawPixel(x, y,
                TRowWriter::EncodeChannel(masks[0], GetRValue(color)) |
                    TRowWriter::EncodeChannel(masks[1], GetGValue(color)) |
                    TRowWriter::EncodeChannel(masks[2], GetBValue(color)));
    return;
  }
  if (IsPaletteFormat(format_)) {
    SetRawPixel(x, y,
                UsablePaletteSize() > 0
                    ? NearestPaletteIndex(color)
                    : (GetRValue(color) + GetGValue(color) + GetBValue(color) >= 384));
    return;
  }
  TRowWriter(*this).Write(y, x, 1, &color);
}

void TBitmap::ReadRow(int y, TColor* out) const {
  if (y < 0 || y >= height_) return;
  TRowReader(*this).Read(y, 0, width_, out);
}

void TBitmap::WriteRow(int y, const TColor* colors) {
  if (y < 0 || y >= height_) return;
  TRowWriter(*this).Write(y, 0, width_, colors);
}

void TBitmap::Fill(TColor color) {
  if (Empty()) return;
  uint32_t v;
  if ((color & kPaletteIndexFlag) && IsPaletteFormat(format_)) {
    v = color & 0xFF;
  } else {
    v = TRowWriter(*this).Encode(ResolveColor(*this, color));
  }
  // Build the top row, then repeat it (padding bytes included, which is harmless).
  std::vector<uint8_t> row(static_cast<size_t>(stride_), 0);
  switch (BitsPerPixel(format_)) {
    case 1:
      std::fill(row.begin(), row.end(), (v & 1) ? 0xFF : 0x00);
      break;
    case 4:
      std::fill(row.begin(), row.end(), static_cast<uint8_t>((v & 15) * 0x11));
      break;
    default: {
      int bytes = BitsPerPixel(format_) / 8;
      for (int x = 0; x < width_; ++x)
        for (int k = 0; k < bytes; ++k) row[x * bytes + k] = static_cast<uint8_t>(v >> (8 * k));
    }
  }
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), row.data(), row.size());
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == TPixelFormat::pfCustom) throw EInvalidGraphic(kBadPixelFormat);
  if (format == format_) return;
  TBitmap next;
  switch (format) {
    case TPixelFormat::pf1bit:
      // The current palette when it is a two-colour one; otherwise black and white.
      if (palette_.size() == 2)
        next.palette_ = palette_;
      else
        next.palette_ = BlackWhitePalette();
      break;
    case TPixelFormat::pf4bit:
      next.palette_.assign(SystemPalette16().begin(), SystemPalette16().end());
      break;
    case TPixelFormat::pf8bit:
      next.palette_.assign(HalftonePalette256().begin(), HalftonePalette256().end());
      break;
    default:
      break;
  }
  next.Allocate(width_, height_, format);
  // The device format and 24 bits share their layout: only the name changes.
  if (KindOf(*this) == kBgr24 && KindOf(next) == kBgr24) {
    format_ = format;
    Changed();
    return;
  }
  if (IsPaletteFormat(format_) && IsPaletteFormat(format)) {
    // Index to index: each source entry is mapped once.
    auto colors = PaletteColors(*this);
    TNearestColorMapper mapper(next.palette_.data(), next.UsablePaletteSize());
    std::array<uint8_t, 256> map{};
    for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(mapper.Index(colors[i]));
    for (int y = 0; y < height_; ++y) {
      const uint8_t* src = ScanLine(y);
      uint8_t* dst = next.ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        uint32_t index = format_ == TPixelFormat::pf8bit   ? src[x]
                         : format_ == TPixelFormat::pf4bit ? GetIndex4(src, x)
                                                           : GetIndex1(src, x);
        uint32_t to = map[index];
        if (format == TPixelFormat::pf8bit)
          dst[x] = static_cast<uint8_t>(to);
        else if (format == TPixelFormat::pf4bit)
          SetIndex4(dst, x, to);
        else
          SetIndex1(dst, x, to);
      }
    }
  } else {
    TRowReader reader(*this);
    TRowWriter writer(next);
    std::vector<TColor> colors(static_cast<size_t>(width_));
    for (int y = 0; y < height_; ++y) {
      reader.Read(y, 0, width_, colors.data());
      writer.Write(y, 0, width_, colors.data());
    }
  }
  TakePixels(std::move(next));
  Changed();
}

void TBitmap::Blit(const TBitmap& source, const TRect& rect) {
  int tw = rect.Width(), th = rect.Height();
  if (tw <= 0 || th <= 0 || source.Empty() || Empty()) return;
  // The visible part of the target rectangle.
  int x_begin = std::max(rect.left, 0), x_end = std::min<int64_t>(rect.right, width_);
  int y_begin = std::max(rect.top, 0), y_end = std::min<int64_t>(rect.bottom, height_);
  if (x_begin >= x_end || y_begin >= y_end) return;
  int count = x_end - x_begin;
  int64_t sw = source.Width(), sh = source.Height();
  // Plain stretch: target offset i takes source column i * sw / tw (rows alike).
  std::vector<int> xmap(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    xmap[i] = static_cast<int>(static_cast<int64_t>(x_begin - rect.left + i) * sw / tw);
  bool identity = sw == tw && x_begin - rect.left == xmap[0];
  if (SameLayout(source, *this)) {
    int bpp = BitsPerPixel(format_);
    for (int y = y_begin; y < y_end; ++y) {
      int sy = static_cast<int>(static_cast<int64_t>(y - rect.top) * sh / th);
      const uint8_t* src = source.ScanLine(sy);
      uint8_t* dst = ScanLine(y);
      if (identity) {
        CopyRawPixels(src, xmap[0], dst, x_begin, count, bpp);
        continue;
      }
      switch (bpp) {
        case 1:
          for (int i = 0; i < count; ++i) SetIndex1(dst, x_begin + i, GetIndex1(src, xmap[i]));
          break;
        case 4:
          for (int i = 0; i < count; ++i) SetIndex4(dst, x_begin + i, GetIndex4(src, xmap[i]));
          break;
        case 8:
          for (int i = 0; i < count; ++i) dst[x_begin + i] = src[xmap[i]];
          break;
        case 16:
          for (int i = 0; i < count; ++i)
            std::memcpy(dst + 2 * (x_begin + i), src + 2 * xmap[i], 2);
          break;
        case 24:
          for (int i = 0; i < count; ++i)
            std::memcpy(dst + 3 * (x_begin + i), src + 3 * xmap[i], 3);
          break;
        case 32:
          for (int i = 0; i < count; ++i)
            std::memcpy(dst + 4 * (x_begin + i), src + 4 * xmap[i], 4);
          break;
      }
    }
    return;
  }
  TRowReader reader(source);
  TRowWriter writer(*this);
  std::vector<TColor> source_row(static_cast<size_t>(sw));
  std::vector<TColor> target_row(static_cast<size_t>(count));
  int decoded = -1;
  for (int y = y_begin; y < y_end; ++y) {
    int sy = static_cast<int>(static_cast<int64_t>(y - rect.top) * sh / th);
    if (sy != decoded) {
      reader.Read(sy, 0, static_cast<int>(sw), source_row.data());
      for (int i = 0; i < count; ++i) target_row[i] = source_row[xmap[i]];
      decoded = sy;
    }
    writer.Write(y, x_begin, count, target_row.data());
  }
}

void TBitmap::CopyFrom(const TBitmap& source, int x0, int y0) {
  if (&source == this) return;
  Blit(source, TRect{x0, y0, x0 + source.width_, y0 + source.height_});
}

void TBitmap::StretchDraw(const TRect& rect, const TGraphic& graphic) {
  TBitmap converted;
  const TBitmap* src = dynamic_cast<const TBitmap*>(&graphic);
  if (src == this) {
    converted = *this;
    src = &converted;
  } else if (!src) {
    graphic.ToBitmap(converted);
    src = &converted;
  }
  Blit(*src, rect);
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

void TBitmap::MoveToBitmap(TBitmap& dest) {
  if (&dest == this) return;
  TNotifyEvent on_change = std::move(dest.OnChange);
  TProgressEvent on_progress = std::move(dest.OnProgress);
  dest = std::move(*this);
  dest.OnChange = std::move(on_change);
  dest.OnProgress = std::move(on_progress);
  *this = TBitmap();
  if (dest.OnChange) dest.OnChange();
}

bool TBitmap::AssignTo(TGraphic& dest) const {
  if (auto* b = dynamic_cast<TBitmap*>(&dest)) {
    *b = *this;
    return true;
  }
  return false;
}

}  // namespace pamirune
