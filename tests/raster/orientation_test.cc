// Orientation 1 to 8 on a 3 x 2 picture whose pixels are numbered, in every pixel layout.
#include "raster/orientation.h"

#include <gtest/gtest.h>

#include "raster/palettes.h"

namespace pamirune {
namespace {

// Pixel values of the stored picture:  0 1 2
//                                      3 4 5
// and of what each orientation shows, row by row.
const std::vector<std::vector<int>> kShown = {
    {},
    {0, 1, 2, 3, 4, 5},  // 1: 3 x 2
    {2, 1, 0, 5, 4, 3},  // 2
    {5, 4, 3, 2, 1, 0},  // 3
    {3, 4, 5, 0, 1, 2},  // 4
    {0, 3, 1, 4, 2, 5},  // 5: 2 x 3
    {3, 0, 4, 1, 5, 2},  // 6
    {5, 2, 4, 1, 3, 0},  // 7
    {2, 5, 1, 4, 0, 3},  // 8
};

TEST(OrientationTest, EveryValueInEveryLayout) {
  for (TPixelFormat format :
       {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit,
        TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const bool one_bit = format == TPixelFormat::pf1bit;
    for (int o = 1; o <= 8; ++o) {
      TBitmap b(3, 2, format);
      if (BitsPerPixel(format) <= 8) b.SetPalette(GreyPalette(1 << BitsPerPixel(format)));
      // 1 bit can only tell pixel 0 from the others.
      for (int i = 0; i < 6; ++i)
        b.SetRawPixel(i % 3, i / 3, one_bit ? (i == 0) : static_cast<uint32_t>(i * 2 + 1));
      ApplyOrientation(b, o);
      const bool turned = o >= 5;
      ASSERT_EQ(b.Width(), turned ? 2 : 3);
      ASSERT_EQ(b.Height(), turned ? 3 : 2);
      for (int i = 0; i < 6; ++i) {
        const int want = kShown[o][i];
        EXPECT_EQ(b.RawPixel(i % b.Width(), i / b.Width()),
                  one_bit ? uint32_t(want == 0) : uint32_t(want * 2 + 1))
            << "format " << BitsPerPixel(format) << " orientation " << o << " pixel " << i;
      }
      if (BitsPerPixel(format) <= 8) {
        EXPECT_EQ(b.Palette().size(), size_t{1} << BitsPerPixel(format));
      }
    }
  }
  TBitmap odd(3, 2, TPixelFormat::pf24bit);
  ApplyOrientation(odd, 9);  // unknown values leave the picture alone
  EXPECT_EQ(odd.Width(), 3);
}

}  // namespace
}  // namespace pamirune
