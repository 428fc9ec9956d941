#include "raster/resample.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "raster/threads.h"

namespace pamirune {
namespace {

// A 24-bit image whose three channels all hold value(x, y).
template <class F>
TBitmap Grey(int width, int height, F value) {
  TBitmap image(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x)
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = static_cast<uint8_t>(value(x, y));
  }
  return image;
}

// Blue channel of every pixel, row by row; fails if the channels differ.
std::vector<int> Values(const TBitmap& image) {
  std::vector<int> out;
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      EXPECT_EQ(row[3 * x], row[3 * x + 1]);
      EXPECT_EQ(row[3 * x], row[3 * x + 2]);
      out.push_back(row[3 * x]);
    }
  }
  return out;
}

std::vector<int> Smooth(TBitmap source, int width, int height, int mode = kResampleSmooth) {
  TBitmap target(width, height, TPixelFormat::pf24bit);
  ResampleBitmap(source, target, mode);
  return Values(target);
}

TEST(ResampleLinear, HorizontalEnlargementFloorsTheFraction) {
  // p = 0, 1/3, 2/3, 1; f = 21845, 43690.
  TBitmap src = Grey(2, 1, [](int x, int) { return x ? 255 : 0; });
  EXPECT_EQ(Smooth(src, 4, 1), (std::vector<int>{0, 84, 169, 255}));
  // Falling values take the floor too: 255 + floor(-255 * 21845 / 65536) = 170.
  TBitmap down = Grey(2, 1, [](int x, int) { return x ? 0 : 255; });
  EXPECT_EQ(Smooth(down, 4, 1), (std::vector<int>{255, 170, 85, 0}));
}

TEST(ResampleLinear, VerticalEnlargementNeverReachesTheLastRow) {
  // p = 0, 0.25, 0.5, 0.75: divided by the target height, not by one less.
  TBitmap src = Grey(1, 2, [](int, int y) { return y ? 255 : 0; });
  EXPECT_EQ(Smooth(src, 1, 4), (std::vector<int>{0, 63, 127, 191}));
  // The same height blends as well: rows at 0, 2/3 and 4/3 (f = 43690 and 21845).
  TBitmap three = Grey(1, 3, [](int, int y) { return y * 90; });
  EXPECT_EQ(Smooth(three, 1, 3), (std::vector<int>{0, 59, 119}));
}

TEST(ResampleArea, PartlyCoveredPixelsAndTheDivisor) {
  TBitmap row = Grey(4, 1, [](int x, int) { return 10 * (x + 1); });
  EXPECT_EQ(Smooth(row, 2, 1), (std::vector<int>{15, 35}));  // s = 2, d = 512
  // s = 1.5, d = 384: each half-covered pixel gives 127 instead of 127.5.
  TBitmap white = Grey(3, 1, [](int, int) { return 255; });
  EXPECT_EQ(Smooth(white, 2, 1), (std::vector<int>{254, 254}));
  // The same along columns.
  TBitmap column = Grey(1, 3, [](int, int) { return 255; });
  EXPECT_EQ(Smooth(column, 1, 2), (std::vector<int>{254, 254}));
  TBitmap column4 = Grey(1, 4, [](int, int y) { return 10 * (y + 1); });
  EXPECT_EQ(Smooth(column4, 1, 2), (std::vector<int>{15, 35}));
}

TEST(ResampleArea, MixedDirections) {
  // Wider but lower: linear across, area down. Rows 0 / 100 / 200 / 50, columns 0 / 255 scale.
  TBitmap src = Grey(2, 4, [](int x, int y) {
    const int rows[] = {0, 100, 200, 50};
    return x ? rows[y] : 0;
  });
  // Across: 0, 1/3, 2/3, 1 of the row value; down: pairs of rows averaged.
  EXPECT_EQ(Smooth(src, 4, 2), (std::vector<int>{0, 16, 33, 50, 0, 41, 83, 125}));
}

TEST(ResampleNearest, PositionTablesRoundHalfUp) {
  TBitmap src = Grey(48, 1, [](int x, int) { return x; });
  const std::vector<int> out = Smooth(src, 32, 1, kResampleNearest);
  EXPECT_EQ(out[31], 46);  // 31 / 32 * 47 + 0.5 = 46.03
  EXPECT_EQ(out[1], 1);    // 1 / 32 * 47 + 0.5 = 1.97
  for (int v : out) EXPECT_NE(v, 47);
  TBitmap tall = Grey(1, 3, [](int, int y) { return 10 * y; });
  EXPECT_EQ(Smooth(tall, 1, 5, kResampleNearest), (std::vector<int>{0, 0, 10, 10, 20}));
}

