// PngReadStream: decodes a PNG byte stream into a Raster image and an alpha mask.
#pragma once

#include <cstdint>

#include "formats/png/png_types.h"
#include "raster/bitmap.h"

namespace pamirune {

class PngReadStream {
 public:
  explicit PngReadStream(TStream& stream) : stream_(stream) {}

  // Reading options.
  // RGB files whose sBIT says 5,5,5 or 5,6,5 decode into 15- or 16-bit rasters.
  void SetDecode1516(bool on) { decode_15_16_ = on; }
  // Honour the palette-as-grey mark our own files may carry.
  void SetPaletteAsGrey(bool on) { palette_as_grey_ = on; }
  // Images with more pixels are refused before anything is allocated.
  void SetMaxPixels(int64_t pixels) { max_pixels_ = pixels; }
  void SetProgress(TProgressEvent progress) { progress_ = std::move(progress); }

  // Decodes the stream. image receives the pixels; alpha the alpha mask (255 minus alpha) when
  // the file has an alpha channel or a partial palette transparency, otherwise it is emptied.
  // meta is reset to "absent" and then receives what the file says: comment, colours,
  // interlace, gamma, physical size, significant bits, greyscale, time, chromaticities, GIF
  // block and the alpha-present flag. Raises EPngError; running out of data is not an error.
  void Read(TBitmap& image, TBitmap& alpha, PngOptions& meta);

  // The header as read (valid after Read).
  int ColorType() const { return color_type_; }
  int BitDepth() const { return bit_depth_; }
  // Image rows fully decoded (counting every pass of an interlaced image).
  int64_t RowsDecoded() const { return rows_decoded_; }
  // False when the image data ended before the last row (the rest stays blank).
  bool Complete() const { return complete_; }

 private:
  TStream& stream_;
  bool check_signature_ = true;
  bool decode_15_16_ = false;
  bool palette_as_grey_ = false;
  int64_t max_pixels_ = PixelLimit();
  TProgressEvent progress_;
  int color_type_ = -1;
  int bit_depth_ = 0;
  int64_t rows_decoded_ = 0;
  bool complete_ = false;
};

}  // namespace pamirune
