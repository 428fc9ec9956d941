// Image scaling: fills a target Raster image of a given size from a source Raster image,
// smoothly (linear interpolation where a dimension grows or stays, area averaging where it
// shrinks, one separable pass per direction) or by nearest neighbour.
#pragma once

#include <functional>

#include "raster/bitmap.h"

namespace pamirune {

// Receives the percentage done (0..100).
using TResampleProgress = std::function<void(int percent)>;

enum TResampleMode : int {
  kResampleSmooth = 0,
  kResampleNearest = 1,
};

// Fills target (whose width and height the caller has set) from source. Mode 0 is smooth,
// mode 1 nearest neighbour; other modes leave the pixels alone. Both images are switched to
// 24 bits per pixel first. An empty source or target leaves everything unchanged. Images of
// any size are handled; source and target may be the same image.
void ResampleBitmap(TBitmap& source, TBitmap& target, int mode,
                    const TResampleProgress& progress = {});

// The single passes. Both images must be 24 bits per pixel and not empty; rows keep their
// count in the horizontal passes (target height = source height), columns in the vertical ones.
void ResizeLinearH(const TBitmap& source, TBitmap& target, const TResampleProgress& progress);
void ResizeAreaH(const TBitmap& source, TBitmap& target, const TResampleProgress& progress);
void ResizeLinearV(const TBitmap& source, TBitmap& target, const TResampleProgress& progress);
void ResizeAreaV(const TBitmap& source, TBitmap& target, const TResampleProgress& progress);
void ResizeNearest(const TBitmap& source, TBitmap& target, const TResampleProgress& progress);

}  // namespace pamirune
