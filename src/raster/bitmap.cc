#include "raster/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "raster/channel_mask.h"
#include "raster/errors.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

const char kBadPixelFormat[] = "画像ﾌｫｰﾏｯﾄが不正です";
const char kBadBitmap[] = "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です";

// Layout kinds shared by the row reader and writer.
enum Kind {
  kIndex1 = 1,
  kIndex4 = 4,
  kIndex8 = 8,
  kMasked16 = 16,
  kBgr24 = 24,
  kBgrx32 = 32,
  kMasked32 = 33
};

constexpr uint32_t kMask555[3] = {0x7C00, 0x03E0, 0x001F};

bool IsPaletteFormat(TPixelFormat f) {
  return f == TPixelFormat::pf1bit || f == TPixelFormat::pf4bit || f == TPixelFormat::pf8bit;
}

Kind KindOf(const TBitmap& b) {
  switch (b.PixelFormat()) {
    case TPixelFormat::pf1bit:
      return kIndex1;
    case TPixelFormat::pf4bit:
      return kIndex4;
    case TPixelFormat::pf8bit:
      return kIndex8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return kMasked16;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
      return kBgr24;
    case TPixelFormat::pf32bit:
      return b.HasMasks() ? kMasked32 : kBgrx32;
    case TPixelFormat::pfCustom:
      break;
  }
  throw EInvalidGraphic(kBadPixelFormat);
}

// The masks a 16-bit or masked 32-bit layout is read and written with.
std::array<uint32_t, 3> MasksOf(const TBitmap& b) {
  if (b.PixelFormat() == TPixelFormat::pf15bit || !b.HasMasks())
    return {kMask555[0], kMask555[1], kMask555[2]};
  return b.Masks();
}

