// BMP reading and writing of the Raster image: golden bytes, round trips, damaged and odd files
// built here from short recipes, and files made and read by other programs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "raster/bitmap.h"
#include "raster/byte_order.h"
#include "raster/errors.h"
#include "raster/stream.h"
#include "support/expect_error.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using testing::PatternBitmap;

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A BMP file from its parts: a 40-byte (or longer) info header, optional masks after it, a
// colour table and the pixel bytes. The offset is the true one unless given.
struct BmpRecipe {
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bit_count = 24;
  uint32_t compression = 0, colors_used = 0, header_size = 40;
  int32_t x_pels = 0, y_pels = 0;
  std::vector<uint32_t> masks;  // written after a 40-byte header, inside a longer one
  Bytes table;                  // 4 bytes per entry
  Bytes pixels;
  int64_t offset = -1;
  Bytes Build() const {
    Bytes info;
    AppendLe32(info, header_size);
    AppendLe32(info, static_cast<uint32_t>(width));
    AppendLe32(info, static_cast<uint32_t>(height));
    AppendLe16(info, planes);
    AppendLe16(info, bit_count);
    AppendLe32(info, compression);
    AppendLe32(info, static_cast<uint32_t>(pixels.size()));
    AppendLe32(info, static_cast<uint32_t>(x_pels));
    AppendLe32(info, static_cast<uint32_t>(y_pels));
    AppendLe32(info, colors_used);
    AppendLe32(info, 0);
    if (header_size > 40) {
      for (uint32_t m : masks) AppendLe32(info, m);
      info.resize(header_size, 0);
    } else {
      for (uint32_t m : masks) AppendLe32(info, m);
    }
    Bytes out{'B', 'M'};
    uint32_t off = offset >= 0 ? static_cast<uint32_t>(offset)
                               : static_cast<uint32_t>(14 + info.size() + table.size());
    AppendLe32(out, static_cast<uint32_t>(14 + info.size() + table.size() + pixels.size()));
    AppendLe32(out, 0);
    AppendLe32(out, off);
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), table.begin(), table.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

TBitmap Load(const Bytes& bytes) {
  TMemoryStream s(bytes);
  TBitmap b;
  b.LoadFromStream(s);
  return b;
}

Bytes Save(const TBitmap& b) {
  TMemoryStream s;
  b.SaveToStream(s);
  return s.Bytes();
}

Bytes GreyTable(int n) {
  Bytes t;
  for (int i = 0; i < n; ++i) {
    uint8_t v = static_cast<uint8_t>(i * 255 / std::max(1, n - 1));
    t.insert(t.end(), {v, v, v, 0});
  }
  return t;
}

void ExpectBadBitmap(const Bytes& bytes, const char* what) {
  SCOPED_TRACE(what);
  testing::ExpectError<EInvalidGraphic>([&] { Load(bytes); }, "ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です");
}

TEST(BmpWriteTest, GoldenTwoByTwoTrueColour) {
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  b.SetPixel(0, 0, RGB(1, 2, 3));
  b.SetPixel(1, 0, RGB(4, 5, 6));
  b.SetPixel(0, 1, RGB(7, 8, 9));
  b.SetPixel(1, 1, RGB(10, 11, 12));
  const Bytes expected = {
      'B', 'M', 70, 0,  0,  0,  0, 0, 0, 0, 54, 0, 0, 0,         // file header
      40,  0,   0,  0,  2,  0,  0, 0, 2, 0, 0,  0, 1, 0, 24, 0,  // size, w, h, planes, bits
      0,   0,   0,  0,  16, 0,  0, 0, 0, 0, 0,  0, 0, 0, 0,  0,
      0,   0,   0,  0,                 // compression .. colours used
      0,   0,   0,  0,                 // colours important
      9,   8,   7,  12, 11, 10, 0, 0,  // bottom row first
      3,   2,   1,  6,  5,  4,  0, 0};
  EXPECT_EQ(Save(b), expected);
}

TEST(BmpWriteTest, GoldenPaletteAndBitFieldHeaders) {
  TBitmap p(3, 1, TPixelFormat::pf1bit);
  p.SetRawPixel(1, 0, 1);
  p.SetResolution(2835, 2834);
  Bytes out = Save(p);
  ASSERT_EQ(out.size(), 14u + 40 + 8 + 4);
  EXPECT_EQ(out[10], 62);  // offset = 14 + 40 + 2 * 4
  EXPECT_EQ(out[28], 1);   // bit count
  EXPECT_EQ(Bytes(out.begin() + 38, out.begin() + 50),
            (Bytes{0x13, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 2, 0, 0, 0}));  // resolution, colours
  EXPECT_EQ(Bytes(out.begin() + 54, out.end()),
            (Bytes{0, 0, 0, 0, 255, 255, 255, 0, 0x40, 0, 0, 0}));

  TBitmap s(1, 1, TPixelFormat::pf16bit);
  out = Save(s);
  ASSERT_EQ(out.size(), 14u + 40 + 12 + 4);
  EXPECT_EQ(out[10], 66);
  EXPECT_EQ(out[30], 3);  // bit fields
  EXPECT_EQ(Bytes(out.begin() + 54, out.begin() + 66),
            (Bytes{0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}));
  TBitmap f(1, 1, TPixelFormat::pf15bit);
  EXPECT_EQ(Save(f)[30], 0);
  EXPECT_TRUE(Save(TBitmap()).empty());
}

TEST(BmpRoundTripTest, EveryDepthReadsBackIdentically) {
  TBitmap source = PatternBitmap(13, 5);
  for (auto format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                      TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                      TPixelFormat::pf32bit, TPixelFormat::pfDevice}) {
    SCOPED_TRACE(static_cast<int>(format));
    TBitmap b = source;
    b.SetPixelFormat(format);
    TBitmap back = Load(Save(b));
    EXPECT_EQ(back.PixelFormat(),
              format == TPixelFormat::pfDevice ? TPixelFormat::pf24bit : format);
    EXPECT_EQ(back.Width(), 13);
    EXPECT_EQ(back.Height(), 5);
    EXPECT_EQ(back.Bits(), b.Bits());
    EXPECT_EQ(back.Palette(), b.Palette());
    EXPECT_EQ(back.HasMasks(), b.HasMasks());
    EXPECT_FALSE(back.Os2Format());
  }
  // A short palette is written with its own length and read back as it was.
  TBitmap few(2, 2, TPixelFormat::pf8bit);
  few.SetPalette(
      {QuadFromColor(RGB(1, 2, 3)), QuadFromColor(RGB(4, 5, 6)), QuadFromColor(RGB(7, 8, 9))});
  few.SetRawPixel(1, 1, 2);
  TBitmap back = Load(Save(few));
  EXPECT_EQ(back.Palette().size(), 3u);
  EXPECT_EQ(back.Pixel(1, 1), RGB(7, 8, 9));
}

