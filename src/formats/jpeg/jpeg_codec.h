// Drives libjpeg for TJPEGImage: header probe, compression of a Raster image and decompression
// into one. Private to this folder. Every libjpeg failure becomes EJPEG ("JPEG ｴﾗｰ #code").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "raster/bitmap.h"

namespace pamirune::jpeg {

struct HeaderInfo {
  int width = 0;
  int height = 0;
  bool grayscale = false;    // one component, greyscale colour space
  bool progressive = false;  // several scans
  int orientation = 1;       // EXIF orientation (1 to 8); 1 without a valid one
};

// The orientation tag of IFD0 in an APP1 "Exif" segment's data (from "Exif\0\0" on); 1 when
// the data holds none or is damaged.
int ExifOrientation(const uint8_t* data, size_t size);

// Reads the header only. Raises EJPEG, and EImageTooLarge past the pixel limit.
HeaderInfo ReadHeader(const uint8_t* data, size_t size);

struct CompressOptions {
  int quality = 90;  // libjpeg takes values below 1 as 1 and above 100 as 100
  bool grayscale = false;
  bool progressive = false;
};

// Encodes the raster (any pixel format) as a JFIF file; an image without pixels gives no
// bytes. Progress goes to the handler, which may be empty; an exception it throws ends the
// compression and is passed on.
std::vector<uint8_t> Compress(const TBitmap& raster, const CompressOptions& options,
                              const TProgressEvent& progress);

struct DecompressOptions {
  int scale = 0;  // output size 1 / 2^scale
  bool smoothing = true;
  bool grayscale = false;
  bool eight_bit = false;   // 8 bits per pixel, colours quantized to 236
  bool best_speed = false;  // fast integer DCT, one-pass ordered dithering
  bool progressive_display = false;
};

// Decodes into out: 8 bits per pixel for greyscale output (a 256-step grey palette, the
// levels as they are) or with eight_bit (quantized colours), otherwise 24 bits. CMYK and YCCK
// files always decode to 24-bit RGB (inverted, as Adobe writes them, when they carry an Adobe
// segment). For a
// progressive file with progressive_display, out holds each scan's picture in turn and
// scan_done is called after each but the last. False when the data ended before the picture
// did (a cut file decodes as far as it goes, the rest stays grey).
bool Decompress(const uint8_t* data, size_t size, const DecompressOptions& options, TBitmap& out,
                const TProgressEvent& progress, const std::function<void()>& scan_done);

}  // namespace pamirune::jpeg
