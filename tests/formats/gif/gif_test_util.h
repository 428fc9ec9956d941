// Helpers shared by the GIF tests: building Raster images, saving and loading in memory,
// collecting warnings, and a bit writer for hand-made code streams.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/gif/gif.h"

namespace pamirune::gif_test {

inline std::vector<uint8_t> Save(const TGIFImage& gif) {
  TMemoryStream out;
  gif.SaveToStream(out);
  return out.Bytes();
}

// Records the warnings of an image.
struct Warnings {
  std::vector<std::string> texts;
  explicit Warnings(TGIFImage& gif) {
    gif.OnWarning = [this](TGIFSeverity, const std::string& text) { texts.push_back(text); };
  }
  bool Has(const std::string& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
};

// Adds an extension of kind E to a frame and returns it.
template <class E>
E& Attach(TGIFSubImage& frame) {
  auto extension = std::make_unique<E>(&frame);
  E& ref = *extension;
  frame.Extensions().Add(std::move(extension));
  return ref;
}

inline void Load(TGIFImage& gif, const std::vector<uint8_t>& bytes) {
  TMemoryStream in(bytes);
  gif.LoadFromStream(in);
}

// An 8-bit Raster image with the palette and the indices (rows top to bottom).
inline TBitmap Indexed(int width, int height, const std::vector<TColor>& palette,
                       const std::vector<uint8_t>& indices) {
  TBitmap b(width, height, TPixelFormat::pf8bit);
  std::vector<TRGBQuad> quads;
  for (TColor c : palette) quads.push_back(QuadFromColor(c));
  b.SetPalette(quads);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.ScanLine(y)[x] = indices[static_cast<size_t>(y) * width + x];
  return b;
}

// A 24-bit Raster image from colours (rows top to bottom).
inline TBitmap TrueColour(int width, int height, const std::vector<TColor>& colours) {
  TBitmap b(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.SetPixel(x, y, colours[static_cast<size_t>(y) * width + x]);
  return b;
}

// Packs codes least significant bit first, as GIF image data holds them.
struct CodeWriter {
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  int count = 0;
  void Put(int code, int size) {
    bits |= static_cast<uint32_t>(code) << count;
    count += size;
    while (count >= 8) {
      bytes.push_back(static_cast<uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  }
  // Minimum code size, the packed bytes as one sub-block (or several), terminator.
  std::vector<uint8_t> ImageData(int min_code_size, bool terminate = true) {
    if (count > 0) bytes.push_back(static_cast<uint8_t>(bits));
    bits = 0;
    count = 0;
    std::vector<uint8_t> out{static_cast<uint8_t>(min_code_size)};
    for (size_t at = 0; at < bytes.size(); at += 255) {
      size_t n = std::min<size_t>(255, bytes.size() - at);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
    }
    if (terminate) out.push_back(0);
    return out;
  }
};

// A whole file: header without global table, one frame of width x height with a local table
// of 2^bits grey entries, then the given image data and the trailer.
inline std::vector<uint8_t> FileWith(int width, int height, int bits,
                                     const std::vector<uint8_t>& image_data, bool trailer = true) {
  std::vector<uint8_t> f = {'G',
                            'I',
                            'F',
                            '8',
                            '9',
                            'a',
                            static_cast<uint8_t>(width),
                            static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(height),
                            static_cast<uint8_t>(height >> 8),
                            0,
                            0,
                            0};
  std::vector<uint8_t> d = {0x2C,
                            0,
                            0,
                            0,
                            0,
                            static_cast<uint8_t>(width),
                            static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(height),
                            static_cast<uint8_t>(height >> 8),
                            static_cast<uint8_t>(0x80 | (bits - 1))};
  f.insert(f.end(), d.begin(), d.end());
  for (int i = 0; i < (1 << bits); ++i) {
    uint8_t g = static_cast<uint8_t>(i * 255 / ((1 << bits) - 1));
    f.insert(f.end(), {g, g, g});
  }
  f.insert(f.end(), image_data.begin(), image_data.end());
  if (trailer) f.push_back(0x3B);
  return f;
}

inline bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

}  // namespace pamirune::gif_test
