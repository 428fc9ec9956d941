// The output-order dialog's behaviour: names view, buttons, sorting and what the caller gets.
#include <gtest/gtest.h>

#include "app/order_dialog_model.h"

namespace pamirune {
namespace {

OrderDialogModel ThreeFiles() {
  OrderDialogModel m;
  m.caption = "gifｱﾆﾒ出力時出力順設定";
  m.rows = {{"/pics/b/one.bmp", "1000 Byte", "2024/01/01 10:00:00"},
            {"/pics/a/two.bmp", "900 Byte", "2024/01/02 10:00:00"},
            {"/pics/c/three.bmp", "", ""}};
  return m;
}

std::vector<std::string> Paths(const OrderDialogModel& m) {
  std::vector<std::string> out;
  for (const auto& r : m.rows) out.push_back(r.path);
  return out;
}

std::vector<std::string> Shown(const OrderDialogLogic& d) {
  std::vector<std::string> out;
  for (int r = 1; r < d.Grid().RowCount(); ++r) out.push_back(d.Grid().Cell(0, r));
  return out;
}

TEST(OrderDialogTest, ActivationShowsNamesAndTheViewButtonToggles) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  EXPECT_EQ(d.Caption(), "gifｱﾆﾒ出力時出力順設定");
  EXPECT_EQ(d.Grid().Cell(0, 0), "ﾌｧｲﾙ名");
  EXPECT_EQ(d.Grid().Cell(1, 0), "ﾌｧｲﾙｻｲｽﾞ");
  EXPECT_EQ(d.Grid().Cell(2, 0), "ﾌｧｲﾙ日付");
  EXPECT_EQ(Shown(d), (std::vector<std::string>{"one.bmp", "two.bmp", "three.bmp"}));
  EXPECT_EQ(d.ViewButtonCaption(), "ﾌﾙﾊﾟｽ表示");
  d.ToggleView();
  EXPECT_EQ(Shown(d), Paths(ThreeFiles()));
  EXPECT_EQ(d.ViewButtonCaption(), "ﾊﾟｽ省略表示");
  d.ToggleView();
  EXPECT_EQ(Shown(d)[0], "one.bmp");
  EXPECT_EQ(d.ViewButtonCaption(), "ﾌﾙﾊﾟｽ表示");
}

TEST(OrderDialogTest, DownOnTheFirstOfThreeRows) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.Select(1);
  d.MoveDown();
  EXPECT_EQ(d.SelectedRow(), 2);
  EXPECT_EQ(d.Grid().Cell(1, 2), "1000 Byte");  // the whole row moved
  d.Close();
  // Full paths come back although only names were shown.
  EXPECT_EQ(Paths(m),
            (std::vector<std::string>{"/pics/a/two.bmp", "/pics/b/one.bmp", "/pics/c/three.bmp"}));
  EXPECT_EQ(m.rows[1].date_text, "2024/01/01 10:00:00");
}

TEST(OrderDialogTest, ButtonsThatCannotActDoNothing) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.Select(1);
  d.MoveUp();
  d.Select(3);
  d.MoveDown();
  EXPECT_EQ(d.SelectedRow(), 3);
  d.MoveUp();
  EXPECT_EQ(d.SelectedRow(), 2);
  d.Close();
  EXPECT_EQ(Paths(m),
            (std::vector<std::string>{"/pics/b/one.bmp", "/pics/c/three.bmp", "/pics/a/two.bmp"}));
}

TEST(OrderDialogTest, DelOnEveryRowLeavesTheCallerNoFiles) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.Select(2);
  d.DeleteRow();
  EXPECT_EQ(Shown(d), (std::vector<std::string>{"one.bmp", "three.bmp"}));
  EXPECT_EQ(d.PathList(), (std::vector<std::string>{"/pics/b/one.bmp", "/pics/c/three.bmp"}));
  d.DeleteRow();
  d.DeleteRow();
  EXPECT_EQ(d.Grid().RowCount(), 1);
  d.DeleteRow();  // the header stays
  d.MoveUp();
  d.MoveDown();
  EXPECT_EQ(d.Grid().RowCount(), 1);
  EXPECT_EQ(d.Grid().Cell(0, 0), "ﾌｧｲﾙ名");
  d.Close();
  EXPECT_TRUE(m.rows.empty());
}

TEST(OrderDialogTest, SortingByNameInTheNamesViewOrdersByFullPath) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  for (int click = 0; click < 2; ++click) {  // descending first, then ascending
    d.MousePress(0, 0);
    EXPECT_EQ(Shown(d)[0][0], '/');  // full paths while the grid sorts
    d.MouseRelease(0, 0);
  }
  EXPECT_STREQ(d.Grid().HeaderGlyph(0), "BBUP");
  // By path: a/two, b/one, c/three (by name it would be one, three, two).
  EXPECT_EQ(Shown(d), (std::vector<std::string>{"two.bmp", "one.bmp", "three.bmp"}));
  EXPECT_EQ(d.ViewButtonCaption(), "ﾌﾙﾊﾟｽ表示");
  d.Close();
  EXPECT_EQ(Paths(m),
            (std::vector<std::string>{"/pics/a/two.bmp", "/pics/b/one.bmp", "/pics/c/three.bmp"}));
}

TEST(OrderDialogTest, SortingBySizeKeepsTheFullPathViewAndTheDirectionBetweenShowings) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.ToggleView();
  d.MousePress(1, 0);
  d.MouseRelease(1, 0);  // descending: "900 Byte", "1000 Byte", ""
  EXPECT_EQ(Shown(d),
            (std::vector<std::string>{"/pics/a/two.bmp", "/pics/b/one.bmp", "/pics/c/three.bmp"}));
  EXPECT_EQ(d.ViewButtonCaption(), "ﾊﾟｽ省略表示");
  d.Close();

  // The next showing: the same grid flips to ascending on the next click.
  OrderDialogModel again = ThreeFiles();
  d.Activate(again);
  EXPECT_EQ(d.ViewButtonCaption(), "ﾌﾙﾊﾟｽ表示");
  d.MousePress(1, 0);
  d.MouseRelease(1, 0);
  EXPECT_STREQ(d.Grid().HeaderGlyph(1), "BBUP");
  d.Close();
  EXPECT_EQ(Paths(again),
            (std::vector<std::string>{"/pics/c/three.bmp", "/pics/b/one.bmp", "/pics/a/two.bmp"}));
}

TEST(OrderDialogTest, ReleaseWithoutPressStillHandsBackFullPaths) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.MouseRelease(0, 0);  // pressed outside the grid, released on the header
  EXPECT_EQ(Shown(d)[0].find('/'), std::string::npos);
  d.Close();
  for (const auto& r : m.rows) EXPECT_EQ(r.path.rfind("/pics/", 0), 0u) << r.path;
}

TEST(OrderDialogTest, PressOnADataRowSelectsIt) {
  OrderDialogModel m = ThreeFiles();
  OrderDialogLogic d;
  d.Activate(m);
  d.MousePress(2, 3);
  d.MouseRelease(2, 3);
  EXPECT_EQ(d.SelectedRow(), 3);
  EXPECT_EQ(Shown(d)[2], "three.bmp");
  EXPECT_EQ(OrderDialogLogic::FileNamePart("/a/b.c"), "b.c");
  EXPECT_EQ(OrderDialogLogic::FileNamePart("plain"), "plain");
}

}  // namespace
}  // namespace pamirune
