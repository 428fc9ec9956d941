#include "formats/png/png_layout.h"

#include <algorithm>
#include <cstdlib>

#include "raster/byte_order.h"
#include "raster/channel_mask.h"

namespace pamirune {

int PngNearestPaletteIndex(const std::vector<TRGBQuad>& palette, TColor color) {
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int best_sum = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    int sum = std::abs(palette[i].red - r) + std::abs(palette[i].green - g) +
              std::abs(palette[i].blue - b);
    if (sum == 0) return static_cast<int>(i);
    if (sum < best_sum) {
      best_sum = sum;
      best = static_cast<int>(i);
    }
  }
  return best;
}

PngLayout::PngLayout(const TBitmap& image, const TBitmap* alpha_mask, bool greyscale_output)
    : width(image.Width()),
      height(image.Height()),
      source_bits(image.PixelFormat() == TPixelFormat::pf15bit ? 15 : image.BitCount()),
      source_palette(image.Palette()) {
  const bool alpha_fits = alpha_mask && !alpha_mask->Empty() && alpha_mask->Width() == width &&
                          alpha_mask->Height() == height && alpha_mask->BitCount() == 8;
  ChooseColourType(alpha_fits, greyscale_output);
  if (source_bits == 15 || source_bits == 16) {
    const bool own_masks = source_bits == 16 && image.HasMasks();
    const std::array<uint32_t, 3> masks =
        own_masks ? image.Masks() : std::array<uint32_t, 3>{0x7C00, 0x03E0, 0x001F};
    for (int i = 0; i < 3; ++i) channel_bits[i] = MaskShapeOf(masks[i]).bits;
  }
  MakePalette();
  MakeGreyTable();
}

void PngLayout::ChooseColourType(bool alpha_fits, bool grey) {
  if (source_bits <= 8) {
    if (grey && source_bits == 8 && alpha_fits) {
      color_type = kPngTypeGreyAlpha;
      bit_depth = 8;
      alpha = true;
    } else {
      color_type = grey ? kPngTypeGrey : kPngTypePalette;
      bit_depth = source_bits;
    }
  } else {
    bit_depth = 8;
    alpha = alpha_fits;
    if (grey)
      color_type = alpha_fits ? kPngTypeGreyAlpha : kPngTypeGrey;
    else
      color_type = alpha_fits ? kPngTypeRgba : kPngTypeRgb;
  }
  greyscale = color_type == kPngTypeGrey || color_type == kPngTypeGreyAlpha;
  int channels = 1;
  if (color_type == kPngTypeRgb) channels = 3;
  if (color_type == kPngTypeRgba) channels = 4;
  if (color_type == kPngTypeGreyAlpha) channels = 2;
  pixel_bits = channels * bit_depth;
}

// The written palette: the source's entries, no more than the depth can address. A source
// without a palette gets a grey ramp, so that every index still shows a colour.
void PngLayout::MakePalette() {
  if (color_type != kPngTypePalette) return;
  const size_t limit = size_t{1} << bit_depth;
  if (source_palette.empty()) {
    for (size_t i = 0; i < limit; ++i) {
      uint8_t v = static_cast<uint8_t>(i * 255 / (limit - 1));
      palette.push_back({v, v, v, 0});
    }
  } else {
    palette.assign(source_palette.begin(),
                   source_palette.begin() +
                       static_cast<std::ptrdiff_t>(std::min(limit, source_palette.size())));
  }
}

// Greyscale index table of palette sources.
void PngLayout::MakeGreyTable() {
  if (!greyscale || source_bits > 8) return;
  for (int i = 0; i < 256; ++i) {
    int v = i;
    if (static_cast<size_t>(i) < source_palette.size()) {
      const TRGBQuad& q = source_palette[i];
      int sum = q.red * 77 + q.green * 150 + q.blue * 29;
      v = source_bits == 4 ? sum / 4096 : sum / 256;
    }
    grey[i] = static_cast<uint8_t>(v);
  }
  if (source_bits == 1 && source_palette.size() >= 2) {
    auto lum = [](const TRGBQuad& q) { return PngLuminance(q.red, q.green, q.blue); };
    invert = lum(source_palette[1]) < lum(source_palette[0]);
  }
}

TColor PngLayout::Resolve(TColor c) const {
  if (c & kPaletteIndexFlag) {
    size_t idx = c & 0xFF;
    if (idx < source_palette.size()) return ColorFromQuad(source_palette[idx]);
    return RGB(static_cast<uint8_t>(idx), static_cast<uint8_t>(idx), static_cast<uint8_t>(idx));
  }
  return c & 0xFFFFFF;
}

int PngLayout::GreyLevel(TColor c) const {
  if ((c & kPaletteIndexFlag) && source_bits <= 8) {
    int idx = static_cast<int>(c & 0xFF);
    if (source_bits == 1) return (idx & 1) ^ (invert ? 1 : 0);
    if (source_bits == 4) return grey[idx] & 0x0F;
    return grey[idx];
  }
  TColor rgb = Resolve(c);
  int lum = PngLuminance(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
  if (bit_depth == 1 && source_palette.size() >= 2) {
    // The level the pixels of that colour are written with: its nearest entry's bit.
    std::vector<TRGBQuad> two(source_palette.begin(), source_palette.begin() + 2);
    return PngNearestPaletteIndex(two, rgb) ^ (invert ? 1 : 0);
  }
  if (bit_depth == 1) return lum >= 128 ? 1 : 0;
  if (bit_depth == 4) return lum / 16;
  return lum;
}

std::vector<uint8_t> PngLayout::ColourSample(TColor c) const {
  std::vector<uint8_t> b;
  if (greyscale) {
    AppendBe16(b, static_cast<uint32_t>(GreyLevel(c)));
  } else {
    TColor rgb = Resolve(c);
    AppendBe16(b, GetRValue(rgb));
    AppendBe16(b, GetGValue(rgb));
    AppendBe16(b, GetBValue(rgb));
  }
  return b;
}

int PngLayout::PaletteIndex(TColor c) const {
  int idx =
      (c & kPaletteIndexFlag) ? static_cast<int>(c & 0xFF) : PngNearestPaletteIndex(palette, c);
  return static_cast<size_t>(idx) < palette.size() ? idx : -1;
}

}  // namespace pamirune