inline uint32_t GetIndex1(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline uint32_t GetIndex4(const uint8_t* row, int x) {
  return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
}
inline void SetIndex1(uint8_t* row, int x, uint32_t v) {
  uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
  if (v & 1)
    row[x >> 3] |= bit;
  else
    row[x >> 3] &= static_cast<uint8_t>(~bit);
}
inline void SetIndex4(uint8_t* row, int x, uint32_t v) {
  uint8_t& byte = row[x >> 1];
  if (x & 1)
    byte = static_cast<uint8_t>((byte & 0xF0) | (v & 0x0F));
  else
    byte = static_cast<uint8_t>((byte & 0x0F) | ((v & 0x0F) << 4));
}

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

// Colour of a palette entry, or of an index the palette lacks (black).
std::array<TColor, 256> PaletteColors(const TBitmap& b) {
  std::array<TColor, 256> lut{};
  int n = b.UsablePaletteSize();
  for (int i = 0; i < n; ++i) lut[i] = ColorFromQuad(b.Palette()[i]);
  // A 1-bit image without palette reads as black and white.
  if (b.PixelFormat() == TPixelFormat::pf1bit && n == 0) lut[1] = kClWhite;
  return lut;
}

// A colour value with the palette-index flag stands for that entry of the palette.
TColor ResolveColor(const TBitmap& b, TColor color) {
  if (!(color & kPaletteIndexFlag)) return color & 0xFFFFFF;
  size_t index = color & 0xFF;
  if (index < b.Palette().size()) return ColorFromQuad(b.Palette()[index]);
  return kClBlack;
}

// Nearest entry by a walk over the whole palette (squared distance, lowest index on ties).
int LinearNearest(const TRGBQuad* palette, int count, TColor color) {
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (int i = 0; i < count; ++i) {
    int dr = palette[i].red - r, dg = palette[i].green - g, db = palette[i].blue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

bool SameLayout(const TBitmap& a, const TBitmap& b) {
  Kind ka = KindOf(a), kb = KindOf(b);
  if (ka != kb) return false;
  if (ka == kMasked16 || ka == kMasked32) return MasksOf(a) == MasksOf(b);
  if (ka == kIndex1 || ka == kIndex4 || ka == kIndex8) return PaletteColors(a) == PaletteColors(b);
  return true;
}

}  // namespace

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
// Nearest palette entry.

TNearestColorMapper::TNearestColorMapper(const TRGBQuad* palette, int count)
    : palette_(palette, palette + std::clamp(count, 0, 256)) {
  if (palette_.size() > 2) cell_start_.assign(size_t{1} << (3 * kCellBits), -1);
}

int TNearestColorMapper::Linear(int r, int g, int b) const {
  return LinearNearest(palette_.data(), static_cast<int>(palette_.size()), RGB(r, g, b));
}

// The candidates of a cell are the entries that can be nearest to some colour of the cell: an
// entry whose least distance to the cell exceeds the smallest greatest distance of any entry
// never wins. Every entry that can win or tie is kept, in index order, so the search over the
// candidates gives the same answer as the search over the whole palette.
void TNearestColorMapper::BuildCell(int cell) {
  constexpr int kShift = 8 - kCellBits, kMask = (1 << kCellBits) - 1;
  int lo[3] = {(cell >> (2 * kCellBits)) << kShift, ((cell >> kCellBits) & kMask) << kShift,
               (cell & kMask) << kShift};
  auto axis = [](int v, int low, int& dmin, int& dmax) {
    int high = low + (1 << kShift) - 1;
    int near = v < low ? low - v : (v > high ? v - high : 0);
    int far = std::max(std::abs(v - low), std::abs(v - high));
    dmin += near * near;
    dmax += far * far;
  };
  int n = static_cast<int>(palette_.size());
  std::vector<int> dmins(n);
  int bound = std::numeric_limits<int>::max();
  for (int i = 0; i < n; ++i) {
    int dmin = 0, dmax = 0;
    axis(palette_[i].red, lo[0], dmin, dmax);
    axis(palette_[i].green, lo[1], dmin, dmax);
    axis(palette_[i].blue, lo[2], dmin, dmax);
    dmins[i] = dmin;
    bound = std::min(bound, dmax);
  }
  cell_start_[cell] = static_cast<int32_t>(candidates_.size());
  size_t count_at = candidates_.size();
  candidates_.push_back(0);
  for (int i = 0; i < n; ++i)
    if (dmins[i] <= bound) candidates_.push_back(static_cast<uint16_t>(i));
  candidates_[count_at] = static_cast<uint16_t>(candidates_.size() - count_at - 1);
}

int TNearestColorMapper::Index(TColor color) {
  color &= 0xFFFFFF;
  if (palette_.size() <= 4) return Linear(GetRValue(color), GetGValue(color), GetBValue(color));
  // Recently seen colours first: images repeat their colours a great deal.
  uint32_t slot = ((color * 0x9E3779B1u) >> 20) & (kCacheSize - 1);
  if (cache_key_[slot] == (color | 0x1000000u)) return cache_index_[slot];
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best;
  if (cell_start_.empty()) {
    best = Linear(r, g, b);
  } else {
    constexpr int kShift = 8 - kCellBits;
    int cell = ((r >> kShift) << (2 * kCellBits)) | ((g >> kShift) << kCellBits) | (b >> kShift);
    if (cell_start_[cell] < 0) BuildCell(cell);
    const uint16_t* list = candidates_.data() + cell_start_[cell];
    int count = list[0];
    best = list[1];
    int best_distance = std::numeric_limits<int>::max();
    for (int k = 1; k <= count; ++k) {
      const TRGBQuad& q = palette_[list[k]];
      int dr = q.red - r, dg = q.green - g, db = q.blue - b;
      int d = dr * dr + dg * dg + db * db;
      if (d < best_distance) {
        best_distance = d;
        best = list[k];
      }
    }
  }
  cache_key_[slot] = color | 0x1000000u;
  cache_index_[slot] = static_cast<uint8_t>(best);
  return best;
}

// ---------------------------------------------------------------------------------------------
// Row reader and writer.

void TRowReader::InitChannel(Channel& c, uint32_t mask) {
  c.mask = mask;
  const MaskShape shape = MaskShapeOf(mask);
  c.shift = shape.shift;
  c.bits = shape.bits;
  if (c.bits <= 8)
    for (uint32_t v = 0; v < (1u << c.bits); ++v) c.expand[v] = WidenChannel(v, c.bits);
}

uint8_t TRowReader::Decode(const Channel& c, uint32_t value) {
  uint32_t v = (value & c.mask) >> c.shift;
  return c.bits <= 8 ? c.expand[v] : static_cast<uint8_t>(v >> (c.bits - 8));
}

TRowReader::TRowReader(const TBitmap& bitmap) : bitmap_(bitmap), kind_(KindOf(bitmap)) {
  if (kind_ == kIndex1 || kind_ == kIndex4 || kind_ == kIndex8) lut_ = PaletteColors(bitmap);
  if (kind_ == kMasked16 || kind_ == kMasked32) {
    auto masks = MasksOf(bitmap);
    for (int i = 0; i < 3; ++i) InitChannel(channels_[i], masks[i]);
  }
}

void TRowReader::Read(int y, int x0, int count, TColor* out) const {
  const uint8_t* row = bitmap_.ScanLine(y);
  switch (kind_) {
    case kIndex1:
      for (int i = 0; i < count; ++i) out[i] = lut_[GetIndex1(row, x0 + i)];
      break;
    case kIndex4:
      for (int i = 0; i < count; ++i) out[i] = lut_[GetIndex4(row, x0 + i)];
      break;
    case kIndex8:
      row += x0;
      for (int i = 0; i < count; ++i) out[i] = lut_[row[i]];
      break;
    case kMasked16:
      row += 2 * x0;
      for (int i = 0; i < count; ++i) {
        uint32_t v = row[2 * i] | (row[2 * i + 1] << 8);
        out[i] = RGB(Decode(channels_[0], v), Decode(channels_[1], v), Decode(channels_[2], v));
      }
      break;
    case kBgr24:
      row += 3 * x0;
      for (int i = 0; i < count; ++i, row += 3) out[i] = RGB(row[2], row[1], row[0]);
      break;
    case kBgrx32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) out[i] = RGB(row[2], row[1], row[0]);
      break;
    case kMasked32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        uint32_t v =
            row[0] | (row[1] << 8) | (row[2] << 16) | (static_cast<uint32_t>(row[3]) << 24);
        out[i] = RGB(Decode(channels_[0], v), Decode(channels_[1], v), Decode(channels_[2], v));
      }
      break;
  }
}

