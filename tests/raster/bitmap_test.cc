#include "raster/bitmap.h"

#include <gtest/gtest.h>

#include <random>

#include "raster/errors.h"
#include "raster/palettes.h"
#include "support/sample_bitmaps.h"

namespace pamirune {
namespace {

using testing::PatternBitmap;

// A brute-force nearest entry, the reference the fast paths are checked against.
int Nearest(const std::vector<TRGBQuad>& palette, TColor c) {
  int best = 0, best_d = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    int dr = palette[i].red - GetRValue(c), dg = palette[i].green - GetGValue(c),
        db = palette[i].blue - GetBValue(c);
    int d = dr * dr + dg * dg + db * db;
    if (d < best_d) best_d = d, best = static_cast<int>(i);
  }
  return best;
}

TEST(BitmapTest, ColoursRoundTripInEveryFormat) {
  struct Case {
    TPixelFormat format;
    TColor colour;
  };
  // Colours each format holds exactly.
  const Case cases[] = {
      {TPixelFormat::pf1bit, kClWhite},          {TPixelFormat::pf4bit, RGB(128, 0, 128)},
      {TPixelFormat::pf8bit, RGB(51, 204, 153)}, {TPixelFormat::pf15bit, RGB(255, 132, 8)},
      {TPixelFormat::pf16bit, RGB(255, 130, 8)}, {TPixelFormat::pf24bit, RGB(10, 20, 30)},
      {TPixelFormat::pf32bit, RGB(10, 20, 30)},  {TPixelFormat::pfDevice, RGB(1, 2, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    TBitmap b(5, 3, c.format);
    b.SetPixel(4, 2, c.colour);
    b.SetPixel(0, 0, kClBlack);
    EXPECT_EQ(b.Pixel(4, 2), c.colour);
    EXPECT_EQ(b.Pixel(0, 0), kClBlack);
    // The row access agrees with the pixel access.
    std::vector<TColor> row(5);
    b.ReadRow(2, row.data());
    EXPECT_EQ(row[4], c.colour);
  }
}

TEST(BitmapTest, NewImagesHaveTheDefaultPaletteOfTheirDepth) {
  EXPECT_EQ(TBitmap(1, 1, TPixelFormat::pf1bit).Palette(), BlackWhitePalette());
  TBitmap four(1, 1, TPixelFormat::pf4bit);
  EXPECT_TRUE(std::equal(four.Palette().begin(), four.Palette().end(), SystemPalette16().begin(),
                         SystemPalette16().end()));
  TBitmap eight(1, 1, TPixelFormat::pf8bit);
  EXPECT_TRUE(std::equal(eight.Palette().begin(), eight.Palette().end(),
                         HalftonePalette256().begin(), HalftonePalette256().end()));
  TBitmap sixteen(1, 1, TPixelFormat::pf16bit);
  ASSERT_TRUE(sixteen.HasMasks());
  EXPECT_EQ(sixteen.Masks(), (std::array<uint32_t, 3>{0xF800, 0x07E0, 0x001F}));
  EXPECT_FALSE(TBitmap(1, 1, TPixelFormat::pf15bit).HasMasks());
}

TEST(BitmapTest, HalftonePaletteKeepsTheStaticColoursAtBothEnds) {
  const auto& p = HalftonePalette256();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], SystemPalette20()[i]);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[246 + i], SystemPalette20()[10 + i]);
  // Every level of the 6 x 6 x 6 cube is reachable exactly.
  TBitmap b(1, 1, TPixelFormat::pf8bit);
  for (int v = 0; v < 216; ++v) {
    TColor c = RGB(static_cast<uint8_t>(v % 6 * 51), static_cast<uint8_t>(v / 6 % 6 * 51),
                   static_cast<uint8_t>(v / 36 * 51));
    b.SetPixel(0, 0, c);
    ASSERT_EQ(b.Pixel(0, 0), c);
  }
}

TEST(BitmapTest, CustomFormatIsRefusedWithItsMessage) {
  TBitmap b(1, 1, TPixelFormat::pf24bit);
  try {
    b.SetPixelFormat(TPixelFormat::pfCustom);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "画像ﾌｫｰﾏｯﾄが不正です");
  }
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(BitmapTest, FormatChangeMapsToNearestEntryOfTheTablePalette) {
  TBitmap source = PatternBitmap(41, 23);
  for (auto target : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
    SCOPED_TRACE(static_cast<int>(target));
    TBitmap b = source;
    b.SetPixelFormat(target);
    ASSERT_EQ(b.PixelFormat(), target);
    ASSERT_EQ(b.Width(), 41);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 41; ++x)
        ASSERT_EQ(b.RawPixel(x, y), static_cast<uint32_t>(Nearest(b.Palette(), source.Pixel(x, y))))
            << x << "," << y;
  }
}

