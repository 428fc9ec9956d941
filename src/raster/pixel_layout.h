// How the Raster image lays its pixels out, for the raster's own pixel code (TBitmap and the
// row reader and writer): the layout kinds, the masks of 16- and 32-bit pixels, palette
// lookups and access to packed indices. Private to raster/.
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune::pixel_layout {

inline constexpr char kBadPixelFormat[] = "画像ﾌｫｰﾏｯﾄが不正です";

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

inline bool IsPaletteFormat(TPixelFormat f) {
  return f == TPixelFormat::pf1bit || f == TPixelFormat::pf4bit || f == TPixelFormat::pf8bit;
}

inline Kind KindOf(const TBitmap& b) {
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
inline std::array<uint32_t, 3> MasksOf(const TBitmap& b) {
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

// Colour of a palette entry, or of an index the palette lacks (black).
inline std::array<TColor, 256> PaletteColors(const TBitmap& b) {
  std::array<TColor, 256> lut{};
  int n = b.UsablePaletteSize();
  for (int i = 0; i < n; ++i) lut[i] = ColorFromQuad(b.Palette()[i]);
  // A 1-bit image without palette reads as black and white.
  if (b.PixelFormat() == TPixelFormat::pf1bit && n == 0) lut[1] = kClWhite;
  return lut;
}

// Nearest entry by a walk over the whole palette (squared distance, lowest index on ties).
inline int LinearNearest(const TRGBQuad* palette, int count, TColor color) {
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

}  // namespace pamirune::pixel_layout
