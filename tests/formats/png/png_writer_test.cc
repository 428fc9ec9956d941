// Writer: chunk order and contents, the format table, palette matching, greyscale, Adam7,
// filters and the IDAT split.
#include "formats/png/png_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "formats/png/png_filter.h"
#include "formats/png/png_stream.h"
#include "png_test_util.h"
#include "raster/threads.h"
#include "raster/zlib_writer.h"
#include "support/expect_error.h"

namespace pamirune {
namespace {

using png_test::Bytes;
using png_test::ChunkTypes;
using png_test::Encode;
using png_test::FindChunk;
using png_test::ParseChunks;

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

TBitmap SmallPalette8() {
  TBitmap b(4, 3, TPixelFormat::pf8bit);
  std::vector<TRGBQuad> pal;
  for (int i = 0; i < 8; ++i)
    pal.push_back({static_cast<uint8_t>(i * 10), static_cast<uint8_t>(i * 20),
                   static_cast<uint8_t>(i * 30), 0});
  b.SetPalette(pal);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>((x + y) % 8);
  return b;
}

TEST(PngWriter, DefaultChunkOrderAndContents) {
  Bytes file = Encode(SmallPalette8());
  ASSERT_GE(file.size(), 8u);
  EXPECT_TRUE(std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin()));
  EXPECT_EQ(ChunkTypes(file), (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tpNG", "gAMA",
                                                        "PLTE", "IDAT", "IEND"}));
  auto chunks = ParseChunks(file);
  for (const auto& c : chunks) EXPECT_TRUE(c.crc_ok) << c.type;
  EXPECT_EQ(FindChunk(chunks, "IHDR")->data, (Bytes{0, 0, 0, 4, 0, 0, 0, 3, 8, 3, 0, 0, 0}));
  EXPECT_EQ(FindChunk(chunks, "tIME")->data, (Bytes{0x07, 0xE8, 2, 29, 13, 45, 7}));
  Bytes software = Str("Software");
  software.push_back(0);
  Bytes text = Str("KRXPNG ver 3.4");
  software.insert(software.end(), text.begin(), text.end());
  EXPECT_EQ(FindChunk(chunks, "tEXt")->data, software);
  EXPECT_EQ(FindChunk(chunks, "tpNG")->data, (Bytes{'K', 'R', 'X', '3', 0, 0, 0, 0}));
  EXPECT_EQ(FindChunk(chunks, "gAMA")->data, (Bytes{0, 0, 0xB1, 0x8F}));  // 45455
  EXPECT_EQ(FindChunk(chunks, "PLTE")->data.size(), 24u);
  EXPECT_TRUE(FindChunk(chunks, "IEND")->data.empty());
  // Rows top to bottom, filter None.
  Bytes raw = png_test::InflateIdat(file);
  Bytes expect;
  for (int y = 0; y < 3; ++y) {
    expect.push_back(0);
    for (int x = 0; x < 4; ++x) expect.push_back(static_cast<uint8_t>((x + y) % 8));
  }
  EXPECT_EQ(raw, expect);

