#include "raster/bitmap.h"

#include <gtest/gtest.h>

#include "raster/errors.h"

namespace pamirune {
namespace {

TEST(BitmapTest, PixelsRoundTripInEveryTrueColourFormat) {
  for (auto pf : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap b(3, 2, pf);
    b.SetPixel(2, 1, RGB(10, 20, 30));
    EXPECT_EQ(b.Pixel(2, 1), RGB(10, 20, 30));
  }
}

TEST(BitmapTest, CustomFormatIsRefused) {
  TBitmap b(1, 1, TPixelFormat::pf24bit);
  EXPECT_THROW(b.SetPixelFormat(TPixelFormat::pfCustom), EInvalidGraphic);
}

}  // namespace
}  // namespace pamirune