TEST(BmpRoundTripTest, BitFieldMasksAndResolutionAreKept) {
  BmpRecipe r;
  r.width = 2;
  r.bit_count = 16;
  r.compression = 3;
  r.masks = {0x0F00, 0x00F0, 0x000F};
  r.x_pels = 3780;
  r.y_pels = 1234;
  r.pixels = {0x00, 0x0F, 0x34, 0x02};
  Bytes file = r.Build();
  TBitmap b = Load(file);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf16bit);
  EXPECT_EQ(b.Masks(), (std::array<uint32_t, 3>{0x0F00, 0x00F0, 0x000F}));
  EXPECT_EQ(b.Pixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.Pixel(1, 0), RGB(0x22, 0x33, 0x44));
  EXPECT_EQ(Save(b), file);  // the very same bytes come back

  r.bit_count = 32;
  r.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the lowest byte
  r.pixels = {10, 20, 30, 0, 40, 50, 60, 0};
  file = r.Build();
  b = Load(file);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(b.Pixel(1, 0), RGB(40, 50, 60));
  EXPECT_EQ(Save(b), file);
}

TEST(BmpRoundTripTest, Os2CoreFileIsWrittenBackInItsForm) {
  // 3 x 2, 4 bits: 12-byte core header, 16 three-byte colours, rows of 4 bytes.
  Bytes file{'B', 'M'};
  AppendLe32(file, 14 + 12 + 48 + 8);
  AppendLe32(file, 0);
  AppendLe32(file, 14 + 12 + 48);
  AppendLe32(file, 12);
  AppendLe16(file, 3);
  AppendLe16(file, 2);
  AppendLe16(file, 1);
  AppendLe16(file, 4);
  for (int i = 0; i < 16; ++i) file.insert(file.end(), {uint8_t(i), uint8_t(16 * i), 7});
  file.insert(file.end(), {0x12, 0x30, 0, 0, 0xFE, 0xD0, 0, 0});
  TBitmap b = Load(file);
  EXPECT_TRUE(b.Os2Format());
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(b.Pixel(0, 1), RGB(7, 16, 1));  // bottom row, index 1
  EXPECT_EQ(b.Pixel(2, 0), RGB(7, 16 * 13, 13));
  EXPECT_EQ(Save(b), file);

  // A depth the core header cannot hold is written in the Windows form.
  b.SetPixelFormat(TPixelFormat::pf16bit);
  Bytes out = Save(b);
  EXPECT_EQ(out[14], 40);
  EXPECT_EQ(Load(out).Pixel(2, 0), b.Pixel(2, 0));
}