  // RGB images have no PLTE; a transparent colour adds tRNS after it.
  EXPECT_EQ(ChunkTypes(Encode(png_test::MakeRgb(3, 2))),
            (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tpNG", "gAMA", "IDAT", "IEND"}));
  PngOptions o;
  o.transparent_color = RGB(1, 2, 3);
  EXPECT_EQ(ChunkTypes(Encode(SmallPalette8(), o)),
            (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tpNG", "gAMA", "PLTE", "tRNS",
                                      "IDAT", "IEND"}));
}

TEST(PngWriter, EveryOptionalChunkInItsPlace) {
  PngOptions o;
  o.comment = "hello";
  o.gif_extension = {1, 0, 0, 0};
  o.chromaticities = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  o.significant_bits = 0x050505;
  o.background_color = RGB(0, 0, 0);
  o.transparent_color = RGB(30, 20, 10);
  o.physical_size = {1, 3780, 3780};
  Bytes file = Encode(SmallPalette8(), o);
  EXPECT_EQ(ChunkTypes(file), (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tEXt", "tpNG",
                                                        "gIFg", "gAMA", "cHRM", "sBIT", "PLTE",
                                                        "bKGD", "tRNS", "pHYs", "IDAT", "IEND"}));
  auto chunks = ParseChunks(file);
  Bytes comment = Str("Comment");
  comment.push_back(0);
  for (char c : std::string("hello")) comment.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(chunks[2].data, comment);
  EXPECT_EQ(FindChunk(chunks, "sBIT")->data, (Bytes{5, 5, 5}));
  EXPECT_EQ(FindChunk(chunks, "bKGD")->data, (Bytes{0}));
  EXPECT_EQ(FindChunk(chunks, "tRNS")->data, (Bytes{255, 0}));
  EXPECT_EQ(FindChunk(chunks, "pHYs")->data, (Bytes{0, 0, 0x0E, 0xC4, 0, 0, 0x0E, 0xC4, 1}));
  EXPECT_EQ(FindChunk(chunks, "cHRM")->data.size(), 32u);
  EXPECT_EQ(FindChunk(chunks, "gIFg")->data, (Bytes{1, 0, 0, 0}));

  // Absent values write nothing: gamma 0, cHRM with a zero first value, a zero GIF block.
  PngOptions none;
  none.gamma = 0;
  none.chromaticities = {0, 5, 5, 5, 5, 5, 5, 5};
  none.gif_extension = {0, 0, 0, 9};
  EXPECT_EQ(ChunkTypes(Encode(SmallPalette8(), none)),
            (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tpNG", "PLTE", "IDAT", "IEND"}));
}

TEST(PngWriter, TimeAndPhysicalSize) {
  PngOptions o;
  o.use_current_time = false;
  o.stored_time = {1999, 12, 31, 23, 59, 60};
  auto chunks = ParseChunks(Encode(SmallPalette8(), o));
  EXPECT_EQ(FindChunk(chunks, "tIME")->data, (Bytes{0x07, 0xCF, 12, 31, 23, 59, 60}));
  for (PngTime bad : {PngTime{0, 1, 1, 0, 0, 0}, PngTime{2000, 13, 1, 0, 0, 0},
                      PngTime{2000, 1, 32, 0, 0, 0}, PngTime{2000, 1, 1, 24, 0, 0},
                      PngTime{2000, 1, 1, 0, 60, 0}, PngTime{2000, 1, 1, 0, 0, 61}}) {
    o.stored_time = bad;
    EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), o)), "tIME"), nullptr);
  }
  // Per inch becomes per metre: 72 * 100 / 254 * 100 = 2834.6 -> 2834, unit byte 1.
  PngOptions p;
  p.physical_size = {2, 72, 300};
  EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), p)), "pHYs")->data,
            (Bytes{0, 0, 0x0B, 0x12, 0, 0, 0x2E, 0x23, 1}));
  p.physical_size = {0, 2, 3};
  EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), p)), "pHYs")->data,
            (Bytes{0, 0, 0, 2, 0, 0, 0, 3, 0}));
  p.physical_size = {1, 0, 3};
  EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), p)), "pHYs"), nullptr);
}

