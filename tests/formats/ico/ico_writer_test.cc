// The icon writers: the layout of both, the key colour and mask of IconBuilder, and Pillow's
// view of our files.
#include <gtest/gtest.h>

#include "formats/ico/ico.h"
#include "formats/tiff/tiff_test_util.h"

namespace pamirune {
namespace {

using namespace tiff_test;

DibImage Dib(const TBitmap& bitmap) {
  DibImage dib;
  dib.Assign(bitmap);
  return dib;
}

TEST(OpaqueIcon, EightBit32x32Is2216BytesWithAZeroMask) {
  Bytes icon = EncodeOpaqueIcon(Dib(MakeIndexed(32, 32, 8)));
  ASSERT_EQ(icon.size(), 22u + 2216);
  EXPECT_EQ(GetLe16(icon, 0), 0);
  EXPECT_EQ(GetLe16(icon, 2), 1);
  EXPECT_EQ(GetLe16(icon, 4), 1);
  EXPECT_EQ(icon[6], 32);
  EXPECT_EQ(icon[7], 32);
  EXPECT_EQ(icon[8], 0);
  EXPECT_EQ(GetLe16(icon, 10), 1);
  EXPECT_EQ(GetLe16(icon, 12), 8);
  EXPECT_EQ(GetLe32(icon, 14), 2216u);
  EXPECT_EQ(GetLe32(icon, 18), 22u);
  EXPECT_EQ(GetLe32(icon, 22), 40u);
  EXPECT_EQ(GetLe32(icon, 26), 32u);
  EXPECT_EQ(GetLe32(icon, 30), 64u);  // colour plus mask
  EXPECT_EQ(GetLe32(icon, 54), 0u);   // colours used
  for (size_t i = 22 + 2216 - 128; i < icon.size(); ++i) ASSERT_EQ(icon[i], 0) << i;
  // The pixels as the DIB image holds them.
  TBitmap image = MakeIndexed(32, 32, 8);
  EXPECT_EQ(icon[22 + 40 + 1024], image.RawPixel(0, 31));
}

TEST(OpaqueIcon, DepthsAndSizeBytes) {
  // 24 bits are reduced to 8; 4 and 1 bits keep their depth and full tables.
  Bytes rgb = EncodeOpaqueIcon(Dib(MakeRgb(16, 16)));
  EXPECT_EQ(GetLe16(rgb, 12), 8);
  EXPECT_EQ(GetLe32(rgb, 14), 40u + 1024 + 16 * 16 + 4 * 16);
  Bytes four = EncodeOpaqueIcon(Dib(MakeIndexed(16, 16, 4)));
  EXPECT_EQ(four[8], 16);
  EXPECT_EQ(GetLe32(four, 14), 40u + 64 + 8 * 16 + 4 * 16);
  Bytes one = EncodeOpaqueIcon(Dib(MakeIndexed(16, 16, 1)));
  EXPECT_EQ(one[8], 2);
  EXPECT_EQ(GetLe32(one, 14), 40u + 8 + 4 * 16 + 4 * 16);
  // 256 is written as 0; 128 as itself; only the width was matched, so 32 x 48 stays.
  Bytes big = EncodeOpaqueIcon(Dib(MakeIndexed(256, 256, 8)));
  EXPECT_EQ(big[6], 0);
  EXPECT_EQ(big[7], 0);
  EXPECT_EQ(EncodeOpaqueIcon(Dib(MakeIndexed(128, 128, 8)))[6], 128);
  Bytes tall = EncodeOpaqueIcon(Dib(MakeIndexed(32, 48, 8)));
  EXPECT_EQ(tall[7], 48);
  EXPECT_EQ(GetLe32(tall, 30), 96u);
  EXPECT_THROW(EncodeOpaqueIcon(DibImage()), EInvalidGraphic);
}

// Pixel (x, y) of a transparent icon file: the colour index and the mask bit.
std::pair<int, int> IconPixel(const Bytes& icon, int size, int x, int y) {
  size_t colours = 22 + 40 + 1024;
  size_t color_row = (size + 3) / 4 * 4;
  size_t mask_row = (size + 31) / 32 * 4;
  size_t mask = colours + color_row * size;
  int index = icon[colours + color_row * (size - 1 - y) + x];
  int bit = (icon[mask + mask_row * (size - 1 - y) + x / 8] >> (7 - x % 8)) & 1;
  return {index, bit};
}

TEST(IconBuilderTest, BlackKeyMakesEveryBlackPixelTransparent) {
  TBitmap image(16, 16, TPixelFormat::pf24bit);
  image.Fill(RGB(255, 0, 0));
  image.SetPixel(0, 15, kClBlack);  // the key pixel
  image.SetPixel(5, 5, kClBlack);
  IconBuilder builder;
  TIconImage icon = builder.MakeIcon(image, 16);
  Bytes file = builder.EncodeIcon(icon);
  EXPECT_EQ(GetLe16(file, 12), 8);
  EXPECT_EQ(GetLe32(file, 14), 40u + 1024 + 16 * 16 + 4 * 16);
  EXPECT_EQ(IconPixel(file, 16, 5, 5).second, 1);
  EXPECT_EQ(IconPixel(file, 16, 0, 15).second, 1);
  EXPECT_EQ(IconPixel(file, 16, 6, 5).second, 0);
  EXPECT_EQ(icon.color.Pixel(5, 5), kClBlack);
}

TEST(IconBuilderTest, OtherKeyKeepsBlackOpaqueAndPlaceholderComesOutBlack) {
  TBitmap image(32, 32, TPixelFormat::pf24bit);
  image.Fill(RGB(0, 128, 255));  // the key colour, also at the bottom-left
  image.SetPixel(3, 3, kClBlack);
  image.SetPixel(4, 3, IconBuilder::kPlaceholder);
  image.SetPixel(5, 3, RGB(255, 255, 0));
  IconBuilder builder;
  TIconImage icon = builder.MakeIcon(image, 32);
  EXPECT_EQ(icon.color.Pixel(3, 3), kClBlack);
  EXPECT_EQ(icon.color.Pixel(4, 3), kClBlack);
  EXPECT_EQ(icon.color.Pixel(0, 0), kClBlack);  // transparent pixels are black
  EXPECT_EQ(icon.color.Pixel(5, 3), RGB(255, 255, 0));
  Bytes file = builder.EncodeIcon(icon);
  EXPECT_EQ(IconPixel(file, 32, 3, 3).second, 0);
  EXPECT_EQ(IconPixel(file, 32, 4, 3).second, 0);
  EXPECT_EQ(IconPixel(file, 32, 0, 0).second, 1);
  EXPECT_EQ(IconPixel(file, 32, 5, 3).second, 0);
  // Black maps to a black entry of the fixed palette.
  int black = IconPixel(file, 32, 3, 3).first;
  size_t entry = 22 + 40 + 4 * black;
  EXPECT_EQ(file[entry] | file[entry + 1] | file[entry + 2], 0);
}

TEST(IconBuilderTest, SmallSourceSitsTopLeftOnWhite) {
  // A 10 x 10 source on a 16 x 16 icon: the bottom-left pixel is white paper, so white is the key.
  TBitmap image = MakeIndexed(10, 10, 4);
  TIconImage icon = IconBuilder().MakeIcon(image, 16);
  EXPECT_EQ(icon.mask.RawPixel(15, 15), 1u);
  EXPECT_EQ(icon.mask.RawPixel(12, 2), 1u);
  EXPECT_EQ(icon.color.Pixel(2, 2), image.Pixel(2, 2) == kClWhite ? kClBlack : image.Pixel(2, 2));
  EXPECT_THROW(IconBuilder().MakeIcon(image, 0), EInvalidGraphic);
}

TEST(IconInterop, PillowOpensOurIconsWithTheirSizeAndMask) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow missing";
  TempDir dir;
  for (int size : {16, 32, 64, 128, 256}) {
    TBitmap image = MakeRgb(size, size);
    // A black frame, with a black key: the frame becomes transparent.
    for (int i = 0; i < size; ++i) {
      image.SetPixel(i, 0, kClBlack);
      image.SetPixel(i, size - 1, kClBlack);
      image.SetPixel(0, i, kClBlack);
      image.SetPixel(size - 1, i, kClBlack);
    }
    std::string path = dir.File("t" + std::to_string(size) + ".ico");
    SaveTransparentIcon(image, path, size);
    std::string out;
    ASSERT_EQ(RunTool(std::string(kPython) + " " + ToolScript() + " icoinfo '" + path + "'", &out),
              0)
        << out;
    int transparent = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) transparent += image.Pixel(x, y) == kClBlack;
    EXPECT_EQ(out, std::to_string(size) + " " + std::to_string(size) + " " +
                       std::to_string(transparent) + "\n");
    std::string opaque = dir.File("o" + std::to_string(size) + ".ico");
    SaveOpaqueIcon(image, opaque);
    ASSERT_EQ(
        RunTool(std::string(kPython) + " " + ToolScript() + " icoinfo '" + opaque + "'", &out), 0)
        << out;
    EXPECT_EQ(out, std::to_string(size) + " " + std::to_string(size) + " 0\n");
  }
}

}  // namespace
}  // namespace pamirune
