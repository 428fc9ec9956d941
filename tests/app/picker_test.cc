// The transparent-colour picker's model.
#include <gtest/gtest.h>

#include "app/picker_model.h"

namespace pamirune {
namespace {

TEST(PickerTest, ClickPicksColourAndPointTheNextShowingKeepsOnlyTheColour) {
  TBitmap image(40, 50, TPixelFormat::pf24bit);
  image.Fill(RGB(1, 2, 3));
  image.SetPixel(12, 34, RGB(200, 100, 50));
  PickerModel picker;
  picker.Activate(image);
  EXPECT_FALSE(picker.Picked());
  EXPECT_EQ(picker.Colour(), kButtonFaceColour);
  EXPECT_EQ(picker.XText(), "0");

  EXPECT_TRUE(picker.MousePress(12, 34));
  EXPECT_EQ(picker.XText(), "12");
  EXPECT_EQ(picker.YText(), "34");
  PickerResult r = picker.Close();
  EXPECT_EQ(r.color, RGB(200, 100, 50));
  EXPECT_EQ(r.x, 12);
  EXPECT_EQ(r.y, 34);
  EXPECT_TRUE(r.picked);

  TBitmap next(10, 10, TPixelFormat::pf8bit);
  picker.Activate(next);
  EXPECT_EQ(picker.XText(), "0");
  EXPECT_EQ(picker.YText(), "0");
  r = picker.Close();
  EXPECT_EQ(r.color, RGB(200, 100, 50));
  EXPECT_EQ(r.x, 0);
  EXPECT_EQ(r.y, 0);
}

TEST(PickerTest, ClicksOutsideTheImageAreIgnored) {
  TBitmap image(4, 3, TPixelFormat::pf24bit);
  image.Fill(RGB(9, 9, 9));
  PickerModel picker;
  picker.SetDefaultColour(RGB(212, 208, 200));
  picker.Activate(image);
  for (auto [x, y] : {std::pair{4, 0}, {0, 3}, {-1, 1}, {100, 100}})
    EXPECT_FALSE(picker.MousePress(x, y)) << x << "," << y;
  PickerResult r = picker.Close();
  EXPECT_FALSE(r.picked);
  EXPECT_EQ(r.color, RGB(212, 208, 200));
  EXPECT_FALSE(picker.MousePress(1, 1));  // no image once closed
  picker.Activate(image);
  EXPECT_TRUE(picker.MousePress(3, 2));
  picker.SetDefaultColour(0);  // a default never replaces a pick
  EXPECT_EQ(picker.Close().color, RGB(9, 9, 9));
}

}  // namespace
}  // namespace pamirune
