// DibImage: assignment from and to TBitmap, shared data, the pixel-format changes with their
// progress stages, and the graphic-kind registration.
#include "raster/dib_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "raster/registry.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

struct ProgressLog {
  std::vector<std::tuple<TProgressStage, int, std::string>> events;
  void Hook(TGraphic& g) {
    g.OnProgress = [this](TProgressStage s, int p, const std::string& m) {
      events.emplace_back(s, p, m);
    };
  }
  int Count(TProgressStage stage) const {
    int n = 0;
    for (const auto& e : events) n += std::get<0>(e) == stage;
    return n;
  }
};

std::vector<TRGBQuad> SomePalette(int n) {
  std::vector<TRGBQuad> p;
  for (int i = 0; i < n; ++i)
    p.push_back({static_cast<uint8_t>(i * 30), static_cast<uint8_t>(200 - i * 20),
                 static_cast<uint8_t>(i * 7 + 1), 0});
  return p;
}

TBitmap ColourBitmap(TPixelFormat pf, int w = 9, int h = 5) {
  return testing::PatternBitmap(w, h, pf);
}

void ExpectSameColours(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) ASSERT_EQ(a.Pixel(x, y), b.Pixel(x, y)) << x << "," << y;
}

TEST(DibImageTest, EightBitBitmapKeepsPaletteAndIndicesBothWays) {
  TBitmap source(7, 3, TPixelFormat::pf8bit);
  source.SetPalette(SomePalette(6));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) source.SetRawPixel(x, y, static_cast<uint32_t>((x + 2 * y) % 6));

  DibImage dib;
  ProgressLog log;
  log.Hook(dib);
  dib.Assign(source);
  EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::k8Bit);
  EXPECT_EQ(dib.Palette(), SomePalette(6));
  EXPECT_EQ(dib.Data().header.clr_used, 6u);
  dib.SetPixelFormat(DibPixelFormat::k8Bit);  // nothing to do, and no progress
  EXPECT_TRUE(log.events.empty());

  TBitmap back;
  back.Assign(dib);
  EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(back.Palette(), SomePalette(6));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(back.RawPixel(x, y), source.RawPixel(x, y));
}

TEST(DibImageTest, EveryBitmapFormatArrivesWithItsColours) {
  for (TPixelFormat pf : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                          TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                          TPixelFormat::pf32bit, TPixelFormat::pfDevice}) {
    SCOPED_TRACE(static_cast<int>(pf));
    TBitmap source = ColourBitmap(pf);
    DibImage dib;
    dib.Assign(source);
    int bits = BitsPerPixel(pf);
    EXPECT_EQ(dib.Data().BitCount(), bits == 16 || bits == 32 ? 24 : bits);
    TBitmap back;
    dib.ToBitmap(back);
    ExpectSameColours(source, back);
    // And through true colour.
    dib.SetPixelFormat(DibPixelFormat::k24Bit);
    TBitmap wide;
    wide.Assign(dib);
    EXPECT_EQ(wide.PixelFormat(), TPixelFormat::pf24bit);
    ExpectSameColours(source, wide);
  }
  // 32 bits under masks other than the usual ones.
  TBitmap masked(2, 1, TPixelFormat::pf32bit);
  masked.SetMasks(0x000003FF, 0x000FFC00, 0x3FF00000);  // 10 bits each, red lowest
  uint32_t v = 0x3FF | (0x200u << 10) | (0u << 20);
  std::memcpy(masked.ScanLine(0), &v, 4);
  DibImage dib;
  dib.Assign(masked);
  const uint8_t* row = dib.Data().ScanLine(0);
  EXPECT_EQ(row[2], 255);  // red
  EXPECT_EQ(row[1], 128);  // green
  EXPECT_EQ(row[0], 0);    // blue
}

