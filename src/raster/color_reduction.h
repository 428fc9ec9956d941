// Colour reduction of a true-colour Raster image to an 8-bit palette image: a choice of ten
// palette sources and seven scanning methods (nearest colour or error diffusion).
#pragma once

#include <memory>
#include <vector>

#include "raster/bitmap.h"

namespace pamirune {

// Where the palette of the reduced image comes from. The ordinal values are stored by the GIF
// image and must not change.
enum class PaletteSource {
  KeepTrueColour = 0,  // no palette: the result is a 24-bit copy
  SystemStatic20,      // the 20 static system colours
  SystemHalftone256,   // the 256-colour halftone palette
  SystemGray4,         // greys 0, 128, 192, 255
  BlackWhite,          // black and white
  Gray256,             // 256 greys
  WebCube216,          // the 6 x 6 x 6 colour cube
  OctreeOptimal,       // octree palette of 2^bits colours
  OctreeWithSystem,    // octree palette of 236 colours inside the 20 system colours
  CallerPalette        // a copy of the palette handed in
};

// How pixels are mapped to the palette. The ordinal values are stored by the GIF image.
enum class DiffusionMethod {
  NearestOnly = 0,
  FloydSteinberg,
  Stucki,
  Sierra,
  JaJuNi,      // Jarvis, Judice and Ninke
  SteveArche,  // Stevenson and Arce
  Burkes
};

// A new Raster image owned by the caller: 8 bits per pixel with the chosen palette, or a 24-bit
// copy for KeepTrueColour. Returns an empty pointer (nullptr) for unknown sources or methods,
// and for a CallerPalette without entries. `bits` (0..8) sets the colour count 2^bits of
// OctreeOptimal. The source is read through a 24-bit copy and left as it is; an empty source
// raises EInvalidGraphic("Invalid image dimensions").
std::unique_ptr<TBitmap> ReduceRasterColours(const TBitmap& source, PaletteSource source_kind,
                                             DiffusionMethod method,
                                             const std::vector<TRGBQuad>* caller_palette, int bits);

// The octree palette of an image: at most max_colours leaf colours of a tree colour_bits deep
// (1..8). With with_system_colours the result has 256 entries: system colours 0..9, then 236
// octree colours from entry 10, then system colours 10..19; entries the tree does not fill are
// black. Without it the result has max_colours entries.
std::vector<TRGBQuad> BuildOctreePalette(const TBitmap& image, int max_colours, int colour_bits,
                                         bool with_system_colours);

// The palettes the reducer builds (flags in `reserved`: 4 on the grey palettes, 0 elsewhere).
std::vector<TRGBQuad> WebCubePalette216();
std::vector<TRGBQuad> GrayPalette256();
std::vector<TRGBQuad> GrayPalette4();
std::vector<TRGBQuad> MonochromePalette2();

// Images above this many pixels are reduced through a result first switched to 1 bit.
constexpr int64_t kLargeImageThreshold = 500000;

}  // namespace pamirune
