#include "app/settings_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "raster/errors.h"
#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

class SettingsIoTest : public ::testing::Test {
 protected:
  void Put(const std::string& text) { dir_.Write("Pamirune.ini", text); }
  std::string Get() const { return dir_.Read("Pamirune.ini"); }
  // Loads the file into a freshly created window's record.
  ConversionSettings Load(const std::string& text) {
    Put(text);
    ConversionSettings s;
    EXPECT_FALSE(LoadSettings(path_, s));
    return s;
  }

  testing::TempDir dir_;
  std::string path_ = dir_.File("Pamirune.ini");
};

TEST_F(SettingsIoTest, FirstStartWithoutFile) {
  ConversionSettings s;
  bool existed = true;
  EXPECT_TRUE(LoadSettings(path_, s, &existed));
  EXPECT_FALSE(existed);
  EXPECT_FALSE(fs::exists(path_));  // loading never writes
  EXPECT_FALSE(s.AnyFormat());
  EXPECT_EQ(s.colour_mode, ColourMode::k256);
  EXPECT_EQ(s.disposal, Disposal::kKeep);
  EXPECT_EQ(s.scale_text, "1/1");
  EXPECT_EQ(s.icon_size_text, "32");
  EXPECT_EQ(s.level, 5);
  EXPECT_EQ(s.delay_text, "30");
  EXPECT_FALSE(s.transparency);
  EXPECT_FALSE(ComputeEnabling(s).transparency);
  EXPECT_EQ(std::string(kFirstRunHint),
            "右クリックをすると詳細設定用バーが表示されます。\n\r場合に応じてお使いください。");

  // An existing file without [Flag] Del (an empty one too) keeps the sources: the user never
  // chose anything else.
  for (const char* text : {"[Format]\nbmp=1\n", ""}) {
    Put(text);
    s = ConversionSettings();
    LoadSettings(path_, s, &existed);
    EXPECT_TRUE(existed);
    EXPECT_EQ(s.disposal, Disposal::kKeep);
  }
}

TEST_F(SettingsIoTest, FreshFileLayout) {
  ConversionSettings s;
  LoadSettings(path_, s);
  SaveSettings(path_, s);
  EXPECT_EQ(Get(),
            "[Format]\nbmp=0\njpg=0\npng=0\n256=0\ntrs=0\nmag=0\nico=0\npdf=0\ngif=0\ntif=0\n"
            "\n[Flag]\npdf=0\nanime=0\nDialog=0\nSend=0\nStay=0\nTop=0\nPrev=0\nOver=0\n"
            "Rename=0\nReSize=0\nbar1=0\nbar2=0\nbar3=0\nClipDir=0\nTrans=0\nPdfW=0\nGifW=0\n"
            "ClipW=0\nFDate=0\nAutoOrient=1\nPdfJpeg=1\nDel=1\nDelay=30\nSize=1\n"
            "\n[File]\nOpen=\n"
            "\n[Comp]\nComp=5\n"
            "\n[IcoSize]\nSize=32\n"
            "\n[Window]\nPos.X=-1\nPos.Y=-1\nSize.XSize=365\nSize.YSize=292\n"
            "\n[ClipDir]\nDir=\n");
}

ConversionSettings EveryFieldChanged() {
  ConversionSettings s;
  s.write_bmp = s.write_jpg = s.write_png = s.write_mag = s.write_ico = s.write_pdf = s.write_gif =
      s.write_tif = true;
  s.colour_mode = ColourMode::kBlackWhite;
  s.transparency = true;
  s.pdf_batch = true;
  s.gif_anime = true;
  s.no_dialogs = s.format_dialog_on_send = s.stay_resident = s.always_on_top = s.preview =
      s.overwrite = s.suffix_s = s.smooth_resize = s.bar1 = s.bar2 = s.bar3 = s.use_output_dir =
          s.transparent_per_image = s.pdf_order_dialog = s.gif_order_dialog = s.watch_clipboard =
              s.keep_date = true;
  s.auto_orient = false;
  s.disposal = Disposal::kDelete;
  s.delay_text = "12,345";
  s.last_open_dir = "/home/ユーザー/画像 と 空白/";
  s.level = 0;
  s.icon_size_text = "256";
  s.window_left = -1200;
  s.window_top = 40;
  s.window_width = 800;
  s.window_height = 170;
  s.scale_text = "3×";
  s.output_dir = " /mnt/out dir/ ";
  return s;
}

