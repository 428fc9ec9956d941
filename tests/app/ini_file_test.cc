#include "app/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "raster/errors.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "ini_file_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase) {
  TIniFile ini = TIniFile::FromText("[fLaG]\nReSize=1\n  Size = 4 \n");
  EXPECT_EQ(ini.ReadString("Flag", "Resize", "x"), "1");
  EXPECT_EQ(ini.ReadString("FLAG", "size", "x"), "4");
  EXPECT_TRUE(ini.SectionExists("flag"));
  EXPECT_FALSE(ini.ValueExists("Flag", "Siz"));
  EXPECT_EQ(ini.ReadString("Format", "size", "none"), "none");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndUnquotedButOtherwiseKept) {
  TIniFile ini = TIniFile::FromText(
      "[A]\n"
      "empty=\n"
      "quoted=\"  spaced  \"\n"
      "single='x'\n"
      "half=\"x\n"
      "eq=a=b\n"
      "hex=0x10\n"
      "utf=右クリック\r\n");
  EXPECT_EQ(ini.ReadString("A", "empty", "d"), "");  // present but empty: not the default
  EXPECT_EQ(ini.ReadString("A", "quoted", "d"), "  spaced  ");
  EXPECT_EQ(ini.ReadString("A", "single", "d"), "x");
  EXPECT_EQ(ini.ReadString("A", "half", "d"), "\"x");
  EXPECT_EQ(ini.ReadString("A", "eq", "d"), "a=b");
  EXPECT_EQ(ini.ReadString("A", "hex", "d"), "0x10");
  EXPECT_EQ(ini.ReadString("A", "utf", "d"), "右クリック");
}

TEST_F(IniFileTest, CommentsKeysOutsideSectionsAndBadHeadersAreNotEntries) {
  TIniFile ini = TIniFile::FromText(
      "top=1\n"
      "[A]\n"
      ";k=1\n"
      "#k=2\n"
      "[B\n"
      "k=3\n");
  EXPECT_FALSE(ini.ValueExists("", "top"));
  // "[B" is no header, so k=3 still belongs to [A]; the comments are no keys.
  EXPECT_EQ(ini.ReadString("A", "k", "d"), "3");
  EXPECT_FALSE(ini.SectionExists("B"));
}

TEST_F(IniFileTest, FirstMatchWinsAcrossRepeatedSections) {
  TIniFile ini = TIniFile::FromText("[A]\nk=1\nk=2\n[B]\nj=0\n[a]\nk=3\nm=4\n");
  EXPECT_EQ(ini.ReadString("A", "k", "d"), "1");
  EXPECT_EQ(ini.ReadString("A", "m", "d"), "4");
}

TEST_F(IniFileTest, ValueLengthLimit) {
  std::string longest(TIniFile::kMaxValueBytes, 'a');
  TIniFile ini = TIniFile::FromText("[A]\nok=" + longest + "\nlong=" + longest + "b\n");
  EXPECT_EQ(ini.ReadString("A", "ok", "d"), longest);
  // A longer value would have been cut; a cut folder name is worse than none.
  EXPECT_EQ(ini.ReadString("A", "long", "d"), "d");
}

TEST_F(IniFileTest, WriteEditsInPlaceAndKeepsEverythingElse) {
  std::string path = Path("a.ini");
  Put(path,
      "; settings\r\n"
      "[Format]\r\n"
      "  BMP = 0\r\n"
      "x-unknown=keep me\r\n"
      "\r\n"
      "; about the next one\r\n"
      "[Other]\r\n"
      "z=1\r\n");
  TIniFile ini(path);
  ini.WriteString("format", "bmp", "1");   // existing key: its spelling and indent stay
  ini.WriteString("Format", "jpg", "0");   // new key: after the section's last key
  ini.WriteString("Window", "Pos.X", "-5");  // new section: at the end
  EXPECT_EQ(Get(path),
            "; settings\r\n"
            "[Format]\r\n"
            "  BMP =1\r\n"
            "x-unknown=keep me\r\n"
            "jpg=0\r\n"
            "\r\n"
            "; about the next one\r\n"
            "[Other]\r\n"
            "z=1\r\n"
            "\r\n"
            "[Window]\r\n"
            "Pos.X=-5\r\n");
  TIniFile again(path);
  EXPECT_EQ(again.ReadString("FORMAT", "Bmp", "d"), "1");
  EXPECT_EQ(again.ReadString("Window", "pos.x", "d"), "-5");
}

TEST_F(IniFileTest, WritesIntoAnEmptySectionAndAfterAMissingFinalLineEnd) {
  TIniFile ini = TIniFile::FromText("\xEF\xBB\xBF[A]\n[B]\nk=1");
  ini.WriteString("A", "x", "1");
  ini.WriteString("B", "y", "2");
  ini.WriteString("C", "z", "3");
  EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[A]\nx=1\n[B]\nk=1\ny=2\n\n[C]\nz=3\n");
}

