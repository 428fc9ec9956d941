// Interoperability: Pillow and giflib's tools read the files we write (frame count, delays,
// loop count, transparent index, pixels), and we read what ImageMagick, Pillow and gifsicle
// write (interlaced, global and local maps, several frames) pixel for pixel as Pillow does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "formats/gif/gif.h"
#include "formats/gif/gif_frames.h"
#include "gif_test_util.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;
using gif_test::Indexed;
using gif_test::TrueColour;

constexpr char kPython[] = "/usr/bin/python3";

// Prints three lines for each file: frame count, loop, size and frame 0's transparency; frame 0
// as RGB bytes; the delays of all frames.
constexpr char kPillowScript[] = R"(import sys
from PIL import Image
for path in sys.argv[1:]:
    im = Image.open(path)
    n = getattr(im, 'n_frames', 1)
    print(n, im.info.get('loop', 'none'), im.size[0], im.size[1], im.info.get('transparency', 'none'))
    print(im.convert('RGB').tobytes().hex())
    durations = []
    for i in range(n):
        im.seek(i)
        durations.append(str(im.info.get('duration', 'none')))
    print(' '.join(durations))
)";

std::string Shell(const std::string& command) {
  std::string out;
  pamirune::testing::RunCommand(command, &out);
  return out;
}

bool Executable(const char* path) { return ::access(path, X_OK) == 0; }

struct PillowView {
  int frames = 0;
  std::string loop;
  int width = 0, height = 0;
  std::string transparency;
  std::string rgb0;
  std::vector<std::string> durations;
};

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Frame 0 as our reader renders it, in Pillow's RGB byte order.
std::string OurRgb0(const std::string& path) {
  TGIFImage gif;
  gif.LoadFromFile(path);
  TBitmap frame0;
  frame0.Assign(gif);
  std::vector<uint8_t> rgb;
  for (int y = 0; y < frame0.Height(); ++y)
    for (int x = 0; x < frame0.Width(); ++x) {
      const TColor c = frame0.Pixel(x, y);
      rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return Hex(rgb);
}

std::string RgbOf(const TBitmap& bitmap) {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.Pixel(x, y);
      rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return Hex(rgb);
}

class GifInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Executable(kPython) ||
        Shell(std::string(kPython) + " -c 'import PIL' 2>&1 && echo ok").find("ok") ==
            std::string::npos)
      GTEST_SKIP() << "Pillow is not available";
    std::ofstream(Path("view.py")) << kPillowScript;
  }
  void TearDown() override {
    if (std::getenv("GIF_KEEP")) temp_.Keep();
  }
  std::string Path(const std::string& name) const { return temp_.File(name); }

  std::map<std::string, PillowView> Pillow(const std::vector<std::string>& paths) {
    std::string command = std::string(kPython) + " " + Path("view.py");
    for (const auto& p : paths) command += " '" + p + "'";
    std::istringstream lines(Shell(command + " 2>&1"));
    std::map<std::string, PillowView> views;
    for (const auto& path : paths) {
      PillowView& v = views[path];
      std::string line, d;
      std::getline(lines, line);
      std::istringstream(line) >> v.frames >> v.loop >> v.width >> v.height >> v.transparency;
      std::getline(lines, v.rgb0);
      std::getline(lines, line);
      for (std::istringstream in(line); in >> d;) v.durations.push_back(d);
    }
    return views;
  }

  pamirune::testing::TempDir temp_;
  fs::path dir_ = temp_.path();
};

// ---------------------------------------------------------------------------------------------
// Our files, read by others