TEST_F(SettingsIoTest, EveryFieldSurvivesSaveAndLoad) {
  ConversionSettings saved = EveryFieldChanged();
  SaveSettings(path_, saved);
  ConversionSettings loaded;
  LoadSettings(path_, loaded);
  EXPECT_EQ(loaded.window_left, -1);  // the placement is read at activation only
  RestoreWindowPlacement(path_, loaded);
  EXPECT_EQ(loaded, saved);

  // And the other values of the three-state boxes and lists.
  ConversionSettings other;
  other.write_png = true;
  other.transparency = false;
  other.colour_mode = ColourMode::kFull;
  other.disposal = Disposal::kTrash;
  other.delay_text = "-5";
  other.level = 10;
  other.icon_size_text = "16";
  other.scale_text = "2/3";
  SaveSettings(path_, other);
  loaded = ConversionSettings();
  LoadSettings(path_, loaded);
  RestoreWindowPlacement(path_, loaded);
  EXPECT_EQ(loaded, other);
}

TEST_F(SettingsIoTest, SingleValues) {
  struct Case {
    const char* stored;
    std::string ConversionSettings::*field;
    const char* loaded;
  };
  auto delay = &ConversionSettings::delay_text;
  auto icon = &ConversionSettings::icon_size_text;
  auto scale = &ConversionSettings::scale_text;
  const Case cases[] = {
      {"[Flag]\nDelay=45", delay, "45"},
      {"[Flag]\nDelay=1000", delay, "1,000"},
      {"[Flag]\nDelay=-2,500,000", delay, "-2,500,000"},  // as older versions wrote it
      {"[Flag]\nDelay=0x1E", delay, "30"},
      {"[Flag]\nDelay=0", delay, ""},  // the edit shows 0 as an empty field
      {"[Flag]\nDelay=", delay, "30"},
      {"[Flag]\nDelay=1,00", delay, "30"},
      {"[Flag]\nDelay=1.5", delay, "30"},
      {"[IcoSize]\nSize=064", icon, "64"},
      {"[IcoSize]\nSize=", icon, "32"},
      {"[IcoSize]\nSize=48", icon, ""},  // selects nothing
      {"[IcoSize]\nSize=big", icon, ""},
      {"[Flag]\nSize=6", scale, "2×"},  // written "Size", read "size"
      {"[Flag]\nSize=0x2", scale, "1/2"},
      {"[Flag]\nSize=0", scale, ""},
      {"[Flag]\nSize=8", scale, ""},
      {"[File]\nOpen=0x10", &ConversionSettings::last_open_dir, "0x10"},
  };
  for (const Case& c : cases) EXPECT_EQ(Load(c.stored).*c.field, c.loaded) << c.stored;

  ConversionSettings s = Load("[Comp]\nComp=0x8\n[Format]\n256=2\n[Flag]\nDel=0x2\nReSize=1\n");
  EXPECT_EQ(s.level, 8);
  EXPECT_EQ(s.colour_mode, ColourMode::kBlackWhite);
  EXPECT_EQ(s.disposal, Disposal::kDelete);
  EXPECT_TRUE(s.smooth_resize);                    // written "ReSize", read "Resize"
  EXPECT_EQ(Load("[Comp]\nComp=11\n").level, 10);  // the track bar's range
  EXPECT_EQ(Load("[Comp]\nComp=-1\n").level, 0);
  // A stored state the boxes do not have leaves them as they are.
  s = Load("[Format]\n256=3\n[Flag]\nDel=-1\n");
  EXPECT_EQ(s.colour_mode, ColourMode::k256);
  EXPECT_EQ(s.disposal, Disposal::kTrash);

  // Delays are written as plain digits, so 1000 and more come back next time.
  s = ConversionSettings();
  s.delay_text = "1,000";
  s.scale_text = "5/4";  // matches no entry: no [Flag] Size is written
  SaveSettings(path_, s);
  EXPECT_NE(Get().find("\nDelay=1000\n"), std::string::npos);
  EXPECT_EQ(Get().find("\nSize=1\n"), std::string::npos);

  EXPECT_EQ(FormatDelayText(-1234567), "-1,234,567");
  int v = 0;
  for (const char* bad : {",100", "1,0000", "1234,567", "1,,000", "1,000,", "2,147,483,648"})
    EXPECT_FALSE(ParseDelayText(bad, &v)) << bad;
}