TEST(PngWriter, TransparentIndexFiveAndNearestEntryRule) {
  // Nearest entry to (148, 98, 52) is index 5 = (150, 100, 50).
  PngOptions o;
  o.transparent_color = RGB(148, 98, 52);
  EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), o)), "tRNS")->data,
            (Bytes{255, 255, 255, 255, 255, 0}));
  o.transparent_color = kPaletteIndexFlag | 3;
  EXPECT_EQ(FindChunk(ParseChunks(Encode(SmallPalette8(), o)), "tRNS")->data,
            (Bytes{255, 255, 255, 0}));

  // Sum of absolute differences, not squared distance: to black, (10,10,10) sums 30 and
  // (25,0,0) sums 25, so entry 2 wins although its squared distance is larger.
  std::vector<TRGBQuad> pal = {{200, 200, 200, 0}, {10, 10, 10, 0}, {0, 0, 25, 0}, {0, 25, 0, 0}};
  EXPECT_EQ(PngNearestPaletteIndex(pal, RGB(0, 0, 0)), 2);
  // Ties go to the lower index; an exact match wins.
  std::vector<TRGBQuad> tie = {
      {9, 9, 9, 0}, {0, 0, 2, 0}, {2, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  EXPECT_EQ(PngNearestPaletteIndex(tie, RGB(0, 1, 0)), 3);
  EXPECT_EQ(PngNearestPaletteIndex(tie, RGB(0, 0, 0)), 3);
  tie.resize(3);
  EXPECT_EQ(PngNearestPaletteIndex(tie, RGB(0, 0, 0)), 1);
}

TEST(PngWriter, TransparentAndBackgroundShapesPerColourType) {
  TBitmap rgb = png_test::MakeRgb(2, 2);
  PngOptions o;
  o.transparent_color = RGB(0x12, 0x34, 0x56);
  o.background_color = RGB(1, 2, 3);
  auto chunks = ParseChunks(Encode(rgb, o));
  EXPECT_EQ(FindChunk(chunks, "tRNS")->data, (Bytes{0, 0x12, 0, 0x34, 0, 0x56}));
  EXPECT_EQ(FindChunk(chunks, "bKGD")->data, (Bytes{0, 1, 0, 2, 0, 3}));

  o.greyscale = true;
  o.transparent_color = RGB(100, 150, 200);  // (7700 + 22500 + 5800) / 256 = 140
  chunks = ParseChunks(Encode(rgb, o));
  EXPECT_EQ(FindChunk(chunks, "tRNS")->data, (Bytes{0, 140}));

  // Greyscale 1 bit: 1 from 128 up; 4 bits: luminance / 16.
  TBitmap mono(8, 1, TPixelFormat::pf1bit);
  mono.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  PngOptions g;
  g.greyscale = true;
  g.background_color = RGB(128, 128, 128);
  g.transparent_color = RGB(127, 127, 127);
  chunks = ParseChunks(Encode(mono, g));
  EXPECT_EQ(FindChunk(chunks, "IHDR")->data[8], 1);
  EXPECT_EQ(FindChunk(chunks, "IHDR")->data[9], 0);
  EXPECT_EQ(FindChunk(chunks, "bKGD")->data, (Bytes{0, 1}));
  EXPECT_EQ(FindChunk(chunks, "tRNS")->data, (Bytes{0, 0}));
  TBitmap four = png_test::MakeIndexed(5, 2, 4);
  g.background_color = RGB(200, 200, 200);
  chunks = ParseChunks(Encode(four, g));
  EXPECT_EQ(FindChunk(chunks, "bKGD")->data, (Bytes{0, 12}));

  // Alpha written: no tRNS.
  TBitmap alpha(2, 2, TPixelFormat::pf8bit);
  o.greyscale = false;
  EXPECT_EQ(FindChunk(ParseChunks(Encode(rgb, o, &alpha)), "tRNS"), nullptr);
}

struct FormatCase {
  TPixelFormat format;
  bool grey;
  bool alpha;
  int depth;
  int color_type;
};

TEST(PngWriter, FormatTable) {
  const FormatCase cases[] = {
      {TPixelFormat::pf1bit, false, false, 1, 3},  {TPixelFormat::pf4bit, false, false, 4, 3},
      {TPixelFormat::pf8bit, false, false, 8, 3},  {TPixelFormat::pf1bit, true, false, 1, 0},
      {TPixelFormat::pf4bit, true, false, 4, 0},   {TPixelFormat::pf8bit, true, false, 8, 0},
      {TPixelFormat::pf8bit, false, true, 8, 3},   {TPixelFormat::pf8bit, true, true, 8, 4},
      {TPixelFormat::pf15bit, false, false, 8, 2}, {TPixelFormat::pf16bit, false, false, 8, 2},
      {TPixelFormat::pf24bit, false, false, 8, 2}, {TPixelFormat::pf32bit, false, false, 8, 2},
      {TPixelFormat::pf24bit, true, false, 8, 0},  {TPixelFormat::pf32bit, true, false, 8, 0},
      {TPixelFormat::pf24bit, false, true, 8, 6},  {TPixelFormat::pf16bit, false, true, 8, 6},
      {TPixelFormat::pf24bit, true, true, 8, 4},   {TPixelFormat::pf32bit, true, true, 8, 4},
  };
  for (const FormatCase& c : cases) {
    TBitmap img(5, 3, c.format);
    if (BitsPerPixel(c.format) <= 8) img = png_test::MakeIndexed(5, 3, BitsPerPixel(c.format));
    TBitmap alpha(5, 3, TPixelFormat::pf8bit);
    PngOptions o;
    o.greyscale = c.grey;
    auto chunks = ParseChunks(Encode(img, o, c.alpha ? &alpha : nullptr));
    const Bytes& ihdr = FindChunk(chunks, "IHDR")->data;
    EXPECT_EQ(ihdr[8], c.depth) << static_cast<int>(c.format) << c.grey << c.alpha;
    EXPECT_EQ(ihdr[9], c.color_type) << static_cast<int>(c.format) << c.grey << c.alpha;
  }
  // A mask of the wrong size or depth is not used.
  TBitmap wrong(4, 3, TPixelFormat::pf8bit), deep(5, 3, TPixelFormat::pf24bit);
  EXPECT_EQ(FindChunk(ParseChunks(Encode(png_test::MakeRgb(5, 3), {}, &wrong)), "IHDR")->data[9],
            2);
  EXPECT_EQ(FindChunk(ParseChunks(Encode(png_test::MakeRgb(5, 3), {}, &deep)), "IHDR")->data[9], 2);
}

TEST(PngWriter, PixelConversion) {
  // 24 and 32 bits: blue-green-red to red-green-blue; the fourth byte is dropped; alpha is
  // 255 minus the mask.
  TBitmap b32(2, 1, TPixelFormat::pf32bit);
  const uint8_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::memcpy(b32.ScanLine(0), px, 8);
  TBitmap mask(2, 1, TPixelFormat::pf8bit);
  mask.ScanLine(0)[0] = 0;
  mask.ScanLine(0)[1] = 200;
  EXPECT_EQ(png_test::InflateIdat(Encode(b32, {}, &mask)), (Bytes{0, 3, 2, 1, 255, 7, 6, 5, 55}));
  EXPECT_EQ(png_test::InflateIdat(Encode(b32)), (Bytes{0, 3, 2, 1, 7, 6, 5}));

  // Greyscale from colour: (r*77 + g*150 + b*29) / 256.
  PngOptions grey;
  grey.greyscale = true;
  EXPECT_EQ(png_test::InflateIdat(Encode(b32, grey)),
            (Bytes{0, static_cast<uint8_t>((3 * 77 + 2 * 150 + 1 * 29) / 256),
                   static_cast<uint8_t>((7 * 77 + 6 * 150 + 5 * 29) / 256)}));

  // 15 bits: x * 8 + x / 4; 16 bits (5-6-5): green x * 4 + x / 16; sBIT follows.
  TBitmap b15(1, 1, TPixelFormat::pf15bit);
  b15.SetRawPixel(0, 0, (31u << 10) | (17u << 5) | 1u);
  Bytes f15 = Encode(b15);
  EXPECT_EQ(png_test::InflateIdat(f15), (Bytes{0, 255, 17 * 8 + 17 / 4, 8}));
  EXPECT_EQ(FindChunk(ParseChunks(f15), "sBIT")->data, (Bytes{5, 5, 5}));
  TBitmap b16(1, 1, TPixelFormat::pf16bit);
  b16.SetRawPixel(0, 0, (3u << 11) | (45u << 5) | 30u);
  Bytes f16 = Encode(b16, {}, &mask);  // wrong size: no alpha
  EXPECT_EQ(png_test::InflateIdat(f16), (Bytes{0, 3 * 8 + 0, 45 * 4 + 45 / 16, 30 * 8 + 30 / 4}));
  EXPECT_EQ(FindChunk(ParseChunks(f16), "sBIT")->data, (Bytes{5, 6, 5}));
  TBitmap mask1(1, 1, TPixelFormat::pf8bit);
  EXPECT_EQ(FindChunk(ParseChunks(Encode(b16, {}, &mask1)), "sBIT")->data, (Bytes{5, 6, 5, 8}));
  EXPECT_EQ(FindChunk(ParseChunks(Encode(b16, grey)), "sBIT"), nullptr);

  // 4-bit palette to greyscale: weighted sum / 4096 per index.
  TBitmap b4(2, 1, TPixelFormat::pf4bit);
  b4.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}, {0, 0, 255, 0}});
  b4.ScanLine(0)[0] = 0x12;
  EXPECT_EQ(png_test::InflateIdat(Encode(b4, grey)),
            (Bytes{0, static_cast<uint8_t>((15 << 4) | (255 * 77 / 4096))}));

  // 1 bit: inverted when entry 1 is darker than entry 0.
  TBitmap b1(8, 1, TPixelFormat::pf1bit);
  b1.SetPalette({{255, 255, 255, 0}, {0, 0, 0, 0}});
  b1.ScanLine(0)[0] = 0xA5;
  EXPECT_EQ(png_test::InflateIdat(Encode(b1, grey)), (Bytes{0, 0x5A}));
  b1.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  EXPECT_EQ(png_test::InflateIdat(Encode(b1, grey)), (Bytes{0, 0xA5}));

  // A source without a palette keeps its indices; a palette image gets a grey ramp PLTE.
  TBitmap bare(2, 1, TPixelFormat::pf8bit);
  bare.SetPalette({});
  bare.ScanLine(0)[0] = 7;
  bare.ScanLine(0)[1] = 200;
  EXPECT_EQ(png_test::InflateIdat(Encode(bare, grey)), (Bytes{0, 7, 200}));
  EXPECT_EQ(FindChunk(ParseChunks(Encode(bare)), "PLTE")->data.size(), 768u);
}

