#include "raster/color_reduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "raster/color_dither.h"
#include "raster/errors.h"
#include "raster/palettes.h"

namespace pamirune {
namespace {

using colour_reduction::TDIBWriter;
using colour_reduction::TFastColorLookup;

struct Rgb {
  int r, g, b;
};

TBitmap Image24(int width, int height, const std::vector<Rgb>& pixels) {
  TBitmap image(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const Rgb& p = pixels[static_cast<size_t>(y * width + x)];
      row[3 * x] = static_cast<uint8_t>(p.b);
      row[3 * x + 1] = static_cast<uint8_t>(p.g);
      row[3 * x + 2] = static_cast<uint8_t>(p.r);
    }
  }
  return image;
}

std::vector<int> Indices(const TBitmap& image) {
  std::vector<int> out;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) out.push_back(image.ScanLine(y)[x]);
  return out;
}

int ReduceOne(Rgb colour, PaletteSource source) {
  TBitmap image = Image24(1, 1, {colour});
  auto result = ReduceRasterColours(image, source, DiffusionMethod::NearestOnly, nullptr, 8);
  EXPECT_TRUE(result);
  return result ? result->ScanLine(0)[0] : -1;
}

TRGBQuad Q(int r, int g, int b) { return QuadFromColor(RGB(r, g, b)); }

// ---- Fixed palettes and their lookups -------------------------------------------------------

TEST(ColourReductionLookups, WebCubeLevelsAndIndices) {
  EXPECT_EQ(ReduceOne({255, 255, 255}, PaletteSource::WebCube216), 215);
  EXPECT_EQ(ReduceOne({0, 0, 0}, PaletteSource::WebCube216), 0);
  // Level boundaries: 0..47, 48..98, 99..149, 150..200, 201..251, 252..255.
  EXPECT_EQ(ReduceOne({47, 0, 0}, PaletteSource::WebCube216), 0);
  EXPECT_EQ(ReduceOne({48, 0, 0}, PaletteSource::WebCube216), 36);
  EXPECT_EQ(ReduceOne({0, 98, 0}, PaletteSource::WebCube216), 6);
  EXPECT_EQ(ReduceOne({0, 99, 0}, PaletteSource::WebCube216), 12);
  EXPECT_EQ(ReduceOne({0, 0, 251}, PaletteSource::WebCube216), 4);
  EXPECT_EQ(ReduceOne({0, 0, 252}, PaletteSource::WebCube216), 5);

  const auto cube = WebCubePalette216();
  ASSERT_EQ(cube.size(), 216u);
  EXPECT_EQ(cube[1 * 36 + 2 * 6 + 3], Q(51, 102, 153));
  EXPECT_EQ(cube[215], Q(255, 255, 255));
}

TEST(ColourReductionLookups, BlackWhiteThresholdAndGreyWeights) {
  // Grey 127 weighs exactly 32,512 and stays black; 128 is white.
  EXPECT_EQ(ReduceOne({127, 127, 127}, PaletteSource::BlackWhite), 0);
  EXPECT_EQ(ReduceOne({128, 128, 128}, PaletteSource::BlackWhite), 1);
  EXPECT_EQ(ReduceOne({255, 0, 0}, PaletteSource::Gray256), 76);
  EXPECT_EQ(ReduceOne({0, 255, 0}, PaletteSource::Gray256), 149);
  EXPECT_EQ(ReduceOne({0, 0, 255}, PaletteSource::Gray256), 28);
  EXPECT_EQ(ReduceOne({255, 255, 255}, PaletteSource::Gray256), 255);

  // The grey palettes carry the no-collapse flag, the cube does not.
  EXPECT_EQ(GrayPalette4()[1].reserved, 4);
  EXPECT_EQ(GrayPalette4()[1], (TRGBQuad{128, 128, 128, 4}));
  EXPECT_EQ(GrayPalette4()[2].red, 192);
  EXPECT_EQ(MonochromePalette2()[1], (TRGBQuad{255, 255, 255, 4}));
  EXPECT_EQ(GrayPalette256()[77], (TRGBQuad{77, 77, 77, 4}));
  EXPECT_EQ(WebCubePalette216()[100].reserved, 0);
}

