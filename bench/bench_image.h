// The photograph-like image the benchmarks work on: smooth gradients, a soft disc, ripples and a
// little noise — many distinct colours, as a photograph has, but something a compressor can use.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "raster/bitmap.h"

namespace pamirune {

inline TBitmap BenchPhoto(int width, int height) {
  TBitmap image(width, height, TPixelFormat::pf24bit);
  uint32_t seed = 2024;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28) - 8;
      const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
      const double disc = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12);
      const double ripple = std::sin(u * 40) * std::cos(v * 30) * 20;
      auto c = [&](double value) {
        return static_cast<uint8_t>(std::clamp(static_cast<int>(value) + noise, 0, 255));
      };
      row[3 * x + 2] = c(30 + 180 * u + 40 * disc + ripple);
      row[3 * x + 1] = c(50 + 140 * v + 50 * disc - ripple);
      row[3 * x] = c(210 - 160 * u + 30 * disc);
    }
  }
  return image;
}

}  // namespace pamirune
