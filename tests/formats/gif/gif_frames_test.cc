// The converter's frames: loop extension on frame 0, graphic control extension with the delay
// and the transparent index on every frame, mixed-size animations.
#include "formats/gif/gif_frames.h"

#include <gtest/gtest.h>

#include "gif_test_util.h"

namespace pamirune {
namespace {

using gif_test::Contains;
using gif_test::Indexed;
using gif_test::Load;
using gif_test::Save;
using gif_test::Warnings;

const std::vector<uint8_t> kLoopBlock = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                         'E',  '2',  '.',  '0', 3,   1,   0,   0,   0};

size_t Find(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return static_cast<size_t>(
      std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) -
      haystack.begin());
}

TEST(GifFramesTest, SingleFrameCarriesLoopAndControlExtensionsAnd89a) {
  TGIFImage gif;
  EXPECT_EQ(AddGifFrame(gif, Indexed(2, 2, {kClBlack, kClWhite}, {1, 0, 0, 1}), false, "30"), 0);
  const auto bytes = Save(gif);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  const size_t loop = Find(bytes, kLoopBlock);
  // Disposal 0, no transparency, delay 0x1E 0x00.
  const size_t control = Find(bytes, {0x21, 0xF9, 0x04, 0x00, 0x1E, 0x00, 0x00, 0x00});
  const size_t image = Find(bytes, {0x2C, 0, 0, 0, 0, 2, 0, 2, 0});
  ASSERT_LT(loop, bytes.size());
  ASSERT_LT(control, bytes.size());
  EXPECT_LT(loop, control);
  EXPECT_LT(control, image);
}

TEST(GifFramesTest, DelayTextRules) {
  EXPECT_EQ(GifDelayFromText(""), 30);
  EXPECT_EQ(GifDelayFromText("  "), 30);
  EXPECT_EQ(GifDelayFromText("0"), 0);
  EXPECT_EQ(GifDelayFromText(" 12 "), 12);
  EXPECT_EQ(GifDelayFromText("70000"), 65535);
  EXPECT_EQ(GifDelayFromText("-5"), 0);
  EXPECT_THROW(GifDelayFromText("1a"), Exception);

  TGIFImage gif;
  AddGifFrame(gif, Indexed(1, 1, {kClWhite}, {0}), false, "");
  AddGifFrame(gif, Indexed(1, 1, {kClWhite}, {0}), false, "250");
  EXPECT_EQ(gif.Images()[0].GraphicControlExtension()->Delay(), 30);
  EXPECT_EQ(gif.Images()[1].GraphicControlExtension()->Delay(), 250);
  EXPECT_EQ(gif.Images()[1].Extensions().Find<TGIFAppExtNSLoop>(), nullptr) << "only frame 0 loops";
}

TEST(GifFramesTest, TransparentIndexIsTheTopLeftPixelsOrThePickedOnes) {
  const auto bitmap = Indexed(3, 2, {kClBlack, kClWhite, RGB(255, 0, 0)}, {2, 0, 1, 1, 0, 0});
  TGIFImage gif;
  AddGifFrame(gif, bitmap, true, "30");
  const auto* control = gif.Images()[0].GraphicControlExtension();
  ASSERT_NE(control, nullptr);
  EXPECT_TRUE(control->Transparent());
  EXPECT_EQ(control->TransparentColorIndex(), 2);
  EXPECT_TRUE(Contains(Save(gif), {0x21, 0xF9, 0x04, 0x01, 0x1E, 0x00, 0x02, 0x00}));

  GifTransparentPick pick;
  pick.per_image = true;
  pick.x = 2;
  pick.y = 0;
  AddGifFrame(gif, bitmap, true, "30", pick);
  EXPECT_EQ(gif.Images()[1].GraphicControlExtension()->TransparentColorIndex(), 1);

  // Picked on the unscaled 6 x 4 image, the frame being half of it: (5, 3) becomes (2, 1).
  pick.x = 5;
  pick.y = 3;
  pick.source_width = 6;
  pick.source_height = 4;
  AddGifFrame(gif, bitmap, true, "30", pick);
  EXPECT_EQ(gif.Images()[2].GraphicControlExtension()->TransparentColorIndex(), 0);

  pick.source_width = pick.source_height = 0;  // a point outside the frame itself
  EXPECT_THROW(AddGifFrame(gif, bitmap, true, "30", pick), EGIFError);

  // Without the option the frame stays opaque.
  AddGifFrame(gif, bitmap, false, "30", pick);
  EXPECT_FALSE(gif.Images().operator[](gif.Images().Count() - 1).Transparent());
}