TEST(ColourReductionLookups, SystemPalettesAreUsedAsTheyAre) {
  // Static 20: a light blue-grey (166, 202, 240) is entry 9 itself.
  EXPECT_EQ(ReduceOne({166, 202, 240}, PaletteSource::SystemStatic20), 9);
  EXPECT_EQ(ReduceOne({128, 0, 0}, PaletteSource::SystemStatic20), 1);
  // White is both cube entry 225 and system entry 255; the lower index holds the key.
  EXPECT_EQ(ReduceOne({255, 255, 255}, PaletteSource::SystemHalftone256), 225);
  EXPECT_EQ(ReduceOne({255, 251, 240}, PaletteSource::SystemHalftone256), 246);
  EXPECT_EQ(ReduceOne({100, 100, 100}, PaletteSource::SystemGray4), 1);
  EXPECT_EQ(ReduceOne({200, 190, 180}, PaletteSource::SystemGray4), 2);
}

// ---- The 15-bit inverse cache ---------------------------------------------------------------

TEST(ColourReductionFastLookup, FirstColourOfAKeyDecidesForTheOthers) {
  // (8, 0, 0) and (15, 0, 0) share key 1. Alone, (8, 0, 0) ties between the entries (city-block
  // 8 to both; the lower index wins) and (15, 0, 0) is nearer to entry 1.
  const std::vector<TRGBQuad> palette = {Q(0, 0, 0), Q(16, 0, 0)};
  EXPECT_EQ(TFastColorLookup::Key(8, 0, 0), TFastColorLookup::Key(15, 0, 0));
  auto run = [&](std::vector<Rgb> pixels, int width, int height) {
    TBitmap image = Image24(width, height, pixels);
    auto result = ReduceRasterColours(image, PaletteSource::CallerPalette,
                                      DiffusionMethod::NearestOnly, &palette, 8);
    return Indices(*result);
  };
  EXPECT_EQ(run({{8, 0, 0}, {15, 0, 0}}, 2, 1), (std::vector<int>{0, 0}));
  EXPECT_EQ(run({{15, 0, 0}, {8, 0, 0}}, 2, 1), (std::vector<int>{1, 1}));
  // The second row is scanned right to left, so its last pixel reaches the key first.
  EXPECT_EQ(run({{0, 0, 0}, {0, 0, 0}, {8, 0, 0}, {15, 0, 0}}, 2, 2),
            (std::vector<int>{0, 0, 1, 1}));
}

