#include "raster/palettes.h"

namespace pamirune {

namespace {
constexpr TRGBQuad Q(uint8_t r, uint8_t g, uint8_t b) { return {b, g, r, 0}; }
}  // namespace

const std::array<TRGBQuad, 16>& SystemPalette16() {
  static const std::array<TRGBQuad, 16> kPalette = {
      Q(0, 0, 0),       Q(128, 0, 0),   Q(0, 128, 0),   Q(128, 128, 0),
      Q(0, 0, 128),     Q(128, 0, 128), Q(0, 128, 128), Q(192, 192, 192),
      Q(128, 128, 128), Q(255, 0, 0),   Q(0, 255, 0),   Q(255, 255, 0),
      Q(0, 0, 255),     Q(255, 0, 255), Q(0, 255, 255), Q(255, 255, 255)};
  return kPalette;
}

const std::array<TRGBQuad, 20>& SystemPalette20() {
  static const std::array<TRGBQuad, 20> kPalette = {
      Q(0, 0, 0),       Q(128, 0, 0),     Q(0, 128, 0),     Q(128, 128, 0),   Q(0, 0, 128),
      Q(128, 0, 128),   Q(0, 128, 128),   Q(192, 192, 192), Q(192, 220, 192), Q(166, 202, 240),
      Q(255, 251, 240), Q(160, 160, 164), Q(128, 128, 128), Q(255, 0, 0),     Q(0, 255, 0),
      Q(255, 255, 0),   Q(0, 0, 255),     Q(255, 0, 255),   Q(0, 255, 255),   Q(255, 255, 255)};
  return kPalette;
}

// The halftone palette of a 256-colour display:
//   0 ..   9  the first ten static colours;
//  10 .. 225  the 6 x 6 x 6 colour cube, every channel at 0, 51, 102, 153, 204 or 255, red
//             changing fastest (index 10 + r + 6 g + 36 b for levels r, g, b in 0 .. 5);
// 226 .. 245  twenty greys that split every step of the cube's grey diagonal into five, so that
//             together with the cube they form a ramp of 26 even levels (round(k * 255 / 25)
//             for the k that are not multiples of 5);
// 246 .. 255  the last ten static colours.
// Black and white occur both among the static colours and in the cube; nearest-colour lookups
// take the lower index.
const std::array<TRGBQuad, 256>& HalftonePalette256() {
  static const std::array<TRGBQuad, 256> kPalette = [] {
    std::array<TRGBQuad, 256> p{};
    const auto& sys = SystemPalette20();
    for (int i = 0; i < 10; ++i) p[i] = sys[i];
    for (int i = 0; i < 10; ++i) p[246 + i] = sys[10 + i];
    int k = 10;
    for (int b = 0; b < 6; ++b)
      for (int g = 0; g < 6; ++g)
        for (int r = 0; r < 6; ++r)
          p[k++] = Q(static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                     static_cast<uint8_t>(b * 51));
    for (int step = 1; step < 25; ++step) {
      if (step % 5 == 0) continue;
      auto v = static_cast<uint8_t>((step * 255 + 12) / 25);
      p[k++] = Q(v, v, v);
    }
    return p;
  }();
  return kPalette;
}

std::vector<TRGBQuad> BlackWhitePalette() { return {Q(0, 0, 0), Q(255, 255, 255)}; }

std::vector<TRGBQuad> GreyPalette(int entries) {
  std::vector<TRGBQuad> p(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    uint8_t v = static_cast<uint8_t>(entries > 1 ? i * 255 / (entries - 1) : 0);
    p[static_cast<size_t>(i)] = Q(v, v, v);
  }
  return p;
}

}  // namespace pamirune
