// Every fuzz target decodes under a small pixel limit, so each run stays fast and small and the
// refusal of larger images is fuzzed as well.
#pragma once

#include <cstdint>

#include "raster/bitmap.h"

namespace fuzz {

inline constexpr int64_t kPixelLimit = int64_t{1} << 20;

// Sets the process's pixel limit when the target is loaded: `static const PixelLimit kLimit;`.
struct PixelLimit {
  explicit PixelLimit(int64_t pixels = kPixelLimit) { pamirune::SetPixelLimit(pixels); }
};

}  // namespace fuzz