TEST(ColourReductionFastLookup, PaletteEntriesClaimTheirKeysLowestIndexFirst) {
  // Entry 1 (7, 0, 0) shares key 0 with entry 0, so even its own colour maps to entry 0.
  TFastColorLookup lookup({Q(0, 0, 0), Q(7, 0, 0), Q(7, 0, 0)});
  uint8_t r, g, b;
  EXPECT_EQ(lookup.MatchColour(7, 0, 0, r, g, b), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(lookup.ColourCount(), 3);
}

TEST(ColourReductionFastLookup, SearchUsesCityBlockDistance) {
  // From black: (30, 30, 0) is nearer by squares (1800 < 2500) but farther by city block
  // (60 > 50) than (50, 0, 0).
  TFastColorLookup lookup({Q(30, 30, 0), Q(50, 0, 0)});
  uint8_t r, g, b;
  EXPECT_EQ(lookup.MatchColour(0, 0, 0, r, g, b), 1);
  EXPECT_EQ(r, 50);
  // Ties go to the lowest index: (10, 10, 10) is 30 from both.
  TFastColorLookup tie({Q(40, 10, 10), Q(10, 40, 10)});
  EXPECT_EQ(tie.MatchColour(10, 10, 10, r, g, b), 0);
}

// ---- Error diffusion ------------------------------------------------------------------------

TEST(ColourReductionDiffusion, FloydSteinbergByHand) {
  // Grey 100, 3 x 2, black and white. Row 0, left to right:
  //   x0: 100 -> black, e = 100 (carry 700).
  //   x1: 100 + (700 + 8) / 16 = 144 -> white, e = -111 (carry -777).
  //   x2: 100 + (-777 + 8) / 16 = 52 -> black, e = 52.
  // Next-row errors: col0 = 5*100 + 3*(-111) = 167, col1 = 100 - 555 + 156 = -299,
  // col2 = -111 + 5*52 = 149. Row 1, right to left:
  //   x2: 100 + (149 + 8) / 16 = 109 -> black, e = 109 (carry 763).
  //   x1: 100 + (-299 + 763 + 8) / 16 = 129 -> white, e = -126 (carry -882).
  //   x0: 100 + (167 - 882 + 8) / 16 = 56 -> black.
  TBitmap image = Image24(3, 2, std::vector<Rgb>(6, Rgb{100, 100, 100}));
  auto result = ReduceRasterColours(image, PaletteSource::BlackWhite,
                                    DiffusionMethod::FloydSteinberg, nullptr, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(Indices(*result), (std::vector<int>{0, 1, 0, 0, 1, 0}));
}

TEST(ColourReductionDiffusion, ForwardWeightsOfEachKernel) {
  // One row of grey 100 to black and white: the first pixel's error 100 reaches the second
  // pixel with the kernel's weight for +1 (and the third with +2).
  struct Case {
    DiffusionMethod method;
    std::vector<int> expected;
  };
  // Floyd-Steinberg: 100 + (700 + 8) / 16 = 144 -> white, e = -111; 100 + (-777 + 8) / 16 = 52.
  // Stucki: 100 + (800 + 21) / 42 = 119 -> black, e = 119; 100 + (400 + 952 + 21) / 42 = 132.
  // Sierra: 100 + (500 + 16) / 32 = 116, e = 116; 100 + (300 + 580 + 16) / 32 = 128 -> white.
  // Jarvis-Judice-Ninke: 100 + (700 + 24) / 48 = 115; 100 + (500 + 805 + 24) / 48 = 127.
  // Burkes: 100 + (800 + 16) / 32 = 125; 100 + (400 + 1000 + 16) / 32 = 144 -> white.
  // Stevenson-Arce: nothing to +1, so 100; the third 100 + (3200 + 100) / 200 = 116.
  const Case cases[] = {
      {DiffusionMethod::NearestOnly, {0, 0, 0}}, {DiffusionMethod::FloydSteinberg, {0, 1, 0}},
      {DiffusionMethod::Stucki, {0, 0, 1}},      {DiffusionMethod::Sierra, {0, 0, 1}},
      {DiffusionMethod::JaJuNi, {0, 0, 0}},      {DiffusionMethod::Burkes, {0, 0, 1}},
      {DiffusionMethod::SteveArche, {0, 0, 0}},
  };
  TBitmap image = Image24(3, 1, std::vector<Rgb>(3, Rgb{100, 100, 100}));
  for (const Case& c : cases) {
    auto result = ReduceRasterColours(image, PaletteSource::BlackWhite, c.method, nullptr, 8);
    ASSERT_TRUE(result);
    EXPECT_EQ(Indices(*result), c.expected) << static_cast<int>(c.method);
  }
}

TEST(ColourReductionDiffusion, EveryKernelOnAColourImage) {
  // A 7 x 5 image to the colour cube; expected indices worked out with the plain definition
  // (full error matrix, serpentine rows, input = value + (sum + divisor / 2) / divisor
  // truncated, errors falling outside the image dropped).
  std::vector<Rgb> pixels;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      pixels.push_back({(x * 37 + y * 59 + 90) % 256, (x * 23 + y * 41 + 60) % 256,
                        (x * 61 + y * 17 + 30) % 256});
  TBitmap image = Image24(7, 5, pixels);
  struct Case {
    DiffusionMethod method;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {DiffusionMethod::NearestOnly,
       {42, 79, 123, 160, 162, 19, 56,  84,  122, 159, 22, 18, 61, 99,  157, 164, 21, 64,
        97, 74, 111, 19,  62,  64, 102, 109, 110, 153, 61, 99, 76, 108, 151, 188, 16}},
      {DiffusionMethod::FloydSteinberg,
       {42,  80,  123, 160, 162, 19,  63,  121, 164, 165, 22, 61,  98,  99,  157, 200, 28, 65,
        103, 110, 117, 26,  63,  100, 138, 109, 152, 154, 62, 105, 112, 115, 152, 195, 52}},
      {DiffusionMethod::Stucki,
       {42, 79,  123, 160, 162, 19,  62,  121, 158, 165, 22, 61,  62,  99,  163, 200, 28, 65,
        97, 110, 111, 20,  63,  100, 102, 109, 152, 154, 62, 105, 112, 151, 152, 195, 52}},
      {DiffusionMethod::Sierra,
       {42,  79,  123, 160, 162, 19,  62,  121, 158, 165, 22, 61,  62,  99,  163, 200, 28, 65,
        103, 110, 111, 20,  63,  100, 102, 109, 152, 154, 62, 105, 112, 151, 152, 195, 52}},
      {DiffusionMethod::JaJuNi,
       {42, 79,  123, 160, 162, 19,  62,  121, 158, 165, 22, 61,  62,  99,  163, 200, 28, 65,
        97, 110, 111, 19,  63,  100, 102, 109, 152, 154, 62, 105, 112, 151, 152, 195, 52}},
      {DiffusionMethod::SteveArche,
       {42,  79, 123, 160, 162, 19,  56,  121, 122, 165, 22, 60,  62,  99,  163, 200, 58, 65,
        103, 74, 111, 19,  63,  100, 102, 109, 152, 154, 62, 105, 112, 115, 152, 195, 52}},
      {DiffusionMethod::Burkes,
       {42,  80,  123, 160, 162, 19,  63,  121, 158, 165, 22, 61,  98,  99,  163, 200, 28, 65,
        103, 110, 111, 19,  63,  100, 102, 109, 152, 154, 62, 105, 112, 151, 152, 195, 52}},
  };
  for (const Case& c : cases) {
    auto result = ReduceRasterColours(image, PaletteSource::WebCube216, c.method, nullptr, 8);
    ASSERT_TRUE(result);
    EXPECT_EQ(Indices(*result), c.expected) << static_cast<int>(c.method);
  }
}

// A smooth, photograph-like image: gradients, a soft disc and a little deterministic noise.
TBitmap Photo(int width, int height) {
  std::vector<Rgb> pixels;
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) % 7) - 3;
      const double dx = x - width * 0.6, dy = y - height * 0.4;
      const double disc = std::exp(-(dx * dx + dy * dy) / (width * height * 0.05));
      auto c = [&](double v) { return std::clamp(static_cast<int>(v) + noise, 0, 255); };
      pixels.push_back({c(40 + 180.0 * x / width + 30 * disc),
                        c(60 + 120.0 * y / height + 60 * disc), c(200 - 150.0 * x / width)});
    }
  }
  return Image24(width, height, pixels);
}

