#include "app/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "raster/errors.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  testing::TempDir dir_;
};

TEST_F(IniFileTest, Reading) {
  const std::string longest(TIniFile::kMaxValueBytes, 'a');
  TIniFile ini = TIniFile::FromText(
      "top=outside any section\n"
      "[fLaG]\n"
      "  ReSize = 1 \n"
      "empty=\n"
      "quoted=\"  spaced  \"\n"
      "half=\"x\n"
      "eq=a=b\n"
      ";c=comment\n"
      "[Bad header\n"
      "c=still in fLaG\n"
      "ok=" +
      longest +
      "\n"
      "long=" +
      longest +
      "b\n"
      "[other]\nresize=2\n"
      "[FLAG]\nresize=3\nlate=4\r\n");
  const std::pair<const char*, const char*> cases[] = {
      {"Resize", "1"},
      {"empty", ""},
      {"quoted", "  spaced  "},
      {"half", "\"x"},
      {"eq", "a=b"},
      {"c", "still in fLaG"},
      {"late", "4"},
      {"long", "default"},  // a cut value (a cut folder name) is worse than
                            // none
      {"top", "default"},
      {";c", "default"}};
  for (const auto& [key, value] : cases)
    EXPECT_EQ(ini.ReadString("Flag", key, "default"), value) << key;
  EXPECT_EQ(ini.ReadString("flag", "OK", ""), longest);
  EXPECT_FALSE(ini.SectionExists("Bad header"));
}

TEST_F(IniFileTest, WriteEditsInPlaceAndKeepsEverythingElse) {
  std::string path = Path("a.ini");
  Put(path,
      "; settings\r\n[Format]\r\n  BMP = 0\r\nx-unknown=keep me\r\n\r\n"
      "; about the next one\r\n[Other]\r\nz=1\r\n");
  TIniFile ini(path);
  ini.WriteString("format", "bmp", "1");     // existing key: its spelling and indent stay
  ini.WriteString("Format", "jpg", "0");     // new key: after the section's last key
  ini.WriteString("Window", "Pos.X", "-5");  // new section: at the end
  EXPECT_EQ(Get(path),
            "; settings\r\n[Format]\r\n  BMP =1\r\nx-unknown=keep me\r\njpg=0\r\n\r\n"
            "; about the next one\r\n[Other]\r\nz=1\r\n\r\n[Window]\r\nPos.X=-5\r\n");

  TIniFile bare = TIniFile::FromText("\xEF\xBB\xBF[A]\n[B]\nk=1");
  bare.WriteString("A", "x", "1");
  bare.WriteString("B", "y", "2");
  EXPECT_EQ(bare.Text(), "\xEF\xBB\xBF[A]\nx=1\n[B]\nk=1\ny=2\n");
}

