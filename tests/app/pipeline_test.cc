// The single-image pipeline end to end: real files in a temporary folder, the real codecs, and a
// scripted UI standing in for the user.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/converter.h"
#include "app/messages.h"
#include "formats/ico/ico.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_image.h"
#include "formats/register_all.h"
#include "formats/tiff/tiff.h"
#include "raster/registry.h"
#include "support/fake_ui.h"
#include "support/gif_summary.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace pamirune {
namespace {

using testing::FakeUi;
using testing::LittleEndianAt;
using testing::TempDir;
using testing::TestPlatform;

std::string Bytes(const TMemoryStream& s) {
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

TBitmap Solid(int w, int h, TColor c) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  b.Fill(c);
  return b;
}

std::string BmpBytes(const TBitmap& b) {
  TMemoryStream s;
  b.SaveToStream(s);
  return Bytes(s);
}

std::string PngBytes(const TBitmap& b) {
  PngImage png;
  png.Assign(b);
  TMemoryStream s;
  png.SaveToStream(s);
  return Bytes(s);
}

std::string JpegBytes(const TBitmap& b) {
  TJPEGImage jpeg;
  jpeg.Assign(b);
  TMemoryStream s;
  jpeg.SaveToStream(s);
  return Bytes(s);
}

// Width, height and bits per pixel from a BMP file's header.
struct BmpShape {
  int width, height, bits;
};
BmpShape ShapeOfBmp(const std::string& d) {
  return {static_cast<int>(LittleEndianAt(d, 18, 4)), static_cast<int>(LittleEndianAt(d, 22, 4)),
          static_cast<int>(LittleEndianAt(d, 28, 2))};
}

TBitmap LoadAsBitmap(const std::string& path) {
  TPicture pic;
  pic.LoadFromFile(path);
  TBitmap b;
  b.Assign(*pic.Graphic());
  return b;
}

// "Page    1 size: 4 x 3 pts" lines of pdfinfo, as "4x3" per page; empty when the tool is absent.
std::vector<std::string> PdfPageSizes(const std::string& path) {
  std::vector<std::string> sizes;
  std::string cmd = "pdfinfo -f 1 -l 99 '" + path + "' 2>/dev/null";
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return sizes;
  char line[256];
  while (fgets(line, sizeof line, f)) {
    int page = 0;
    double w = 0, h = 0;
    if (std::sscanf(line, "Page %d size: %lf x %lf", &page, &w, &h) == 3)
      sizes.push_back(std::to_string(static_cast<int>(w + 0.5)) + "x" +
                      std::to_string(static_cast<int>(h + 0.5)));
  }
  pclose(f);
  return sizes;
}

void SetMtime(const std::string& path, int64_t sec) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(sec), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGraphicKinds();
    settings.suffix_s = true;  // outputs never collide with their sources
    settings.disposal = Disposal::kKeep;
  }
  BatchResult Run(std::vector<std::string> names) {
    files.clear();
    for (auto& n : names) files.push_back(dir.File(n));
    Converter converter(settings, ui, platform);
    return converter.FileDrop1FileDrop(static_cast<int>(files.size()), files);
  }
  std::string Done(const std::string& file) { return dir.File(file) + msg::kSavedDone; }

  TempDir dir;
  FakeUi ui;
  TestPlatform platform;
  ConversionSettings settings;
  std::vector<std::string> files;
};

TEST_F(PipelineTest, TiffWarningsReachTheConverterThatLoads) {
  // A TIFF cut short (no picture: an error of the file, in the reader's words); a second
  // converter made later must not take the first one's messages.
  SaveTiffFile(testing::RampBitmap(40, 30), dir.File("cut.tif"));
  std::string bytes = dir.Read("cut.tif");
  dir.Write("cut.tif", bytes.substr(0, bytes.size() - 10));
  settings.write_bmp = true;
  Converter first(settings, ui, platform);
  FakeUi other_ui;
  Converter second(settings, other_ui, platform);
  files = {dir.File("cut.tif")};
  first.FileDrop1FileDrop(1, files);
  EXPECT_EQ(ui.errors, std::vector<std::string>{"Unexpected end of data!\n" + dir.File("cut.tif")});
  EXPECT_TRUE(other_ui.infos.empty() && other_ui.errors.empty());
}