// Mean absolute difference per channel between 4 x 4 block averages of the two images: what
// the eye sees of the colour error.
double BlockError(const TBitmap& a, const TBitmap& b) {
  double total = 0;
  int blocks = 0;
  for (int by = 0; by + 4 <= a.Height(); by += 4)
    for (int bx = 0; bx + 4 <= a.Width(); bx += 4) {
      double sa[3] = {0, 0, 0}, sb[3] = {0, 0, 0};
      for (int y = by; y < by + 4; ++y)
        for (int x = bx; x < bx + 4; ++x) {
          const TColor ca = a.Pixel(x, y), cb = b.Pixel(x, y);
          sa[0] += GetRValue(ca), sa[1] += GetGValue(ca), sa[2] += GetBValue(ca);
          sb[0] += GetRValue(cb), sb[1] += GetGValue(cb), sb[2] += GetBValue(cb);
        }
      for (int c = 0; c < 3; ++c) total += std::abs(sa[c] - sb[c]) / 16.0;
      ++blocks;
    }
  return total / (3.0 * blocks);
}

TEST(ColourReductionDiffusion, PhotographStaysInPaletteAndDiffusionLowersTheError) {
  const TBitmap photo = Photo(96, 64);
  const PaletteSource sources[] = {PaletteSource::WebCube216, PaletteSource::BlackWhite,
                                   PaletteSource::SystemGray4, PaletteSource::OctreeOptimal};
  for (PaletteSource source : sources) {
    auto nearest = ReduceRasterColours(photo, source, DiffusionMethod::NearestOnly, nullptr, 4);
    ASSERT_TRUE(nearest);
    const double nearest_error = BlockError(photo, *nearest);
    for (int m = 1; m <= 6; ++m) {
      const auto method = static_cast<DiffusionMethod>(m);
      auto result = ReduceRasterColours(photo, source, method, nullptr, 4);
      ASSERT_TRUE(result);
      ASSERT_EQ(result->PixelFormat(), TPixelFormat::pf8bit);
      ASSERT_EQ(result->Width(), 96);
      ASSERT_EQ(result->Height(), 64);
      // Every index names a real entry of the palette that was built.
      size_t entries = source == PaletteSource::WebCube216    ? 216
                       : source == PaletteSource::BlackWhite  ? 2
                       : source == PaletteSource::SystemGray4 ? 4
                                                              : 16;
      for (int v : Indices(*result)) ASSERT_LT(static_cast<size_t>(v), entries);
      EXPECT_LT(BlockError(photo, *result), nearest_error)
          << "source " << static_cast<int>(source) << " method " << m;
    }
  }
}

// ---- Octree palettes ------------------------------------------------------------------------

