#include "raster/color_reduction.h"

namespace pamirune {

std::unique_ptr<TBitmap> ReduceRasterColours(const TBitmap& source, PaletteSource source_kind,
                                             DiffusionMethod method,
                                             const std::vector<TRGBQuad>* caller_palette,
                                             int bits) {
  return nullptr;
}

std::vector<TRGBQuad> BuildOctreePalette(const TBitmap& image, int max_colours, int colour_bits,
                                         bool with_system_colours) {
  return {};
}

std::vector<TRGBQuad> WebCubePalette216() { return {}; }
std::vector<TRGBQuad> GrayPalette256() { return {}; }
std::vector<TRGBQuad> GrayPalette4() { return {}; }
std::vector<TRGBQuad> MonochromePalette2() { return {}; }

}  // namespace pamirune