TEST(PngWriter, PaletteIsCutToWhatTheDepthAddresses) {
  TBitmap b(3, 1, TPixelFormat::pf1bit);
  b.SetPalette(std::vector<TRGBQuad>(16, TRGBQuad{1, 2, 3, 0}));
  EXPECT_EQ(FindChunk(ParseChunks(Encode(b)), "PLTE")->data.size(), 6u);
  // An index past the palette cannot be made transparent in a valid file.
  PngOptions o;
  o.transparent_color = kPaletteIndexFlag | 7;
  EXPECT_EQ(FindChunk(ParseChunks(Encode(b, o)), "tRNS"), nullptr);
}

TEST(PngWriter, DeclaredValuesStayValid) {
  // sBIT: a channel given 0 (or over 8) bits is declared with 8, so the file stays valid.
  PngOptions o;
  o.significant_bits = 0x00090605;
  TBitmap mask(3, 2, TPixelFormat::pf8bit);
  EXPECT_EQ(FindChunk(ParseChunks(Encode(png_test::MakeRgb(3, 2), o, &mask)), "sBIT")->data,
            (Bytes{5, 6, 8, 8}));
  // 1-bit greyscale: a transparent colour marks the level its pixels are written with, also
  // when both palette entries are dark (entry 1 darker: written inverted).
  TBitmap dark(8, 1, TPixelFormat::pf1bit);
  dark.SetPalette({{0, 0, 100, 0}, {0, 0, 50, 0}});
  dark.ScanLine(0)[0] = 0x0F;
  PngOptions g;
  g.greyscale = true;
  g.transparent_color = ColorFromQuad(dark.Palette()[0]);
  Bytes file = Encode(dark, g);
  EXPECT_EQ(png_test::InflateIdat(file), (Bytes{0, 0xF0}));
  EXPECT_EQ(FindChunk(ParseChunks(file), "tRNS")->data, (Bytes{0, 1}));
}

