// Small helpers shared by the MAG tests: indexed test images and encoding to bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/mag/mag_image.h"
#include "raster/palettes.h"

namespace pamirune::testing {

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// An indexed image filled with one index; 16 grey steps or 256 distinct colours as palette.
inline TBitmap Indexed(int width, int height, TPixelFormat format, uint8_t index = 0) {
  TBitmap b(width, height, format);
  std::vector<TRGBQuad> palette;
  int entries = format == TPixelFormat::pf8bit ? 256 : format == TPixelFormat::pf4bit ? 16 : 2;
  for (int i = 0; i < entries; ++i)
    palette.push_back(
        {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7), 0});
  b.SetPalette(palette);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.SetRawPixel(x, y, index);
  return b;
}

inline std::vector<uint8_t> Save(const TMAGImage& image) {
  TMemoryStream out;
  image.SaveToStream(out);
  return out.Bytes();
}

inline std::vector<uint8_t> EncodeBitmap(const TBitmap& bitmap) {
  TMAGImage image;
  image.Assign(bitmap);
  return Save(image);
}

inline void Load(TMAGImage& image, const std::vector<uint8_t>& bytes) {
  TMemoryStream in(bytes);
  image.LoadFromStream(in);
}

// Offset of the MAG header: just after the comment's end mark.
inline size_t HeaderPos(const std::vector<uint8_t>& file) {
  size_t i = 32;
  while (file[i] != 0x1A) ++i;
  return i + 1;
}
inline uint32_t Field32(const std::vector<uint8_t>& file, size_t at) {
  return file[at] | (file[at + 1] << 8) | (file[at + 2] << 16) |
         (static_cast<uint32_t>(file[at + 3]) << 24);
}
inline uint16_t Field16(const std::vector<uint8_t>& file, size_t at) {
  return static_cast<uint16_t>(file[at] | (file[at + 1] << 8));
}
inline void Set16(std::vector<uint8_t>& file, size_t at, uint16_t v) {
  file[at] = static_cast<uint8_t>(v);
  file[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Set32(std::vector<uint8_t>& file, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Every pixel index of an image, row by row.
inline std::vector<uint32_t> Indices(const TBitmap& b) {
  std::vector<uint32_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.RawPixel(x, y));
  return out;
}

}  // namespace pamirune::testing