TEST_F(PipelineTest, IndicesBeyondTheColourTableAreBlackInEveryOutput) {
  // An 8-bit BMP of four colours whose right half uses index 200: drawn black, as everywhere.
  TBitmap source(8, 4, TPixelFormat::pf8bit);
  source.SetPalette({QuadFromColor(RGB(200, 0, 0)), QuadFromColor(RGB(0, 200, 0)),
                     QuadFromColor(RGB(0, 0, 200)), QuadFromColor(kClWhite)});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) source.ScanLine(y)[x] = static_cast<uint8_t>(x < 4 ? 1 : 200);
  dir.Write("o.bmp", BmpBytes(source));
  settings.write_bmp = settings.write_jpg = settings.write_png = settings.write_mag =
      settings.write_ico = settings.write_pdf = settings.write_gif = settings.write_tif = true;
  settings.pdf_batch = false;
  settings.icon_size_text = "16";
  settings.no_dialogs = true;
  for (ColourMode mode : {ColourMode::k256, ColourMode::kFull}) {
    settings.colour_mode = mode;
    settings.overwrite = true;
    ASSERT_EQ(Run({"o.bmp"}), BatchResult::kCompleted) << ui.errors.size();
    for (const char* out : {"os.bmp", "os.png", "os.mag", "os.gif", "os.tif", "os.jpg"}) {
      SCOPED_TRACE(out);
      TBitmap b = LoadAsBitmap(dir.File(out));
      // JPEG is lossy; a full-colour GIF takes the nearest colour of its fixed palette.
      const bool jpeg = std::string(out) == "os.jpg";
      const bool cube = std::string(out) == "os.gif" && mode == ColourMode::kFull;
      auto near = [&](TColor a, TColor e) {
        const int tolerance = jpeg ? 40 : cube ? 51 : 0;
        return std::abs(GetRValue(a) - GetRValue(e)) <= tolerance &&
               std::abs(GetGValue(a) - GetGValue(e)) <= tolerance &&
               std::abs(GetBValue(a) - GetBValue(e)) <= tolerance;
      };
      EXPECT_TRUE(near(b.Pixel(1, 1), RGB(0, 200, 0))) << std::hex << b.Pixel(1, 1);
      EXPECT_TRUE(near(b.Pixel(6, 1), kClBlack)) << std::hex << b.Pixel(6, 1);
    }
  }
}

TEST_F(PipelineTest, ScaleFactorsTruncateEachSide) {
  dir.Write("p.bmp", BmpBytes(testing::RampBitmap(100, 60)));
  settings.write_bmp = true;
  settings.overwrite = true;
  settings.no_dialogs = true;
  struct Case {
    const char* text;
    bool smooth;
    int w, h;
  } cases[] = {{"2/3", false, 66, 40},  {"3/4", false, 75, 45}, {"1/3", false, 33, 20},
               {"2/3", true, 66, 40},   {"3/4", true, 75, 45},  {"1/3", true, 33, 20},
               {"1/1", false, 100, 60}, {"2×", false, 200, 120}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.smooth ? " smooth" : " plain"));
    settings.scale_text = c.text;
    settings.smooth_resize = c.smooth;
    ASSERT_EQ(Run({"p.bmp"}), BatchResult::kCompleted);
    BmpShape shape = ShapeOfBmp(dir.Read("ps.bmp"));
    EXPECT_EQ(shape.width, c.w);
    EXPECT_EQ(shape.height, c.h);
  }
}