TEST(ResampleBitmapEntry, EmptyImagesAndOtherModesChangeNothing) {
  TBitmap source(2, 2, TPixelFormat::pf8bit);
  source.SetPalette({QuadFromColor(RGB(9, 9, 9))});
  TBitmap zero_width(0, 5, TPixelFormat::pf24bit);
  ResampleBitmap(source, zero_width, kResampleSmooth);  // "1/3" of a 2-pixel image
  EXPECT_EQ(zero_width.Width(), 0);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf8bit);
  TBitmap empty;
  TBitmap target(3, 3, TPixelFormat::pf8bit);
  ResampleBitmap(empty, target, kResampleNearest);
  EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);

  // An unknown mode still switches both images to 24 bits but leaves the pixels.
  TBitmap untouched(3, 3, TPixelFormat::pf24bit);
  std::fill(untouched.Bits().begin(), untouched.Bits().end(), 7);
  ResampleBitmap(source, untouched, 2);
  EXPECT_EQ(source.BitCount(), 24);
  EXPECT_EQ(Values(untouched), std::vector<int>(9, 7));
}

TEST(ResampleBitmapEntry, SwitchesBothImagesTo24Bits) {
  TBitmap source(2, 2, TPixelFormat::pf8bit);
  source.SetPalette({QuadFromColor(RGB(10, 20, 30)), QuadFromColor(RGB(200, 100, 0))});
  source.SetRawPixel(1, 1, 1);
  TBitmap target(4, 4, TPixelFormat::pf1bit);
  ResampleBitmap(source, target, kResampleNearest);
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(target.Pixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(target.Pixel(3, 3), RGB(200, 100, 0));
}

TEST(ResampleBitmapEntry, SourceAndTargetMayBeTheSameImage) {
  auto pattern = [](int x, int y) { return (x * 41 + y * 23) % 256; };
  TBitmap same = Grey(9, 7, pattern);
  ResampleBitmap(same, same, kResampleNearest);
  EXPECT_EQ(Values(same), Smooth(Grey(9, 7, pattern), 9, 7, kResampleNearest));
  TBitmap smooth = Grey(9, 7, pattern);
  ResampleBitmap(smooth, smooth, kResampleSmooth);
  EXPECT_EQ(Values(smooth), Smooth(Grey(9, 7, pattern), 9, 7));
}

TEST(ResampleBitmapEntry, TwoThreadsScaleAsOne) {
  // Large enough for halves of rows on two threads; odd sizes make the halves unequal.
  auto pattern = [](int x, int y) { return (x * 7 + y * 13 + x * y) % 256; };
  for (auto [w, h] : {std::pair{667, 445}, std::pair{1201, 1001}}) {
    std::vector<int> results[2];
    for (int threads : {1, 2}) {
      SetConversionThreads(threads);
      results[threads - 1] = Smooth(Grey(1402, 1003, pattern), w, h);
    }
    SetConversionThreads(0);
    EXPECT_EQ(results[0], results[1]) << w << "x" << h;
  }
}

TEST(ResampleBitmapEntry, ProgressValues) {
  std::vector<int> seen;
  auto record = [&seen](int p) { seen.push_back(p); };
  auto run = [&](int sw, int sh, int tw, int th, int mode) {
    seen.clear();
    TBitmap source(sw, sh, TPixelFormat::pf24bit);
    TBitmap target(tw, th, TPixelFormat::pf24bit);
    ResampleBitmap(source, target, mode, record);
    return seen;
  };
  EXPECT_EQ(run(2, 3, 4, 6, kResampleSmooth),
            (std::vector<int>{0, 0, 25, 50, 50, 50, 60, 70, 80, 90, 100}));
  // The vertical area pass counts its rows against the source height.
  EXPECT_EQ(run(4, 4, 2, 2, kResampleSmooth), (std::vector<int>{0, 0, 16, 33, 50, 50, 50, 66}));
  EXPECT_EQ(run(2, 2, 3, 3, kResampleNearest), (std::vector<int>{0, 0, 50, 100}));
  // Single rows count as complete instead of dividing by zero.
  EXPECT_EQ(run(2, 1, 4, 1, kResampleSmooth), (std::vector<int>{0, 50, 50, 100}));
  EXPECT_EQ(run(2, 2, 1, 1, kResampleNearest), (std::vector<int>{0, 100}));
}

TEST(ResampleSizes, ScaleFactorsOfTheConverter) {
  const int w = 100, h = 60;
  struct Size {
    int width, height;
  };
  // 2/3, 3/4, 1/3, 1/2, 2x, 3x.
  for (Size s :
       {Size{66, 40}, Size{75, 45}, Size{33, 20}, Size{50, 30}, Size{200, 120}, Size{300, 180}}) {
    TBitmap source(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = source.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        row[3 * x] = 200;
        row[3 * x + 1] = 100;
        row[3 * x + 2] = 10;
      }
    }
    TBitmap target(s.width, s.height, TPixelFormat::pf24bit);
    ResampleBitmap(source, target, kResampleSmooth);
    ASSERT_EQ(target.Width(), s.width);
    ASSERT_EQ(target.Height(), s.height);
    // A flat colour stays flat, short of at most the fractions the two passes truncate.
    for (int y = 0; y < s.height; ++y) {
      const uint8_t* row = target.ScanLine(y);
      for (int x = 0; x < s.width; ++x) {
        ASSERT_GE(row[3 * x], 197);
        ASSERT_LE(row[3 * x], 200);
        ASSERT_GE(row[3 * x + 1], 97);
        ASSERT_LE(row[3 * x + 1], 100);
        ASSERT_GE(row[3 * x + 2], 7);
        ASSERT_LE(row[3 * x + 2], 10);
      }
    }
  }
}

