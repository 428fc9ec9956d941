// Helpers of the TIFF and icon tests: temporary folders, running the third-party tools, test
// images and pixel comparison.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/byte_order.h"
#include "raster/stream.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace pamirune::tiff_test {

using Bytes = std::vector<uint8_t>;

inline const char* kPython = "/usr/bin/python3";
inline std::string ToolScript() {
  return std::string(PAMIRUNE_SOURCE_ROOT) + "/tests/formats/tiff/tiff_tool.py";
}

inline bool HaveExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }
inline bool HavePillow() {
  static const bool have =
      HaveExecutable(kPython) &&
      std::system((std::string(kPython) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0;
  return have;
}

// Runs a shell command; returns its exit status and collects stdout+stderr.
inline int RunTool(const std::string& command, std::string* output = nullptr) {
  return testing::RunCommand(command + " 2>&1", output);
}

using TempDir = ::pamirune::testing::TempDir;

inline Bytes ReadFile(const std::string& path) { return ReadWholeFile(path); }
inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A deterministic 24-bit image with smooth areas and noise (so LZW and the predictor both work).
inline TBitmap MakeRgb(int w, int h, uint32_t seed = 1) {
  TBitmap image(w, h, TPixelFormat::pf24bit);
  uint32_t state = seed;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      state = state * 1103515245u + 12345u;
      bool noisy = (x / 8 + y / 8) % 3 == 0;
      row[3 * x] = static_cast<uint8_t>(noisy ? state >> 24 : x * 3);
      row[3 * x + 1] = static_cast<uint8_t>(noisy ? state >> 16 : y * 5);
      row[3 * x + 2] = static_cast<uint8_t>(noisy ? state >> 8 : x + y);
    }
  }
  return image;
}

// A palette image of the given depth with a colourful palette and a pattern of indices.
inline TBitmap MakeIndexed(int w, int h, int bits, bool grey = false) {
  TPixelFormat format = bits == 1   ? TPixelFormat::pf1bit
                        : bits == 4 ? TPixelFormat::pf4bit
                                    : TPixelFormat::pf8bit;
  TBitmap image(w, h, format);
  int entries = 1 << bits;
  std::vector<TRGBQuad> palette(entries);
  for (int i = 0; i < entries; ++i) {
    auto v = static_cast<uint8_t>(i * 255 / (entries - 1));
    palette[i] = grey ? TRGBQuad{v, v, v, 0}
                      : TRGBQuad{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i * 11),
                                 static_cast<uint8_t>(i * 91 + 7), 0};
  }
  image.SetPalette(palette);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.SetRawPixel(x, y, static_cast<uint32_t>((x * 3 + y * 7 + x * y) % entries));
  return image;
}

// Colours of every pixel, row by row from the top.
inline std::vector<TColor> Colors(const TBitmap& image) {
  std::vector<TColor> out(static_cast<size_t>(image.Width()) * image.Height());
  for (int y = 0; y < image.Height(); ++y)
    image.ReadRow(y, out.data() + static_cast<size_t>(y) * image.Width());
  return out;
}

// The RGB pixels Pillow reads from a file: width, height and colours; false when it failed.
inline bool PillowPixels(const std::string& path, const std::string& scratch, int* w, int* h,
                         std::vector<TColor>* colors, std::string* log = nullptr) {
  std::string output;
  if (RunTool(std::string(kPython) + " " + ToolScript() + " dump '" + path + "' '" + scratch + "'",
              &output) != 0) {
    if (log) *log = output;
    return false;
  }
  Bytes raw = ReadFile(scratch);
  auto newline = std::find(raw.begin(), raw.end(), '\n');
  std::istringstream header(std::string(raw.begin(), newline));
  header >> *w >> *h;
  colors->clear();
  for (auto p = newline + 1; p + 2 < raw.end(); p += 3) colors->push_back(RGB(p[0], p[1], p[2]));
  return true;
}

}  // namespace pamirune::tiff_test
