// Our JPEG files read by Pillow, and files written by Pillow read by us: the pixels agree
// within the rounding of different inverse DCTs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jpeg_test_util.h"
#include "raster/stream.h"
#include "support/temp_dir.h"

namespace pamirune::testing {
namespace {

const char kPython[] = "/usr/bin/python3";

class JpegInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kPython) ||
        std::system((std::string(kPython) + " -c 'import PIL' 2>/dev/null").c_str()) != 0)
      GTEST_SKIP() << "Pillow is not available";
  }

  bool Tool(const std::string& args) {
    std::string command = std::string(kPython) + " " PAMIRUNE_TEST_DATA_DIR "/jpeg_tool.py " + args;
    return std::system(command.c_str()) == 0;
  }

  // Pillow's decoding of a file as a 24-bit or (greyscale) 8-bit grey raster.
  TBitmap PillowDecode(const std::string& path) {
    std::string raw = path + ".raw";
    EXPECT_TRUE(Tool("decode " + path + " " + raw));
    std::vector<uint8_t> bytes = ReadWholeFile(raw);
    std::string text(bytes.begin(), bytes.end());
    std::istringstream header(text);
    int w = 0, h = 0, channels = 0;
    header >> w >> h >> channels;
    size_t at = text.find('\n') + 1;
    TBitmap out(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = bytes.data() + at + (static_cast<size_t>(y) * w + x) * channels;
        out.SetPixel(x, y, channels == 1 ? RGB(p[0], p[0], p[0]) : RGB(p[0], p[1], p[2]));
      }
    return out;
  }

  TempDir temp_;
  std::string dir_ = temp_.path();
};

TEST_F(JpegInterop, PillowReadsOurFiles) {
  struct Case {
    const char* name;
    bool grayscale, progressive;
    TPixelFormat format;
  } cases[] = {{"plain", false, false, TPixelFormat::pf24bit},
               {"grey", true, false, TPixelFormat::pf24bit},
               {"progressive", false, true, TPixelFormat::pf24bit},
               {"palette", false, false, TPixelFormat::pf8bit}};
  for (const Case& c : cases) {
    TBitmap source = Picture(45, 33);
    if (c.format != TPixelFormat::pf24bit) source.SetPixelFormat(c.format);
    TJPEGImage jpeg;
    jpeg.Assign(source);
    jpeg.SetGrayscale(c.grayscale);
    jpeg.SetProgressiveEncoding(c.progressive);
    jpeg.Compress();
    std::string path = dir_ + "/ours_" + c.name + ".jpg";
    jpeg.SaveToFile(path);

    TBitmap theirs = PillowDecode(path);
    TBitmap ours = Decode(ReadWholeFile(path));
    ASSERT_EQ(theirs.Width(), 45) << c.name;
    ASSERT_EQ(theirs.Height(), 33) << c.name;
    EXPECT_LE(MaxDifference(theirs, ours), 3) << c.name;
    // The colours are where they belong: the red block reads red, not blue.
    TColor red = theirs.Pixel(16, 12);
    if (c.grayscale) {
      EXPECT_EQ(GetRValue(red), GetBValue(red)) << c.name;
    } else {
      EXPECT_GT(GetRValue(red), 180) << c.name;
      EXPECT_LT(GetBValue(red), 90) << c.name;
    }
    if (!c.grayscale) {
      EXPECT_LE(MeanDifference(theirs, source), 8) << c.name;
    }
  }
}

TEST_F(JpegInterop, WeReadPillowsFiles) {
  for (const char* kind : {"baseline", "progressive", "grey", "exif"}) {
    std::string path = dir_ + "/pillow_" + kind + ".jpg";
    ASSERT_TRUE(Tool(std::string("make ") + kind + " " + path)) << kind;
    TBitmap theirs = PillowDecode(path);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    EXPECT_EQ(jpeg.Width(), 67) << kind;
    EXPECT_EQ(jpeg.Height(), 45) << kind;
    EXPECT_EQ(jpeg.ProgressiveEncoding(), std::string(kind) == "progressive") << kind;
    TBitmap ours;
    ours.Assign(jpeg);
    ASSERT_EQ(ours.Width(), 67) << kind;
    EXPECT_EQ(ours.PixelFormat(),
              std::string(kind) == "grey" ? TPixelFormat::pf8bit : TPixelFormat::pf24bit)
        << kind;
    EXPECT_LE(MaxDifference(theirs, ours), 3) << kind;
  }
}

}  // namespace
}  // namespace pamirune::testing
