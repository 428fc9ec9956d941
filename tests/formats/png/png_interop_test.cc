// Interoperability: files made by Pillow and ImageMagick decode as Pillow decodes them, and
// every file we write passes pngcheck and decodes in Pillow to the same pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "formats/png/png_reader.h"
#include "formats/png/png_stream.h"
#include "png_test_util.h"
#include "raster/byte_order.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using png_test::Bytes;

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kConvert[] = "/usr/bin/convert";
constexpr char kPngcheck[] = "/usr/bin/pngcheck";

// Writes, beside every PNG named on the command line, NAME.rgba: width and height (32-bit
// big-endian) and Pillow's reading as RGBA bytes (16-bit samples by their high byte).
constexpr char kReferenceScript[] = R"PY(
import struct, sys
from PIL import Image
for path in sys.argv[1:]:
    im = Image.open(path)
    im.load()
    with open(path, 'rb') as f:
        head = f.read(29)
    depth, ctype = head[24], head[25]
    if ctype == 0 and depth < 8 and 'transparency' in im.info:
        # Pillow keeps the raw level of a 1-, 2- or 4-bit tRNS but scales the pixels.
        t = im.info['transparency'] * 255 // ((1 << depth) - 1)
        data = bytes(c for v in im.convert('L').getdata() for c in (v, v, v, 0 if v == t else 255))
    elif im.mode in ('I;16', 'I;16B', 'I'):
        data = bytes(c for v in im.getdata() for c in (v >> 8, v >> 8, v >> 8, 255))
    else:
        data = im.convert('RGBA').tobytes()
    with open(path + '.rgba', 'wb') as f:
        f.write(struct.pack('>II', im.width, im.height) + data)
)PY";

// Makes third-party PNG files of every colour type and bit depth into the folder argv[1],
// with Pillow where it writes the type and ImageMagick otherwise, and Adam7 versions of them.
constexpr char kMakeScript[] = R"PY(
import os, random, subprocess, sys
from PIL import Image
D, CONVERT = sys.argv[1], sys.argv[2]
random.seed(7)
W, H = 13, 11
N = W * H
def rnd(k):
    return [random.randrange(k) for _ in range(N)]
def path(name):
    return os.path.join(D, name)
def im_convert(args, src, dst, prefix=''):
    subprocess.run([CONVERT, path(src)] + args + [prefix + path(dst)], check=True)

im = Image.new('1', (W, H)); im.putdata([v * 255 for v in rnd(2)]); im.save(path('g1.png'))
im = Image.new('L', (W, H)); im.putdata(rnd(256)); im.save(path('g8.png'))
im.save(path('g8_trns.png'), transparency=im.getpixel((0, 0)))
im = Image.new('I;16', (W, H)); im.putdata(rnd(65536)); im.save(path('g16.png'))
im = Image.new('LA', (W, H)); im.putdata(list(zip(rnd(256), rnd(256)))); im.save(path('ga8.png'))
for bits in (1, 2, 4, 8):
    k = 1 << bits
    im = Image.new('P', (W, H)); im.putpalette([random.randrange(256) for _ in range(3 * k)])
    im.putdata(rnd(k)); im.save(path('p%d.png' % bits), bits=bits)
