// Byte-exact checks of what the MAG encoder writes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "mag_test_util.h"

namespace pamirune::testing {
namespace {

// The bytes before the comment: signature, machine code, a space, the user name at offset 13
// over spaces.
std::vector<uint8_t> HeaderBlock(const std::string& user) {
  std::string block = "MAKI02  zorP" + std::string(20, ' ');
  block.replace(13, user.size(), user);
  return Bytes(block);
}

void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
  out.insert(out.end(), bytes);
}

TEST(MagGolden, SingleColourImageIsOneLiteralWord) {
  // 256 colours, 16 pixels wide: F = 4 flag bytes per line, 3 lines.
  TBitmap bitmap = Indexed(16, 3, TPixelFormat::pf8bit, 5);
  std::vector<uint8_t> expected = HeaderBlock(">?\?<");
  std::string comment = "zor's TMAGImage Ver 1.01 ";  // 24 characters padded to 25
  expected.insert(expected.end(), comment.begin(), comment.end());
  expected.push_back(0x1A);
  Append(expected, {0, 0, 0, 0x80, 0, 0, 0, 0, 15, 0, 2, 0});
  Append(expected, {0x20, 3, 0, 0});  // flag A at 32 + 768 = 800
  Append(expected, {0x22, 3, 0, 0});  // flag B at 802: 12 bits take 2 bytes
  Append(expected, {6, 0, 0, 0});     // flag B size: F + 1 = 5, padded to 6
  Append(expected, {0x28, 3, 0, 0});  // pixel data at 808
  Append(expected, {2, 0, 0, 0});     // one literal word
  for (const TRGBQuad& q : bitmap.Palette()) Append(expected, {q.green, q.red, q.blue});
  Append(expected, {0xF8, 0x00});                          // the first F + 1 bits set
  Append(expected, {0x01, 0x11, 0x11, 0x11, 0x40, 0x00});  // flag B
  Append(expected, {5, 5});                                // pixel data
  EXPECT_EQ(EncodeBitmap(bitmap), expected);
}

TEST(MagGolden, SingleColourFlagBAtSixteenColours) {
  // 16 colours, 40 pixels: F = 5, so flag B holds F + 1 = 6 bytes with no padding.
  std::vector<uint8_t> file = EncodeBitmap(Indexed(40, 4, TPixelFormat::pf4bit, 3));
  size_t h = HeaderPos(file);
  EXPECT_EQ(file[h + 3], 0);
  EXPECT_EQ(Field32(file, h + 12), 32u + 48u);
  EXPECT_EQ(Field32(file, h + 20), 6u);
  size_t b = h + Field32(file, h + 16);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + b, file.begin() + b + 6),
            (std::vector<uint8_t>{0x01, 0x11, 0x11, 0x11, 0x11, 0x40}));
  size_t a = h + Field32(file, h + 12);
  EXPECT_EQ(file[a], 0xFC);  // 6 of 20 bits set
  EXPECT_EQ(file[a + 1], 0x00);
  EXPECT_EQ(file[a + 2], 0x00);
  EXPECT_EQ(Field32(file, h + 28), 2u);
  EXPECT_EQ(file[h + Field32(file, h + 24)], 0x33);
}

TEST(MagGolden, FlagASizeIsWholeEvenBytes) {
  struct Case {
    int width, height;
    TPixelFormat format;
    uint32_t flag_a_bytes;
  } cases[] = {
      {300, 25, TPixelFormat::pf8bit, 236},  // 75 x 25 = 1875 bits
      {300, 13, TPixelFormat::pf8bit, 122},  // 975 bits
      {600, 25, TPixelFormat::pf4bit, 236},
      {8, 1, TPixelFormat::pf4bit, 2},  // a single bit still takes two bytes
      {4, 16, TPixelFormat::pf8bit, 2},
      {4, 17, TPixelFormat::pf8bit, 4},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> file = EncodeBitmap(Indexed(c.width, c.height, c.format, 1));
    size_t h = HeaderPos(file);
    EXPECT_EQ(Field32(file, h + 16) - Field32(file, h + 12), c.flag_a_bytes)
        << c.width << "x" << c.height;
  }
}