TEST(GifFramesTest, MixedSizesGetTheLargestWidthAndHeight) {
  TGIFImage gif;
  Warnings warnings(gif);
  AddGifFrame(gif, Indexed(10, 4, {kClWhite}, std::vector<uint8_t>(40, 0)), false, "5");
  AddGifFrame(gif, Indexed(3, 9, {kClBlack}, std::vector<uint8_t>(27, 0)), false, "5");
  AddGifFrame(gif, Indexed(7, 7, {kClBlack}, std::vector<uint8_t>(49, 0)), false, "5");
  EXPECT_EQ(gif.Width(), 10);
  EXPECT_EQ(gif.Height(), 9);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(gif.Images()[i].Left(), 0);
    EXPECT_EQ(gif.Images()[i].Top(), 0);
  }
  TGIFImage back;
  Load(back, Save(gif));
  ASSERT_EQ(back.Images().Count(), 3);
  EXPECT_EQ(back.Width(), 10);
  EXPECT_EQ(back.Height(), 9);
  EXPECT_EQ(back.Images()[1].Width(), 3);
  EXPECT_EQ(warnings.texts, (std::vector<std::string>{"Image height too small for contained frames",
                                                      "Image exceeds Logical Screen size"}));
}

TEST(GifFramesTest, TransparentSourceKeepsOneControlExtension) {
  TBitmap source = Indexed(2, 1, {RGB(255, 0, 0), kClWhite}, {0, 1});
  source.SetTransparent(true);
  source.SetTransparentColor(kClWhite);
  TGIFImage gif;
  AddGifFrame(gif, source, false, "40");
  const TGIFExtensionList& list = gif.Images()[0].Extensions();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_NE(dynamic_cast<const TGIFAppExtNSLoop*>(&list[0]), nullptr) << "the loop comes first";
  const auto& control = dynamic_cast<const TGIFGraphicControlExtension&>(list[1]);
  EXPECT_EQ(control.Delay(), 40);
  EXPECT_TRUE(control.Transparent());
  EXPECT_EQ(gif.Images()[0].Pixels(1, 0), control.TransparentColorIndex());
}

TEST(GifFramesTest, ClipboardFramesUseThePickedColour) {
  const auto bitmap = Indexed(2, 1, {kClBlack, kClWhite}, {1, 0});
  TGIFImage gif;
  AddClipGifFrame(gif, bitmap, true);
  EXPECT_EQ(gif.Images()[0].GraphicControlExtension()->TransparentColorIndex(), 1);
  EXPECT_EQ(gif.Images()[0].GraphicControlExtension()->Delay(), 30);

  GifTransparentPick pick;
  pick.per_image = true;
  pick.colour = kClBlack;
  AddClipGifFrame(gif, bitmap, true, pick);
  EXPECT_EQ(gif.Images()[1].GraphicControlExtension()->TransparentColorIndex(), 0);
  pick.colour = RGB(0, 128, 0);  // absent: appended
  AddClipGifFrame(gif, bitmap, true, pick);
  EXPECT_EQ(gif.Images()[2].GraphicControlExtension()->TransparentColorIndex(), 2);
  EXPECT_EQ(gif.Images()[2].ColorMap().Count(), 3);

  // A full map has no room for it: the nearest entry is taken instead of failing.
  std::vector<TColor> palette;
  for (int i = 0; i < 256; ++i) palette.push_back(RGB(i, i, i));
  pick.colour = RGB(10, 12, 11);
  AddClipGifFrame(gif, Indexed(1, 1, palette, {0}), true, pick);
  EXPECT_EQ(gif.Images()[3].GraphicControlExtension()->TransparentColorIndex(), 11);
  EXPECT_EQ(gif.Images()[3].ColorMap().Count(), 256);
}

TEST(GifFramesTest, EmptyImagesStayOpaque) {
  TGIFImage gif;
  TBitmap empty(0, 0, TPixelFormat::pf8bit);
  EXPECT_EQ(AddGifFrame(gif, empty, true, "30"), 0);
  EXPECT_FALSE(gif.Images()[0].GraphicControlExtension()->Transparent());
  const auto bytes = Save(gif);
  TGIFImage back;
  Load(back, bytes);
  EXPECT_EQ(back.Images().Count(), 1);
}

}  // namespace
}  // namespace pamirune
