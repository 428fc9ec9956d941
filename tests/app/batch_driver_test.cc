// The batch driver through a scripted UI and real temporary folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/converter.h"
#include "app/messages.h"
#include "formats/register_all.h"
#include "support/fake_ui.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace pamirune {
namespace {

using testing::FakeUi;
using testing::TempDir;
using testing::TestPlatform;

class BatchDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGraphicKinds();
    settings.write_bmp = true;
  }
  BatchResult Run(std::vector<std::string> names) {
    files.clear();
    for (auto& n : names) files.push_back(dir.File(n));
    Converter converter(settings, ui, platform);
    return converter.FileDrop1FileDrop(static_cast<int>(files.size()), files);
  }
  // A small valid BMP: 2 x 1, 24 bits.
  static std::string Bmp() {
    TBitmap b(2, 1, TPixelFormat::pf24bit);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    TMemoryStream s;
    b.SaveToStream(s);
    return std::string(s.Bytes().begin(), s.Bytes().end());
  }

  TempDir dir;
  FakeUi ui;
  TestPlatform platform;
  ConversionSettings settings;
  std::vector<std::string> files;
};

TEST_F(BatchDriverTest, DeclinedConfirmationDoesNothing) {
  dir.Write("a.bmp", "BM");
  dir.Write("b.bmp", "BM");
  ui.answers = {false};
  EXPECT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kNothing);
  ASSERT_EQ(ui.confirms.size(), 1u);
  EXPECT_EQ(ui.confirms[0], msg::kConfirmBatch);
  EXPECT_TRUE(ui.progress_visible);
  EXPECT_TRUE(ui.infos.empty());
}

TEST_F(BatchDriverTest, UnsupportedExtensionStopsTheBatchThere) {
  dir.Write("two.txt", "hello");
  dir.Write("three.bmp", "BM");
  settings.no_dialogs = true;
  EXPECT_EQ(Run({"two.txt", "three.bmp"}), BatchResult::kStopped);
  EXPECT_EQ(ui.status, msg::kUnsupportedExtension);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_TRUE(ui.infos.empty());  // no dialogs
  EXPECT_FALSE(dir.Exists("three.bmp.bmp"));
}

TEST_F(BatchDriverTest, UnrecognisedContentIsAlwaysReported) {
  dir.Write("x.jpg", std::string("\xFF\xD8\x00\xDB\x00\x43XXXXXXXX", 14));
  settings.no_dialogs = true;
  EXPECT_EQ(Run({"x.jpg"}), BatchResult::kStopped);
  ASSERT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.infos[0], std::string(msg::kUnsupportedContent) + "\n" + dir.File("x.jpg"));
}

TEST_F(BatchDriverTest, TiffOfEitherByteOrderAndEitherExtensionIsTakenWithoutRename) {
  // Both are recognised and go on to loading (these stubs hold no picture) without a prompt.
  dir.Write("m.tif", std::string("MM\0*\0\0\0\x08", 8));
  dir.Write("x.TIFF", std::string("II*\0\x08\0\0\0", 8));
  settings.no_dialogs = true;
  Run({"m.tif"});
  Run({"x.TIFF"});
  EXPECT_TRUE(ui.confirms.empty());
  for (const auto& info : ui.infos)
    EXPECT_EQ(info.find(msg::kUnsupportedContent), std::string::npos);
  EXPECT_TRUE(dir.Exists("x.TIFF"));
}

TEST_F(BatchDriverTest, ShortFileIsNotJudgedByThePreviousHeader) {
  // A BMP header first, then a one-byte file: stale bytes must not make it a BMP.
  dir.Write("a.bmp", Bmp());
  dir.Write("b.bmp", "B");
  settings.no_dialogs = true;
  EXPECT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kStopped);
  EXPECT_EQ(ui.infos.back(), std::string(msg::kUnsupportedContent) + "\n" + dir.File("b.bmp"));
}

TEST_F(BatchDriverTest, FailedRenameStopsWithAMessage) {
  dir.Write("pic.jpg", Bmp());
  dir.Write("pic.bmp", "already here");
  EXPECT_EQ(Run({"pic.jpg"}), BatchResult::kStopped);
  EXPECT_EQ(dir.Read("pic.bmp"), "already here");
  ASSERT_FALSE(ui.infos.empty());
  EXPECT_NE(ui.infos.back().find(msg::kRenameFailed), std::string::npos);
}

TEST_F(BatchDriverTest, NoFormatShowsTheFormatDialogUnlessStartedWithArguments) {
  settings.write_bmp = false;
  dir.Write("a.bmp", Bmp());
  EXPECT_EQ(Run({"a.bmp"}), BatchResult::kNothing);
  EXPECT_EQ(ui.format_dialogs, 1);
}

TEST_F(BatchDriverTest, EmptyIconSizeDoesNotStopABatchWithoutIcons) {
  settings.icon_size_text = "";
  dir.Write("a.bmp", Bmp());
  settings.no_dialogs = true;
  settings.suffix_s = true;
  EXPECT_EQ(Run({"a.bmp"}), BatchResult::kCompleted);
  EXPECT_TRUE(dir.Exists("as.bmp"));
}