TEST(BmpReadTest, EmptyStreamGivesTheEmptyImage) {
  TBitmap b(4, 4, TPixelFormat::pf24bit);
  TMemoryStream s(Bytes{1, 2, 3});
  s.Seek(3);
  b.LoadFromStream(s);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  BmpRecipe r;
  r.width = 0;
  r.height = 1000000;
  EXPECT_TRUE(Load(r.Build()).Empty());
  EXPECT_EQ(Load(r.Build()).Height(), 0);
}

TEST(BmpReadTest, ReadsFromTheCurrentPosition) {
  TBitmap source = PatternBitmap(3, 3);
  Bytes file = Save(source);
  Bytes prefixed{9, 9, 9, 9, 9};
  prefixed.insert(prefixed.end(), file.begin(), file.end());
  TMemoryStream s(prefixed);
  s.Seek(5);
  TBitmap b;
  b.LoadFromStream(s);
  EXPECT_EQ(b.Bits(), source.Bits());
}

TEST(BmpReadTest, OverClaimedPixelDataIsReadToTheEndOfTheStream) {
  BmpRecipe r;
  r.width = 2;
  r.height = 3;
  r.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8};  // one row and a bit of the next
  Bytes file = r.Build();
  // The header claims the whole image.
  file[34] = 24;
  TBitmap b = Load(file);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Pixel(0, 2), RGB(3, 2, 1));
  EXPECT_EQ(b.Pixel(1, 2), RGB(6, 5, 4));
  EXPECT_EQ(b.Pixel(0, 1), RGB(0, 8, 7));  // partly there
  EXPECT_EQ(b.Pixel(1, 0), kClBlack);
}

TEST(BmpReadTest, TopDownRowsAndOffsetsAndHeaderForms) {
  BmpRecipe r;
  r.width = 1;
  r.height = -2;
  r.pixels = {1, 1, 1, 0, 2, 2, 2, 0};  // top row first
  TBitmap b = Load(r.Build());
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.Pixel(0, 0), RGB(1, 1, 1));
  EXPECT_EQ(b.Pixel(0, 1), RGB(2, 2, 2));

  // A gap between the headers and the pixels: the offset is followed.
  BmpRecipe gap;
  gap.pixels = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 1, 2, 3, 0};
  gap.offset = 54 + 8;
  EXPECT_EQ(Load(gap.Build()).Pixel(0, 0), RGB(3, 2, 1));

  // An offset that forgets the colour table.
  BmpRecipe pal;
  pal.bit_count = 8;
  pal.colors_used = 2;
  pal.table = {9, 9, 9, 0, 50, 60, 70, 0};
  pal.pixels = {1, 0, 0, 0};
  pal.offset = 54;
  EXPECT_EQ(Load(pal.Build()).Pixel(0, 0), RGB(70, 60, 50));

  // Version 5 header with masks inside it; alpha is not kept.
  BmpRecipe v5;
  v5.header_size = 124;
  v5.bit_count = 32;
  v5.compression = 3;
  v5.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  v5.pixels = {30, 20, 10, 128};
  b = Load(v5.Build());
  EXPECT_EQ(b.Pixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(Save(b)[14], 40);

  // A 16-bit file without bit fields is 5-5-5.
  BmpRecipe rgb16;
  rgb16.bit_count = 16;
  rgb16.pixels = {0x1F, 0x7C, 0, 0};
  b = Load(rgb16.Build());
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf15bit);
  EXPECT_EQ(b.Pixel(0, 0), RGB(255, 0, 255));
}