uint32_t TRowWriter::EncodeChannel(uint32_t mask, uint8_t value) {
  const auto [shift, bits] = MaskShapeOf(mask);
  if (bits <= 0) return 0;
  uint32_t v;
  if (bits <= 8) {
    v = static_cast<uint32_t>(value) >> (8 - bits);
  } else {
    // Repeat the 8 bits downwards so that full intensity fills the whole field.
    v = 0;
    for (int at = bits - 8; at > -8; at -= 8)
      v |= at >= 0 ? static_cast<uint32_t>(value) << at : static_cast<uint32_t>(value) >> -at;
  }
  return (v << shift) & mask;
}

TRowWriter::TRowWriter(TBitmap& bitmap) : bitmap_(bitmap), kind_(KindOf(bitmap)) {
  if (kind_ == kIndex1 || kind_ == kIndex4 || kind_ == kIndex8) {
    if (bitmap.UsablePaletteSize() > 0) {
      mapper_ = std::make_unique<TNearestColorMapper>(bitmap.Palette().data(),
                                                      bitmap.UsablePaletteSize());
    } else {
      auto bw = BlackWhitePalette();
      mapper_ = std::make_unique<TNearestColorMapper>(bw);
    }
  }
  if (kind_ == kMasked16 || kind_ == kMasked32) {
    auto masks = MasksOf(bitmap);
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v)
        packed_[c][v] = EncodeChannel(masks[c], static_cast<uint8_t>(v));
  }
}

uint32_t TRowWriter::Encode(TColor color) {
  uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (kind_) {
    case kIndex1:
    case kIndex4:
    case kIndex8:
      return static_cast<uint32_t>(mapper_->Index(color));
    case kMasked16:
    case kMasked32:
      return packed_[0][r] | packed_[1][g] | packed_[2][b];
    default:
      return b | (g << 8) | (static_cast<uint32_t>(r) << 16);
  }
}

void TRowWriter::Write(int y, int x0, int count, const TColor* colors) {
  uint8_t* row = bitmap_.ScanLine(y);
  switch (kind_) {
    case kIndex1:
    case kIndex4: {
      if (indices_.size() < static_cast<size_t>(count)) indices_.resize(static_cast<size_t>(count));
      for (int i = 0; i < count; ++i) indices_[i] = static_cast<uint8_t>(mapper_->Index(colors[i]));
      int x = x0, i = 0;
      if (kind_ == kIndex1) {
        for (; i < count && (x & 7); ++i, ++x) SetIndex1(row, x, indices_[i]);
        for (; i + 8 <= count; i += 8, x += 8) {
          const uint8_t* p = indices_.data() + i;
          row[x >> 3] = static_cast<uint8_t>((p[0] & 1) << 7 | (p[1] & 1) << 6 | (p[2] & 1) << 5 |
                                             (p[3] & 1) << 4 | (p[4] & 1) << 3 | (p[5] & 1) << 2 |
                                             (p[6] & 1) << 1 | (p[7] & 1));
        }
        for (; i < count; ++i, ++x) SetIndex1(row, x, indices_[i]);
      } else {
        if (x & 1) SetIndex4(row, x++, indices_[i++]);
        for (; i + 2 <= count; i += 2, x += 2)
          row[x >> 1] = static_cast<uint8_t>((indices_[i] & 15) << 4 | (indices_[i + 1] & 15));
        if (i < count) SetIndex4(row, x, indices_[i]);
      }
      break;
    }
    case kIndex8:
      row += x0;
      for (int i = 0; i < count; ++i) row[i] = static_cast<uint8_t>(mapper_->Index(colors[i]));
      break;
    case kMasked16:
      row += 2 * x0;
      for (int i = 0; i < count; ++i) {
        TColor c = colors[i];
        uint32_t v = packed_[0][GetRValue(c)] | packed_[1][GetGValue(c)] | packed_[2][GetBValue(c)];
        row[2 * i] = static_cast<uint8_t>(v);
        row[2 * i + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case kBgr24:
      row += 3 * x0;
      for (int i = 0; i < count; ++i, row += 3) {
        row[0] = GetBValue(colors[i]);
        row[1] = GetGValue(colors[i]);
        row[2] = GetRValue(colors[i]);
      }
      break;
    case kBgrx32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        row[0] = GetBValue(colors[i]);
        row[1] = GetGValue(colors[i]);
        row[2] = GetRValue(colors[i]);
        row[3] = 0;
      }
      break;
    case kMasked32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        TColor c = colors[i];
        uint32_t v = packed_[0][GetRValue(c)] | packed_[1][GetGValue(c)] | packed_[2][GetBValue(c)];
        std::memcpy(row, &v, 4);
      }
      break;
  }
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