im.save(path('p8_trns.png'), transparency=3)
im.save(path('p8_alpha.png'), transparency=bytes(random.randrange(256) for _ in range(200)))
rgb = Image.new('RGB', (W, H)); rgb.putdata(list(zip(rnd(256), rnd(256), rnd(256)))); rgb.save(path('rgb8.png'))
rgb.save(path('rgb8_trns.png'), transparency=rgb.getpixel((1, 1)))
rgba = Image.new('RGBA', (W, H)); rgba.putdata(list(zip(rnd(256), rnd(256), rnd(256), rnd(256)))); rgba.save(path('rgba8.png'))
for name, levels in (('lv2.png', 4), ('lv4.png', 16)):
    im = Image.new('L', (W, H)); im.putdata([v * (255 // (levels - 1)) for v in rnd(levels)]); im.save(path(name))
im_convert(['-type', 'Grayscale'], 'lv2.png', 'g2_im.png')
im_convert(['-type', 'Grayscale'], 'lv4.png', 'g4_im.png')
im_convert([], 'rgb8.png', 'rgb16_im.png', 'PNG48:')
im_convert([], 'rgba8.png', 'rgba16_im.png', 'PNG64:')
im_convert(['-depth', '16', '-colorspace', 'Gray', '-type', 'GrayscaleAlpha'], 'rgba8.png', 'ga16_im.png')
os.remove(path('lv2.png')); os.remove(path('lv4.png'))

# ImageMagick's Adam7 versions of everything above; the colour files keep their type.
KEEP = {'rgb8.png': 'PNG24:', 'rgb8_trns.png': 'PNG24:', 'rgba8.png': 'PNG32:', 'rgb16_im.png': 'PNG48:',
        'rgba16_im.png': 'PNG64:'}
for name in sorted(os.listdir(D)):
    if name.endswith('.png'):
        im_convert(['-interlace', 'PNG'], name, name[:-4] + '_imi.png', KEEP.get(name, ''))
)PY";

bool ToolsPresent() { return png_test::HavePillow() && png_test::HaveTool(kConvert); }

struct Rgba {
  int width = 0;
  int height = 0;
  Bytes pixels;
};

Rgba ReadReference(const std::string& png_path) {
  Bytes b = png_test::ReadFile(png_path + ".rgba");
  Rgba r;
  if (b.size() < 8) return r;
  r.width = static_cast<int>(GetBe32(b.data()));
  r.height = static_cast<int>(GetBe32(b.data() + 4));
  r.pixels.assign(b.begin() + 8, b.end());
  return r;
}

// Our reading as RGBA: the raster's colours, alpha from the mask or the transparent colour.
Rgba OurRgba(const PngImage& png) {
  const TBitmap& img = png.Bitmap();
  Rgba r{img.Width(), img.Height(), {}};
  const bool mask = png.Options().alpha_present && !png.AlphaMask().Empty();
  const TColor trns = png.TransparentColor();
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      TColor c = img.Pixel(x, y);
      uint8_t a = 255;
      if (mask) {
        a = static_cast<uint8_t>(255 - png.AlphaMask().ScanLine(y)[x]);
      } else if (trns != kPngNoColor) {
        bool hit = (trns & kPaletteIndexFlag) ? img.RawPixel(x, y) == (trns & 0xFF) : c == trns;
        if (hit) a = 0;
      }
      r.pixels.insert(r.pixels.end(), {GetRValue(c), GetGValue(c), GetBValue(c), a});
    }
  return r;
}

::testing::AssertionResult SameRgba(const Rgba& ours, const Rgba& ref, const std::string& what) {
  if (ours.width != ref.width || ours.height != ref.height)
    return ::testing::AssertionFailure() << what << ": size " << ours.width << "x" << ours.height
                                         << " vs " << ref.width << "x" << ref.height;
  for (size_t i = 0; i < ref.pixels.size(); ++i)
    if (i >= ours.pixels.size() || ours.pixels[i] != ref.pixels[i]) {
      size_t p = i / 4;
      return ::testing::AssertionFailure()
             << what << ": pixel (" << p % static_cast<size_t>(ref.width) << ", "
             << p / static_cast<size_t>(ref.width) << ") channel " << i % 4 << " ours "
             << (i < ours.pixels.size() ? static_cast<int>(ours.pixels[i]) : -1) << " Pillow "
             << static_cast<int>(ref.pixels[i]);
    }
  return ::testing::AssertionSuccess();
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

class PngInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!ToolsPresent()) return;
    temp_ = std::make_unique<pamirune::testing::TempDir>();
    dir_ = temp_->path();
    png_test::WriteFile(dir_ + "/make.py",
                        Bytes(kMakeScript, kMakeScript + sizeof kMakeScript - 1));
    png_test::WriteFile(dir_ + "/ref.py",
                        Bytes(kReferenceScript, kReferenceScript + sizeof kReferenceScript - 1));
    std::filesystem::create_directory(dir_ + "/third");
    made_ = png_test::Run(std::string(kPython) + " " + Quote(dir_ + "/make.py") + " " +
                          Quote(dir_ + "/third") + " " + kConvert + " 2>&1") == 0;
  }
  static void TearDownTestSuite() {
    temp_.reset();
    dir_.clear();
  }
  void SetUp() override {
    if (!ToolsPresent()) GTEST_SKIP() << "Pillow or ImageMagick missing";
  }
  // Runs the reference script over the files.
  static void References(const std::vector<std::string>& files) {
    std::string cmd = std::string(kPython) + " " + Quote(dir_ + "/ref.py");
    for (const std::string& f : files) cmd += " " + Quote(f);
    ASSERT_EQ(png_test::Run(cmd + " 2>&1"), 0);
  }
  static std::vector<std::string> ThirdPartyFiles() {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/third"))
      if (e.path().extension() == ".png") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
  }
  static inline std::unique_ptr<pamirune::testing::TempDir> temp_;
  static inline std::string dir_;
  static bool made_;
};
bool PngInterop::made_ = false;