TEST(DibImageTest, ThirtyTwoBitsReduceToEightWithProgress) {
  TBitmap source = ColourBitmap(TPixelFormat::pf32bit, 40, 30);
  DibImage dib;
  dib.Assign(source);
  EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::k24Bit);
  ProgressLog log;
  log.Hook(dib);
  dib.SetPixelFormat(DibPixelFormat::k8Bit);
  EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::k8Bit);
  EXPECT_LE(dib.Palette().size(), 256u);
  ASSERT_EQ(log.events.size(), 258u);
  EXPECT_EQ(log.events.front(), std::make_tuple(TProgressStage::psStarting, 0,
                                                std::string("PixelFormat 24Bit -> 8Bit")));
  EXPECT_EQ(log.Count(TProgressStage::psRunning), 256);
  EXPECT_EQ(log.events[128], std::make_tuple(TProgressStage::psRunning, 50,
                                             std::string("PixelFormat 24Bit -> 8Bit")));
  EXPECT_EQ(log.events.back(), std::make_tuple(TProgressStage::psEnding, 100,
                                               std::string("PixelFormat 24Bit -> 8Bit")));
  EXPECT_EQ(dib.StageTotal(), 256);
  EXPECT_EQ(dib.StageCount(), 256);

  // To 4 bits: 16 steps, at most 16 entries.
  DibImage four;
  four.Assign(source);
  ProgressLog log4;
  log4.Hook(four);
  four.SetPixelFormat(DibPixelFormat::k4Bit);
  EXPECT_EQ(log4.Count(TProgressStage::psRunning), 16);
  EXPECT_LE(four.Palette().size(), 16u);
  EXPECT_EQ(four.StageMessage(), "PixelFormat 24Bit -> 4Bit");
}

TEST(DibImageTest, CopiesShareDataUntilOneChanges) {
  DibImage a;
  a.Assign(ColourBitmap(TPixelFormat::pf24bit));
  DibImage b;
  b.Assign(a);
  EXPECT_EQ(a.DataShareCount(), 2);
  EXPECT_EQ(&a.Data(), &b.Data());
  std::unique_ptr<TGraphic> c = b.Clone();
  EXPECT_EQ(a.DataShareCount(), 3);

  b.SetPixelFormat(DibPixelFormat::k8Bit);
  EXPECT_EQ(a.PixelFormat(), DibPixelFormat::k24Bit);
  EXPECT_EQ(static_cast<DibImage&>(*c).PixelFormat(), DibPixelFormat::k24Bit);
  EXPECT_EQ(a.DataShareCount(), 2);

  DibImage d;
  d.Assign(a);
  d.EditData().bits[0] = 99;
  EXPECT_NE(a.Data().bits[0], 99);
  EXPECT_EQ(a.DataShareCount(), 2);  // a and c
  EXPECT_EQ(d.DataShareCount(), 1);

  // Settings travel with an assignment.
  a.SetConvertMode(DibImage::kConvertFine);
  a.SetBackgroundColor(RGB(1, 2, 3));
  DibImage e;
  e.Assign(a);
  EXPECT_EQ(e.ConvertMode(), DibImage::kConvertFine);
  EXPECT_EQ(e.BackgroundColor(), RGB(1, 2, 3));
  // The fine mode builds the same palette as the normal one.
  e.SetPixelFormat(DibPixelFormat::k8Bit);
  EXPECT_EQ(e.Palette(), b.Palette());
}

TEST(DibImageTest, TransparentFlagTravelsWithItsColour) {
  // Not the bottom-left pixel's colour: the image must not fall back to it on the way.
  TBitmap source = ColourBitmap(TPixelFormat::pf24bit);
  source.SetTransparent(true);
  source.SetTransparentColor(RGB(1, 2, 3));
  DibImage dib;
  dib.Assign(source);
  TBitmap back;
  dib.ToBitmap(back);
  EXPECT_TRUE(back.Transparent());
  EXPECT_EQ(back.TransparentMode(), TTransparentMode::tmFixed);
  EXPECT_EQ(back.TransparentColor(), RGB(1, 2, 3));
}

TEST(DibImageTest, ResolutionDefaultsTo3780) {
  TBitmap source = ColourBitmap(TPixelFormat::pf24bit);
  DibImage dib;
  dib.Assign(source);
  EXPECT_EQ(dib.Data().header.x_pels_per_meter, 3780);
  EXPECT_EQ(dib.Data().header.y_pels_per_meter, 3780);
  source.SetResolution(2835, 0);
  dib.Assign(source);
  EXPECT_EQ(dib.Data().header.x_pels_per_meter, 2835);
  EXPECT_EQ(dib.Data().header.y_pels_per_meter, 3780);
  dib.SetPixelFormat(DibPixelFormat::k8Bit);
  EXPECT_EQ(dib.Data().header.x_pels_per_meter, 2835);
  TBitmap back;
  back.Assign(dib);
  EXPECT_EQ(back.XPelsPerMeter(), 2835);
}