// Expected inflated size of an Adam7 image: one filter byte per pass row plus pass pixels.
size_t Adam7Size(int w, int h, int bits) {
  size_t n = 0;
  for (const PngPass& p : kAdam7) {
    int pw = PngPassSize(w, p.x0, p.dx), ph = PngPassSize(h, p.y0, p.dy);
    if (pw && ph) n += static_cast<size_t>(ph) * (1 + (static_cast<size_t>(pw) * bits + 7) / 8);
  }
  return n;
}

TEST(PngWriter, Adam7SkipsEmptyPasses) {
  // Pass sizes as the writer defines them.
  const int widths[7] = {(9 + 7) / 8, (9 + 3) / 8, (9 + 3) / 4, (9 + 1) / 4, (9 + 1) / 2, 9 / 2, 9};
  const int heights[7] = {(9 + 7) / 8, (9 + 7) / 8, (9 + 3) / 8, (9 + 3) / 4,
                          (9 + 1) / 4, (9 + 1) / 2, 9 / 2};
  for (int p = 0; p < 7; ++p) {
    EXPECT_EQ(PngPassSize(9, kAdam7[p].x0, kAdam7[p].dx), widths[p]);
    EXPECT_EQ(PngPassSize(9, kAdam7[p].y0, kAdam7[p].dy), heights[p]);
  }
  PngOptions o;
  o.interlace = 1;
  // 1 x 1: only the first pass, one row of one pixel.
  EXPECT_EQ(png_test::InflateIdat(Encode(png_test::MakeRgb(1, 1), o)).size(), 4u);
  // Width 1: passes 1, 3, 5 and 7 only; height 1: passes 1, 2, 4 and 6.
  EXPECT_EQ(png_test::InflateIdat(Encode(png_test::MakeRgb(1, 7), o)).size(), 7u * 4u);
  EXPECT_EQ(png_test::InflateIdat(Encode(png_test::MakeRgb(7, 1), o)).size(), 4u + 4u + 7u + 10u);
  for (int w : {1, 2, 3, 5, 8, 13})
    for (int h : {1, 2, 4, 9}) {
      EXPECT_EQ(png_test::InflateIdat(Encode(png_test::MakeIndexed(w, h, 1), o)).size(),
                Adam7Size(w, h, 1));
      EXPECT_EQ(png_test::InflateIdat(Encode(png_test::MakeIndexed(w, h, 4), o)).size(),
                Adam7Size(w, h, 4));
    }
  // The first pass row of a 9 x 1 image holds pixels 0 and 8.
  TBitmap line(9, 1, TPixelFormat::pf8bit);
  line.SetPalette(std::vector<TRGBQuad>(256));
  for (int x = 0; x < 9; ++x) line.ScanLine(0)[x] = static_cast<uint8_t>(x + 1);
  EXPECT_EQ(png_test::InflateIdat(Encode(line, o)), (Bytes{0, 1, 9, 0, 5, 0, 3, 7, 0, 2, 4, 6, 8}));
}