TEST(BmpReadTest, RunLengthDataIsDecodedWithinTheImage) {
  BmpRecipe r8;
  r8.width = 4;
  r8.height = 3;
  r8.bit_count = 8;
  r8.compression = 1;
  r8.table = GreyTable(256);
  r8.pixels = {3,   5,               // bottom row: 5 5 5
               0,   3, 1, 2,  3, 0,  // absolute 1 2 3 (padded): only the 1 fits
               0,   0,               // end of line
               0,   2, 1, 1,         // delta: right 1, up 1 -> row 3 from the bottom, x 1
               2,   7,               // 7 7
               200, 9,               // a run far past the end of the row
               0,   2, 0, 50,        // a delta past the last row ends the image
               4,   4};
  TBitmap b = Load(r8.Build());
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  const uint32_t want[3][4] = {{0, 7, 7, 9}, {0, 0, 0, 0}, {5, 5, 5, 1}};  // top row first
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.RawPixel(x, y), want[y][x]) << x << "," << y;

  BmpRecipe r4;
  r4.width = 5;
  r4.height = 2;
  r4.bit_count = 4;
  r4.compression = 2;
  r4.table = GreyTable(16);
  r4.pixels = {5, 0x12, 0,    0,     // 1 2 1 2 1, end of line
               0, 3,    0x34, 0x50,  // absolute 3 4 5 (two bytes, no pad)
               2, 0x66, 0,    1};    // 6 6, end of bitmap
  b = Load(r4.Build());
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  const uint32_t want4[2][5] = {{3, 4, 5, 6, 6}, {1, 2, 1, 2, 1}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(b.RawPixel(x, y), want4[y][x]) << x << "," << y;

  // Odd absolute run of 4-bit pixels: 3 bytes padded to 4.
  r4.pixels = {0, 5, 0x12, 0x34, 0x50, 0xFF, 1, 0x70, 0, 1};
  b = Load(r4.Build());
  EXPECT_EQ(b.RawPixel(4, 1), 5u);
  EXPECT_EQ(b.RawPixel(0, 1), 1u);
  // Data that ends in the middle of a run is read as far as it goes.
  r4.pixels = {0, 5, 0x12};
  b = Load(r4.Build());
  EXPECT_EQ(b.RawPixel(1, 1), 2u);
  EXPECT_EQ(b.RawPixel(2, 1), 0u);
}

TEST(BmpReadTest, DamagedHeadersAreRefusedWithTheMessage) {
  BmpRecipe good;
  good.pixels = {1, 2, 3, 0};
  Bytes file = good.Build();
  ExpectBadBitmap(Bytes{'B', 'X', 0, 0}, "short and wrong signature");
  Bytes bad_sig = file;
  bad_sig[1] = 'A';
  ExpectBadBitmap(bad_sig, "signature");
  ExpectBadBitmap(Bytes(file.begin(), file.begin() + 10), "short file header");
  ExpectBadBitmap(Bytes(file.begin(), file.begin() + 30), "short info header");
  for (uint32_t size : {0u, 2u, 8u, 13u, 5000u}) {
    Bytes f = file;
    f[14] = static_cast<uint8_t>(size);
    f[15] = static_cast<uint8_t>(size >> 8);
    ExpectBadBitmap(f, "header size");
  }
  auto with = [&](auto change, const char* what) {
    BmpRecipe r = good;
    change(r);
    ExpectBadBitmap(r.Build(), what);
  };
  with([](BmpRecipe& r) { r.planes = 0; }, "planes 0");
  with([](BmpRecipe& r) { r.planes = 2; }, "planes 2");
  with([](BmpRecipe& r) { r.bit_count = 7; }, "bit count 7");
  with([](BmpRecipe& r) { r.bit_count = 0; }, "bit count 0");
  with([](BmpRecipe& r) { r.compression = 4; }, "embedded JPEG");
  with([](BmpRecipe& r) { r.compression = 5; }, "embedded PNG");
  with([](BmpRecipe& r) { r.compression = 1; }, "RLE8 with 24 bits");
  with([](BmpRecipe& r) { r.compression = 2, r.bit_count = 8; }, "RLE4 with 8 bits");
  with([](BmpRecipe& r) { r.compression = 3; }, "bit fields with 24 bits");
  with(
      [](BmpRecipe& r) {
        r.compression = 3, r.bit_count = 16;
        r.pixels.clear();
      },
      "masks cut short");
  with([](BmpRecipe& r) { r.width = -5; }, "negative width");
  with([](BmpRecipe& r) { r.height = INT32_MIN; }, "smallest height");

  BmpRecipe huge;
  huge.width = 1 << 20;
  huge.height = 1 << 20;
  EXPECT_THROW(Load(huge.Build()), EImageTooLarge);
  TBitmap kept(2, 2, TPixelFormat::pf24bit);
  TMemoryStream s(bad_sig);
  EXPECT_THROW(kept.LoadFromStream(s), EInvalidGraphic);
  EXPECT_EQ(kept.Width(), 2);  // a failed load changes nothing
}