TEST_F(GifInteropTest, PillowAndGiflibReadOurAnimation) {
  TGIFImage gif;
  const TBitmap first = Indexed(5, 4, {RGB(255, 0, 0), RGB(0, 0, 255), kClWhite},
                                {0, 1, 2, 0, 1, 1, 2, 0, 1, 2, 2, 0, 1, 2, 0, 0, 0, 1, 1, 2});
  std::vector<TColor> colours;
  for (int i = 0; i < 7 * 6; ++i) colours.push_back(RGB(i * 6, 255 - i * 5, (i * 50) & 0xFF));
  AddGifFrame(gif, first, false, "30");
  AddGifFrame(gif, TrueColour(7, 6, colours), true, "7");
  AddGifFrame(gif, Indexed(3, 3, {kClBlack, kClWhite}, {1, 0, 1, 0, 1, 0, 1, 0, 1}), true, "");
  const std::string path = Path("ours.gif");
  gif.SaveToFile(path);

  auto views = Pillow({path});
  const PillowView& v = views[path];
  EXPECT_EQ(v.frames, 3);
  EXPECT_EQ(v.loop, "0");
  EXPECT_EQ(v.width, 7);
  EXPECT_EQ(v.height, 6);
  EXPECT_EQ(v.durations, (std::vector<std::string>{"300", "70", "300"}));
  EXPECT_EQ(v.transparency, "none");
  // Frame 0 on the 7 x 6 screen: its own pixels, index 0 (red) elsewhere.
  TBitmap expected(7, 6, TPixelFormat::pf24bit);
  expected.Fill(RGB(255, 0, 0));
  expected.CopyFrom(first, 0, 0);
  EXPECT_EQ(v.rgb0, RgbOf(expected));

  if (!Executable("/usr/bin/giftext")) GTEST_SKIP() << "giftext is not available";
  const std::string text = Shell("/usr/bin/giftext '" + path + "' 2>&1");
  EXPECT_NE(text.find("GIF file terminated normally"), std::string::npos) << text;
  EXPECT_NE(text.find("Image #3"), std::string::npos);
  EXPECT_EQ(text.find("Image #4"), std::string::npos);
  EXPECT_NE(text.find("DelayTime: 30"), std::string::npos);
  EXPECT_NE(text.find("DelayTime: 7"), std::string::npos);
  const int index1 = gif.Images()[1].Pixels(0, 0);
  EXPECT_NE(text.find("Transparent Index: " + std::to_string(index1)), std::string::npos) << text;
  EXPECT_NE(text.find("Transparent Index: 1"), std::string::npos);
}