TEST(BitmapTest, FormatChangeKeepsTrueColours) {
  TBitmap source = PatternBitmap(17, 9);
  for (auto target : {TPixelFormat::pf32bit, TPixelFormat::pfDevice, TPixelFormat::pf24bit}) {
    TBitmap b = source;
    b.SetPixelFormat(target);
    b.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(b.Bits(), source.Bits());
  }
  // 15 and 16 bits keep the top 5 (6) bits of each channel.
  TBitmap b = source;
  b.SetPixelFormat(TPixelFormat::pf16bit);
  TColor c = source.Pixel(5, 5), d = b.Pixel(5, 5);
  EXPECT_EQ(GetRValue(d) >> 3, GetRValue(c) >> 3);
  EXPECT_EQ(GetGValue(d) >> 2, GetGValue(c) >> 2);
  EXPECT_EQ(GetBValue(d) >> 3, GetBValue(c) >> 3);
}

TEST(BitmapTest, OneBitTargetKeepsATwoColourPaletteOtherwiseBlackAndWhite) {
  TBitmap two(4, 1, TPixelFormat::pf8bit);
  two.SetPalette({QuadFromColor(RGB(200, 0, 0)), QuadFromColor(RGB(0, 0, 200))});
  two.SetRawPixel(0, 0, 1);
  two.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(two.Pixel(0, 0), RGB(0, 0, 200));
  EXPECT_EQ(two.Pixel(1, 0), RGB(200, 0, 0));

  TBitmap grey(2, 1, TPixelFormat::pf24bit);
  grey.SetPixel(0, 0, RGB(100, 100, 100));
  grey.SetPixel(1, 0, RGB(140, 140, 140));
  grey.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(grey.Palette(), BlackWhitePalette());
  EXPECT_EQ(grey.Pixel(0, 0), kClBlack);
  EXPECT_EQ(grey.Pixel(1, 0), kClWhite);
}

TEST(BitmapTest, PaletteToPaletteChangeUsesColoursNotIndices) {
  TBitmap b(3, 1, TPixelFormat::pf4bit);  // system palette: 9 is red, 12 is blue
  b.SetRawPixel(0, 0, 9);
  b.SetRawPixel(1, 0, 12);
  b.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(b.Pixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 0), RGB(0, 0, 255));
  b.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(b.RawPixel(0, 0), 9u);
  EXPECT_EQ(b.RawPixel(1, 0), 12u);
}

TEST(BitmapTest, NearestMapperAgreesWithFullSearchIncludingTies) {
  std::mt19937 rng(7);
  for (int size : {2, 17, 200, 256}) {
    std::vector<TRGBQuad> palette(static_cast<size_t>(size));
    for (auto& q : palette)
      q = TRGBQuad{static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                   static_cast<uint8_t>(rng()), 0};
    palette[size - 1] = palette[0];  // a duplicate: the lower index must win
    TNearestColorMapper mapper(palette);
    for (int i = 0; i < 20000; ++i) {
      TColor c = rng() & 0xFFFFFF;
      ASSERT_EQ(mapper.Index(c), Nearest(palette, c)) << size << " " << c;
    }
  }
}

TEST(BitmapTest, PaletteLargerThanTheDepthIsNeverIndexedPastIt) {
  TBitmap b(2, 1, TPixelFormat::pf4bit);
  std::vector<TRGBQuad> palette(256, QuadFromColor(kClBlack));
  palette[200] = QuadFromColor(RGB(0, 255, 0));  // unreachable with 4 bits
  b.SetPalette(palette);
  EXPECT_EQ(b.UsablePaletteSize(), 16);
  b.SetPixel(0, 0, RGB(0, 255, 0));
  EXPECT_LT(b.RawPixel(0, 0), 16u);
  TBitmap c = PatternBitmap(4, 4);
  b.SetSize(4, 4);
  b.CopyFrom(c, 0, 0);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, 0), kClBlack);
}

TEST(BitmapTest, TransparentColourRules) {
  TBitmap b(3, 2, TPixelFormat::pf24bit);
  b.SetPixel(0, 1, RGB(1, 2, 3));  // bottom-left
  b.SetPixel(0, 0, RGB(9, 9, 9));
  EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmAuto);
  EXPECT_EQ(b.TransparentColor(), RGB(1, 2, 3));
  b.SetTransparentColor(RGB(4, 5, 6));
  EXPECT_EQ(b.TransparentMode(), TTransparentMode::tmFixed);
  EXPECT_EQ(b.TransparentColor(), RGB(4, 5, 6));

  TBitmap mono(2, 2, TPixelFormat::pf1bit);  // all black, yet answers white
  EXPECT_TRUE(mono.Monochrome());
  EXPECT_EQ(mono.TransparentColor(), kClWhite);
  TBitmap red_blue(2, 2, TPixelFormat::pf1bit);
  red_blue.SetPalette({QuadFromColor(RGB(255, 0, 0)), QuadFromColor(RGB(0, 0, 255))});
  EXPECT_FALSE(red_blue.Monochrome());
  EXPECT_EQ(red_blue.TransparentColor(), RGB(255, 0, 0));
  EXPECT_EQ(TBitmap().TransparentColor(), kClBlack);
}

