// PngImage: the file of untouched options, registration, assignment rules, transparency, metadata
// that survives a load and save, files and progress.
#include "formats/png/png_image.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "png_test_util.h"
#include "raster/registry.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using png_test::Bytes;

// What a PngImage with no options set writes: the gamma it states, IDAT chunks of at most
// 32768 bytes, a time stamp, and pixels that come back unchanged.
TEST(PngImage, UntouchedOptionsWriteAPlainFaithfulFile) {
  PngImage png;
  png.Assign(png_test::MakeRgb(160, 120));
  TMemoryStream out;
  png.SaveToStream(out);
  const std::vector<png_test::Chunk> chunks = png_test::ParseChunks(out.Bytes());
  const png_test::Chunk* gamma = png_test::FindChunk(chunks, "gAMA");
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(gamma->data, (Bytes{0, 0, 0xB1, 0x8F}));  // 45455
  EXPECT_NE(png_test::FindChunk(chunks, "tIME"), nullptr);
  int idat = 0;
  for (const png_test::Chunk& c : chunks) {
    if (c.type != "IDAT") continue;
    EXPECT_LE(c.data.size(), 32768u);
    ++idat;
  }
  EXPECT_GT(idat, 1);
  PngImage back;
  png_test::Decode(out.Bytes(), back);
  for (int y = 0; y < 120; y += 7)
    for (int x = 0; x < 160; x += 5)
      ASSERT_EQ(back.Bitmap().Pixel(x, y), png.Bitmap().Pixel(x, y)) << x << "," << y;
}

TEST(PngImage, AssignRules) {
  PngImage a;
  a.Assign(png_test::MakeRgb(4, 4));
  a.AlphaMask() = TBitmap(4, 4, TPixelFormat::pf8bit);
  a.Options().alpha_present = true;
  a.Options().comment = "kept";
  a.Options().interlace = 1;

  // From another PngImage: everything but the alpha-present flag.
  PngImage b;
  b.Assign(a);
  EXPECT_EQ(b.Options().comment, "kept");
  EXPECT_EQ(b.Options().interlace, 1);
  EXPECT_FALSE(b.Options().alpha_present);
  EXPECT_EQ(b.AlphaMask().Width(), 4);
  EXPECT_EQ(b.Bitmap().Pixel(2, 2), a.Bitmap().Pixel(2, 2));

  // From a bitmap: the raster takes it; options stay; the old mask goes.
  TBitmap dib = png_test::MakeIndexed(4, 4, 8);
  a.Assign(dib);
  EXPECT_EQ(a.Bitmap().PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(a.Options().comment, "kept");
  EXPECT_FALSE(a.Options().alpha_present);
  EXPECT_TRUE(a.AlphaMask().Empty());

  // To a bitmap: the raster.
  TBitmap out;
  out.Assign(a);
  EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(out.RawPixel(3, 1), dib.RawPixel(3, 1));
}

TEST(PngImage, TransparentColourAndSize) {
  PngImage png;
  png.Assign(png_test::MakeIndexed(6, 6, 8));
  png.SetTransparentColor(RGB(10, 20, 30));
  EXPECT_EQ(png.TransparentColor(), RGB(10, 20, 30));
  EXPECT_EQ(png.Bitmap().TransparentColor(), RGB(10, 20, 30));
  png.SetTransparentColor(kPaletteIndexFlag | 2);
  EXPECT_EQ(png.Bitmap().TransparentColor(), ColorFromQuad(png.Bitmap().Palette()[2]));
  png.SetTransparentColor(kPngNoColor);
  EXPECT_FALSE(png.Bitmap().Transparent());
  EXPECT_EQ(png.Bitmap().TransparentMode(), TTransparentMode::tmAuto);

  png.AlphaMask() = TBitmap(6, 6, TPixelFormat::pf8bit);
  png.SetWidth(9);
  png.SetHeight(3);
  EXPECT_EQ(png.Width(), 9);
  EXPECT_EQ(png.AlphaMask().Width(), 9);
  EXPECT_EQ(png.AlphaMask().Height(), 3);
}

TEST(PngImage, MetadataSurvivesLoadAndSave) {
  PngImage png;
  png.SetClock(png_test::FixedTime);
  png.Assign(png_test::MakeIndexed(7, 5, 8));
  PngOptions& o = png.Options();
  o.comment = "line";
  o.background_color = kPaletteIndexFlag | 3;
  o.transparent_color = kPaletteIndexFlag | 4;
  o.gamma = 0.5;
  o.physical_size = {1, 100, 200};
  o.interlace = 1;
  TMemoryStream first;
  png.SaveToStream(first);

  PngImage loaded;
  loaded.SetClock(png_test::FixedTime);
  png_test::Decode(first.Bytes(), loaded);
  EXPECT_EQ(loaded.Options().comment, "line\r\n");
  EXPECT_EQ(loaded.Options().background_color, kPaletteIndexFlag | 3);
  EXPECT_EQ(loaded.Options().transparent_color, kPaletteIndexFlag | 4);
  EXPECT_DOUBLE_EQ(loaded.Options().gamma, 0.5);
  EXPECT_EQ(loaded.Options().physical_size, (PngPhysicalSize{1, 100, 200}));
  EXPECT_EQ(loaded.Options().interlace, 1);
  EXPECT_TRUE(loaded.Transparent());
  TMemoryStream second;
  loaded.SaveToStream(second);
  auto c1 = png_test::ParseChunks(first.Bytes()), c2 = png_test::ParseChunks(second.Bytes());
  ASSERT_EQ(png_test::ChunkTypes(first.Bytes()), png_test::ChunkTypes(second.Bytes()));
  for (size_t i = 0; i < c1.size(); ++i) {
    if (c1[i].type == "tEXt") continue;
    EXPECT_EQ(c1[i].data, c2[i].data) << c1[i].type;
  }

  // A greyscale file with alpha stays greyscale with alpha.
  PngImage ga;
  png_test::Decode(png_test::PngBuilder()
                       .Signature()
                       .Ihdr(2, 1, 8, 4)
                       .Idat(Bytes{0, 10, 20, 30, 40})
                       .Iend()
                       .bytes(),
                   ga);
  EXPECT_TRUE(ga.Options().greyscale);
  EXPECT_TRUE(ga.Options().alpha_present);
  TMemoryStream again;
  ga.SaveToStream(again);
  EXPECT_EQ(png_test::FindChunk(png_test::ParseChunks(again.Bytes()), "IHDR")->data[9], 4);
  EXPECT_EQ(png_test::InflateIdat(again.Bytes()), (Bytes{0, 10, 20, 30, 40}));
}

TEST(PngImage, SavingChecksAndFiles) {
  PngImage png;
  png.Assign(png_test::MakeRgb(3, 3));
  png.Options().idat_size = 100001;
  TMemoryStream mem;
  try {
    png.SaveToStream(mem);
    FAIL();
  } catch (const EPngError& e) {
    EXPECT_STREQ(e.what(), "Write PNG Param: Err IDAT Size(min:256  max:100000)");
  }
  // Form persistence writes nothing for an empty image.
  PngImage empty;
  TMemoryStream none;
  empty.WriteData(none);
  EXPECT_EQ(none.Size(), 0);
  // A failed save leaves the previous file as it was.
  pamirune::testing::TempDir dir;
  std::string path = dir.File("keep.png");
  png_test::WriteFile(path, {1, 2, 3});
  EXPECT_THROW(png.SaveToFile(path), EPngError);
  EXPECT_EQ(png_test::ReadFile(path), (Bytes{1, 2, 3}));
  png.Options().idat_size = 256;
  png.SaveToFile(path);
  PngImage back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Bitmap().Pixel(2, 2), png.Bitmap().Pixel(2, 2));
}