TEST_F(PngInterop, ThirdPartyFilesOfEveryKindDecodeAsPillowDoes) {
  ASSERT_TRUE(made_);
  std::vector<std::string> files = ThirdPartyFiles();
  References(files);
  std::set<std::tuple<int, int, int>> seen;  // colour type, depth, interlace
  for (const std::string& f : files) {
    Bytes bytes = png_test::ReadFile(f);
    ASSERT_GT(bytes.size(), 28u) << f;
    seen.insert({bytes[25], bytes[24], bytes[28]});
    PngImage png;
    png_test::Decode(bytes, png);
    EXPECT_TRUE(
        SameRgba(OurRgba(png), ReadReference(f), std::filesystem::path(f).filename().string()));
  }
  // Every colour type and bit depth, with and without Adam7 (ImageMagick writes no Adam7
  // 1-bit palette files; the writer's interoperability test covers those).
  const std::map<int, std::vector<int>> depths = {
      {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  for (const auto& [type, list] : depths)
    for (int d : list)
      for (int il : {0, 1}) {
        if (type == 3 && d == 1 && il == 1) continue;
        EXPECT_TRUE(seen.count({type, d, il}))
            << "no file of type " << type << " depth " << d << " interlace " << il;
      }
}

TEST_F(PngInterop, TruncatedAndGarbageFiles) {
  ASSERT_TRUE(made_);
  std::string src = dir_ + "/third/rgb16_im.png";
  References({src});
  Rgba full = ReadReference(src);
  Bytes bytes = png_test::ReadFile(src);
  // Drop the second half of the file: the rows decoded so far are Pillow's rows.
  Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 2 / 3));
  TMemoryStream mem(cut);
  PngReadStream reader(mem);
  TBitmap image, alpha;
  PngOptions meta;
  reader.Read(image, alpha, meta);
  ASSERT_GT(reader.RowsDecoded(), 0);
  ASSERT_LT(reader.RowsDecoded(), full.height);
  for (int y = 0; y < reader.RowsDecoded(); ++y)
    for (int x = 0; x < full.width; ++x) {
      const uint8_t* p = &full.pixels[(static_cast<size_t>(y) * full.width + x) * 4];
      ASSERT_EQ(image.Pixel(x, y), RGB(p[0], p[1], p[2])) << x << "," << y;
    }
  // Garbage instead of the zlib data; garbage instead of the file.
  auto chunks = png_test::ParseChunks(bytes);
  png_test::PngBuilder b;
  b.Signature();
  for (const auto& c : chunks)
    b.Chunk(c.type, c.type == "IDAT" ? Bytes{0x78, 0x9C, 0xFF, 0xFE, 0xFD, 0xFC} : c.data);
  PngImage png;
  try {
    png_test::Decode(b.bytes(), png);
    ADD_FAILURE();
  } catch (const EPngError& e) {
    EXPECT_STREQ(e.what(), "Read Image (PNG): Read Error");
  }
  Bytes garbage(bytes.size());
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 7 + 3);
  try {
    png_test::Decode(garbage, png);
    ADD_FAILURE();
  } catch (const EPngError& e) {
    EXPECT_STREQ(e.what(), "PNG LoadStream: Not PNG Format");
  }
}