TEST(BitmapTest, PlainStretchTakesSourceIndexTimesSizeRatio) {
  TBitmap source = PatternBitmap(5, 4);
  for (auto target_format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    for (auto size : {std::pair{13, 7}, std::pair{2, 3}, std::pair{5, 4}}) {
      auto [tw, th] = size;
      TBitmap target(tw, th, target_format);
      target.StretchDraw({0, 0, tw, th}, source);
      for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
          ASSERT_EQ(target.Pixel(x, y), source.Pixel(x * 5 / tw, y * 4 / th)) << x << "," << y;
    }
  }
}

TEST(BitmapTest, StretchIsClippedToTheTargetAndMapsPaletteSources) {
  TBitmap source(4, 4, TPixelFormat::pf4bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) source.SetRawPixel(x, y, static_cast<uint32_t>(x + 4 * y));
  TBitmap target(6, 6, TPixelFormat::pf24bit);
  target.Fill(RGB(1, 1, 1));
  TRect rect{-4, 2, 4, 10};  // 8 x 8, hanging over the left and bottom edges
  target.StretchDraw(rect, source);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      bool inside = x < 4 && y >= 2;
      TColor want = inside ? source.Pixel((x + 4) / 2, (y - 2) / 2) : RGB(1, 1, 1);
      ASSERT_EQ(target.Pixel(x, y), want) << x << "," << y;
    }
  // Drawing an image onto itself reads from a copy.
  TBitmap self = PatternBitmap(4, 4);
  TBitmap expected(4, 4, TPixelFormat::pf24bit);
  expected.StretchDraw({0, 0, 4, 4}, self);
  expected.StretchDraw({0, 0, 2, 2}, self);
  self.StretchDraw({0, 0, 2, 2}, self);
  EXPECT_EQ(self.Bits(), expected.Bits());
}

TEST(BitmapTest, SetSizeKeepsTopLeftAndFillsWhite) {
  for (auto format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                      TPixelFormat::pf16bit, TPixelFormat::pf24bit}) {
    SCOPED_TRACE(static_cast<int>(format));
    TBitmap b(3, 2, format);
    b.Fill(kClBlack);
    b.SetSize(5, 4);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 4);
    EXPECT_EQ(b.Pixel(2, 1), kClBlack);
    EXPECT_EQ(b.Pixel(3, 0), kClWhite);
    EXPECT_EQ(b.Pixel(0, 2), kClWhite);
    b.SetSize(1, 1);
    EXPECT_EQ(b.Pixel(0, 0), kClBlack);
  }
}

TEST(BitmapTest, FillAndPaletteIndexColours) {
  TBitmap b(9, 3, TPixelFormat::pf4bit);
  b.Fill(kPaletteIndexFlag | 5);
  for (int x = 0; x < 9; ++x) EXPECT_EQ(b.RawPixel(x, 2), 5u);
  b.SetPixel(1, 1, kPaletteIndexFlag | 14);
  EXPECT_EQ(b.Pixel(1, 1), RGB(0, 255, 255));
  TBitmap t(2, 2, TPixelFormat::pf24bit);
  t.Fill(RGB(7, 8, 9));
  EXPECT_EQ(t.Pixel(1, 1), RGB(7, 8, 9));
}

TEST(BitmapTest, UnusualMasksDecodeAndEncode) {
  TBitmap b(2, 1, TPixelFormat::pf16bit);
  b.SetMasks(0x0F00, 0x00F0, 0x000F);  // 4-4-4
  b.SetRawPixel(0, 0, 0x0F80);
  EXPECT_EQ(b.Pixel(0, 0), RGB(255, 136, 0));
  b.SetPixel(1, 0, RGB(0, 255, 17));
  EXPECT_EQ(b.RawPixel(1, 0), 0x00F1u);
  TBitmap wide(1, 1, TPixelFormat::pf32bit);
  wide.SetMasks(0x3FF00000, 0x000FFC00, 0x000003FF);  // 10-10-10
  wide.SetPixel(0, 0, RGB(255, 128, 1));
  EXPECT_EQ(wide.Pixel(0, 0), RGB(255, 128, 1));
}

TEST(BitmapTest, CopiesDoNotCarryNotificationHandlers) {
  int calls = 0;
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.OnChange = [&] { ++calls; };
  TBitmap copy = b;
  copy.Fill(kClWhite);
  auto clone = b.Clone();
  static_cast<TBitmap&>(*clone).Fill(kClWhite);
  EXPECT_EQ(calls, 0);
  b.Assign(copy);  // keeps its own handler
  EXPECT_EQ(calls, 1);
}

TEST(BitmapTest, PixelLimitIsCheckedBeforeAllocating) {
  EXPECT_THROW(TBitmap(100000, 100000, TPixelFormat::pf24bit), EImageTooLarge);
  EXPECT_THROW(TBitmap(-1, 5, TPixelFormat::pf24bit), EInvalidGraphic);
  TBitmap b(2, 2, TPixelFormat::pf8bit);
  EXPECT_THROW(b.SetSize(1 << 20, 1 << 20), EImageTooLarge);
  EXPECT_EQ(b.Width(), 2);
}

}  // namespace
}  // namespace pamirune