TEST(BmpReadTest, ArbitraryDamageNeverCrashes) {
  std::vector<Bytes> seeds;
  BmpRecipe r8;
  r8.width = 7;
  r8.height = 5;
  r8.bit_count = 8;
  r8.compression = 1;
  r8.table = GreyTable(256);
  r8.pixels = {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 7, 0, 1};
  seeds.push_back(r8.Build());
  r8.bit_count = 4;
  r8.compression = 2;
  r8.table = GreyTable(16);
  seeds.push_back(r8.Build());
  TBitmap g = PatternBitmap(5, 3);
  g.SetPixelFormat(TPixelFormat::pf16bit);
  seeds.push_back(Save(g));
  // Every damaged file either loads an image within the pixel limit whose rows can all be
  // converted, or is refused with the reader's own errors; anything else escapes and fails.
  int loaded = 0, refused = 0;
  auto try_load = [&](const Bytes& file) {
    try {
      TBitmap b = Load(file);
      if (b.Empty()) return;
      EXPECT_GT(b.Width(), 0);
      EXPECT_GT(b.Height(), 0);
      EXPECT_LE(int64_t{b.Width()} * b.Height(), PixelLimit());
      b.SetPixelFormat(TPixelFormat::pf24bit);
      ++loaded;
    } catch (const EInvalidGraphic&) {
      ++refused;
    } catch (const EImageTooLarge&) {
      ++refused;
    }
  };
  std::mt19937 rng(1);
  for (const Bytes& seed : seeds) {
    for (size_t n = 0; n <= seed.size(); ++n) try_load(Bytes(seed.begin(), seed.begin() + n));
    for (int i = 0; i < 3000; ++i) {
      Bytes f = seed;
      // Anywhere but the width and height, which would only make large, valid images.
      for (int k = 0; k < 3; ++k) {
        size_t at = 14 + rng() % (f.size() - 14);
        if (at < 18 || at >= 26) f[at] = static_cast<uint8_t>(rng());
      }
      try_load(f);
    }
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

// ---------------------------------------------------------------------------------------------
// Files of other programs.

const char kPython[] = "/usr/bin/python3";
const char kConvert[] = "/usr/bin/convert";

bool HavePillow() {
  return access(kPython, X_OK) == 0 &&
         std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}

Bytes ReadFile(const fs::path& p) { return ReadWholeFile(p.string()); }

class BmpInteropTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    temp_ = std::make_unique<pamirune::testing::TempDir>();
    dir_ = temp_->path();
  }
  static void TearDownTestSuite() { temp_.reset(); }

  static int RunPython(const std::string& script) {
    fs::path p = dir_ / "script.py";
    std::ofstream(p) << script;
    std::string cmd = std::string(kPython) + " " + p.string() + " " + dir_.string();
    return std::system(cmd.c_str());
  }

  // Pixels of our image as R, G, B bytes, top row first.
  static Bytes Rgb(const TBitmap& b) {
    Bytes out;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        TColor c = b.Pixel(x, y);
        out.insert(out.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
      }
    return out;
  }

  static inline std::unique_ptr<pamirune::testing::TempDir> temp_;
  static inline fs::path dir_;
};

