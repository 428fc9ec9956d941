// PngLayout: what a PNG file written from a Raster image holds (colour type, depth, palette)
// and how the image's colours map into it. Private to the PNG writer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/png/png_writer.h"
#include "raster/bitmap.h"

namespace pamirune {

struct PngLayout {
  // alpha: the writer's alpha mask, used when it fits the image (see PngWriteStream).
  PngLayout(const TBitmap& image, const TBitmap* alpha, bool greyscale);

  // Bytes of a row of the given number of pixels.
  size_t RowBytes(int pixels) const {
    return (static_cast<size_t>(pixels) * static_cast<size_t>(pixel_bits) + 7) / 8;
  }
  // A colour (or palette index of the source) as the grey level or red, green and blue
  // 16-bit samples bKGD and tRNS hold for a non-palette colour type.
  std::vector<uint8_t> ColourSample(TColor c) const;
  // The entry of the written palette a colour stands for; -1 when that is past its end.
  int PaletteIndex(TColor c) const;

  int width = 0;
  int height = 0;
  int source_bits = 0;  // 15 for 15-bit pixels, otherwise the source's bits per pixel
  int color_type = 0;
  int bit_depth = 0;
  int pixel_bits = 0;
  bool alpha = false;                 // an alpha channel is written
  bool greyscale = false;             // colour types 0 and 4
  std::array<int, 3> channel_bits{};  // red, green, blue bits of 15- and 16-bit sources
  std::vector<TRGBQuad> source_palette;
  std::vector<TRGBQuad> palette;    // PLTE as written
  std::array<uint8_t, 256> grey{};  // palette source index -> grey value at the output depth
  bool invert = false;              // 1-bit greyscale: entry 1 darker than entry 0

 private:
  void ChooseColourType(bool alpha_fits, bool greyscale);
  void MakePalette();
  void MakeGreyTable();
  // The colour of a colour value, resolving a palette index through the source palette.
  TColor Resolve(TColor c) const;
  // Grey level of a colour at the output depth.
  int GreyLevel(TColor c) const;
};

}  // namespace pamirune
