// Colour-depth conversions of DIB data: the 256-colour reduction, the expansions and the
// run-length decoders.
#include "raster/dib_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "raster/threads.h"

namespace pamirune {
namespace {

struct Rgb {
  uint8_t r, g, b;
};

DibData TrueColor(int w, int h, const std::function<Rgb(int, int)>& colour) {
  DibData d = MakeDib(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb c = colour(x, y);
      uint8_t* p = d.ScanLine(y) + 3 * x;
      p[0] = c.b;
      p[1] = c.g;
      p[2] = c.r;
    }
  return d;
}

Rgb At24(const DibData& d, int x, int y) {
  const uint8_t* p = d.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

uint64_t Fnv(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) {
    h ^= b;
    h *= 0x100000001b3ull;
  }
  return h;
}

// The same generator as the model the golden values were computed with.
DibData LcgImage(int w, int h, uint32_t seed, bool clustered) {
  uint32_t x = seed;
  auto next = [&] {
    x = (x * 1103515245u + 12345u) & 0x7FFFFFFFu;
    return (x >> 16) & 255u;
  };
  return TrueColor(w, h, [&](int, int) {
    uint8_t c[3];
    for (int k = 0; k < 3; ++k)
      c[k] = static_cast<uint8_t>(clustered ? (next() & 63) + 40 * k + 20 : next());
    return Rgb{c[0], c[1], c[2]};
  });
}

uint64_t PaletteHash(const DibData& d) {
  std::vector<uint8_t> bytes;
  for (const TRGBQuad& q : d.colors) bytes.insert(bytes.end(), {q.red, q.green, q.blue});
  return Fnv(bytes);
}

uint64_t IndexHash(const DibData& d) {
  std::vector<uint8_t> bytes;
  for (int y = 0; y < d.Height(); ++y)
    for (int x = 0; x < d.Width(); ++x) {
      const uint8_t* row = d.ScanLine(y);
      bytes.push_back(d.BitCount() == 8 ? row[x] : ((x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4));
    }
  return Fnv(bytes);
}

TEST(DibReductionTest, MatchesGoldenPalettesAndIndices) {
  // Golden values from an independent model of the split with exact rational arithmetic. The
  // first and third cases have over a hundred leaves whose mean is exactly a half, so they
  // also pin rounding to the even neighbour.
  struct Case {
    int w, h;
    uint32_t seed;
    bool clustered;
    int depth;
    size_t entries;
    uint64_t palette, indices;
  } cases[] = {
      {32, 32, 1, false, 8, 256, 0x871ccbf832bf02b8ull, 0x6deb307de2d4e24cull},
      {6, 5, 3, false, 8, 30, 0x82073b8116396cf9ull, 0x74479cbb479e0a5eull},
      {24, 24, 5, true, 8, 253, 0x1e148045b7b74edfull, 0x21877942ed16ef74ull},
      {24, 24, 5, true, 4, 16, 0xc7b42fadc4106c66ull, 0x6672d4b972fd921eull},
      {32, 32, 7, false, 4, 16, 0x38d7779c666572ceull, 0xa69083dce1e25c30ull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.w << "x" << c.h << " seed " << c.seed << " depth " << c.depth);
    DibData src = LcgImage(c.w, c.h, c.seed, c.clustered);
    DibData out = c.depth == 8 ? ConvertTrueColorTo8BitRGBLow(src) : ConvertTrueColorTo4BitRGB(src);
    EXPECT_EQ(out.BitCount(), c.depth);
    ASSERT_EQ(out.colors.size(), c.entries);
    EXPECT_EQ(out.header.clr_used, c.entries);
    EXPECT_EQ(PaletteHash(out), c.palette);
    EXPECT_EQ(IndexHash(out), c.indices);
  }
}

TEST(DibReductionTest, TwoThreadsReduceAsOne) {
  // Large enough to be cut into halves of rows; an odd height makes the halves unequal.
  DibData src = LcgImage(1024, 1025, 9, false);
  DibData out[2];
  for (int threads : {1, 2}) {
    SetConversionThreads(threads);
    out[threads - 1] = ConvertTrueColorTo8BitRGBLow(src);
  }
  SetConversionThreads(0);
  EXPECT_EQ(out[0].colors, out[1].colors);
  EXPECT_EQ(out[0].bits, out[1].bits);
}

TEST(DibReductionTest, SingleColourGivesOneExactEntry) {
  DibData src = TrueColor(7, 3, [](int, int) { return Rgb{201, 99, 50}; });
  DibData out = ConvertTrueColorTo8BitRGBLow(src);
  ASSERT_EQ(out.colors.size(), 1u);
  EXPECT_EQ(out.colors[0], (TRGBQuad{50, 99, 201, 0}));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(out.ScanLine(y)[x], 0);
  EXPECT_EQ(out.Stride(), 8);  // rows padded to 4 bytes
  EXPECT_EQ(out.bits.size(), 24u);
}

TEST(DibReductionTest, ColoursOfOneCellShareAnIndexAndAverageTheirLowBits) {
  // (16, 32, 64) and (23, 35, 71) fall into one 5-6-5 cell; the cell colour is the truncated
  // mean of the dropped bits on top of the cell's base: (16 + 3, 32 + 1, 64 + 3).
  DibData src = TrueColor(4, 2, [](int x, int y) {
    if (y == 0) return x % 2 ? Rgb{23, 35, 71} : Rgb{16, 32, 64};
    return x % 2 ? Rgb{250, 10, 10} : Rgb{10, 250, 10};
  });
  DibData out = ConvertTrueColorTo8BitRGBLow(src);
  ASSERT_EQ(out.colors.size(), 3u);
  uint8_t a = out.ScanLine(0)[0];
  for (int x = 0; x < 4; ++x) EXPECT_EQ(out.ScanLine(0)[x], a);
  EXPECT_EQ(out.colors[a], (TRGBQuad{67, 33, 19, 0}));
}

TEST(DibReductionTest, UpperPartOfTheSplitComesFirst) {
  // Black and white: equal variances, so green is the axis (3 vR < 4 vG); white is above the
  // mean and receives index 0.
  DibData src = TrueColor(2, 1, [](int x, int) { return x ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; });
  DibData out = ConvertTrueColorTo8BitRGBLow(src);
  ASSERT_EQ(out.colors.size(), 2u);
  EXPECT_EQ(out.colors[0], (TRGBQuad{255, 255, 255, 0}));
  EXPECT_EQ(out.colors[1], (TRGBQuad{0, 0, 0, 0}));
  EXPECT_EQ(out.ScanLine(0)[0], 1);
  EXPECT_EQ(out.ScanLine(0)[1], 0);
}

TEST(DibReductionTest, GreenRuleUsesWeightThreeAgainstBlue) {
  // (g, b) = (0, 0), (40, 0) and (0, 56) once each: vG = 355.6, vB = 696.9, vR = 0. Then
  // 4 vG >= 2 vB but 3 vG < 2 vB, so blue is split first and (0, 56) alone is the upper part,
  // index 0; the rest splits on green, (40, 0) before (0, 0). Splitting green first would
  // have given (40, 0) index 0.
  DibData src = TrueColor(3, 1, [](int x, int) {
    return x == 0 ? Rgb{0, 0, 0} : x == 1 ? Rgb{0, 40, 0} : Rgb{0, 0, 56};
  });
  DibData out = ConvertTrueColorTo8BitRGBLow(src);
  ASSERT_EQ(out.colors.size(), 3u);
  EXPECT_EQ(out.ScanLine(0)[2], 0);
  EXPECT_EQ(out.ScanLine(0)[1], 1);
  EXPECT_EQ(out.ScanLine(0)[0], 2);
  EXPECT_EQ(out.colors[0], (TRGBQuad{56, 0, 0, 0}));
}

TEST(DibReductionTest, PhotographLikeImageKeepsItsColours) {
  // Smooth gradients with a little noise, as a photograph has.
  uint32_t seed = 12345;
  DibData src = TrueColor(320, 240, [&](int x, int y) {
    seed = seed * 1664525u + 1013904223u;
    int noise = static_cast<int>((seed >> 24) % 9) - 4;
    auto clip = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    return Rgb{clip(x * 255 / 319 + noise), clip(y * 255 / 239 + noise),
               clip(128 + static_cast<int>(100 * std::sin((x + y) / 40.0)) + noise)};
  });
  int steps = 0;
  DibData out = ConvertTrueColorTo8BitRGBLow(src, [&] { ++steps; });
  EXPECT_EQ(steps, 256);
  ASSERT_LE(out.colors.size(), 256u);
  EXPECT_GT(out.colors.size(), 200u);
  double error = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) {
      int i = out.ScanLine(y)[x];
      ASSERT_LT(static_cast<size_t>(i), out.colors.size());
      Rgb c = At24(src, x, y);
      const TRGBQuad& q = out.colors[i];
      error += std::abs(c.r - q.red) + std::abs(c.g - q.green) + std::abs(c.b - q.blue);
    }
  EXPECT_LT(error / (320 * 240 * 3), 8.0);
  // The fine mode diffuses the error onto the same palette.
  DibData fine = ConvertTrueColorTo8BitRGBFine(src);
  EXPECT_EQ(fine.colors, out.colors);
  EXPECT_NE(fine.bits, out.bits);
}

TEST(DibReductionTest, EmptyImageStillRunsAllSteps) {
  DibData src = MakeDib(0, 0, 24);
  int steps = 0;
  DibData out = ConvertTrueColorTo8BitRGBLow(src, [&] { ++steps; });
  EXPECT_EQ(steps, 256);
  EXPECT_TRUE(out.colors.empty());
  EXPECT_EQ(out.BitCount(), 8);
  steps = 0;
  ConvertTrueColorTo4BitRGB(src, [&] { ++steps; });
  EXPECT_EQ(steps, 16);
}

TEST(DibReductionTest, WrongSourcesAreRefusedWithTheirNames) {
  DibData eight = MakeDib(2, 2, 8);
  auto message = [](const std::function<void()>& f) {
    try {
      f();
    } catch (const EDibError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { ConvertTrueColorTo8BitRGBLow(eight); }),
            "ConvertTrueColorTo8BitRGBLow: Invalid Bitcount");
  DibData rgb = MakeDib(2, 2, 24);
  EXPECT_EQ(message([&] { Convert8BitRGBToTrueColor(rgb); }),
            "Convert8BitRGBToTrueColor: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(message([&] { Convert8BitRLETo8BitRGB(eight); }),
            "Convert8BitRLETo8BitRGB: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(message([&] { Convert4BitRLETo4BitRGB(eight); }),
            "Convert4BitRLETo4BitRGB: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(message([&] { Convert1BitRGBToTrueColor(eight); }),
            "Convert1BitRGBToTrueColor: Invalid Bitcount & Compression Combination");
  EXPECT_EQ(message([&] { Convert4BitRGBTo8BitRGB(eight); }),
            "Convert4BitRGBTo8BitRGB: Invalid Bitcount & Compression Combination");
  // A buffer shorter than the header claims is refused, not read past.
  DibData short_rows = MakeDib(4, 4, 8);
  short_rows.bits.resize(8);
  EXPECT_THROW(Convert8BitRGBToTrueColor(short_rows), EDibError);
}

TEST(DibExpansionTest, IndicesKeepTheirTableOrBecomeItsColours) {
  DibData one = MakeDib(10, 2, 1, {{0, 0, 255, 0}, {255, 0, 0, 0}});
  one.ScanLine(0)[0] = 0b10100000;
  one.ScanLine(1)[1] = 0b01000000;  // x = 9
  DibData eight = Convert1BitRGBTo8BitRGB(one);
  EXPECT_EQ(eight.colors, one.colors);
  EXPECT_EQ(eight.ScanLine(0)[0], 1);
  EXPECT_EQ(eight.ScanLine(0)[1], 0);
  EXPECT_EQ(eight.ScanLine(0)[2], 1);
  EXPECT_EQ(eight.ScanLine(1)[9], 1);
  DibData four = Convert1BitRGBTo4BitRGB(one);
  EXPECT_EQ(four.ScanLine(0)[0], 0x10);
  EXPECT_EQ(four.ScanLine(0)[1], 0x10);
  DibData rgb = Convert1BitRGBToTrueColor(one);
  EXPECT_EQ(At24(rgb, 0, 0).b, 255);
  EXPECT_EQ(At24(rgb, 1, 0).r, 255);

  // 4 bits with a table of three entries: index 5 lies past it and becomes black.
  DibData nibbles = MakeDib(3, 1, 4, {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}});
  nibbles.ScanLine(0)[0] = 0x25;
  nibbles.ScanLine(0)[1] = 0x10;
  DibData wide = Convert4BitRGBTo8BitRGB(nibbles);
  EXPECT_EQ(wide.ScanLine(0)[0], 2);
  EXPECT_EQ(wide.ScanLine(0)[1], 5);
  EXPECT_EQ(wide.ScanLine(0)[2], 1);
  DibData colours = Convert4BitRGBToTrueColor(nibbles);
  EXPECT_EQ(At24(colours, 0, 0).r, 9);
  EXPECT_EQ(At24(colours, 1, 0).r, 0);
  EXPECT_EQ(At24(colours, 2, 0).g, 5);
  EXPECT_TRUE(colours.colors.empty());
  EXPECT_EQ(colours.header.clr_used, 0u);
}

// ---------------------------------------------------------------------------------------------

DibData Rle(int w, int h, int bits, std::vector<uint8_t> stream) {
  DibData d;
  d.header.width = w;
  d.header.height = h;
  d.header.bit_count = static_cast<uint16_t>(bits);
  d.header.compression = bits == 8 ? kBiRle8 : kBiRle4;
  d.colors.assign(size_t{1} << bits, TRGBQuad{});
  d.bits = std::move(stream);
  SyncDibHeader(d);
  return d;
}

std::string RleError(const DibData& d) {
  try {
    if (d.BitCount() == 8)
      Convert8BitRLETo8BitRGB(d);
    else
      Convert4BitRLETo4BitRGB(d);
  } catch (const EDibError& e) {
    return e.what();
  }
  return "no error";
}

TEST(DibRleTest, DecodesRunsLiteralsDeltasAndLineEnds) {
  // 5 x 3, bottom row first: run of 3 x 7, runs of one 1 and one 2, end of line; delta (1, 1)
  // to (1, 2); literal 9 8 7 + pad byte; end of bitmap.
  DibData d = Rle(5, 3, 8, {3, 7, 1, 1, 1, 2, 0, 0, 0, 2, 1, 1, 0, 3, 9, 8, 7, 0, 0, 1});
  DibData out = Convert8BitRLETo8BitRGB(d);
  EXPECT_EQ(out.header.compression, kBiRgb);
  EXPECT_EQ(out.colors.size(), 256u);
  const uint8_t* bottom = out.ScanLine(2);
  EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 5), (std::vector<uint8_t>{7, 7, 7, 1, 2}));
  const uint8_t* middle = out.ScanLine(1);
  EXPECT_EQ(std::vector<uint8_t>(middle, middle + 5), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
  const uint8_t* top = out.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(top, top + 5), (std::vector<uint8_t>{0, 9, 8, 7, 0}));

  // 4 bits: run of 5 alternating 1/2, literal of 3 nibbles a b c (2 bytes, padded to 2).
  DibData f = Rle(8, 1, 4, {5, 0x12, 0, 3, 0xAB, 0xC0, 0, 1});
  DibData four = Convert4BitRLETo4BitRGB(f);
  const uint8_t* row = four.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 4), (std::vector<uint8_t>{0x12, 0x12, 0x1A, 0xBC}));
  // A 4-bit literal of an odd byte count is padded to 16 bits.
  DibData g = Rle(6, 1, 4, {0, 6, 0x12, 0x34, 0x56, 0x00, 2, 0xFF, 0, 1});
  EXPECT_EQ(RleError(g), "Convert4BitRLETo4BitRGB: Bad RLE Data 5");  // 6 + 2 > 6 pixels
  DibData h = Rle(8, 1, 4, {0, 5, 0x12, 0x34, 0x50, 0x00, 3, 0xFF, 0, 1});
  DibData hd = Convert4BitRLETo4BitRGB(h);
  const uint8_t* hr = hd.ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(hr, hr + 4), (std::vector<uint8_t>{0x12, 0x34, 0x5F, 0xFF}));
}