// Files written by Pillow and ImageMagick at every depth and header form read the same pixels
// as those programs read (Pillow's reading; ImageMagick's for 16 bits, where Pillow widens
// 5-bit channels without repeating their high bits).
TEST_F(BmpInteropTest, FilesOfOtherProgramsReadPixelIdentical) {
  if (!HavePillow() || access(kConvert, X_OK) != 0) GTEST_SKIP() << "Pillow or convert missing";
  const char* script = R"PY(
import os, struct, subprocess, sys
from PIL import Image
d = sys.argv[1]
os.chdir(d)
W, H = 13, 7
im = Image.new('RGB', (W, H))
for y in range(H):
    for x in range(W):
        im.putpixel((x, y), ((x * 40 + y) % 256, (y * 60 + 3) % 256, ((x + y) * 30) % 256))
im.save('src.png')
im.quantize(12).save('src12.png')
im.quantize(200).save('src200.png')
im.convert('1').save('p1.bmp')
im.convert('L').save('pl.bmp')
im.quantize(200).save('p8.bmp')
im.save('p24.bmp')
rgba = im.copy(); rgba.putalpha(200); rgba.save('p32.bmp')
def magick(*args):
    subprocess.check_call(['/usr/bin/convert'] + list(args))
magick('src12.png', '-type', 'Palette', 'BMP3:m4.bmp')
magick('src200.png', '-type', 'Palette', '-compress', 'RLE', 'BMP3:m8rle.bmp')
magick('src.png', '-define', 'bmp:subtype=RGB565', 'BMP:m565.bmp')
magick('src.png', '-define', 'bmp:subtype=RGB555', 'BMP:m555.bmp')
magick('src12.png', '-type', 'Palette', 'BMP2:os2_4.bmp')
magick('src200.png', '-type', 'Palette', 'BMP2:os2_8.bmp')
magick('src.png', 'BMP2:os2_24.bmp')
magick('src.png', '-alpha', 'set', 'BMP:v5_32.bmp')
magick('src.png', 'BMP:v5_24.bmp')
magick('src12.png', '-type', 'Palette', 'BMP:v5_4.bmp')
# RLE4 by hand: per row an encoded run of 4, an odd absolute run of 5, the rest as runs.
p = Image.open('src12.png')
pal = p.getpalette()[:48]
pal += [0] * (48 - len(pal))
rows = []
for y in range(H - 1, -1, -1):
    idx = [p.getpixel((x, y)) for x in range(W)]
    out = bytes([4, (idx[0] << 4) | idx[1]])
    out += bytes([0, 5, (idx[4] << 4) | idx[5], (idx[6] << 4) | idx[7], idx[8] << 4, 0])
    for x in range(9, W):
        out += bytes([1, idx[x] << 4])
    rows.append(out + bytes([0, 0]))
data = b''.join(rows) + bytes([0, 1])
# the first run of 4 repeats idx0/idx1; record what the image really holds
table = b''.join(bytes([pal[3*i+2], pal[3*i+1], pal[3*i], 0]) for i in range(16))
info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 4, 2, len(data), 0, 0, 16, 0)
with open('h4rle.bmp', 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', 14 + 40 + 64 + len(data), 0, 0, 14 + 40 + 64))
    f.write(info + table + data)
for name in sorted(os.listdir('.')):
    if not name.endswith('.bmp'):
        continue
    if name in ('m565.bmp', 'm555.bmp', 'h4rle.bmp'):
        raw = subprocess.check_output(['/usr/bin/convert', name, '-alpha', 'off', '-depth', '8', 'rgb:-'])
    else:
        raw = Image.open(name).convert('RGB').tobytes()
    open(name + '.rgb', 'wb').write(raw)
)PY";
  ASSERT_EQ(RunPython(script), 0);
  struct Expect {
    const char* name;
    TPixelFormat format;
    bool os2;
  };
  const Expect files[] = {
      {"p1.bmp", TPixelFormat::pf1bit, false},     {"pl.bmp", TPixelFormat::pf8bit, false},
      {"p8.bmp", TPixelFormat::pf8bit, false},     {"p24.bmp", TPixelFormat::pf24bit, false},
      {"p32.bmp", TPixelFormat::pf32bit, false},   {"m4.bmp", TPixelFormat::pf4bit, false},
      {"m8rle.bmp", TPixelFormat::pf8bit, false},  {"m565.bmp", TPixelFormat::pf16bit, false},
      {"m555.bmp", TPixelFormat::pf16bit, false},  {"os2_4.bmp", TPixelFormat::pf4bit, true},
      {"os2_8.bmp", TPixelFormat::pf8bit, true},   {"os2_24.bmp", TPixelFormat::pf24bit, true},
      {"v5_32.bmp", TPixelFormat::pf32bit, false}, {"v5_24.bmp", TPixelFormat::pf24bit, false},
      {"v5_4.bmp", TPixelFormat::pf4bit, false},   {"h4rle.bmp", TPixelFormat::pf4bit, false},
  };
  for (const Expect& e : files) {
    SCOPED_TRACE(e.name);
    TBitmap b;
    b.LoadFromFile((dir_ / e.name).string());
    EXPECT_EQ(b.PixelFormat(), e.format);
    EXPECT_EQ(b.Os2Format(), e.os2);
    EXPECT_EQ(b.Width(), 13);
    EXPECT_EQ(b.Height(), 7);
    EXPECT_EQ(Rgb(b), ReadFile(dir_ / (std::string(e.name) + ".rgb")));
    // Written back, the file reads the same again.
    TBitmap again;
    TMemoryStream s;
    b.SaveToStream(s);
    s.Seek(0);
    again.LoadFromStream(s);
    EXPECT_EQ(Rgb(again), Rgb(b));
  }
}