TEST_F(IniFileTest, WrittenValuesReadBackAndStayOnTheirLine) {
  TIniFile ini = TIniFile::FromText("");
  const std::string values[] = {"",     " lead",      "trail\t", "\"q\"", "'q'",  "\"",
                                "0x1F", "C:\\pics\\", ";x",      "ｶﾀｶﾅ",  "a\rb", "cr\r"};
  for (size_t i = 0; i < std::size(values); ++i)
    ini.WriteString("S", "k" + std::to_string(i), values[i]);
  TIniFile reread = TIniFile::FromText(ini.Text());
  for (size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(reread.ReadString("S", "k" + std::to_string(i), "default"), values[i]);

  // A line feed in a value cannot smuggle in further entries.
  TIniFile clip = TIniFile::FromText("[ClipDir]\n");
  clip.WriteString("ClipDir", "Dir", "/tmp/a\n[Format]\nbmp=1");
  clip.WriteString("ClipDir", "Zero", std::string("ab\0cd", 5));
  EXPECT_EQ(clip.Text(), "[ClipDir]\nDir=/tmp/a\nZero=ab\n");
}

TEST_F(IniFileTest, FilesThatAreNoSettingsFileReadAsEmptyAndAreNeverOverwritten) {
  EXPECT_EQ(TIniFile(Path("none.ini")).ReadString("A", "k", "d"), "d");
  EXPECT_EQ(TIniFile(dir_.path()).ReadString("A", "k", "d"), "d");  // a folder

  std::mt19937 random(7);
  std::string noise;
  for (int i = 0; i < 100000; ++i) noise.push_back(static_cast<char>(random()));
  const std::string not_settings[] = {
      noise,                                                      // binary
      "[A]\nk=1\n" + std::string(TIniFile::kMaxFileBytes, '\n'),  // far too large
      "Notes for Monday\n[A]\nk=1\n",                             // text of another kind
      std::string("[A]\nk=1\0\n", 9),                             // a zero byte
      std::string("\xFF\xFE\x00\xD8[\0", 6),                      // broken UTF-16
  };
  for (const std::string& bytes : not_settings) {
    const std::string path = Path("other.dat");
    Put(path, bytes);
    TIniFile ini(path);
    EXPECT_FALSE(ini.IsSettingsFile());
    EXPECT_EQ(ini.ReadString("A", "k", "d"), "d");
    EXPECT_THROW(ini.WriteString("A", "k", "2"), ENotSettingsFile);
    EXPECT_EQ(Get(path), bytes);
  }
  // Empty files, files opening with comments and damaged settings files are settings files.
  for (const char* text : {"", "\xEF\xBB\xBF", "; mine\n\n[A]\nk=1\n", "[A\nk=1\n"}) {
    const std::string path = Path("s.ini");
    Put(path, text);
    TIniFile ini(path);
    EXPECT_TRUE(ini.IsSettingsFile()) << text;
    ini.WriteString("B", "j", "2");
    EXPECT_EQ(TIniFile(path).ReadString("B", "j", "d"), "2") << text;
  }
}

TEST_F(IniFileTest, Utf16FilesAreReadAndSavedInTheirOwnEncoding) {
  // "[A]\nk=ぱ\n" in UTF-16, both byte orders; the edit keeps the other key and the order.
  const std::string le("\xFF\xFE[\0A\0]\0\n\0k\0=\0\x71\x30\n\0", 18);
  const std::string be("\xFE\xFF\0[\0A\0]\0\n\0k\0=\x30\x71\0\n", 18);
  for (const std::string& file : {le, be}) {
    const bool big = file[0] == '\xFE';
    const std::string path = Path("u16.ini");
    Put(path, file);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "k", "d"), "ぱ");
    ini.WriteString("A", "j", "1");
    const std::string saved = Get(path);
    std::string expected = file;
    for (char c : std::string("j=1\n"))
      expected += big ? std::string{'\0', c} : std::string{c, '\0'};
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(TIniFile(path).ReadString("A", "j", "d"), "1");
  }
}

TEST_F(IniFileTest, SavingBatchesCreatesFoldersKeepsLinksAndPermissions) {
  std::string path = Path("config/pamirune/Pamirune.ini");
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("A", "k", "2");
  ini.WriteString("A", "j", "3");
  EXPECT_FALSE(fs::exists(path));  // nothing saved inside the update
  ini.EndUpdate();
  EXPECT_EQ(Get(path), "[A]\nk=2\nj=3\n");
  fs::remove(path);
  ini.WriteString("A", "k", "2");  // no change, no save
  EXPECT_FALSE(fs::exists(path));

  std::string real = Path("real.ini"), link = Path("link.ini");
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
  fs::create_directory(Path("ro"));
  std::string path = Path("ro/a.ini");
  Put(path, "[A]\nk=1\n");
  fs::permissions(Path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(TIniFile(path).WriteString("A", "k", "2"), Exception);
  fs::permissions(Path("ro"), fs::perms::owner_all);
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
