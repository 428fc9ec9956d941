// Our MAG files read by an independent decoder (mag_decode.py, written from the format
// description) give the same pixels and palette.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>

#include "mag_test_util.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace pamirune::testing {
namespace {

const char kPython[] = "/usr/bin/python3";

std::string Hex(const uint8_t* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 15]);
  }
  return out;
}

// Runs the reference decoder on a file; false when it failed.
bool RunDecoder(const std::string& path, std::vector<std::string>& lines) {
  std::string command = std::string(kPython) + " " PAMIRUNE_TEST_DATA_DIR "/mag_decode.py " + path;
  std::string output;
  const int status = testing::RunCommand(command, &output);
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return status == 0;
}

class MagInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kPython)) GTEST_SKIP() << "no " << kPython;
  }
  TempDir temp_;
  std::string dir_ = temp_.path();
};

// Images whose words repeat at every distance the copy vectors reach, and also arbitrary noise.
TBitmap TestImage(int width, int height, TPixelFormat format, uint32_t seed, int alphabet) {
  TBitmap b = Indexed(width, height, format);
  std::mt19937 random(seed);
  std::vector<uint16_t> words;
  for (int i = 0; i < alphabet; ++i) words.push_back(static_cast<uint16_t>(random()));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Stride() / 2; ++x) {
      uint16_t w = words[random() % words.size()];
      row[2 * x] = static_cast<uint8_t>(w);
      row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
    }
  }
  return b;
}

TEST_F(MagInterop, DecoderReadsOurFilesToTheSamePixels) {
  struct Case {
    int width, height;
    TPixelFormat format;
    int alphabet;
  } cases[] = {{64, 48, TPixelFormat::pf4bit, 4},    {64, 48, TPixelFormat::pf8bit, 4},
               {40, 30, TPixelFormat::pf8bit, 3000}, {24, 20, TPixelFormat::pf4bit, 2},
               {8, 1, TPixelFormat::pf4bit, 1},      {4, 33, TPixelFormat::pf8bit, 2}};
  int n = 0;
  for (const Case& c : cases) {
    TBitmap source = TestImage(c.width, c.height, c.format, static_cast<uint32_t>(n), c.alphabet);
    std::string path = dir_ + "/interop" + std::to_string(n++) + ".mag";
    TMAGImage image;
    image.Assign(source);
    image.SaveToFile(path);

    std::vector<std::string> lines;
    ASSERT_TRUE(RunDecoder(path, lines)) << path;
    ASSERT_EQ(lines.size(), 5u + static_cast<size_t>(c.height));
    EXPECT_EQ(lines[0], "size " + std::to_string(c.width) + " " + std::to_string(c.height) + " " +
                            std::to_string(source.BitCount()));
    std::string palette = "palette";
    for (const TRGBQuad& q : source.Palette()) {
      uint8_t rgb[3] = {q.red, q.green, q.blue};
      palette += " " + Hex(rgb, 3);
    }
    EXPECT_EQ(lines[3], palette);
    for (int y = 0; y < c.height; ++y)
      EXPECT_EQ(lines[5 + static_cast<size_t>(y)],
                "row " + Hex(source.ScanLine(y), static_cast<size_t>(source.Stride())))
          << "row " << y;

    if (c.alphabet == 4) {
      // Every one of the sixteen nibbles was used, so every copy distance was exercised.
      std::istringstream counts(lines[4].substr(8));
      for (int k = 0; k < 16; ++k) {
        int count = 0;
        counts >> count;
        EXPECT_GT(count, 0) << "vector " << k;
      }
    }
  }
}

TEST_F(MagInterop, CommentAndStartAsStored) {
  TMAGImage image;
  image.Assign(Indexed(8, 2, TPixelFormat::pf8bit, 4));
  image.SetComment("hello");
  image.SetStartX(20);
  image.SetStartY(3);
  std::string path = dir_ + "/fields.mag";
  image.SaveToFile(path);
  std::vector<std::string> lines;
  ASSERT_TRUE(RunDecoder(path, lines));
  EXPECT_EQ(lines[0], "size 8 2 8");
  EXPECT_EQ(lines[1], "start 20 3");
  EXPECT_EQ(lines[2], "comment " + Hex(reinterpret_cast<const uint8_t*>("hello"), 5));
}

}  // namespace
}  // namespace pamirune::testing
