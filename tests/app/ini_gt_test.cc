#include "app/ini_gt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "raster/errors.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

TEST(ParseIniIntegerTest, DecimalAndHexadecimal) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"-7", true, -7},
      {"+7", true, 7},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"99999999999999999999", false, 0},
      {"0x1E", true, 30},
      {"0X1e", true, 30},
      {"0xFFFFFFFF", true, -1},
      {"0x100000000", false, 0},
      {"0x", false, 0},   // two characters: read as decimal, and that fails
      {"0x-1", false, 0},
      {"0xG", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"1,000", false, 0},
      {"1.5", false, 0},
      {"12ab", false, 0},
      {"$1E", false, 0},
  };
  for (const Case& c : cases) {
    int value = 12345;
    EXPECT_EQ(ParseIniInteger(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(IniGTTest, TypedReads) {
  TIniGT ini(TIniFile::FromText(
      "[Flag]\n"
      "on=1\n"
      "two=2\n"
      "neg=-1\n"
      "off=0\n"
      "word=yes\n"
      "empty=\n"
      "hex=0x0A\n"
      "[Window]\n"
      "Pos.X=-20\n"
      "Pos.Y=0x10\n"
      "Size.XSize=400\n"));
  EXPECT_TRUE(ini.ReadBool("Flag", "on", false));
  EXPECT_TRUE(ini.ReadBool("Flag", "two", false));  // any non-zero integer is true
  EXPECT_TRUE(ini.ReadBool("Flag", "neg", false));
  EXPECT_FALSE(ini.ReadBool("Flag", "off", true));
  EXPECT_TRUE(ini.ReadBool("Flag", "word", true));  // not an integer: the default
  EXPECT_FALSE(ini.ReadBool("Flag", "word", false));
  EXPECT_TRUE(ini.ReadBool("Flag", "missing", true));
  EXPECT_EQ(ini.ReadInteger("Flag", "empty", 9), 9);
  EXPECT_EQ(ini.ReadInteger("Flag", "hex", 9), 10);
  EXPECT_EQ(ini.ReadString("Flag", "hex", ""), "0x0A");  // strings stay strings

  int left = 1, top = 2, width = 3, height = 4;
  ini.ReadWindowPos("Window", "Pos", &left, &top);
  ini.ReadWindowSize("Window", "Size", &width, &height);
  EXPECT_EQ(left, -20);
  EXPECT_EQ(top, 16);
  EXPECT_EQ(width, 400);
  EXPECT_EQ(height, 4);  // absent: the current value stays
}

TEST(IniGTTest, TypedWrites) {
  TIniGT ini(TIniFile::FromText(""));
  ini.WriteBool("Flag", "a", true);
  ini.WriteBool("Flag", "b", false);
  ini.WriteInteger("Flag", "n", -30);
  ini.WriteString("File", "Open", "/home/u/ピクチャ/");
  ini.WriteWindowPos("Window", "Pos", 10, 20);
  ini.WriteWindowSize("Window", "Size", 365, 292);
  EXPECT_EQ(ini.File().Text(),
            "[Flag]\na=1\nb=0\nn=-30\n\n"
            "[File]\nOpen=/home/u/ピクチャ/\n\n"
            "[Window]\nPos.X=10\nPos.Y=20\nSize.XSize=365\nSize.YSize=292\n");
}

TEST(IniGTTest, UnwritableFileRaisesTheMessageWithThePath) {
  fs::path dir = fs::temp_directory_path() / "ini_gt_test_unwritable";
  fs::create_directories(dir);
  std::ofstream(dir / "plain") << "not a folder";
  std::string path = (dir / "plain" / "Pamirune.ini").string();
  TIniGT ini(path);
  try {
    ini.WriteBool("Format", "bmp", true);
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), path + " に書き込めません");
  }
  ini.BeginUpdate();
  ini.WriteInteger("Format", "256", 1);
  EXPECT_THROW(ini.EndUpdate(), Exception);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pamirune