// Our files at every depth read the same pixels in Pillow (ImageMagick for 15 and 16 bits).
TEST_F(BmpInteropTest, OurFilesReadPixelIdenticalElsewhere) {
  if (!HavePillow() || access(kConvert, X_OK) != 0) GTEST_SKIP() << "Pillow or convert missing";
  TBitmap source = PatternBitmap(11, 6);
  struct Out {
    const char* name;
    TPixelFormat format;
    bool os2;
  };
  const Out outs[] = {
      {"o1.bmp", TPixelFormat::pf1bit, false},     {"o4.bmp", TPixelFormat::pf4bit, false},
      {"o8.bmp", TPixelFormat::pf8bit, false},     {"o15.bmp", TPixelFormat::pf15bit, false},
      {"o16.bmp", TPixelFormat::pf16bit, false},   {"o24.bmp", TPixelFormat::pf24bit, false},
      {"o32.bmp", TPixelFormat::pf32bit, false},   {"os2_8.bmp", TPixelFormat::pf8bit, true},
      {"os2_24.bmp", TPixelFormat::pf24bit, true},
  };
  fs::create_directories(dir_ / "ours");
  for (const Out& o : outs) {
    TBitmap b = source;
    b.SetPixelFormat(o.format);
    b.SetOs2Format(o.os2);
    b.SaveToFile((dir_ / "ours" / o.name).string());
  }
  const char* script = R"PY(
import os, subprocess, sys
from PIL import Image
d = os.path.join(sys.argv[1], 'ours')
for name in os.listdir(d):
    if not name.endswith('.bmp'):
        continue
    path = os.path.join(d, name)
    if name in ('o15.bmp', 'o16.bmp'):
        raw = subprocess.check_output(['/usr/bin/convert', path, '-depth', '8', 'rgb:-'])
    else:
        raw = Image.open(path).convert('RGB').tobytes()
    open(path + '.rgb', 'wb').write(raw)
)PY";
  ASSERT_EQ(RunPython(script), 0);
  for (const Out& o : outs) {
    SCOPED_TRACE(o.name);
    TBitmap b = source;
    b.SetPixelFormat(o.format);
    EXPECT_EQ(ReadFile(dir_ / "ours" / (std::string(o.name) + ".rgb")), Rgb(b));
  }
}

}  // namespace
}  // namespace pamirune