TEST(PngWriter, FixedFilterModes) {
  TBitmap img = png_test::MakeRgb(6, 5);
  for (int mode : {1, 2, 3, 4, 5, 6, 99}) {
    PngOptions o;
    o.filter_mode = mode;
    Bytes raw = png_test::InflateIdat(Encode(img, o));
    ASSERT_EQ(raw.size(), 5u * 19u);
    uint8_t expected = (mode >= 2 && mode <= 5) ? static_cast<uint8_t>(mode - 1) : 0;
    for (int y = 0; y < 5; ++y) EXPECT_EQ(raw[static_cast<size_t>(y) * 19], expected) << mode;
  }
  // Each filter against the standard definitions, on a tiny 1-byte-per-pixel example.
  const uint8_t row[4] = {10, 20, 30, 40}, prev[4] = {5, 100, 7, 50};
  uint8_t out[5];
  PngFilterRow(kFilterSub, row, prev, 4, 1, out);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{1, 10, 10, 10, 10}));
  PngFilterRow(kFilterUp, row, prev, 4, 1, out);
  EXPECT_EQ(Bytes(out, out + 5),
            (Bytes{2, 5, static_cast<uint8_t>(20 - 100), 23, static_cast<uint8_t>(40 - 50)}));
  PngFilterRow(kFilterAverage, row, prev, 4, 1, out);
  EXPECT_EQ(Bytes(out, out + 5),
            (Bytes{3, 8, static_cast<uint8_t>(20 - 55), static_cast<uint8_t>(30 - 13), 40 - 40}));
  PngFilterRow(kFilterPaeth, row, prev, 4, 1, out);
  // Paeth predictors: a=0,b=5,c=0 -> 5; a=10,b=100,c=5 -> 100; a=20,b=7,c=100 -> 7 (p=-73);
  // a=30,b=50,c=7 -> 50 (p=73: pa=43, pb=23, pc=66).
  EXPECT_EQ(Bytes(out, out + 5),
            (Bytes{4, 5, static_cast<uint8_t>(20 - 100), 23, static_cast<uint8_t>(40 - 50)}));
  for (uint8_t f = 0; f <= 4; ++f) {
    PngFilterRow(static_cast<PngFilterType>(f), row, prev, 4, 1, out);
    ASSERT_TRUE(PngUnfilterRow(out[0], out + 1, prev, 4, 1));
    EXPECT_EQ(Bytes(out + 1, out + 5), Bytes(row, row + 4));
  }
  EXPECT_FALSE(PngUnfilterRow(5, out + 1, prev, 4, 1));
}

