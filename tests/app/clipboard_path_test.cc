// The clipboard conversion end to end: a scripted clipboard and UI, real files and codecs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/converter.h"
#include "app/messages.h"
#include "formats/register_all.h"
#include "raster/registry.h"
#include "support/clipboard_platform.h"
#include "support/fake_ui.h"
#include "support/gif_summary.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using testing::ClipboardPlatform;
using testing::FakeUi;
using testing::TempDir;

class ClipboardPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGraphicKinds();
    std::filesystem::create_directory(dir.File("default"));
    std::filesystem::create_directory(dir.File("out"));
    platform.default_output_dir = dir.File("default") + "/";
    settings.output_dir = dir.File("out");
    settings.write_png = true;
    Fill(RGB(200, 30, 40));
  }
  void Fill(TColor c, int w = 4, int h = 3) {
    platform.clipboard = TBitmap(w, h, TPixelFormat::pf24bit);
    platform.clipboard.Fill(c);
  }
  std::string Default(const std::string& name) { return dir.File("default/" + name); }
  std::string Out(const std::string& name) { return dir.File("out/" + name); }
  bool Exists(const std::string& path) { return std::filesystem::exists(path); }

  TempDir dir;
  FakeUi ui;
  ClipboardPlatform platform;
  ConversionSettings settings;
  Converter converter{settings, ui, platform};
};

TEST_F(ClipboardPathTest, EmptyClipboardIsReportedAndStillCounts) {
  platform.clipboard = TBitmap();
  converter.ConvertClipboard();
  EXPECT_EQ(ui.infos, std::vector<std::string>{msg::kNoClipboardBitmap});
  EXPECT_EQ(ui.status, msg::kNoClipboardBitmap);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(ui.captions.back(), std::string(msg::kDropHere) + "\n\r" + settings.output_dir);
  EXPECT_EQ(converter.ClipCounter(), 1);

  // No dialogs: the status text alone.
  ui = FakeUi();
  ui.progress_visible = true;
  settings.no_dialogs = true;
  converter.ConvertClipboard();
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_EQ(ui.status, msg::kNoClipboardBitmap);
  EXPECT_FALSE(ui.progress_visible);

  // The counter went on through the empty tries: the next file is the third.
  Fill(RGB(1, 2, 3));
  settings.suffix_s = true;
  converter.ConvertClipboard();
  EXPECT_TRUE(Exists(Default("Clip3s.png")));
  EXPECT_FALSE(Exists(Default("Clip1s.png")));
  EXPECT_FALSE(Exists(Default("Clip3.png")));
}

TEST_F(ClipboardPathTest, FilesGoToTheOutputFolderOrTheDefaultOne) {
  settings.no_dialogs = true;
  settings.use_output_dir = false;
  converter.ConvertClipboard();
  EXPECT_TRUE(Exists(Default("Clip1.png")));
  EXPECT_FALSE(Exists(Out("Clip1.png")));
  // The caption names the output folder whether or not it is used.
  EXPECT_EQ(ui.captions.back().rfind(std::string(msg::kDropHere) + "\n\r" + dir.File("out"), 0),
            0u);

  settings.use_output_dir = true;  // the folder is stored without its separator
  converter.ConvertClipboard();
  EXPECT_TRUE(Exists(Out("Clip2.png")));
  EXPECT_FALSE(Exists(Default("Clip2.png")));

  TPicture pic;
  pic.LoadFromFile(Out("Clip2.png"));
  TBitmap b;
  b.Assign(*pic.Graphic());
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 3);
}

// folder string, so the caption after the conversion shows the folder as completed; the
// converter completes a local copy only.
TEST_F(ClipboardPathTest, CompletedOutputFolderIsKept) {
  settings.no_dialogs = true;
  settings.use_output_dir = true;
  converter.ConvertClipboard();
  EXPECT_EQ(settings.output_dir, dir.File("out") + "/");
  EXPECT_EQ(ui.captions.back(), std::string(msg::kDropHere) + "\n\r" + dir.File("out") + "/");
}