TEST_F(BatchDriverTest, OrderDialogSetsTheProcessingOrder) {
  dir.Write("a.bmp", Bmp());
  dir.Write("b.bmp", Bmp());
  settings.write_gif = false;
  settings.pdf_batch = true;
  settings.pdf_order_dialog = true;
  settings.suffix_s = true;
  settings.no_dialogs = true;
  ui.on_order = [](OrderDialogModel& m) {
    ASSERT_EQ(m.rows.size(), 2u);
    EXPECT_NE(m.rows[0].size_text.find(" Byte"), std::string::npos);
    std::swap(m.rows[0], m.rows[1]);
  };
  EXPECT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  ASSERT_EQ(ui.order_captions.size(), 1u);
  EXPECT_EQ(ui.order_captions[0], msg::kPdfOrderCaption);
  EXPECT_EQ(files[0], dir.File("b.bmp"));
  EXPECT_EQ(files[1], dir.File("a.bmp"));
}

TEST_F(BatchDriverTest, OneFileNeedsNoConfirmationAndReportsTheSize) {
  dir.Write("cat.bmp", Bmp());
  settings.suffix_s = true;
  EXPECT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  EXPECT_TRUE(ui.confirms.empty());
  std::string done = dir.File("cats.bmp") + msg::kSavedDone;
  ASSERT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.infos[0], done);
  EXPECT_EQ(ui.status, done + "0 KB");
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(ui.captions.back(), msg::kDropHere);
}

TEST_F(BatchDriverTest, OverwritePromptAndEveryOverwriteDeclined) {
  dir.Write("cat.bmp", Bmp());
  ui.default_answer = false;
  EXPECT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  ASSERT_EQ(ui.confirms.size(), 1u);
  EXPECT_EQ(ui.confirms[0], "File : " + dir.File("cat.") + "bmpがすでにあるよ♪上書きする？");
  EXPECT_TRUE(ui.infos.empty());  // nothing written: no completion message
  EXPECT_TRUE(ui.progress_visible);
  EXPECT_EQ(ui.status, "");
}

TEST_F(BatchDriverTest, OutputFolderGetsItsSeparator) {
  dir.Write("cat.bmp", Bmp());
  std::filesystem::create_directory(dir.File("out"));
  settings.use_output_dir = true;
  settings.output_dir = dir.File("out");
  EXPECT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  EXPECT_TRUE(dir.Exists("out/cat.bmp"));
}

TEST_F(BatchDriverTest, KeepDateStampsTheLastOutputAndSourcesAreDisposedAfterAWrite) {
  dir.Write("cat.bmp", Bmp());
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, dir.File("cat.bmp").c_str(), times, 0), 0);
  settings.keep_date = true;
  settings.suffix_s = true;
  settings.disposal = Disposal::kTrash;
  EXPECT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  auto info = platform.FindFile(dir.File("cats.bmp"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->mtime_sec, 1000000000);
  ASSERT_EQ(platform.trashed.size(), 1u);
  EXPECT_EQ(platform.trashed[0], dir.File("cat.bmp"));
}

TEST_F(BatchDriverTest, SourceThatIsItsOwnOutputIsNotDisposed) {
  dir.Write("cat.bmp", Bmp());
  settings.overwrite = true;
  settings.disposal = Disposal::kDelete;
  EXPECT_EQ(Run({"cat.bmp"}), BatchResult::kCompleted);
  EXPECT_TRUE(dir.Exists("cat.bmp"));
}

TEST_F(BatchDriverTest, DeclinedOverwriteDisposesOfNothing) {
  dir.Write("cat.bmp", Bmp());
  settings.write_bmp = true;
  settings.disposal = Disposal::kTrash;
  ui.default_answer = false;
  Run({"cat.bmp"});
  EXPECT_TRUE(platform.trashed.empty());
}

TEST_F(BatchDriverTest, StoppedPdfBatchDisposesOfNoSourceAndCompletedOneDoesAfterTheFile) {
  dir.Write("a.bmp", Bmp());
  dir.Write("b.bmp", Bmp());
  dir.Write("c.txt", "not an image");
  settings.write_bmp = false;
  settings.write_pdf = true;
  settings.pdf_batch = true;
  settings.no_dialogs = true;
  settings.disposal = Disposal::kDelete;
  EXPECT_EQ(Run({"a.bmp", "b.bmp", "c.txt"}), BatchResult::kStopped);
  EXPECT_TRUE(dir.Exists("a.bmp"));
  EXPECT_TRUE(dir.Exists("b.bmp"));
  EXPECT_FALSE(dir.Exists("b.pdf"));

  EXPECT_EQ(Run({"a.bmp", "b.bmp"}), BatchResult::kCompleted);
  EXPECT_TRUE(dir.Exists("b.pdf"));
  EXPECT_FALSE(dir.Exists("a.bmp"));
  EXPECT_FALSE(dir.Exists("b.bmp"));
}

}  // namespace
}  // namespace pamirune