DibData BrokenRle() {
  DibData d;
  d.header.width = 2;
  d.header.height = 2;
  d.header.bit_count = 8;
  d.header.compression = kBiRle8;
  d.colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  d.bits = {9, 1, 0, 1};  // a run of 9 in a row of 2
  SyncDibHeader(d);
  return d;
}

TEST(DibImageTest, FailedConversionLeavesTheImageUnchanged) {
  DibImage dib;
  dib.SetData(BrokenRle());
  const DibData* before = &dib.Data();
  try {
    dib.SetPixelFormat(DibPixelFormat::k24Bit);
    FAIL() << "no error";
  } catch (const EDibError& e) {
    EXPECT_STREQ(e.what(), "Convert8BitRLETo8BitRGB: Bad RLE Data 1");
  }
  EXPECT_EQ(&dib.Data(), before);
  EXPECT_EQ(dib.PixelFormat(), DibPixelFormat::k8BitRle);
  TBitmap target;
  EXPECT_THROW(target.Assign(dib), EDibError);

  // Compressing is not offered.
  DibImage plain;
  plain.Assign(ColourBitmap(TPixelFormat::pf8bit));
  try {
    plain.SetPixelFormat(DibPixelFormat::k8BitRle);
    FAIL() << "no error";
  } catch (const EDibError& e) {
    EXPECT_STREQ(e.what(), "SetPixelFormat: Invalid Pixel Format Conversion");
  }
  EXPECT_EQ(plain.PixelFormat(), DibPixelFormat::k8Bit);
}

TEST(DibImageTest, ChainedConversionsReportEachStage) {
  DibData rle;
  rle.header.width = 4;
  rle.header.height = 1;
  rle.header.bit_count = 4;
  rle.header.compression = kBiRle4;
  rle.colors = {{0, 0, 255, 0}, {0, 255, 0, 0}};
  rle.bits = {4, 0x01, 0, 1};
  SyncDibHeader(rle);
  DibImage dib;
  dib.SetData(rle);
  ProgressLog log;
  log.Hook(dib);
  dib.SetPixelFormat(DibPixelFormat::k8Bit);
  std::vector<std::string> starts;
  for (const auto& e : log.events)
    if (std::get<0>(e) == TProgressStage::psStarting) starts.push_back(std::get<2>(e));
  EXPECT_EQ(starts,
            (std::vector<std::string>{"PixelFormat 4Bit RLE -> 4Bit", "PixelFormat 4Bit -> 8Bit"}));
  const uint8_t* row = dib.Data().ScanLine(0);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 4), (std::vector<uint8_t>{0, 1, 0, 1}));
  EXPECT_EQ(dib.Palette().size(), 2u);

  // 8 bits to 1 bit goes through true colour and uses the background colour.
  dib.SetBackgroundColor(RGB(0, 255, 0));
  dib.SetPixelFormat(DibPixelFormat::k1Bit);
  EXPECT_EQ(dib.Data().ScanLine(0)[0], 0b01010000);
  EXPECT_EQ(dib.Palette()[1], (TRGBQuad{0, 255, 0, 0}));
}

TEST(DibImageTest, RegisteredForDibFilesAndTheClipboardForm) {
  RegisterDibGraphic();
  RegisterDibGraphic();  // once only
  const TFileFormat* format = TFileFormatsList::Instance().Find("DIB");
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(format->description, "Device Independent Bitmap");
  int entries = 0;
  for (const TFileFormat& f : TFileFormatsList::Instance().Entries())
    entries += f.extension == "dib";
  EXPECT_EQ(entries, 1);

  DibImage dib;
  dib.Assign(ColourBitmap(TPixelFormat::pf24bit));
  dib.SetPixelFormat(DibPixelFormat::k8Bit);
  ::pamirune::testing::TempDir dir;
  const std::string path = dir.File("pic.dib");
  dib.SaveToFile(path);
  TPicture picture;
  picture.LoadFromFile(path);
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "DibImage");
  const auto& loaded = static_cast<const DibImage&>(*picture.Graphic());
  EXPECT_EQ(loaded.Data().bits, dib.Data().bits);
  EXPECT_EQ(loaded.Palette(), dib.Palette());

  std::vector<uint8_t> packed = dib.SaveToClipboardFormat();
  DibImage pasted;
  pasted.LoadFromClipboardFormat(packed.data(), packed.size());
  EXPECT_EQ(pasted.Data().bits, dib.Data().bits);
  EXPECT_EQ(pasted.PixelFormat(), DibPixelFormat::k8Bit);
}

}  // namespace
}  // namespace pamirune