TEST_F(SettingsIoTest, FormatBoxesDriveTheBoxesReadAfterThem) {
  // Ticking pdf ticks Pdf一括, and [Flag] pdf is read with that as its default.
  EXPECT_TRUE(Load("[Format]\npdf=1\n").pdf_batch);
  EXPECT_FALSE(Load("[Format]\npdf=1\n[Flag]\npdf=0\n").pdf_batch);
  // Without pdf the end of loading only disables Pdf一括; its tick stays.
  ConversionSettings s = Load("[Format]\npdf=0\n[Flag]\npdf=1\n");
  EXPECT_TRUE(s.pdf_batch);
  EXPECT_FALSE(ComputeEnabling(s).pdf_batch);
  // Gifｱﾆﾒ and 透過 need their formats.
  EXPECT_FALSE(Load("[Flag]\nanime=1\n").gif_anime);
  EXPECT_TRUE(Load("[Format]\ngif=1\n[Flag]\nanime=1\n").gif_anime);
  EXPECT_FALSE(Load("[Format]\ntrs=1\njpg=1\ntif=1\n").transparency);
  EXPECT_TRUE(Load("[Format]\ntrs=1\ngif=1\n").transparency);
  EXPECT_TRUE(Load("[Format]\nico=1\n").transparency);  // 透過 starts ticked
  EXPECT_FALSE(Load("[Format]\nico=1\ntrs=0\n").transparency);

  // Values absent from the file keep the controls' current state.
  Put("[Format]\njpg=0\n");
  s = ConversionSettings();
  s.write_png = true;
  s.stay_resident = true;
  s.output_dir = "/keep/";
  LoadSettings(path_, s);
  EXPECT_TRUE(s.write_png);
  EXPECT_TRUE(s.stay_resident);
  EXPECT_EQ(s.output_dir, "/keep/");
}

TEST_F(SettingsIoTest, HandEditedFileLoadsAndKeepsItsComments) {
  const std::string text =
      "; ぱみるね settings, edited by hand\r\n"
      "[FORMAT]\r\n"
      "BMP=1\r\n"
      "Png = 0x1\r\n"
      "Trs=0\r\n"
      "favourite=png ; not ours\r\n"
      "\r\n"
      "[flag]\r\n"
      "resize=1\r\n"
      "DELAY=0x64\r\n"
      "size=0x4\r\n"
      "# a note\r\n"
      "[Plugins]\r\n"
      "path=/opt/x\r\n"
      "[comp]\r\n"
      "COMP=0xA\r\n";
  ConversionSettings s = Load(text);
  EXPECT_TRUE(s.write_bmp);
  EXPECT_TRUE(s.write_png);
  EXPECT_FALSE(s.transparency);
  EXPECT_TRUE(s.smooth_resize);
  EXPECT_EQ(s.delay_text, "100");
  EXPECT_EQ(s.scale_text, "2/3");
  EXPECT_EQ(s.level, 10);
  EXPECT_TRUE(ComputeEnabling(s).level);

  s.write_jpg = true;
  SaveSettings(path_, s);
  std::string saved = Get();
  for (const char* kept : {"; ぱみるね settings, edited by hand\r\n[FORMAT]\r\nBMP=1\r\n",
                           "Png =1\r\nTrs=0\r\nfavourite=png ; not ours\r\njpg=1\r\n",
                           "[flag]\r\nresize=1\r\nDELAY=100\r\nsize=4\r\n",
                           "# a note\r\n[Plugins]\r\npath=/opt/x\r\n[comp]\r\nCOMP=10\r\n"})
    EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n--- in ---\n" << saved;
  // Each entry appears once: the mixed-case keys were updated, not added again.
  EXPECT_EQ(saved.find("ReSize="), std::string::npos);
  EXPECT_EQ(saved.find("\nSize=4"), std::string::npos);
  ConversionSettings again;
  LoadSettings(path_, again);
  RestoreWindowPlacement(path_, again);
  EXPECT_EQ(again, s);
}

