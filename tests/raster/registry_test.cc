#include "raster/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "raster/errors.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

// A graphic kind that is not a Raster image: it loads any file except one saying "bad", and
// reports progress while it loads.
class TFakeGraphic : public TGraphic {
 public:
  std::unique_ptr<TGraphic> NewOfSameKind() const override {
    return std::make_unique<TFakeGraphic>();
  }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TFakeGraphic>(*this); }
  void ToBitmap(TBitmap& dest) const override {
    dest = TBitmap(3, 2, TPixelFormat::pf24bit);
    dest.Fill(RGB(255, 0, 0));
  }
  bool Empty() const override { return bytes_.empty(); }
  int Width() const override { return 3; }
  int Height() const override { return 2; }
  void LoadFromStream(TStream& stream) override {
    Progress(TProgressStage::psStarting, 0, "fake");
    std::vector<uint8_t> bytes = stream.ReadRest();
    if (std::string(bytes.begin(), bytes.end()) == "bad") throw EInvalidGraphic("bad fake");
    bytes_ = std::move(bytes);
    Progress(TProgressStage::psEnding, 100, "fake");
  }
  void SaveToStream(TStream& stream) const override { stream.WriteBytes(bytes_); }
  const char* ClassName() const override { return "TFakeGraphic"; }
  void Touch() { Changed(); }

 private:
  std::vector<uint8_t> bytes_;
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_ / "dir.with.dots"); }
  void TearDown() override {
    TFileFormatsList::Instance().RemoveKind("TFakeGraphic");
    TFileFormatsList::Instance().RemoveKind("TTIFFBitMap");
  }
  std::string Write(const std::string& name, const std::string& content) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
  }
  std::string WriteBmp(const std::string& name, int w, int h) {
    TBitmap b(w, h, TPixelFormat::pf24bit);
    b.Fill(RGB(1, 2, 3));
    fs::path p = dir_ / name;
    b.SaveToFile(p.string());
    return p.string();
  }
  static void AddFake(const std::string& ext) {
    RegisterFileFormat(ext, "Fake " + ext, "TFakeGraphic",
                       [] { return std::make_unique<TFakeGraphic>(); });
  }
  static std::string LoadError(TPicture& picture, const std::string& file) {
    try {
      picture.LoadFromFile(file);
    } catch (const EInvalidGraphic& e) {
      return e.what();
    }
    return "(loaded)";
  }
  ::pamirune::testing::TempDir temp_;
  fs::path dir_ = temp_.path();
};

// Kinds the registry names but cannot read are refused by their description, whatever the
// case of the extension, and the picture keeps nothing.
TEST_F(RegistryTest, KindsWithoutAReaderAreRefusedByName) {
  TPicture picture;
  EXPECT_EQ(LoadError(picture, Write("a.wmf", "x")), "ﾒﾀﾌｧｲﾙ は読み込めません");
  EXPECT_EQ(LoadError(picture, Write("b.EMF", "x")), "ｴﾝﾊﾝｽ ﾒﾀﾌｧｲﾙ は読み込めません");
  EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST_F(RegistryTest, LookupLowerCasesAndTakesTheNewestEntry) {
  AddFake("QJPG");
  const TFileFormat* f = TFileFormatsList::Instance().Find("qJpG");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->extension, "qjpg");
  RegisterFileFormat("qjpg", "newer", "TFakeGraphic", nullptr);
  EXPECT_EQ(TFileFormatsList::Instance().Find("QJPG")->description, "newer");
  EXPECT_EQ(TFileFormatsList::Instance().Find("nosuch"), nullptr);
}

