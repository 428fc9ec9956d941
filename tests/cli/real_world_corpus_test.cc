// Files as other programs write them (made now by Pillow, ImageMagick and libtiff's tools),
// converted by the console program, and compared pixel by pixel with what Pillow (or
// ImageMagick) decodes from the same source. A row whose tool is missing here is skipped.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace pamirune {
namespace {

struct Case {
  const char* name;     // the recipe in corpus_tool.py
  const char* options;  // for the console program, besides the INI and the formats
  const char* output;   // extension written and compared
  int tolerance;        // largest channel difference allowed (lossy sources)
};

const Case kCases[] = {
    // TIFF: every compression and layout.
    {"tiff_packbits", "", "bmp", 0},
    {"tiff_deflate8", "", "bmp", 0},
    {"tiff_deflate32946", "", "bmp", 0},
    {"tiff_lzw_predictor", "", "bmp", 0},
    {"tiff_jpeg_ycbcr", "", "bmp", 2},
    {"tiff_jpeg_rgb", "", "bmp", 2},
    {"tiff_g3", "", "bmp", 0},
    {"tiff_g4", "", "bmp", 0},
    {"tiff_tiled", "", "bmp", 0},
    {"tiff_tiled_deflate", "", "bmp", 0},
    {"tiff_separate", "", "bmp", 0},
    {"tiff_bigendian", "", "bmp", 0},
    {"tiff_fillorder2", "", "bmp", 0},
    // Decoders round 16-bit samples to 8 bits differently.
    {"tiff_rgb16", "", "bmp", 1},
    {"tiff_grey16", "", "bmp", 1},
    {"tiff_ycbcr", "", "bmp", 2},
    {"tiff_palette", "", "bmp", 0},
    {"tiff_cmyk", "", "bmp", 1},
    {"tiff_cmyk_lzw", "", "bmp", 1},
    {"tiff_grey_alpha", "", "bmp", 0},
    {"tiff_rgba", "", "bmp", 0},
    {"tiff_rgba_separate", "", "bmp", 0},
    {"tiff_multipage", "", "bmp", 0},
    {"tiff_orient3", "", "bmp", 0},
    {"tiff_orient6", "", "bmp", 0},
    {"tiff_orient8", "", "bmp", 0},
    {"tiff_orient6_asstored", "--no-auto-orient", "bmp", 0},
    {"tiff_upper_ext", "", "bmp", 0},
    // JPEG: inks, no JFIF segment, EXIF orientation.
    {"jpeg_cmyk_pillow", "", "bmp", 1},
    {"jpeg_cmyk_convert", "", "bmp", 1},
    {"jpeg_no_app0", "", "bmp", 0},
    {"jpeg_exif_2", "", "bmp", 0},
    {"jpeg_exif_3", "", "bmp", 0},
    {"jpeg_exif_5", "", "bmp", 0},
    {"jpeg_exif_6", "", "bmp", 0},
    {"jpeg_exif_7", "", "bmp", 0},
    {"jpeg_exif_8", "", "bmp", 0},
    {"jpeg_exif_6_asstored", "--no-auto-orient", "bmp", 0},
    // GIF and PNG sources with a transparent colour of their own: without the option nothing
    // is transparent, with it the top-left colour and nothing else.
    {"gif_key", "", "gif", 0},
    {"gif_key_transparent", "--transparent", "gif", 0},
    {"gif_key_topng", "", "png", 0},
    {"gif_key_topng_transparent", "--transparent", "png", 0},
    {"png_key_palette", "", "gif", 0},
    {"png_key_palette_transparent", "--transparent", "png", 0},
    {"png_key_rgb", "", "png", 0},
    {"png_key_rgb_transparent", "--transparent", "gif", 0},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The command's exit status (-1 when it did not run to an end).
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Pam {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
};

Pam ReadPam(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Pam pam;
  std::string line;
  while (std::getline(in, line) && line != "ENDHDR") {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "WIDTH") words >> pam.width;
    if (key == "HEIGHT") words >> pam.height;
  }
  pam.rgba.resize(static_cast<size_t>(pam.width) * pam.height * 4);
  in.read(reinterpret_cast<char*>(pam.rgba.data()), static_cast<std::streamsize>(pam.rgba.size()));
  return pam;
}

class RealWorldCorpus : public ::testing::TestWithParam<Case> {};

TEST_P(RealWorldCorpus, ConvertsAsOtherDecodersShowIt) {
  const Case& c = GetParam();
  testing::TempDir dir;
  const std::string tool =
      std::string("/usr/bin/python3 ") + PAMIRUNE_TEST_DATA_DIR + "/corpus_tool.py";
  const int made = Shell(tool + " make " + c.name + " " + Quote(dir.path()) + " > " +
                         Quote(dir.File("input.txt")) + " 2> " + Quote(dir.File("make.err")));
  // 77: the recipe found a tool missing; 127: no Python at all.
  if (made == 77 || made == 127) GTEST_SKIP() << "a tool for " << c.name << " is missing";
  ASSERT_EQ(made, 0) << dir.Read("make.err");
  std::string input = dir.Read("input.txt");
  input.erase(input.find_last_not_of('\n') + 1);

  // A settings file of its own, so that nothing of the user's changes the result. The output
  // goes beside the input ("s" added): a kept source is never replaced by its own output.
  const std::string colour = std::string(c.output) == "gif" ? "256" : "full";
  const std::string command = std::string(PAMIRUNE_CLI) + " --ini " + Quote(dir.File("test.ini")) +
                              " --yes --no-dialogs --overwrite --dispose keep --suffix-s" +
                              " --colour " + colour + " --formats " + c.output + " " + c.options +
                              " " + Quote(dir.File(input)) + " > " + Quote(dir.File("cli.out")) +
                              " 2>&1";
  ASSERT_EQ(Shell(command), 0) << dir.Read("cli.out");
  const std::string output = dir.File(input.substr(0, input.rfind('.')) + "s." + c.output);
  ASSERT_EQ(Shell(tool + " decode " + Quote(output) + " " + Quote(dir.File("out.pam"))), 0);

  const Pam want = ReadPam(dir.File("expected.pam"));
  const Pam got = ReadPam(dir.File("out.pam"));
  ASSERT_GT(want.width, 0);
  ASSERT_EQ(got.width, want.width);
  ASSERT_EQ(got.height, want.height);
  int worst = 0, wrong = 0, first = -1;
  for (size_t i = 0; i < want.rgba.size(); i += 4) {
    const bool want_clear = want.rgba[i + 3] == 0, got_clear = got.rgba[i + 3] == 0;
    int diff = want_clear == got_clear ? 0 : 255;
    if (!want_clear)
      for (size_t k = 0; k < 3; ++k)
        diff = std::max(diff, std::abs(want.rgba[i + k] - got.rgba[i + k]));
    worst = std::max(worst, diff);
    if (diff > c.tolerance && wrong++ == 0) first = static_cast<int>(i / 4);
  }
  EXPECT_LE(worst, c.tolerance) << wrong << " pixels differ, the first at x=" << first % want.width
                                << " y=" << first / want.width << "\n"
                                << dir.Read("cli.out");
}

INSTANTIATE_TEST_SUITE_P(Files, RealWorldCorpus, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace pamirune
