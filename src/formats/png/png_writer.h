// PngWriteStream: encodes a Raster image (and its alpha mask) into a PNG byte stream.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/png/png_types.h"
#include "raster/bitmap.h"

namespace pamirune {

class PngWriteStream {
 public:
  PngWriteStream(TStream& stream, const PngOptions& options);

  void SetClock(PngClock clock) { clock_ = std::move(clock); }
  void SetProgress(TProgressEvent progress) { progress_ = std::move(progress); }
  // The alpha mask (255 = fully transparent). It is used only when it is not empty, has the
  // image's size and 8 bits per pixel.
  void SetAlphaMask(const TBitmap* mask) { alpha_ = mask; }

  // Writes the whole file. Raises EPngError.
  void Write(const TBitmap& image);

 private:
  TStream& stream_;
  const PngOptions& options_;
  PngClock clock_;
  TProgressEvent progress_;
  const TBitmap* alpha_ = nullptr;
};

// The nearest palette entry to a colour: smallest sum of absolute channel differences, an
// exact match ends the search, the lower index wins ties.
int PngNearestPaletteIndex(const std::vector<TRGBQuad>& palette, TColor color);

// Grey level of a colour as the writer computes it: (r * 77 + g * 150 + b * 29) / 256.
constexpr int PngLuminance(int r, int g, int b) { return (r * 77 + g * 150 + b * 29) / 256; }

}  // namespace pamirune