TEST(MagGolden, CommentIsPaddedToOddLength) {
  struct Case {
    std::string comment, written;
  } cases[] = {{"", " "}, {"a", "a"}, {"ab", "ab "}, {"abc", "abc"}};
  for (const Case& c : cases) {
    TMAGImage image;
    image.Assign(Indexed(8, 1, TPixelFormat::pf4bit));
    image.SetComment(c.comment);
    std::vector<uint8_t> file = Save(image);
    size_t h = HeaderPos(file);
    EXPECT_EQ(std::string(file.begin() + 32, file.begin() + h - 1), c.written);
    EXPECT_EQ(h % 2, 0u);
    EXPECT_EQ(image.Comment(), c.written);  // the stored comment keeps the padding
  }
  TMAGImage image;
  image.Assign(Indexed(8, 1, TPixelFormat::pf4bit));
  EXPECT_EQ(HeaderPos(Save(image)), 32u + 25u + 1u);
}

TEST(MagGolden, UserNameIsWrittenAtOffset13) {
  TMAGImage image;
  image.Assign(Indexed(8, 1, TPixelFormat::pf4bit));
  image.SetUserName("someone with a very long name");
  std::vector<uint8_t> file = Save(image);
  // Eighteen bytes at most; the spaces at 12 and 31 stay.
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 32), "zorP someone with a ver ");
}

TEST(MagGolden, WidthIsWidenedToTheAlignment) {
  struct Case {
    int width;
    TPixelFormat format;
    int widened;
  } cases[] = {{5, TPixelFormat::pf8bit, 8},  {9, TPixelFormat::pf8bit, 12},
               {8, TPixelFormat::pf8bit, 8},  {5, TPixelFormat::pf4bit, 8},
               {9, TPixelFormat::pf4bit, 16}, {1, TPixelFormat::pf1bit, 8}};
  for (const Case& c : cases) {
    TMAGImage image;
    image.Assign(Indexed(c.width, 2, c.format, 1));
    EXPECT_EQ(image.Width(), c.widened);
    std::vector<uint8_t> file = Save(image);
    size_t h = HeaderPos(file);
    EXPECT_EQ(Field16(file, h + 4), 0);
    EXPECT_EQ(Field16(file, h + 8), c.widened - 1);
    EXPECT_EQ(Field16(file, h + 10), 1);
  }
}

// An 8-bit image of two words per line, each word given as its two pixel indices.
TBitmap Words(std::initializer_list<std::array<uint8_t, 4>> lines) {
  TBitmap bitmap = Indexed(4, static_cast<int>(lines.size()), TPixelFormat::pf8bit);
  int y = 0;
  for (const auto& line : lines) std::memcpy(bitmap.ScanLine(y++), line.data(), 4);
  return bitmap;
}

struct Sections {
  std::vector<uint8_t> flag_a, flag_b, pixels;
};
Sections Split(const std::vector<uint8_t>& file) {
  size_t h = HeaderPos(file);
  size_t a = h + Field32(file, h + 12), b = h + Field32(file, h + 16),
         p = h + Field32(file, h + 24);
  return {{file.begin() + a, file.begin() + b},
          {file.begin() + b, file.begin() + p},
          {file.begin() + p, file.end()}};
}

// Line 0 holds words A B, line 1 holds B A. The first word of a line cannot look left, so
// line 1's B is a literal although B is line 0's right-hand word; line 1's A is found
// diagonally (vector 5). On line 0 nothing above can be used.
TEST(MagGolden, FirstWordAndFirstLineUseOnlyReachableVectors) {
  Sections s = Split(EncodeBitmap(Words({{1, 2, 3, 4}, {3, 4, 1, 2}})));
  EXPECT_EQ(s.flag_a, (std::vector<uint8_t>{0x40, 0x00}));
  EXPECT_EQ(s.flag_b, (std::vector<uint8_t>{0x05, 0x00}));
  EXPECT_EQ(s.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 3, 4}));
}

// The nibble of the line above wins over an earlier vector of the table when it still
// matches: on line 2, word 1 equals both its left neighbour (vector 1) and the word above
// (vector 4, the previous line's choice); keeping 4 costs no flag B byte.
TEST(MagGolden, PreviousFlagIsTriedFirst) {
  Sections s = Split(EncodeBitmap(Words({{1, 1, 2, 2}, {3, 3, 2, 2}, {2, 2, 2, 2}})));
  EXPECT_EQ(s.flag_a, (std::vector<uint8_t>{0x40, 0x00}));
  EXPECT_EQ(s.flag_b, (std::vector<uint8_t>{0x04, 0x00}));
  EXPECT_EQ(s.pixels, (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 2, 2}));
}

}  // namespace
}  // namespace pamirune::testing
