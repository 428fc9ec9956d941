// The grey conversion of the black-and-white mode.
#include "raster/gray_bitmap.h"

#include <gtest/gtest.h>

#include "raster/dib_image.h"

namespace pamirune {
namespace {

TEST(GrayBitmapTest, WeightsRoundHalvesToEven) {
  EXPECT_EQ(GrayLevel(255, 255, 255), 252);  // the weights add up to 0.989
  EXPECT_EQ(GrayLevel(0, 0, 0), 0);
  EXPECT_EQ(GrayLevel(255, 0, 0), 74);   // 73.695
  EXPECT_EQ(GrayLevel(0, 255, 0), 149);  // 149.43
  EXPECT_EQ(GrayLevel(0, 0, 255), 29);   // 29.07
  EXPECT_EQ(GrayLevel(0, 5, 5), 4);      // exactly 3.5: up to the even 4
  EXPECT_EQ(GrayLevel(0, 15, 15), 10);   // exactly 10.5: down to the even 10
  // Exactly 31.5, which plain double arithmetic computes as 31.4999... and rounds down.
  EXPECT_EQ(GrayLevel(0, 45, 45), 32);
}

TEST(GrayBitmapTest, MakesANewTrueColourBitmapFromAnyFormat) {
  TBitmap paletted(3, 2, TPixelFormat::pf8bit);
  paletted.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}});
  paletted.SetRawPixel(0, 0, 1);
  paletted.SetRawPixel(1, 0, 2);
  paletted.SetRawPixel(2, 1, 0);
  paletted.SetResolution(2835, 2835);
  TBitmap grey = MakeGrayBitmap(paletted);
  EXPECT_EQ(grey.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(grey.Width(), 3);
  EXPECT_EQ(grey.Height(), 2);
  EXPECT_EQ(grey.Pixel(0, 0), RGB(252, 252, 252));
  EXPECT_EQ(grey.Pixel(1, 0), RGB(74, 74, 74));
  EXPECT_EQ(grey.Pixel(2, 1), RGB(0, 0, 0));
  EXPECT_EQ(grey.XPelsPerMeter(), 2835);
  EXPECT_EQ(paletted.PixelFormat(), TPixelFormat::pf8bit);  // the source is not touched

  TBitmap wide(2, 1, TPixelFormat::pf32bit);
  wide.SetPixel(0, 0, RGB(0, 255, 0));
  wide.SetPixel(1, 0, RGB(10, 20, 30));
  TBitmap g2 = MakeGrayBitmap(wide);
  EXPECT_EQ(g2.Pixel(0, 0), RGB(149, 149, 149));
  EXPECT_EQ(g2.Pixel(1, 0), RGB(18, 18, 18));  // 2.89 + 11.72 + 3.42 = 18.03
  EXPECT_TRUE(MakeGrayBitmap(TBitmap()).Empty());
}

TEST(GrayBitmapTest, BlackAndWhiteGivesAnEightBitGreyFile) {
  TBitmap source(16, 16, TPixelFormat::pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      source.SetPixel(x, y,
                      x == 0 && y == 0
                          ? kClWhite
                          : RGB(static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), 99));
  DibImage dib;
  dib.Assign(MakeGrayBitmap(source));
  dib.SetPixelFormat(DibPixelFormat::k8Bit);
  for (const TRGBQuad& q : dib.Palette()) {
    EXPECT_EQ(q.red, q.green);
    EXPECT_EQ(q.green, q.blue);
  }
  const TRGBQuad& white = dib.Palette()[dib.Data().ScanLine(0)[0]];
  EXPECT_EQ(white.red, 252);
  TMemoryStream file;
  dib.SaveToStream(file);
  EXPECT_EQ(file.Bytes()[28], 8);  // bit count
}

}  // namespace
}  // namespace pamirune