TEST(ColourReductionOctree, FewColoursLeaveTheRestBlack) {
  TBitmap image = Image24(4, 1, {{200, 10, 10}, {10, 200, 10}, {200, 10, 10}, {10, 10, 200}});
  const auto palette = BuildOctreePalette(image, 16, 8, false);
  ASSERT_EQ(palette.size(), 16u);
  // Depth first, children in index order: blue-ish (child 1), green (2), red (4).
  EXPECT_EQ(palette[0], Q(10, 10, 200));
  EXPECT_EQ(palette[1], Q(10, 200, 10));
  EXPECT_EQ(palette[2], Q(200, 10, 10));
  for (size_t i = 3; i < 16; ++i) EXPECT_EQ(palette[i], Q(0, 0, 0));
}

TEST(ColourReductionOctree, ReducesTheNewestNodeOfTheDeepestLevel) {
  // A and A' differ only in the lowest blue bit, as do B and B'. With room for three colours
  // the fourth forces a fold: the newest depth-7 node (B's) goes, so A and A' stay apart.
  TBitmap image = Image24(4, 1, {{0, 0, 0}, {0, 0, 1}, {128, 0, 0}, {128, 0, 1}});
  const auto three = BuildOctreePalette(image, 3, 8, false);
  EXPECT_EQ(three, (std::vector<TRGBQuad>{Q(0, 0, 0), Q(0, 0, 1), Q(128, 0, 0)}));
  // Room for two: the deep nodes are folded before the shallow ones, leaving two averages.
  TBitmap four = Image24(4, 1, {{0, 0, 2}, {0, 0, 3}, {0, 0, 3}, {128, 0, 0}});
  EXPECT_EQ(BuildOctreePalette(four, 2, 8, false),
            (std::vector<TRGBQuad>{Q(0, 0, 2), Q(128, 0, 0)}));  // (2 + 3 + 3) / 3 = 2
}

TEST(ColourReductionOctree, SystemColoursFrameTheOctreeColours) {
  TBitmap image = Image24(2, 1, {{20, 40, 60}, {200, 100, 50}});
  const auto palette = BuildOctreePalette(image, 256, 8, true);
  ASSERT_EQ(palette.size(), 256u);
  const auto& system = SystemPalette20();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(palette[static_cast<size_t>(i)], system[static_cast<size_t>(i)]);
    EXPECT_EQ(palette[static_cast<size_t>(246 + i)], system[static_cast<size_t>(10 + i)]);
  }
  EXPECT_EQ(palette[10], Q(20, 40, 60));
  EXPECT_EQ(palette[11], Q(200, 100, 50));
  EXPECT_EQ(palette[12], Q(0, 0, 0));

  auto result = ReduceRasterColours(image, PaletteSource::OctreeWithSystem,
                                    DiffusionMethod::NearestOnly, nullptr, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(Indices(*result), (std::vector<int>{10, 11}));
}

TEST(ColourReductionOctree, ManyColoursStayWithinTheLimit) {
  const TBitmap photo = Photo(64, 64);
  for (int bits : {1, 3, 8}) {
    const auto palette = BuildOctreePalette(photo, 1 << bits, 8, false);
    EXPECT_EQ(palette.size(), static_cast<size_t>(1) << bits);
    auto result = ReduceRasterColours(photo, PaletteSource::OctreeOptimal,
                                      DiffusionMethod::NearestOnly, nullptr, bits);
    ASSERT_TRUE(result);
    for (int v : Indices(*result)) ASSERT_LT(v, 1 << bits);
  }
  // A large single-coloured area keeps its exact colour (the sums do not overflow).
  TBitmap flat(4200, 4200, TPixelFormat::pf24bit);
  std::fill(flat.Bits().begin(), flat.Bits().end(), 255);
  EXPECT_EQ(BuildOctreePalette(flat, 2, 8, false)[0], Q(255, 255, 255));
}

// ---- The reducer as a whole -----------------------------------------------------------------