TEST(DibRleTest, MalformedStreamsAreRefusedWithTheirNumbers) {
  struct Case {
    int bits;
    std::vector<uint8_t> stream;
    int number;
  } cases[] = {
      {8, {5, 1, 0, 1}, 1},              // run of 5 in a row of 4
      {8, {2, 1, 0, 0, 0, 0, 1, 1}, 1},  // run after the last row
      {8, {0, 5, 1, 2, 3, 4, 5, 0}, 2},  // literal of 5 in a row of 4
      {8, {0, 2, 5, 0}, 3},              // delta past the right edge
      {8, {0, 2, 0, 3}, 3},              // delta above the top row
      {8, {0, 0, 0, 0, 0, 0}, 3},        // a third line end in two rows
      {8, {0, 3, 1, 2}, 4},              // literal cut short
      {8, {0, 2, 1}, 4},                 // delta cut short
      {8, {4}, 4},                       // a lone byte
      {4, {5, 0x11, 0, 1}, 5},
      {4, {0, 5, 0x12, 0x34, 0x50, 0}, 6},
      {4, {0, 2, 5, 0}, 7},
      {4, {0, 4, 0x12}, 8},
  };
  for (const Case& c : cases) {
    DibData d = Rle(4, 2, c.bits, c.stream);
    std::string name = c.bits == 8 ? "Convert8BitRLETo8BitRGB" : "Convert4BitRLETo4BitRGB";
    EXPECT_EQ(RleError(d), name + ": Bad RLE Data " + std::to_string(c.number))
        << "stream of " << c.stream.size() << " bytes, case " << c.number;
  }
}

TEST(DibRleTest, StreamWithoutEndMarkIsAccepted) {
  DibData d = Rle(4, 2, 8, {4, 9, 0, 0, 2, 8});
  DibData out = Convert8BitRLETo8BitRGB(d);
  EXPECT_EQ(out.ScanLine(1)[3], 9);
  EXPECT_EQ(out.ScanLine(0)[1], 8);
  EXPECT_EQ(out.ScanLine(0)[2], 0);
}

}  // namespace
}  // namespace pamirune
