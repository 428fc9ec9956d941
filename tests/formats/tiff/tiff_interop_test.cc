// Interoperability: our TIFF files checked by libtiff's tiffinfo and decoded by Pillow; files
// made by Pillow and rewritten by tiffcp (LZW with and without predictor, several strips)
// loaded by our reader, pixel for pixel.
#include <gtest/gtest.h>

#include "formats/tiff/tiff.h"
#include "formats/tiff/tiff_test_util.h"

namespace pamirune {
namespace {

using namespace tiff_test;

TEST(TiffInterop, OurFilesPassTiffinfoAndDecodeIdenticallyInPillow) {
  if (!HaveExecutable("/usr/bin/tiffinfo") || !HavePillow()) GTEST_SKIP() << "tools missing";
  TempDir dir;
  TBitmap grey4 = MakeIndexed(41, 19, 4, true);
  std::vector<TRGBQuad> ramp(16);
  for (int i = 0; i < 16; ++i) ramp[i] = {uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17), 0};
  grey4.SetPalette(ramp);
  std::vector<std::pair<std::string, TBitmap>> images = {
      {"bw", MakeIndexed(45, 33, 1, true)},  {"grey4", grey4},
      {"colour4", MakeIndexed(41, 19, 4)},   {"grey8", MakeIndexed(200, 400, 8, true)},
      {"colour8", MakeIndexed(200, 400, 8)}, {"rgb", MakeRgb(333, 211)},
  };
  for (const auto& [name, image] : images) {
    for (int mode = 0; mode < 3; ++mode) {  // raw, LZW, LZW + predictor
      std::string path = dir.File(name + std::to_string(mode) + ".tif");
      SCOPED_TRACE(path);
      TTIFFBitMap tiff;
      static_cast<TBitmap&>(tiff) = image;
      tiff.SetAskForOptions(false);
      tiff.SetCompress(mode > 0);
      tiff.SetPredict(mode == 2);
      tiff.SaveToFile(path);
      std::string info;
      EXPECT_EQ(RunTool("/usr/bin/tiffinfo -D '" + path + "'", &info), 0) << info;
      EXPECT_EQ(info.find("Error"), std::string::npos) << info;
      // libtiff knows the Predictor tag only for compressed files; the directory always has it.
      std::string warnings = info;
      if (mode == 0) {
        auto at = warnings.find("Warning, Unknown field with tag 317");
        if (at != std::string::npos) warnings.erase(at, 7);
      }
      EXPECT_EQ(warnings.find("Warning"), std::string::npos) << info;
      int w = 0, h = 0;
      std::vector<TColor> colors;
      std::string log;
      ASSERT_TRUE(PillowPixels(path, dir.File("dump.raw"), &w, &h, &colors, &log)) << log;
      EXPECT_EQ(w, image.Width());
      EXPECT_EQ(h, image.Height());
      EXPECT_TRUE(colors == Colors(image));
    }
  }
}

TEST(TiffInterop, FilesRewrittenByTiffcpLoadPixelIdentical) {
  if (!HaveExecutable("/usr/bin/tiffcp") || !HavePillow()) GTEST_SKIP() << "tools missing";
  TempDir dir;
  const char* modes[] = {"RGB", "L", "P", "P16", "1"};
  const char* options[] = {"-c lzw", "-c lzw:2", "-c none -r 5", "-c lzw:2 -r 3", "-c none"};
  for (const char* mode : modes) {
    std::string source = dir.File(std::string(mode) + ".tif");
    std::string out;
    ASSERT_EQ(RunTool(std::string(kPython) + " " + ToolScript() + " make '" + source + "' " + mode +
                          " 97 61",
                      &out),
              0)
        << out;
    for (const char* option : options) {
      if (std::string(mode) == "1" && std::string(option).find(":2") != std::string::npos)
        continue;  // no predictor for 1-bit images
      std::string target = dir.File("cp.tif");
      std::filesystem::remove(target);
      ASSERT_EQ(
          RunTool(std::string("/usr/bin/tiffcp ") + option + " '" + source + "' '" + target + "'",
                  &out),
          0)
          << out;
      SCOPED_TRACE(std::string(mode) + " " + option);
      int w = 0, h = 0;
      std::vector<TColor> expected;
      ASSERT_TRUE(PillowPixels(target, dir.File("dump.raw"), &w, &h, &expected));
      TTIFFBitMap tiff;
      std::vector<std::string> warnings;
      tiff.OnWarning = [&](const std::string& m, const std::string&) { warnings.push_back(m); };
      tiff.LoadFromFile(target);
      EXPECT_TRUE(warnings.empty()) << warnings.front();
      ASSERT_EQ(tiff.Width(), w);
      ASSERT_EQ(tiff.Height(), h);
      EXPECT_TRUE(Colors(tiff) == expected);
    }
  }
}

}  // namespace
}  // namespace pamirune