TEST_F(IniFileTest, WrittenValuesReadBackExactly) {
  TIniFile ini = TIniFile::FromText("");
  const std::string values[] = {"", " lead", "trail\t", "\"q\"", "'q'", "\"", "a\"b\"",
                                "0x1F", "C:\\pics\\", "=", ";not a comment", "ｶﾀｶﾅ", "a\rb", "cr\r"};
  int n = 0;
  for (const std::string& v : values) ini.WriteString("S", "k" + std::to_string(n++), v);
  TIniFile reread = TIniFile::FromText(ini.Text());
  n = 0;
  for (const std::string& v : values)
    EXPECT_EQ(reread.ReadString("S", "k" + std::to_string(n++), "default"), v);
}

TEST_F(IniFileTest, LineBreaksCannotInjectEntries) {
  TIniFile ini = TIniFile::FromText("[ClipDir]\n");
  ini.WriteString("ClipDir", "Dir", "/tmp/a\n[Format]\nbmp=1");
  ini.WriteString("ClipDir", "Zero", std::string("ab\0cd", 5));
  EXPECT_EQ(ini.Text(), "[ClipDir]\nDir=/tmp/a\nZero=ab\n");
  EXPECT_FALSE(ini.SectionExists("Format"));
}

TEST_F(IniFileTest, MissingDamagedAndBinaryFilesReadAsEmpty) {
  EXPECT_EQ(TIniFile(Path("none.ini")).ReadString("A", "k", "d"), "d");
  EXPECT_EQ(TIniFile(dir_.string()).ReadString("A", "k", "d"), "d");  // a folder

  std::mt19937 random(7);
  std::string noise;
  for (int i = 0; i < 100000; ++i) noise.push_back(static_cast<char>(random()));
  std::string path = Path("noise.ini");
  Put(path, noise);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Format", "bmp", "d"), "d");
  ini.WriteString("Format", "bmp", "1");
  EXPECT_EQ(TIniFile(path).ReadString("Format", "bmp", "d"), "1");
  // The damaged bytes are kept: the settings file is only ever extended by a write.
  EXPECT_EQ(Get(path).substr(0, noise.size()), noise);
}

TEST_F(IniFileTest, OversizedFileIsReplacedAtTheNextSave) {
  std::string path = Path("big.ini");
  Put(path, "[A]\nk=1\n" + std::string(TIniFile::kMaxFileBytes, '\n'));
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("A", "k", "d"), "d");
  ini.WriteString("A", "k", "2");
  EXPECT_EQ(Get(path), "[A]\nk=2\n");
}

TEST_F(IniFileTest, UpdatesAreSavedOnceAndOnlyWhenSomethingChanged) {
  std::string path = Path("batch.ini");
  Put(path, "[A]\nk=1\n");
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("A", "k", "2");
  ini.WriteString("A", "j", "3");
  EXPECT_EQ(Get(path), "[A]\nk=1\n");  // nothing saved inside the update
  ini.EndUpdate();
  EXPECT_EQ(Get(path), "[A]\nk=2\nj=3\n");

  // Writing the same values again does not touch the file at all.
  fs::remove(path);
  ini.WriteString("A", "k", "2");
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFileTest, CreatesTheFolderAndKeepsLinksAndPermissions) {
  std::string nested = Path("config/pamirune/Pamirune.ini");
  TIniFile(nested).WriteString("A", "k", "1");
  EXPECT_EQ(Get(nested), "[A]\nk=1\n");

  std::string real = Path("real.ini");
  std::string link = Path("link.ini");
  Put(real, "[A]\nk=1\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  fs::create_symlink(real, link);
  TIniFile(link).WriteString("A", "k", "2");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Get(real), "[A]\nk=2\n");
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniFileTest, FailedSaveThrowsAndLeavesTheFile) {
  Put(Path("plain"), "a file, not a folder");
  EXPECT_THROW(TIniFile(Path("plain/a.ini")).WriteString("A", "k", "1"), Exception);

  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  fs::create_directory(dir_ / "ro");
  std::string path = Path("ro/a.ini");
  Put(path, "[A]\nk=1\n");
  fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  TIniFile ini(path);
  EXPECT_THROW(ini.WriteString("A", "k", "2"), Exception);
  fs::permissions(dir_ / "ro", fs::perms::owner_all);
  EXPECT_EQ(Get(path), "[A]\nk=1\n");

  // A file that exists but cannot be read is not replaced by one made of defaults.
  fs::permissions(path, fs::perms::none);
  TIniFile unreadable(path);
  EXPECT_EQ(unreadable.ReadString("A", "k", "d"), "d");
  EXPECT_THROW(unreadable.WriteString("A", "j", "2"), Exception);
  fs::permissions(path, fs::perms::owner_all);
  EXPECT_EQ(Get(path), "[A]\nk=1\n");
}

}  // namespace
}  // namespace pamirune