TEST_F(PipelineTest, ColourModesShapeTheBmpAndMag) {
  dir.Write("w.bmp", BmpBytes(Solid(8, 4, kClWhite)));
  dir.Write("r.bmp", BmpBytes(testing::RampBitmap(40, 30)));
  settings.write_bmp = true;
  settings.write_mag = true;
  settings.no_dialogs = true;

  // Black and white: pure white becomes grey 252, in an 8-bit file with a grey palette.
  settings.colour_mode = ColourMode::kBlackWhite;
  ASSERT_EQ(Run({"w.bmp"}), BatchResult::kCompleted);
  std::string bmp = dir.Read("ws.bmp");
  EXPECT_EQ(ShapeOfBmp(bmp).bits, 8);
  int colours = static_cast<int>(LittleEndianAt(bmp, 46, 4));
  if (colours == 0) colours = 256;
  size_t palette = 14 + LittleEndianAt(bmp, 14, 4);
  for (int i = 0; i < colours; ++i) {
    size_t at = palette + 4 * i;
    EXPECT_EQ(bmp[at], bmp[at + 1]) << "palette entry " << i;
    EXPECT_EQ(bmp[at + 1], bmp[at + 2]) << "palette entry " << i;
  }
  EXPECT_EQ(LoadAsBitmap(dir.File("ws.bmp")).Pixel(3, 2), RGB(252, 252, 252));

  // Full colour: the MAG file is reduced to 256 colours, the BMP keeps 24 bits.
  settings.colour_mode = ColourMode::kFull;
  ASSERT_EQ(Run({"r.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(ShapeOfBmp(dir.Read("rs.bmp")).bits, 24);
  EXPECT_EQ(LoadAsBitmap(dir.File("rs.bmp")).Pixel(39, 0),
            testing::RampBitmap(40, 30).Pixel(39, 0));
  TBitmap mag = LoadAsBitmap(dir.File("rs.mag"));
  EXPECT_EQ(mag.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(mag.Width(), 40);
  EXPECT_EQ(mag.Height(), 30);
}

// The one level drives both codecs: JPEG quality 10 x level, PNG compression 9 - level (0 for
// levels 9 and 10), seen in the JPEG's first quantization table and the zlib header's level.
TEST_F(PipelineTest, LevelSetsJpegQualityAndPngCompression) {
  dir.Write("q.bmp", BmpBytes(testing::RampBitmap(16, 16)));
  settings.write_jpg = true;
  settings.write_png = true;
  settings.overwrite = true;
  settings.no_dialogs = true;
  struct Case {
    int level;
    int first_quant;  // luminance DC step of the standard table at that quality
    uint8_t zlib_flags;
  } cases[] = {{10, 1, 0x01}, {9, 3, 0x01}, {5, 16, 0x5E}, {0, 255, 0xDA}};
  for (const auto& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level));
    settings.level = c.level;
    ASSERT_EQ(Run({"q.bmp"}), BatchResult::kCompleted);
    std::string jpg = dir.Read("qs.jpg");
    size_t dqt = jpg.find("\xFF\xDB");
    ASSERT_NE(dqt, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(jpg.at(dqt + 5)), c.first_quant);
    std::string png = dir.Read("qs.png");
    size_t idat = png.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(png.at(idat + 4)), 0x78);
    EXPECT_EQ(static_cast<uint8_t>(png.at(idat + 5)), c.zlib_flags);
  }
}

TEST_F(PipelineTest, LoadedIconIsDrawnOnWhiteAtItsOwnSize) {
  // A 16 x 16 icon whose bottom-left colour (blue) is the transparent key.
  TBitmap art = Solid(16, 16, RGB(255, 0, 0));
  art.SetPixel(0, 15, RGB(0, 0, 255));
  IconBuilder().MakeAndSave(art, dir.File("i.ico"), 16);
  settings.write_bmp = true;
  settings.colour_mode = ColourMode::kFull;
  settings.no_dialogs = true;
  ASSERT_EQ(Run({"i.ico"}), BatchResult::kCompleted);
  TBitmap out = LoadAsBitmap(dir.File("is.bmp"));
  EXPECT_EQ(out.Width(), 16);
  EXPECT_EQ(out.Height(), 16);
  EXPECT_EQ(out.Pixel(1, 1), RGB(255, 0, 0));
  EXPECT_EQ(out.Pixel(0, 15), kClWhite);  // the icon's transparent pixel
}

TEST_F(PipelineTest, MisnamedFilesAreRenamedAndConvertedByTheirContent) {
  settings.write_bmp = true;
  settings.colour_mode = ColourMode::kFull;
  settings.no_dialogs = true;

  // A PNG named a.jpg: renamed to a.png after OK and read as PNG.
  dir.Write("a.jpg", PngBytes(Solid(3, 2, RGB(10, 200, 30))));
  ASSERT_EQ(Run({"a.jpg"}), BatchResult::kCompleted);
  ASSERT_EQ(ui.confirms.size(), 1u);
  EXPECT_EQ(ui.confirms[0], "PNG形式のファイルと思われます。\n\r[" + dir.File("a.png") +
                                "]\n\rに名前変更し、続行しますか？");
  EXPECT_EQ(files[0], dir.File("a.png"));
  EXPECT_FALSE(dir.Exists("a.jpg"));
  EXPECT_TRUE(dir.Exists("a.png"));
  EXPECT_EQ(LoadAsBitmap(dir.File("as.bmp")).Pixel(2, 1), RGB(10, 200, 30));

  // JPEG data named .jpeg needs no prompt.
  ui.confirms.clear();
  dir.Write("b.jpeg", JpegBytes(Solid(8, 8, RGB(128, 128, 128))));
  ASSERT_EQ(Run({"b.jpeg"}), BatchResult::kCompleted);
  EXPECT_TRUE(ui.confirms.empty());
  EXPECT_EQ(ShapeOfBmp(dir.Read("bs.bmp")).width, 8);

  // JPEG data named .bmp is offered .jpg; declining stops with nothing written.
  dir.Write("c.bmp", JpegBytes(Solid(8, 8, RGB(128, 128, 128))));
  ui.answers = {false};
  EXPECT_EQ(Run({"c.bmp"}), BatchResult::kStopped);
  ASSERT_EQ(ui.confirms.size(), 1u);
  EXPECT_EQ(ui.confirms[0], "JPG形式のファイルと思われます。\n\r[" + dir.File("c.jpg") +
                                "]\n\rに名前変更し、続行しますか？");
  EXPECT_TRUE(dir.Exists("c.bmp"));
  EXPECT_FALSE(dir.Exists("cs.bmp"));
}

TEST_F(PipelineTest, BatchStopsAtTheFirstUnacceptedExtension) {
  dir.Write("one.bmp", BmpBytes(Solid(2, 2, kClWhite)));
  dir.Write("two.txt", "text");
  dir.Write("three.bmp", BmpBytes(Solid(2, 2, kClWhite)));
  settings.write_bmp = true;
  EXPECT_EQ(Run({"one.bmp", "two.txt", "three.bmp"}), BatchResult::kStopped);
  EXPECT_EQ(ui.confirms, std::vector<std::string>{msg::kConfirmBatch});
  EXPECT_TRUE(dir.Exists("ones.bmp"));
  EXPECT_FALSE(dir.Exists("threes.bmp"));
  // No completion; the message names the file.
  EXPECT_EQ(ui.infos, std::vector<std::string>{std::string(msg::kUnsupportedExtension) + "\n" +
                                               dir.File("two.txt")});
  EXPECT_EQ(ui.status, msg::kUnsupportedExtension);
  EXPECT_FALSE(ui.progress_visible);
}

TEST_F(PipelineTest, CompletionNamesTheLastTickedFormatWithItsSize) {
  // 64 x 64 at 24 bits: 54 + 12288 bytes = 12 KB.
  dir.Write("cat.bmp", BmpBytes(testing::RampBitmap(64, 64)));
  settings.write_bmp = true;
  settings.colour_mode = ColourMode::kFull;
  ASSERT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(ui.infos, std::vector<std::string>{Done("cats.bmp")});
  EXPECT_EQ(ui.status, Done("cats.bmp") + "12 KB");

  // PNG declined, BMP written: the text names the BMP, the file that was written.
  dir.Write("cats.png", std::string(2500, 'x'));
  ui = FakeUi();
  ui.answers = {true, false};  // overwrite cats.bmp, keep cats.png
  settings.write_png = true;
  ASSERT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  ASSERT_EQ(ui.confirms.size(), 2u);
  EXPECT_EQ(ui.confirms[1], "File : " + dir.File("cats.") + "pngがすでにあるよ♪上書きする？");
  EXPECT_EQ(dir.Read("cats.png"), std::string(2500, 'x'));
  EXPECT_EQ(ui.infos, std::vector<std::string>{Done("cats.bmp")});
  EXPECT_EQ(ui.status, Done("cats.bmp") + "12 KB");
}

TEST_F(PipelineTest, EveryOverwriteDeclinedLeavesNoTrace) {
  for (const char* n : {"a.bmp", "b.bmp"}) dir.Write(n, BmpBytes(Solid(2, 2, kClWhite)));
  for (const char* n : {"as.bmp", "as.png", "bs.bmp", "bs.png"}) dir.Write(n, "old");
  settings.write_bmp = true;
  settings.write_png = true;
  ui.answers = {true};  // the batch confirmation
  ui.default_answer = false;
  EXPECT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(ui.confirms.size(), 5u);
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_TRUE(ui.progress_visible);
  EXPECT_EQ(ui.status, "");
  EXPECT_EQ(dir.Read("bs.png"), "old");
}

TEST_F(PipelineTest, PdfBatchFollowsTheOrderDialogAndTheOverwriteRule) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 1, kClWhite)));
  dir.Write("b.bmp", BmpBytes(Solid(3, 2, kClWhite)));
  dir.Write("c.bmp", BmpBytes(Solid(4, 3, kClWhite)));
  dir.Write("as.pdf", "an old file");
  settings.write_pdf = true;
  settings.pdf_batch = true;
  settings.pdf_order_dialog = true;
  settings.no_dialogs = true;
  ui.on_order = [](OrderDialogModel& m) { std::swap(m.rows.front(), m.rows.back()); };
  ASSERT_EQ(Run({"a.bmp", "b.bmp", "c.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(ui.order_captions, std::vector<std::string>{msg::kPdfOrderCaption});
  // The batch file replaces as.pdf only when the user says so, as every other output.
  EXPECT_EQ(ui.confirms, std::vector<std::string>{"File : " + dir.File("as.") +
                                                  "pdfがすでにあるよ♪上書きする？"});
  EXPECT_FALSE(dir.Exists("cs.pdf"));
  EXPECT_EQ(ui.status.rfind(Done("as.pdf"), 0), 0u) << ui.status;
  std::string pdf = dir.Read("as.pdf");
  ASSERT_EQ(pdf.rfind("%PDF", 0), 0u);
  std::vector<std::string> pages = PdfPageSizes(dir.File("as.pdf"));
  if (pages.empty()) GTEST_SKIP() << "pdfinfo not available";
  EXPECT_EQ(pages, (std::vector<std::string>{"4x3", "3x2", "2x1"}));
}

TEST_F(PipelineTest, StoppedPdfBatchWritesNoDocument) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 1, kClWhite)));
  dir.Write("b.txt", "text");
  settings.write_pdf = true;
  settings.pdf_batch = true;
  settings.no_dialogs = true;
  EXPECT_EQ(Run({"a.bmp", "b.txt"}), BatchResult::kStopped);
  EXPECT_FALSE(dir.Exists("as.pdf"));
  EXPECT_FALSE(dir.Exists("bs.pdf"));

  // The next batch begins a fresh document: only its own page is in it.
  ASSERT_EQ(Run({"a.bmp"}), BatchResult::kCompleted);
  std::vector<std::string> pages = PdfPageSizes(dir.File("as.pdf"));
  if (pages.empty()) GTEST_SKIP() << "pdfinfo not available";
  EXPECT_EQ(pages, std::vector<std::string>{"2x1"});
}