TEST_F(ClipboardPathTest, ReportsTheLastFileOrTheCancellation) {
  settings.write_bmp = true;
  settings.colour_mode = ColourMode::kFull;
  Fill(RGB(9, 9, 9), 64, 64);  // 54 + 12288 bytes of BMP
  converter.ConvertClipboard();
  std::string saved = Default("Clip1.") + "pngで保存しました。";
  EXPECT_EQ(ui.infos, std::vector<std::string>{saved});
  ASSERT_EQ(ui.status.rfind(saved, 0), 0u) << ui.status;
  EXPECT_EQ(ui.status.substr(ui.status.size() - 3), " KB");
  EXPECT_FALSE(ui.progress_visible);

  // PNG declined, BMP written: the cancellation is reported, without a size.
  settings.write_bmp = true;
  converter.SetClipCounter(0);
  ui = FakeUi();
  ui.answers = {true, false};
  dir.Write("default/Clip1.png", std::string(3000, 'p'));
  Fill(RGB(250, 0, 0));
  converter.ConvertClipboard();
  ASSERT_EQ(ui.confirms.size(), 2u);
  EXPECT_EQ(ui.confirms[0], "File : " + Default("Clip1.") + "bmpがすでにあるよ♪上書きする？");
  EXPECT_EQ(ui.confirms[1], "File : " + Default("Clip1.") + "pngがすでにあるよ♪上書きする？");
  EXPECT_EQ(ui.infos, std::vector<std::string>{msg::kOverwriteCancelled});
  EXPECT_EQ(ui.status, msg::kOverwriteCancelled);
  EXPECT_EQ(std::filesystem::file_size(Default("Clip1.png")), 3000u);
  EXPECT_EQ(std::filesystem::file_size(Default("Clip1.bmp")), 54u + 4 * 3 * 3);

  // The overwrite prompt is shown even with no dialogs; the report is not.
  settings.no_dialogs = true;
  converter.SetClipCounter(0);
  ui = FakeUi();
  ui.default_answer = false;
  converter.ConvertClipboard();
  EXPECT_EQ(ui.confirms.size(), 2u);
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_EQ(ui.status, msg::kOverwriteCancelled);

  // A fresh conversion is not cancelled by the one before.
  ui = FakeUi();
  converter.ConvertClipboard();
  EXPECT_TRUE(ui.confirms.empty());
  EXPECT_EQ(ui.status.rfind(Default("Clip2.") + "pngで保存しました。", 0), 0u) << ui.status;
}

TEST_F(ClipboardPathTest, GifHasTheFixedDelayAndLoops) {
  settings.write_png = false;
  settings.write_gif = true;
  settings.gif_anime = true;  // has no say on the clipboard path
  settings.delay_text = "50";
  settings.no_dialogs = true;
  converter.ConvertClipboard();
  converter.ConvertClipboard();
  for (const char* name : {"Clip1.gif", "Clip2.gif"}) {
    SCOPED_TRACE(name);
    testing::GifSummary gif = testing::ReadGifSummary(dir.Read(std::string("default/") + name));
    EXPECT_EQ(gif.loop_counts, std::vector<int>{0});
    EXPECT_EQ(gif.delays, std::vector<int>{30});
  }
}

TEST_F(ClipboardPathTest, PdfBatchWritesTheSinglePageUnderTheOverwriteRule) {
  settings.write_png = false;
  settings.write_pdf = true;
  settings.pdf_batch = true;
  settings.no_dialogs = true;
  converter.ConvertClipboard();
  ASSERT_TRUE(Exists(Default("Clip1.pdf")));
  EXPECT_EQ(ui.status.rfind(Default("Clip1.") + "pdfで保存しました。", 0), 0u) << ui.status;

  // Declined: the old file stays and no other file is written in its place.
  converter.SetClipCounter(0);
  ui = FakeUi();
  ui.default_answer = false;
  auto before = std::filesystem::file_size(Default("Clip1.pdf"));
  Fill(RGB(0, 0, 0), 30, 20);
  converter.ConvertClipboard();
  EXPECT_EQ(ui.confirms.size(), 1u);
  EXPECT_EQ(std::filesystem::file_size(Default("Clip1.pdf")), before);
  EXPECT_EQ(ui.status, msg::kOverwriteCancelled);
  size_t count = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.File("default"))) (void)e, ++count;
  EXPECT_EQ(count, 1u);
}

}  // namespace
}  // namespace pamirune