TEST_F(GifInteropTest, PixelsSurviveEveryDepthAndBothEncoders) {
  std::mt19937 random(1);
  std::vector<std::string> paths;
  std::map<std::string, std::string> expected;
  for (int bits : {1, 2, 4, 8}) {
    for (TGIFCompression compression : {TGIFCompression::gcLZW, TGIFCompression::gcRLE}) {
      const int width = 300, height = 160;  // enough codes to pass 4,094 at 8 bits
      std::vector<TColor> palette;
      for (int i = 0; i < (1 << bits); ++i) palette.push_back(RGB(i, 255 - i, (i * 7) & 0xFF));
      std::vector<uint8_t> indices(width * height);
      for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<uint8_t>(((i / 40) % 2 ? random() : i / 300) % (1u << bits));
      TGIFImage gif;
      gif.SetCompression(compression);
      const TBitmap bitmap = Indexed(width, height, palette, indices);
      gif.Add(bitmap);
      if (bits == 4) gif.Images()[0].SetInterlaced(true);
      const std::string path = Path("depth" + std::to_string(bits) +
                                    (compression == TGIFCompression::gcRLE ? "r" : "l") + ".gif");
      gif.SaveToFile(path);
      paths.push_back(path);
      expected[path] = RgbOf(bitmap);
    }
  }
  auto views = Pillow(paths);
  for (const auto& path : paths) {
    EXPECT_EQ(views[path].frames, 1) << path;
    EXPECT_TRUE(views[path].rgb0 == expected[path]) << path;
  }
  if (!Executable("/usr/bin/gif2rgb")) GTEST_SKIP() << "gif2rgb is not available";
  for (const auto& path : paths) {
    const std::string rgb = path + ".rgb";
    Shell("/usr/bin/gif2rgb -1 -o '" + rgb + "' '" + path + "' 2>&1");
    std::ifstream in(rgb, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    EXPECT_TRUE(Hex(bytes) == expected[path]) << path << " (" << bytes.size() << " bytes)";
  }
}

// ---------------------------------------------------------------------------------------------
// Their files, read by us

TEST_F(GifInteropTest, FilesOfOtherProgramsLoadAsPillowReadsThem) {
  std::vector<std::string> paths;
  // Pillow: global map, local maps, interlaced, transparency, several frames.
  const std::string make = R"(import sys, random
from PIL import Image
d = sys.argv[1]
random.seed(4)
def pal(n, k):
    return [((i * k) >> s) & 255 for i in range(n) for s in (0, 3, 6)]
a = Image.new('P', (61, 47)); a.putpalette(pal(256, 11))
a.putdata([random.randrange(256) if (i // 61) % 3 else i % 256 for i in range(61 * 47)])
b = Image.new('P', (61, 47)); b.putpalette(pal(16, 97))
b.putdata([(i * 7) % 16 for i in range(61 * 47)])
a.save(d + '/pil_interlaced.gif', interlace=True)
a.save(d + '/pil_plain.gif', interlace=False, transparency=3)
b.save(d + '/pil_anim.gif', save_all=True, append_images=[a, b.rotate(90)], duration=[50, 80, 120], loop=2)
c = Image.new('P', (20, 2)); c.putpalette([0, 0, 0, 255, 255, 255]); c.putdata([i % 2 for i in range(40)])
c.save(d + '/pil_two.gif')
)";
  std::ofstream(Path("make.py")) << make;
  Shell(std::string(kPython) + " " + Path("make.py") + " " + dir_.string() + " 2>&1");
  for (const char* name : {"pil_interlaced.gif", "pil_plain.gif", "pil_anim.gif", "pil_two.gif"})
    paths.push_back(Path(name));

  if (Executable("/usr/bin/convert")) {
    const std::string c = "/usr/bin/convert";
    Shell(c + " -size 64x48 gradient:red-blue -colors 50 '" + Path("im_gradient.gif") + "' 2>&1");
    Shell(c + " -size 50x40 plasma:fractal -colors 200 -interlace GIF '" +
          Path("im_interlaced.gif") + "' 2>&1");
    Shell(c + " -delay 20 -size 30x20 xc:red xc:blue xc:'#00ff80' -loop 0 '" + Path("im_anim.gif") +
          "' 2>&1");
    for (const char* name : {"im_gradient.gif", "im_interlaced.gif", "im_anim.gif"})
      paths.push_back(Path(name));
  }
  if (Executable("/usr/bin/gifsicle")) {
    const std::string g = "/usr/bin/gifsicle";
    Shell(g + " --interlace '" + Path("pil_plain.gif") + "' -o '" + Path("gs_interlaced.gif") +
          "' 2>&1");
    Shell(g + " --colors 16 '" + Path("pil_interlaced.gif") + "' -o '" + Path("gs_16.gif") +
          "' 2>&1");
    Shell(g + " -O2 '" + Path("pil_anim.gif") + "' -o '" + Path("gs_anim.gif") + "' 2>&1");
    Shell(g + " --no-interlace '" + Path("pil_two.gif") + "' '" + Path("pil_interlaced.gif") +
          "' -o '" + Path("gs_local.gif") + "' 2>&1");
    for (const char* name : {"gs_interlaced.gif", "gs_16.gif", "gs_anim.gif", "gs_local.gif"})
      paths.push_back(Path(name));
  }

  auto views = Pillow(paths);
  for (const auto& path : paths) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(fs::exists(path));
    const PillowView& v = views[path];
    ASSERT_GT(v.frames, 0);
    TGIFImage gif;
    gif.LoadFromFile(path);
    EXPECT_EQ(gif.Images().Count(), v.frames);
    EXPECT_EQ(gif.Width(), v.width);
    EXPECT_EQ(gif.Height(), v.height);
    EXPECT_TRUE(OurRgb0(path) == v.rgb0);
    // And what we write back from it still reads the same in Pillow.
    const std::string again = path + ".again.gif";
    gif.SaveToFile(again);
    auto back = Pillow({again});
    EXPECT_EQ(back[again].frames, v.frames);
    EXPECT_TRUE(back[again].rgb0 == v.rgb0);
    EXPECT_EQ(back[again].durations, v.durations);
    EXPECT_EQ(back[again].loop, v.loop);
  }
}

}  // namespace
}  // namespace pamirune