TEST_F(PipelineTest, SingleGifsFollowTheGifOrderDialogAndCarryLoopAndDelay) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 1, kClWhite)));
  dir.Write("b.bmp", BmpBytes(Solid(3, 2, RGB(0, 0, 0))));
  settings.write_gif = true;
  settings.gif_anime = false;
  settings.gif_order_dialog = true;
  settings.delay_text = "25";
  settings.no_dialogs = true;
  ui.on_order = [](OrderDialogModel& m) { std::swap(m.rows.front(), m.rows.back()); };
  ASSERT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(ui.order_captions, std::vector<std::string>{msg::kGifOrderCaption});
  EXPECT_EQ(files, (std::vector<std::string>{dir.File("b.bmp"), dir.File("a.bmp")}));
  EXPECT_EQ(ui.status.rfind(Done("as.gif"), 0), 0u) << ui.status;  // processed last
  for (const char* name : {"as.gif", "bs.gif"}) {
    SCOPED_TRACE(name);
    testing::GifSummary gif = testing::ReadGifSummary(dir.Read(name));
    EXPECT_EQ(gif.frames, 1);
    EXPECT_EQ(gif.loop_counts, std::vector<int>{0});
    EXPECT_EQ(gif.delays, std::vector<int>{25});
  }
}

TEST_F(PipelineTest, EmptyDelayBecomesThirty) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 1, kClWhite)));
  settings.write_gif = true;
  settings.delay_text = "";
  settings.no_dialogs = true;
  ASSERT_EQ(Run({"a.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(settings.delay_text, "30");  // the edit is set, as the user sees it
  EXPECT_EQ(testing::ReadGifSummary(dir.Read("as.gif")).delays, std::vector<int>{30});
}

TEST_F(PipelineTest, AnimationIsWrittenAtTheEndUnderTheOverwriteRule) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 2, kClWhite)));
  dir.Write("b.bmp", BmpBytes(Solid(2, 2, RGB(0, 0, 0))));
  dir.Write("bs.gif", "old");
  settings.write_gif = true;
  settings.gif_anime = true;
  settings.delay_text = "1,200";  // the edit shows thousands separators

  ui.answers = {true, false};  // batch confirmation, then keep bs.gif
  ASSERT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  ASSERT_EQ(ui.confirms.size(), 2u);
  EXPECT_EQ(ui.confirms[1], "File : " + dir.File("bs.") + "gifがすでにあるよ♪上書きする？");
  EXPECT_EQ(dir.Read("bs.gif"), "old");
  EXPECT_FALSE(dir.Exists("as.gif"));
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_TRUE(ui.progress_visible);

  ui = FakeUi();
  ASSERT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  testing::GifSummary gif = testing::ReadGifSummary(dir.Read("bs.gif"));
  EXPECT_EQ(gif.frames, 2);
  EXPECT_EQ(gif.loop_counts, std::vector<int>{0});
  EXPECT_EQ(gif.delays, (std::vector<int>{1200, 1200}));
  EXPECT_EQ(ui.infos, std::vector<std::string>{Done("bs.gif")});
  EXPECT_FALSE(dir.Exists("as.gif"));
}