TEST(ColourReduction, ResultIsAnEightBitImageWithA256EntryTable) {
  TBitmap image = Image24(2, 2, {{0, 0, 0}, {255, 255, 255}, {128, 128, 128}, {190, 190, 190}});
  auto result = ReduceRasterColours(image, PaletteSource::SystemGray4, DiffusionMethod::NearestOnly,
                                    nullptr, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(result->Palette().size(), 256u);
  EXPECT_EQ(result->Palette()[3], Q(255, 255, 255));
  EXPECT_EQ(result->Palette()[4], Q(0, 0, 0));
  EXPECT_EQ(Indices(*result), (std::vector<int>{0, 3, 1, 2}));
  EXPECT_EQ(result->Pixel(1, 1), RGB(192, 192, 192));
}

TEST(ColourReduction, KeepTrueColourCopiesAndOtherBitDepthsAreRead) {
  TBitmap image = Image24(2, 1, {{1, 2, 3}, {4, 5, 6}});
  auto copy = ReduceRasterColours(image, PaletteSource::KeepTrueColour, DiffusionMethod::Burkes,
                                  nullptr, 8);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(copy->Pixel(1, 0), RGB(4, 5, 6));

  // A 32-bit source is read through a 24-bit copy; the caller's image is left alone.
  TBitmap wide(2, 1, TPixelFormat::pf32bit);
  wide.SetPixel(0, 0, RGB(255, 255, 255));
  wide.SetPixel(1, 0, RGB(0, 0, 0));
  auto result = ReduceRasterColours(wide, PaletteSource::WebCube216, DiffusionMethod::NearestOnly,
                                    nullptr, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(Indices(*result), (std::vector<int>{215, 0}));
  EXPECT_EQ(wide.PixelFormat(), TPixelFormat::pf32bit);
}

TEST(ColourReduction, UnknownChoicesAndMissingPalettesGiveNoImage) {
  TBitmap image = Image24(1, 1, {{1, 2, 3}});
  EXPECT_FALSE(ReduceRasterColours(image, static_cast<PaletteSource>(10),
                                   DiffusionMethod::NearestOnly, nullptr, 8));
  EXPECT_FALSE(ReduceRasterColours(image, PaletteSource::WebCube216,
                                   static_cast<DiffusionMethod>(7), nullptr, 8));
  EXPECT_FALSE(ReduceRasterColours(image, PaletteSource::CallerPalette,
                                   DiffusionMethod::NearestOnly, nullptr, 8));
  const std::vector<TRGBQuad> none;
  EXPECT_FALSE(ReduceRasterColours(image, PaletteSource::CallerPalette,
                                   DiffusionMethod::NearestOnly, &none, 8));
  const std::vector<TRGBQuad> two = {Q(0, 0, 0), Q(101, 149, 199)};
  TBitmap blue = Image24(1, 1, {{100, 150, 200}});
  auto result = ReduceRasterColours(blue, PaletteSource::CallerPalette,
                                    DiffusionMethod::NearestOnly, &two, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->ScanLine(0)[0], 1);
}

TEST(ColourReduction, LargeImagesAreReducedAlike) {
  // Above 500,000 pixels the result is sized at 1 bit first; the pixels come out the same.
  TBitmap image(1000, 501, TPixelFormat::pf24bit);
  std::fill(image.Bits().begin(), image.Bits().end(), 200);
  image.ScanLine(500)[3 * 999 + 2] = 0;  // bottom-right pixel: no red
  auto result = ReduceRasterColours(image, PaletteSource::WebCube216, DiffusionMethod::NearestOnly,
                                    nullptr, 8);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(result->ScanLine(0)[0], 3 * 36 + 3 * 6 + 3);
  EXPECT_EQ(result->ScanLine(500)[999], 3 * 6 + 3);
}

TEST(ColourReduction, WriterErrors) {
  TBitmap target;
  const std::vector<TRGBQuad> palette = {Q(0, 0, 0)};
  try {
    TDIBWriter writer(target, palette, 4, 4, TPixelFormat::pf4bit);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unsupported PixelFormat");
  }
  try {
    TDIBWriter writer(target, palette, 0, 4, TPixelFormat::pf8bit);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Invalid image dimensions");
  }
  TDIBWriter writer(target, palette, 4, 2, TPixelFormat::pf8bit);
  EXPECT_NE(writer.ScanLine(1), nullptr);
  for (int row : {-1, 2}) {
    try {
      writer.ScanLine(row);
      FAIL();
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_STREQ(e.what(), "ｽｷｬﾝﾗｲﾝ のｲﾝﾃﾞｯｸｽが範囲を越えました");
    }
  }
  writer.Finish();
  EXPECT_EQ(target.Width(), 4);
  EXPECT_EQ(target.Palette().size(), 256u);
  try {
    writer.ScanLine(0);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Image has no DIB");
  }
  // An empty source reaches the writer with no size.
  TBitmap empty;
  EXPECT_THROW(ReduceRasterColours(empty, PaletteSource::WebCube216, DiffusionMethod::NearestOnly,
                                   nullptr, 8),
               EInvalidGraphic);
}

}  // namespace
}  // namespace pamirune
