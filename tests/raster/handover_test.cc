// Images handed on instead of copied: the receiver gets exactly what a copy would have given,
// the giver is empty, and files written from pixels held elsewhere are the files the holding
// kinds write.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff.h"
#include "raster/dib_image.h"
#include "raster/stream.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

TBitmap Sample(TPixelFormat format, int width = 37, int height = 11) {
  TBitmap b = testing::PatternBitmap(width, height, format);
  b.SetResolution(2835, 1000);
  return b;
}

void ExpectSameImage(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  EXPECT_EQ(a.PixelFormat(), b.PixelFormat());
  EXPECT_EQ(a.Palette(), b.Palette());
  EXPECT_EQ(a.Bits(), b.Bits());
  EXPECT_EQ(a.XPelsPerMeter(), b.XPelsPerMeter());
}

TEST(Handover, DibImageAdoptsAndHandsOverAsItCopies) {
  for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                         TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(static_cast<int>(f));
    TBitmap source = Sample(f);
    DibImage copied;
    copied.Assign(source);
    DibImage adopted;
    TBitmap giver = source;
    adopted.Adopt(std::move(giver));
    EXPECT_TRUE(giver.Empty());
    EXPECT_EQ(adopted.Data().bits, copied.Data().bits);
    EXPECT_EQ(adopted.Data().colors, copied.Data().colors);
    TBitmap expected, moved;
    copied.ToBitmap(expected);
    {
      DibImage shared = adopted;  // shared data is copied, not taken
      shared.MoveToBitmap(moved);
      ExpectSameImage(moved, expected);
      EXPECT_FALSE(adopted.Empty());
    }
    adopted.MoveToBitmap(moved);
    ExpectSameImage(moved, expected);
    EXPECT_TRUE(adopted.Empty());
  }
  EXPECT_THROW(TBitmap(4, 4, TPixelFormat::pf24bit, std::vector<uint8_t>(47)), EInvalidGraphic);
}

TEST(Handover, JpegEncodesFromRowsAndHandsItsRasterOver) {
  TBitmap source = Sample(TPixelFormat::pf24bit, 64, 48);
  TJPEGImage kept;
  kept.Assign(source);
  kept.SetCompressionQuality(50);
  kept.Compress();
  TJPEGImage direct;
  direct.SetCompressionQuality(50);
  direct.CompressFrom(source);
  EXPECT_EQ(direct.Data().stream, kept.Data().stream);
  EXPECT_EQ(direct.Raster(), nullptr);
  EXPECT_EQ(direct.Width(), 64);

  TMemoryStream file(direct.Data().stream);
  TJPEGImage loaded;
  loaded.LoadFromStream(file);
  TBitmap expected, moved;
  loaded.ToBitmap(expected);
  loaded.MoveToBitmap(moved);
  ExpectSameImage(moved, expected);
  EXPECT_EQ(loaded.Raster(), nullptr);
}

class HandoverFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  pamirune::testing::TempDir dir_;
};

TEST_F(HandoverFiles, PngAndTiffWrittenFromPixelsHeldElsewhere) {
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    SCOPED_TRACE(static_cast<int>(f));
    TBitmap source = Sample(f);
    PngImage holder;
    holder.SetClock([] { return PngTime{2024, 1, 2, 3, 4, 5}; });
    holder.SetTransparentColor(RGB(7, 23, 0));
    holder.SetCompressionLevel(6);
    PngImage options_only = holder;
    holder.Assign(source);
    holder.SaveToFile(Path("held.png"));
    options_only.SaveRasterToFile(source, Path("elsewhere.png"));
    EXPECT_EQ(ReadWholeFile(Path("elsewhere.png")), ReadWholeFile(Path("held.png")));

    TTIFFBitMap tiff;
    static_cast<TBitmap&>(tiff) = source;
    tiff.SetCompress(true);
    tiff.SaveToFile(Path("held.tif"));
    SaveTiffFile(source, Path("elsewhere.tif"));
    EXPECT_EQ(ReadWholeFile(Path("elsewhere.tif")), ReadWholeFile(Path("held.tif")));
  }
}

}  // namespace
}  // namespace pamirune
