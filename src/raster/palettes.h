// The fixed palettes of the display that the Raster image and the colour reduction use:
// the 16-colour system palette, the 20 static system colours and the 256-colour halftone palette.
#pragma once

#include <array>
#include <vector>

#include "raster/graphic.h"

namespace pamirune {

// The 16 VGA system colours in palette order (black, maroon, green, olive, navy, purple,
// teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
const std::array<TRGBQuad, 16>& SystemPalette16();
// The 20 static colours of a palette device: the first ten and the last ten entries of the
// system palette.
const std::array<TRGBQuad, 20>& SystemPalette20();
// The 256-colour halftone palette.
const std::array<TRGBQuad, 256>& HalftonePalette256();
std::vector<TRGBQuad> BlackWhitePalette();
std::vector<TRGBQuad> GreyPalette(int entries);

}  // namespace pamirune
