#include "app/ini_gt.h"

#include <gtest/gtest.h>

#include "raster/errors.h"
#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

TEST(IniGTTest, IntegerReading) {
  const std::pair<const char*, int> good[] = {{"42", 42},
                                              {"-7", -7},
                                              {"+7", 7},
                                              {"007", 7},
                                              {"2147483647", 2147483647},
                                              {"-2147483648", -2147483647 - 1},
                                              {"0x1E", 30},
                                              {"0X1e", 30},
                                              {"0xFFFFFFFF", -1}};
  for (const auto& [text, expected] : good) {
    int value = 0;
    EXPECT_TRUE(ParseIniInteger(text, &value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  // "0x" alone has only two characters: it is read as decimal, and that fails.
  for (const char* bad : {"2147483648", "99999999999999999999", "0x100000000", "0x", "0x-1", "0xG",
                          "", "-", "1,000", "1.5", "12ab", "$1E"}) {
    int value = 0;
    EXPECT_FALSE(ParseIniInteger(bad, &value)) << bad;
  }
}

TEST(IniGTTest, TypedReads) {
  TIniGT ini(
      TIniFile::FromText("[Flag]\non=1\ntwo=2\noff=0\nword=yes\nempty=\nhex=0x0A\n"
                         "[Window]\nPos.X=-20\nPos.Y=0x10\nSize.XSize=400\n"));
  EXPECT_TRUE(ini.ReadBool("Flag", "on", false));
  EXPECT_TRUE(ini.ReadBool("Flag", "two", false));  // any non-zero integer is true
  EXPECT_FALSE(ini.ReadBool("Flag", "off", true));
  EXPECT_TRUE(ini.ReadBool("Flag", "word", true));  // not an integer: the default
  EXPECT_FALSE(ini.ReadBool("Flag", "word", false));
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

TEST(IniGTTest, UnwritableFileRaisesTheMessageWithThePath) {
  testing::TempDir dir;
  dir.Write("plain", "not a folder");
  std::string path = dir.File("plain/Pamirune.ini");
  TIniGT ini(path);
  testing::ExpectError<Exception>([&] { ini.WriteBool("Format", "bmp", true); },
                                  path + " に書き込めません");
  ini.BeginUpdate();
  ini.WriteInteger("Format", "256", 1);
  EXPECT_THROW(ini.EndUpdate(), Exception);
}

}  // namespace
}  // namespace pamirune