TEST(PngWriter, AdaptiveScore) {
  // 30 bytes, values 0..9 three times each: k = 10, c1 = c2 = c3 = 3.
  Bytes row;
  for (int i = 0; i < 30; ++i) row.push_back(static_cast<uint8_t>(i % 10));
  PngRowScore s = PngScoreRow(row.data(), row.size(), 8);
  EXPECT_FALSE(s.take_at_once);
  EXPECT_EQ(s.value, 2300);  // 30 / 1.5 / 10 * 1000 + 9 / 30 * 1000
  s = PngScoreRow(row.data(), row.size(), 4);
  EXPECT_EQ(s.value, 3200);  // 3000 + 6 / 30 * 1000
  // At most 8 distinct values, or one value at 90 %: taken at once.
  Bytes few(40, 0);
  for (int i = 0; i < 8; ++i) few[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  EXPECT_TRUE(PngScoreRow(few.data(), few.size(), 8).take_at_once);
  Bytes many(100, 7);
  for (int i = 0; i < 10; ++i) many[static_cast<size_t>(i)] = static_cast<uint8_t>(100 + i);
  EXPECT_TRUE(PngScoreRow(many.data(), many.size(), 8).take_at_once);
  many[10] = 200;  // 89 % now
  EXPECT_FALSE(PngScoreRow(many.data(), many.size(), 8).take_at_once);
}

TEST(PngWriter, AdaptiveChoosesPerRow) {
  // Row 0: a ramp (Sub makes it constant); row 1: the same noise as row 2 (Up makes row 2 zero).
  TBitmap img(40, 3, TPixelFormat::pf24bit);
  uint32_t s = 7;
  for (int x = 0; x < 120; ++x) {
    img.ScanLine(0)[x] = static_cast<uint8_t>(x * 3);
    s = s * 1103515245u + 12345u;
    img.ScanLine(1)[x] = img.ScanLine(2)[x] = static_cast<uint8_t>(s >> 16);
  }
  PngOptions o;
  o.filter_mode = 0;
  Bytes raw = png_test::InflateIdat(Encode(img, o));
  ASSERT_EQ(raw.size(), 3u * 121u);
  EXPECT_EQ(raw[0], kFilterSub);
  EXPECT_EQ(raw[2 * 121], kFilterUp);
  // A 4-bit source keeps None.
  Bytes raw4 = png_test::InflateIdat(Encode(png_test::MakeIndexed(64, 4, 4), o));
  for (int y = 0; y < 4; ++y) EXPECT_EQ(raw4[static_cast<size_t>(y) * 33], 0);
}

TEST(PngWriter, IdatSplitAndSizeLimits) {
  // Stored blocks of noise: 9 rows of 7776 bytes make 70,000 bytes of zlib data.
  TBitmap img = png_test::MakeIndexed(7775, 9, 8, 5);
  PngOptions o;
  o.compression_level = 0;
  Bytes file = Encode(img, o);
  std::vector<size_t> sizes;
  for (const auto& c : ParseChunks(file))
    if (c.type == "IDAT") sizes.push_back(c.data.size());
  size_t total = 0;
  for (size_t n : sizes) total += n;
  ASSERT_EQ(total, 70000u) << "adjust the image so that the zlib data is 70,000 bytes";
  EXPECT_EQ(sizes, (std::vector<size_t>{32768, 32768, 4464}));

  o.idat_size = 256;
  sizes.clear();
  for (const auto& c : ParseChunks(Encode(png_test::MakeRgb(50, 50), o))) {
    if (c.type == "IDAT") sizes.push_back(c.data.size());
  }
  ASSERT_GT(sizes.size(), 2u);
  for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 256u);
  EXPECT_LE(sizes.back(), 256u);
  for (int bad : {255, 100001, -1}) {
    o.idat_size = bad;
    SCOPED_TRACE(bad);
    testing::ExpectError<EPngError>([&] { Encode(img, o); },
                                    "Write PNG Param: Err IDAT Size(min:256  max:100000)");
  }
}