TEST_F(PngInterop, OurFilesPassPngcheckAndDecodeInPillow) {
  struct Case {
    std::string name;
    TBitmap image;
    PngOptions options;
    bool alpha = false;
  };
  std::vector<Case> cases;
  const std::pair<const char*, TPixelFormat> formats[] = {
      {"1", TPixelFormat::pf1bit},   {"4", TPixelFormat::pf4bit},   {"8", TPixelFormat::pf8bit},
      {"15", TPixelFormat::pf15bit}, {"16", TPixelFormat::pf16bit}, {"24", TPixelFormat::pf24bit},
      {"32", TPixelFormat::pf32bit}};
  int n = 0;
  for (const auto& [fname, format] : formats)
    for (bool grey : {false, true})
      for (bool alpha : {false, true})
        for (int interlace : {0, 1})
          for (int filter : {0, 1, 2, 3, 4, 5}) {
            Case c;
            int bits = BitsPerPixel(format);
            c.image = bits <= 8 ? png_test::MakeIndexed(17, 9, bits, static_cast<uint32_t>(n))
                                : png_test::MakeRgb(17, 9, format, static_cast<uint32_t>(n));
            c.options.greyscale = grey;
            c.options.interlace = interlace;
            c.options.filter_mode = filter;
            c.options.compression_level = n % 10;
            c.alpha = alpha;
            if (!alpha && n % 3 == 0) c.options.transparent_color = c.image.Pixel(0, 0);
            if (n % 4 == 1) {
              c.options.comment = "note";
              c.options.background_color = c.image.Pixel(1, 1);
              c.options.physical_size = {2, 96, 96};
              c.options.significant_bits = bits > 8 ? 0x080808 : 0;
              c.options.chromaticities = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
            }
            c.name = dir_ + "/ours_" + fname + (grey ? "g" : "c") + (alpha ? "a" : "") +
                     std::to_string(interlace) + std::to_string(filter) + ".png";
            cases.push_back(std::move(c));
            ++n;
          }
  std::vector<std::string> files;
  std::string check = std::string(kPngcheck) + " -q";
  for (Case& c : cases) {
    TBitmap mask = png_test::MakeIndexed(17, 9, 8, 99);
    png_test::WriteFile(c.name, png_test::Encode(c.image, c.options, c.alpha ? &mask : nullptr));
    files.push_back(c.name);
    check += " " + Quote(c.name);
  }
  if (png_test::HaveTool(kPngcheck)) {
    std::string out;
    EXPECT_EQ(png_test::Run(check + " 2>&1", &out), 0) << out;
  }
  References(files);
  for (Case& c : cases) {
    PngImage png;
    png_test::Decode(png_test::ReadFile(c.name), png);
    Rgba ours = OurRgba(png);
    std::string label = std::filesystem::path(c.name).filename().string();
    ASSERT_TRUE(SameRgba(ours, ReadReference(c.name), label));
    // Colour output keeps the source's colours exactly.
    if (!c.options.greyscale) {
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x)
          ASSERT_EQ(png.Bitmap().Pixel(x, y), c.image.Pixel(x, y)) << label;
    }
  }
}

}  // namespace
}  // namespace pamirune