// last written extension, so each image's own last output (here its BMP) is previewed and
// stamped with its source's date; the converter sets the extension to "gif" for every image
// and so previews and stamps none of them.
TEST_F(PipelineTest, AnimationLeavesEachImagesOwnLastOutputPreviewedAndStamped) {
  dir.Write("a.bmp", BmpBytes(Solid(2, 2, kClWhite)));
  dir.Write("b.bmp", BmpBytes(Solid(2, 2, RGB(0, 0, 0))));
  SetMtime(dir.File("a.bmp"), 1000000000);
  SetMtime(dir.File("b.bmp"), 1100000000);
  settings.write_bmp = true;
  settings.write_gif = true;
  settings.gif_anime = true;
  settings.keep_date = true;
  settings.preview = true;
  settings.no_dialogs = true;
  ASSERT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  EXPECT_EQ(platform.FindFile(dir.File("as.bmp"))->mtime_sec, 1000000000);
  EXPECT_EQ(platform.FindFile(dir.File("bs.bmp"))->mtime_sec, 1100000000);
  ASSERT_GE(platform.opened.size(), 2u);
  EXPECT_EQ(platform.opened[0], dir.File("as.bmp"));
  EXPECT_EQ(platform.opened[1], dir.File("bs.bmp"));
  EXPECT_EQ(ui.status.rfind(Done("bs.gif"), 0), 0u) << ui.status;  // the end still names the GIF
}

}  // namespace
}  // namespace pamirune