TEST(PngImage, ProgressEvents) {
  for (int height : {3, 9}) {
    PngImage png;
    png.Assign(png_test::MakeRgb(4, height));
    std::vector<std::pair<TProgressStage, int>> events;
    png.OnProgress = [&](TProgressStage s, int percent, const std::string&) {
      events.push_back({s, percent});
    };
    TMemoryStream mem;
    png.SaveToStream(mem);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front().first, TProgressStage::psStarting);
    EXPECT_EQ(events.back().first, TProgressStage::psEnding);
    // Rows 2, 6, 10, ... (every row below 4 lines).
    size_t running = events.size() - 2;
    EXPECT_EQ(running, height == 3 ? 3u : 2u) << height;
    events.clear();
    PngImage back;
    back.OnProgress = png.OnProgress;
    mem.Seek(0);
    back.LoadFromStream(mem);
    EXPECT_EQ(events.size() - 2, running);
  }
}

TEST(PngImage, ConverterUse) {
  // What the conversion does: an 8-bit image, the top-left colour as transparent colour,
  // level from the quality slider, save.
  TBitmap dib = png_test::MakeIndexed(16, 16, 8);
  PngImage png;
  png.SetTransparentColor(dib.Pixel(0, 0));
  png.Assign(dib);
  png.SetCompressionLevel(PngCompressionLevelForQuality(5));
  TMemoryStream mem;
  png.SaveToStream(mem);
  auto chunks = png_test::ParseChunks(mem.Bytes());
  const auto* trns = png_test::FindChunk(chunks, "tRNS");
  ASSERT_NE(trns, nullptr);
  EXPECT_EQ(trns->data.size(), dib.RawPixel(0, 0) + 1);
  EXPECT_EQ(trns->data.back(), 0);
  PngImage back;
  png_test::Decode(mem.Bytes(), back);
  EXPECT_TRUE(back.Transparent());
  EXPECT_EQ(back.Bitmap().TransparentColor(), dib.Pixel(0, 0));
}

}  // namespace
}  // namespace pamirune