TEST(ResampleSizes, BeyondTheOldTableLimits) {
  // 4001 entries were the old limit; a ramp widened to 4591 columns stays a ramp.
  TBitmap ramp = Grey(256, 1, [](int x, int) { return x; });
  const std::vector<int> wide = Smooth(ramp, 4591, 1);
  ASSERT_EQ(wide.size(), 4591u);
  EXPECT_EQ(wide.front(), 0);
  EXPECT_EQ(wide.back(), 255);
  for (size_t i = 1; i < wide.size(); ++i) ASSERT_LE(wide[i - 1], wide[i]);
  // 5000 rows from two: rising, never reaching the last source row.
  TBitmap two = Grey(1, 2, [](int, int y) { return y ? 255 : 0; });
  const std::vector<int> tall = Smooth(two, 1, 5000);
  for (size_t i = 1; i < tall.size(); ++i) ASSERT_LE(tall[i - 1], tall[i]);
  EXPECT_EQ(tall.back(), 254);  // 4999 / 5000 of the way
  // 9000 alternating rows down to 3: each output averages 1500 black and 1500 white rows.
  TBitmap stripes = Grey(2, 9000, [](int, int y) { return y % 2 ? 255 : 0; });
  EXPECT_EQ(Smooth(stripes, 2, 3), (std::vector<int>{127, 127, 127, 127, 127, 127}));
  // Nearest neighbour to 4500 columns.
  const std::vector<int> nearest = Smooth(ramp, 4500, 1, kResampleNearest);
  EXPECT_EQ(nearest.back(), 255);  // 4499 / 4500 * 255 + 0.5 = 255.44
}

// At whole-number ratios Pillow's box filter averages the same pixels (at other ratios it
// weighs partly covered pixels in full, so it is no reference there); halves and thirds of a
// photograph-like image must agree with it to within the fractions our integer passes drop.
TEST(ResampleInterop, AreaAveragingAgreesWithPillow) {
  const char* python = "/usr/bin/python3";
  if (std::system((std::string(python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "Pillow is not installed";
  const auto dir = std::filesystem::path(testing::TempDir()) / "resample_interop";
  std::filesystem::create_directories(dir);
  const int w = 90, h = 60;
  TBitmap source(w, h, TPixelFormat::pf24bit);
  std::string raw;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = source.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int r = (x * 255) / (w - 1), g = (y * 255) / (h - 1), b = (x * y * 7 + x * 13) % 256;
      row[3 * x] = static_cast<uint8_t>(b);
      row[3 * x + 1] = static_cast<uint8_t>(g);
      row[3 * x + 2] = static_cast<uint8_t>(r);
      raw += static_cast<char>(r);
      raw += static_cast<char>(g);
      raw += static_cast<char>(b);
    }
  }
  std::ofstream(dir / "in.rgb", std::ios::binary) << raw;
  struct Size {
    int width, height;
    int tolerance;
  };
  for (Size s : {Size{45, 30, 2}, Size{30, 20, 2}}) {
    const auto out = dir / ("out" + std::to_string(s.width) + ".rgb");
    const std::string command = std::string(python) +
                                " -c \"from PIL import Image; import sys; "
                                "im = Image.frombytes('RGB', (" +
                                std::to_string(w) + ", " + std::to_string(h) +
                                "), open(sys.argv[1], 'rb').read()); "
                                "open(sys.argv[2], 'wb').write(im.resize((" +
                                std::to_string(s.width) + ", " + std::to_string(s.height) +
                                "), Image.BOX).tobytes())\" " + (dir / "in.rgb").string() + " " +
                                out.string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(out, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(expected.size(), static_cast<size_t>(3 * s.width * s.height));
    TBitmap copy = source;
    TBitmap target(s.width, s.height, TPixelFormat::pf24bit);
    ResampleBitmap(copy, target, kResampleSmooth);
    double total = 0;
    for (int y = 0; y < s.height; ++y) {
      const uint8_t* row = target.ScanLine(y);
      for (int x = 0; x < s.width; ++x)
        for (int c = 0; c < 3; ++c) {
          const int ours = row[3 * x + 2 - c];
          const int theirs =
              static_cast<uint8_t>(expected[static_cast<size_t>(3 * (y * s.width + x) + c)]);
          ASSERT_LE(std::abs(ours - theirs), s.tolerance) << x << "," << y << " channel " << c;
          total += ours - theirs;
        }
    }
    // Our truncations only ever lose a little.
    EXPECT_LE(total / (3.0 * s.width * s.height), 0.0);
    EXPECT_GT(total / (3.0 * s.width * s.height), -1.5);
  }
}

}  // namespace
}  // namespace pamirune