TEST_F(RegistryTest, CapitalExtensionIsFoundAndUnknownOnesAreNamed) {
  AddFake("qjpg");
  TPicture picture;
  picture.LoadFromFile(Write("photo.QJPG", "data"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TFakeGraphic");

  TPicture other;
  EXPECT_EQ(LoadError(other, Write("x.zzq", "")), "拡張子 .zzq の画像形式は処理できません");
  EXPECT_EQ(LoadError(other, Write("nodot", "")), "拡張子 . の画像形式は処理できません");
  // The dots of a folder name are not an extension.
  EXPECT_EQ(LoadError(other, Write("dir.with.dots/plain", "")),
            "拡張子 . の画像形式は処理できません");
  EXPECT_EQ(LoadError(other, Write("a.tar.ZZQ", "")), "拡張子 .ZZQ の画像形式は処理できません");
  EXPECT_EQ(other.Graphic(), nullptr);
}

TEST_F(RegistryTest, NewerBmpEntryWinsOverTheBuiltInOne) {
  std::string file = WriteBmp("pic.bmp", 2, 2);
  TPicture picture;
  picture.LoadFromFile(file);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
  // What the TIFF module does at start-up: a second "bmp" entry of its own kind.
  RegisterFileFormat("bmp", "Bitmaps at Tiff", "TTIFFBitMap",
                     [] { return std::make_unique<TFakeGraphic>(); });
  EXPECT_EQ(TFileFormatsList::Instance().Find("BMP")->kind, "TTIFFBitMap");
  picture.LoadFromFile(file);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TFakeGraphic");
  TFileFormatsList::Instance().RemoveKind("TTIFFBitMap");
  EXPECT_EQ(TFileFormatsList::Instance().Find("bmp")->kind, "TBitmap");
}

TEST_F(RegistryTest, FailedLoadKeepsTheHeldGraphic) {
  TPicture picture;
  picture.LoadFromFile(WriteBmp("good.bmp", 4, 3));
  TGraphic* held = picture.Graphic();
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  EXPECT_THROW(picture.LoadFromFile(Write("broken.bmp", "BMxx")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile((dir_ / "missing.bmp").string()), EOSError);
  AddFake("qjpg");
  EXPECT_THROW(picture.LoadFromFile(Write("bad.qjpg", "bad")), EInvalidGraphic);
  EXPECT_EQ(picture.Graphic(), held);
  EXPECT_EQ(picture.Width(), 4);
  EXPECT_EQ(changes, 0);
}

TEST_F(RegistryTest, BitmapOfANonBitmapGraphicIsANewEmptyImage) {
  AddFake("qjpg");
  TPicture picture;
  picture.LoadFromFile(Write("photo.qjpg", "data"));
  TBitmap& b = picture.Bitmap();
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(picture.Graphic(), &b);
  // A Raster image is handed out as it is.
  picture.LoadFromFile(WriteBmp("pic.bmp", 5, 1));
  EXPECT_EQ(picture.Bitmap().Width(), 5);
  // Copying the pixels of a non-bitmap graphic goes through assignment.
  TFakeGraphic fake;
  TBitmap working;
  working.Assign(fake);
  EXPECT_EQ(working.Pixel(2, 1), RGB(255, 0, 0));
}

TEST_F(RegistryTest, NotificationsAreForwardedAndNeverOutliveTheContainer) {
  AddFake("qjpg");
  std::unique_ptr<TGraphic> survivor;
  int changes = 0, progress = 0;
  {
    TPicture picture;
    picture.OnChange = [&] { ++changes; };
    picture.OnProgress = [&](TProgressStage, int, const std::string& m) {
      EXPECT_EQ(m, "fake");
      ++progress;
    };
    picture.LoadFromFile(Write("p.qjpg", "data"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(progress, 2);
    static_cast<TFakeGraphic*>(picture.Graphic())->Touch();
    EXPECT_EQ(changes, 2);
    picture.Bitmap().SetSize(2, 2);  // the replacement image is hooked as well
    EXPECT_EQ(changes, 3);
    survivor = picture.Graphic()->Clone();
  }
  static_cast<TBitmap&>(*survivor).Fill(kClBlack);  // must not reach the destroyed container
  EXPECT_EQ(changes, 3);
}

TEST_F(RegistryTest, SetGraphicHoldsACopy) {
  TPicture picture;
  TBitmap b(2, 2, TPixelFormat::pf24bit);
  picture.SetGraphic(&b);
  b.SetSize(7, 7);
  EXPECT_EQ(picture.Width(), 2);
  EXPECT_NE(picture.Graphic(), &b);
  picture.SetGraphic(nullptr);
  EXPECT_EQ(picture.Graphic(), nullptr);
}

}  // namespace
}  // namespace pamirune