TEST_F(SettingsIoTest, ConsoleSaveKeepsThePlacementAndPathsOfAnyLength) {
  Put("[Window]\nPos.X=10\nPos.Y=20\nSize.XSize=500\nSize.YSize=300\n");
  ConversionSettings s = Load(Get());
  // A folder as long as Linux allows a path (4,095 bytes), far beyond 1,023.
  s.output_dir = "/" + std::string(4093, 'd') + "/";
  SaveSettings(path_, s, /*window_placement=*/false);
  EXPECT_NE(Get().find("[Window]\nPos.X=10\nPos.Y=20\nSize.XSize=500\nSize.YSize=300\n"),
            std::string::npos)
      << Get();
  ConversionSettings again;
  LoadSettings(path_, again);
  EXPECT_EQ(again.output_dir, s.output_dir);
}

TEST_F(SettingsIoTest, DamagedFilesLoadDefaults) {
  std::mt19937 random(1);
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>(random() % 256));
  const std::string inputs[] = {
      "[Format\nbmp=1\n",
      "[]\n=\n==\n[ ]\n]\n[[[\n",
      std::string(70000, '['),
      "\xEF\xBB\xBF",
  };
  ConversionSettings defaults;
  LoadSettings(dir_.File("none.ini"), defaults);
  for (const std::string& input : inputs) {
    ConversionSettings s = Load(input);
    EXPECT_EQ(s, defaults);
    SaveSettings(path_, EveryFieldChanged());
    ConversionSettings reread;
    LoadSettings(path_, reread);
    RestoreWindowPlacement(path_, reread);
    EXPECT_EQ(reread, EveryFieldChanged());
  }
  // Files of another kind load defaults too, but are never written over.
  for (const std::string& input : {noise, std::string("\0\0\0\0[Format]\0bmp=1", 17)}) {
    EXPECT_EQ(Load(input), defaults);
    testing::ExpectError<Exception>(
        [&] { SaveSettings(path_, EveryFieldChanged()); },
        path_ + " に書き込めません\n設定ファイルではないため、上書きしません。");
    EXPECT_EQ(Get(), input);
  }
}

TEST_F(SettingsIoTest, UnwritableFileRaisesAndKeepsTheOldOne) {
  std::string blocked = dir_.File("plain/Pamirune.ini");
  dir_.Write("plain", "x");
  testing::ExpectError<Exception>([&] { SaveSettings(blocked, ConversionSettings()); },
                                  blocked + " に書き込めません");

  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  Put("[Format]\nbmp=1\n");
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(SaveSettings(path_, ConversionSettings()), Exception);
  fs::permissions(dir_.path(), fs::perms::owner_all);
  EXPECT_EQ(Get(), "[Format]\nbmp=1\n");
}

TEST(SettingsFileTest, NameFollowsTheProgram) {
  EXPECT_EQ(SettingsFileName("/usr/bin/pamirune"), "Pamirune.ini");
  EXPECT_EQ(SettingsFileName("/opt/PAMIRUNE.EXE"), "Pamirune.ini");
  EXPECT_EQ(SettingsFileName("/a/my.tool.bin"), "My.tool.ini");
  EXPECT_EQ(SettingsFileName("/a/9lives"), "9lives.ini");
  EXPECT_EQ(SettingsFileName("/a/.hidden"), ".hidden.ini");
  EXPECT_EQ(SettingsFileName("/a.b/ぱみるね"), "ぱみるね.ini");
  EXPECT_EQ(SettingsFileName(""), "Pamirune.ini");
}

TEST(SettingsFileTest, PortableInstallOrConfigFolder) {
  testing::TempDir root;
  fs::create_directories(root.File("bin"));
  std::string program = root.File("bin/pamirune");

  EXPECT_EQ(SettingsFilePath(program, "/xdg"), "/xdg/pamirune/Pamirune.ini");
  EXPECT_EQ(SettingsFilePath(program, ""), root.File("bin/Pamirune.ini"));

  // A file placed beside the program wins, its name compared without regard to case.
  root.Write("bin/PAMIRUNE.INI", "[Format]\n");
  EXPECT_EQ(SettingsFilePath(program, "/xdg"), root.File("bin/PAMIRUNE.INI"));
  root.Write("bin/Pamirune.ini", "[Format]\n");
  EXPECT_EQ(SettingsFilePath(program, "/xdg"), root.File("bin/Pamirune.ini"));
}

}  // namespace
}  // namespace pamirune