TEST(PngWriter, CompressionLevels) {
  EXPECT_EQ(PngCompressionLevelForQuality(0), 9);
  EXPECT_EQ(PngCompressionLevelForQuality(5), 4);
  EXPECT_EQ(PngCompressionLevelForQuality(8), 1);
  EXPECT_EQ(PngCompressionLevelForQuality(9), 0);
  EXPECT_EQ(PngCompressionLevelForQuality(10), 0);
  // The zlib header records the level class; level 0 writes stored blocks.
  TBitmap img = png_test::MakeRgb(30, 30);
  auto first_idat = [&](int level) {
    PngOptions o;
    o.compression_level = level;
    return FindChunk(ParseChunks(Encode(img, o)), "IDAT")->data;
  };
  Bytes stored = first_idat(PngCompressionLevelForQuality(10));
  EXPECT_EQ(stored[0], 0x78);
  EXPECT_EQ(stored[1] >> 6, 0);
  EXPECT_EQ((stored[2] >> 1) & 3, 0);  // block type 00: stored
  EXPECT_EQ(first_idat(PngCompressionLevelForQuality(0))[1] >> 6, 3);
  EXPECT_EQ(first_idat(-1)[1] >> 6, 2);  // zlib's default level 6
  EXPECT_EQ(first_idat(42)[1] >> 6, 2);
}

TEST(PngWriter, EmptyImageIsAnError) {
  try {
    Encode(TBitmap(), {});
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_STREQ(e.what(), "Write Image (PNG): Write Error");
  }
}

TEST(PngWriter, TwoThreadsWriteTheSameFileAsOne) {
  // Blocks of 64 KiB: this 300 x 200 image deflates as three blocks, rows straddling them.
  ZlibWriter::SetBlockSize(64 * 1024);
  TBitmap img = png_test::MakeRgb(300, 200);
  Bytes files[2];
  for (int threads : {1, 2}) {
    SetConversionThreads(threads);
    files[threads - 1] = Encode(img);
  }
  SetConversionThreads(0);
  ZlibWriter::SetBlockSize(0);
  EXPECT_EQ(files[0], files[1]);
  Bytes raw = png_test::InflateIdat(files[0]);
  ASSERT_EQ(raw.size(), 200u * 901u);
  for (int y : {0, 77, 199}) {
    const uint8_t* src = img.ScanLine(y);
    const uint8_t* row = raw.data() + static_cast<size_t>(y) * 901;
    EXPECT_EQ(row[0], 0);
    for (int x = 0; x < 300; x += 37)
      EXPECT_TRUE(row[1 + 3 * x] == src[3 * x + 2] && row[3 + 3 * x] == src[3 * x]) << x;
  }
}

}  // namespace
}  // namespace pamirune
