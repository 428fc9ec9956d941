// TIcon: choosing among images, masks and alpha drawn onto white, refused files, and icons
// made by Pillow and ImageMagick.
#include <gtest/gtest.h>

#include "formats/ico/ico.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff_test_util.h"
#include "raster/registry.h"
#include "support/expect_error.h"

namespace pamirune {
namespace {

using namespace tiff_test;

TIcon LoadIcon(const Bytes& bytes) {
  TIcon icon;
  TMemoryStream in(bytes);
  icon.LoadFromStream(in);
  return icon;
}

void ExpectInvalid(const Bytes& bytes) {
  testing::ExpectError<EInvalidGraphic>([&] { LoadIcon(bytes); }, "ｱｲｺﾝｲﾒｰｼﾞが不正です");
}

TEST(IconReader, TransparentIconDrawsOntoWhiteAtItsOwnSize) {
  TBitmap image(16, 16, TPixelFormat::pf24bit);
  image.Fill(RGB(10, 200, 30));
  image.SetPixel(0, 15, kClBlack);
  image.SetPixel(7, 7, kClBlack);
  IconBuilder builder;
  TIcon icon = LoadIcon(builder.EncodeIcon(builder.MakeIcon(image, 16)));
  EXPECT_EQ(icon.Width(), 16);
  TBitmap drawn;
  icon.ToBitmap(drawn);
  ASSERT_EQ(drawn.Width(), 16);
  ASSERT_EQ(drawn.Height(), 16);
  EXPECT_EQ(drawn.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(drawn.Pixel(7, 7), kClWhite);
  EXPECT_EQ(drawn.Pixel(0, 15), kClWhite);
  // The fixed palette's nearest colour.
  TColor c = drawn.Pixel(3, 3);
  EXPECT_LE(std::abs(GetGValue(c) - 200), 26);
  // Opaque icons keep their colours exactly.
  TBitmap indexed = MakeIndexed(32, 32, 8);
  DibImage dib;
  dib.Assign(indexed);
  TIcon opaque = LoadIcon(EncodeOpaqueIcon(dib));
  opaque.ToBitmap(drawn);
  EXPECT_EQ(Colors(drawn), Colors(indexed));
}

// An icon file of hand-made entries: each a DIB of w x h at the given depth.
Bytes MultiIcon(const std::vector<std::array<int, 3>>& images, uint16_t type = 1) {
  Bytes head;
  AppendLe16(head, 0);
  AppendLe16(head, type);
  AppendLe16(head, static_cast<uint32_t>(images.size()));
  Bytes body;
  size_t offset = 6 + 16 * images.size();
  for (auto [w, h, bits] : images) {
    Bytes dib;
    AppendLe32(dib, 40);
    AppendLe32(dib, w);
    AppendLe32(dib, 2 * h);
    AppendLe16(dib, 1);
    AppendLe16(dib, bits);
    for (int i = 0; i < 6; ++i) AppendLe32(dib, 0);
    int entries = bits <= 8 ? 1 << bits : 0;
    for (int i = 0; i < entries; ++i) AppendLe32(dib, i == 1 ? 0x0000FF : 0);  // entry 1 red
    size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
    for (int y = 0; y < h; ++y)
      for (size_t k = 0; k < stride; ++k) {
        uint8_t v = 0;
        if (bits == 32)
          v = k % 4 == 3 ? static_cast<uint8_t>(w) : k % 4 == 2 ? 255 : 0;  // red, alpha = w
        else if (bits == 24)
          v = k % 3 == 2 ? 255 : 0;
        else if (bits == 8)
          v = 1;
        else if (bits == 4)
          v = 0x11;
        else
          v = 0xFF;
        dib.push_back(v);
      }
    dib.resize(dib.size() + (w + 31) / 32 * 4 * h, 0);
    AppendLe16(head, w % 256 | (h % 256) << 8);
    AppendLe16(head, 0);
    AppendLe16(head, 1);
    AppendLe16(head, bits);
    AppendLe32(head, static_cast<uint32_t>(dib.size()));
    AppendLe32(head, static_cast<uint32_t>(offset + body.size()));
    body.insert(body.end(), dib.begin(), dib.end());
  }
  head.insert(head.end(), body.begin(), body.end());
  return head;
}

TEST(IconReader, ChoosesClosestTo32ThenDeepest) {
  TIcon a =
      LoadIcon(MultiIcon({{16, 16, 8}, {48, 48, 24}, {32, 32, 4}, {32, 32, 24}, {64, 64, 32}}));
  EXPECT_EQ(a.Width(), 32);
  TBitmap drawn;
  a.ToBitmap(drawn);
  EXPECT_EQ(drawn.Pixel(5, 5), RGB(255, 0, 0));
  TIcon b = LoadIcon(MultiIcon({{16, 16, 8}, {48, 48, 4}}));
  EXPECT_EQ(b.Width(), 16);
  // 32-bit alpha (here 40 of 255) is blended onto white; the picture keeps its own size.
  TIcon c = LoadIcon(MultiIcon({{40, 40, 32}}));
  c.ToBitmap(drawn);
  EXPECT_EQ(drawn.Width(), 40);
  EXPECT_EQ(drawn.Height(), 40);
  EXPECT_EQ(drawn.Pixel(39, 39), RGB(255, 215, 215));
  // An entry over the pixel limit is passed over, and refused when nothing else is left.
  const int64_t limit = PixelLimit();
  SetPixelLimit(1000);
  EXPECT_EQ(LoadIcon(MultiIcon({{16, 16, 8}, {40, 40, 32}})).Width(), 16);
  EXPECT_THROW(LoadIcon(MultiIcon({{40, 40, 32}})), EImageTooLarge);
  SetPixelLimit(limit);
}

TEST(IconReader, CursorsAndDamagedFilesAreRefused) {
  ExpectInvalid(MultiIcon({{32, 32, 8}}, 2));
  ExpectInvalid(Bytes{0, 0, 1, 0});
  ExpectInvalid(MultiIcon({}));
  Bytes good = MultiIcon({{32, 32, 24}});
  ExpectInvalid(Bytes(good.begin(), good.begin() + 200));
  Bytes bad_depth = good;
  bad_depth[22 + 14] = 7;
  ExpectInvalid(bad_depth);
  // A file cut inside the mask still loads (opaque).
  Bytes no_mask(good.begin(), good.end() - 64);
  uint32_t short_size = GetLe32(no_mask, 14) - 64;
  for (int k = 0; k < 4; ++k) no_mask[14 + k] = static_cast<uint8_t>(short_size >> (8 * k));
  EXPECT_EQ(LoadIcon(no_mask).Width(), 32);
  // Random damage: an error at most.
  uint32_t state = 5;
  for (int round = 0; round < 300; ++round) {
    Bytes copy = good;
    for (int k = 0; k < 3; ++k) {
      state = state * 1103515245u + 12345u;
      copy[(state >> 8) % 70] = static_cast<uint8_t>(state >> 24);
    }
    try {
      TBitmap drawn;
      LoadIcon(copy).ToBitmap(drawn);
    } catch (const Exception&) {
    }
  }
}

TEST(IconReader, RegisteredForIcoAheadOfTheBuiltInEntry) {
  RegisterIconGraphic();
  const TFileFormat* ico = TFileFormatsList::Instance().Find("ICO");
  ASSERT_TRUE(ico && ico->create);
  EXPECT_STREQ(ico->create()->ClassName(), "TIcon");
}

TEST(IconInterop, IconsMadeByPillowAndImageMagickLoad) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow missing";
  RegisterPngGraphic();
  TempDir dir;
  std::string out;
  // Pillow: several sizes, the 256 one stored as PNG; then an icon of the PNG entry alone.
  std::string many = dir.File("many.ico");
  ASSERT_EQ(RunTool(std::string(kPython) + " " + ToolScript() + " icon '" + many + "' 16 32 48 256",
                    &out),
            0)
      << out;
  TIcon icon;
  icon.LoadFromFile(many);
  EXPECT_EQ(icon.Width(), 32);
  std::string big = dir.File("big.ico");
  ASSERT_EQ(RunTool(std::string(kPython) + " " + ToolScript() + " icon '" + big + "' 256", &out), 0)
      << out;
  TIcon png_icon;
  png_icon.LoadFromFile(big);
  EXPECT_EQ(png_icon.Width(), 256);
  // The PNG entry's alpha is its mask: its holes come out white as well.
  TBitmap png_drawn;
  png_icon.ToBitmap(png_drawn);
  EXPECT_EQ(png_drawn.Pixel(0, 0), kClWhite);
  EXPECT_EQ(png_drawn.Pixel(3, 2), kClWhite);
  EXPECT_NE(png_drawn.Pixel(1, 0), kClWhite);
  // Drawn with its mask: pixels Pillow made fully transparent are white.
  std::string bmp = dir.File("bmp.ico");
  ASSERT_EQ(RunTool(std::string(kPython) + " " + ToolScript() + " bmpicon '" + bmp + "' 32", &out),
            0)
      << out;
  icon.LoadFromFile(bmp);
  EXPECT_EQ(icon.Width(), 32);
  TBitmap drawn;
  icon.ToBitmap(drawn);
  EXPECT_EQ(drawn.Pixel(0, 0), kClWhite);  // (0 + 0) % 5 == 0: transparent
  EXPECT_NE(drawn.Pixel(1, 0), kClWhite);
  if (!HaveExecutable("/usr/bin/convert") ||
      RunTool("/usr/bin/convert -version | grep -q ImageMagick") != 0)
    GTEST_SKIP() << "ImageMagick missing";
  std::string magick = dir.File("magick.ico");
  ASSERT_EQ(
      RunTool("/usr/bin/convert -size 64x64 gradient:red-blue -define icon:auto-resize=64,32,16 '" +
                  magick + "'",
              &out),
      0)
      << out;
  TIcon m;
  m.LoadFromFile(magick);
  EXPECT_EQ(m.Width(), 32);
  m.ToBitmap(drawn);
  EXPECT_GT(GetRValue(drawn.Pixel(10, 1)), 200);
}

}  // namespace
}  // namespace pamirune
