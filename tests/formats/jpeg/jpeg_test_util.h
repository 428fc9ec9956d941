// Helpers of the JPEG tests: test pictures, encoding to bytes and loading from bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/jpeg/jpeg_image.h"

namespace pamirune::testing {

// A 24-bit picture: smooth gradients and a red block.
inline TBitmap Picture(int width = 40, int height = 30) {
  TBitmap b(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      bool red = x >= width / 4 && x < width / 2 && y >= height / 4 && y < height / 2;
      row[3 * x] = red ? 40 : static_cast<uint8_t>(128 + y);               // blue
      row[3 * x + 1] = red ? 30 : static_cast<uint8_t>(y * 255 / height);  // green
      row[3 * x + 2] = red ? 230 : static_cast<uint8_t>(x * 255 / width);  // red
    }
  }
  return b;
}

inline std::vector<uint8_t> Encode(const TBitmap& bitmap, int quality = 90) {
  TJPEGImage jpeg;
  jpeg.Assign(bitmap);
  jpeg.SetCompressionQuality(quality);
  jpeg.Compress();
  return jpeg.Data().stream;
}

inline void Load(TJPEGImage& image, const std::vector<uint8_t>& bytes) {
  TMemoryStream in(bytes);
  image.LoadFromStream(in);
}

inline TBitmap Decode(const std::vector<uint8_t>& bytes) {
  TJPEGImage image;
  Load(image, bytes);
  TBitmap out;
  out.Assign(image);
  return out;
}

// Position of the first marker 0xFF, code at or after from; the end when there is none.
inline std::vector<uint8_t>::iterator FindMarker(std::vector<uint8_t>& file, uint8_t code,
                                                 size_t from = 0) {
  for (size_t i = from; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == code) return file.begin() + static_cast<long>(i);
  return file.end();
}

// Largest difference of any channel between two images of the same size.
inline int MaxDifference(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      worst =
          std::max({worst, std::abs(GetRValue(p) - GetRValue(q)),
                    std::abs(GetGValue(p) - GetGValue(q)), std::abs(GetBValue(p) - GetBValue(q))});
    }
  return worst;
}

// Mean of the channel differences: the measure against the source of a lossy encoding, whose
// largest errors sit on sharp edges.
inline double MeanDifference(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
             std::abs(GetBValue(p) - GetBValue(q));
    }
  return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace pamirune::testing
