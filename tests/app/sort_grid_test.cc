// TStrSortGrid: header clicks, directions, the byte-wise keys and whole-row moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "app/str_sort_grid.h"

namespace pamirune {
namespace {

// A grid with a header and one row per text in column 0; column 1 tags the row.
TStrSortGrid GridOf(const std::vector<std::string>& texts) {
  TStrSortGrid g(2, static_cast<int>(texts.size()) + 1);
  g.SetCell(0, 0, "name");
  g.SetCell(1, 0, "tag");
  for (size_t i = 0; i < texts.size(); ++i) {
    g.SetCell(0, static_cast<int>(i) + 1, texts[i]);
    g.SetCell(1, static_cast<int>(i) + 1, "#" + std::to_string(i));
  }
  return g;
}

std::vector<std::string> Column(const TStrSortGrid& g, int col) {
  std::vector<std::string> out;
  for (int r = 1; r < g.RowCount(); ++r) out.push_back(g.Cell(col, r));
  return out;
}

TEST(SortGridTest, SizesSortAsTextAndTheFirstClickIsDescending) {
  TStrSortGrid g = GridOf({"900 Byte", "1000 Byte", "20 Byte"});
  EXPECT_EQ(g.HeaderGlyph(0), nullptr);
  int released = 0;
  g.OnMouseUp = [&] { ++released; };

  g.MouseUp(0, 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"900 Byte", "20 Byte", "1000 Byte"}));
  EXPECT_STREQ(g.HeaderGlyph(0), "BBDOWN");
  EXPECT_EQ(g.HeaderGlyph(1), nullptr);
  g.MouseUp(0, 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"1000 Byte", "20 Byte", "900 Byte"}));
  EXPECT_STREQ(g.HeaderGlyph(0), "BBUP");
  // Whole rows moved: each tag stayed with its text.
  EXPECT_EQ(Column(g, 1), (std::vector<std::string>{"#1", "#2", "#0"}));
  EXPECT_EQ(released, 2);
}

TEST(SortGridTest, OnlyHeaderReleasesSortAndEveryReleaseReachesTheOwner) {
  TStrSortGrid g = GridOf({"b", "a"});
  int released = 0;
  g.OnMouseUp = [&] { ++released; };
  g.MouseUp(0, 1);   // a data cell
  g.MouseUp(0, -1);  // no cell
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b", "a"}));
  g.SortOps = TSortops::soNon;
  g.MouseUp(0, 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"b", "a"}));
  EXPECT_FALSE(g.Sorted());
  EXPECT_EQ(released, 3);
}

TEST(SortGridTest, FixedDirections) {
  TStrSortGrid g = GridOf({"b", "c", "a"});
  g.SortOps = TSortops::soUponly;
  g.MouseUp(0, 0);
  g.MouseUp(0, 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"a", "b", "c"}));
  g.SortOps = TSortops::soDownOnly;
  g.MouseUp(0, 0);
  g.MouseUp(0, 0);
  EXPECT_EQ(Column(g, 0), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(g.SortedHeaderText(), "name");
}

TEST(SortGridTest, KeysUpperCaseAsciiLettersOnlyAndCompareUnsignedBytes) {
  EXPECT_EQ(TStrSortGrid::SortKey("abz_AZ{é"), "ABZ_AZ{é");
  EXPECT_LT(TStrSortGrid::CompareKeys("AB", "ABC"), 0);  // a prefix is less
  EXPECT_GT(TStrSortGrid::CompareKeys("\xE3", "Z"), 0);  // bytes over 127 after ASCII
  EXPECT_EQ(TStrSortGrid::CompareKeys("", ""), 0);
  TStrSortGrid g = GridOf({"_x", "b", "A", "\xE3\x81\x82", "a1", "B"});
  g.SortOps = TSortops::soUponly;
  g.MouseUp(0, 0);
  std::vector<std::string> col = Column(g, 0);
  // "_" (0x5F) comes after the upper-cased letters, lower and upper case mingle.
  ASSERT_EQ(col.size(), 6u);
  EXPECT_EQ(col[0], "A");
  EXPECT_EQ(col[1], "a1");
  EXPECT_TRUE((col[2] == "b" && col[3] == "B") || (col[2] == "B" && col[3] == "b"));
  EXPECT_EQ(col[4], "_x");
  EXPECT_EQ(col[5], "\xE3\x81\x82");
}

TEST(SortGridTest, LongListsSortLikeAReferenceSort) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 5, 6, 7, 12, 57, 200}) {
    std::vector<std::string> texts;
    for (int i = 0; i < n; ++i) texts.push_back(std::to_string(rng() % 40) + "x");
    TStrSortGrid g = GridOf(texts);
    g.SortOps = TSortops::soUponly;
    g.MouseUp(0, 0);
    std::vector<std::string> expected = texts;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Column(g, 0), expected) << n;
    // Each row still carries its own tag.
    for (int r = 1; r < g.RowCount(); ++r) {
      int tag = std::stoi(g.Cell(1, r).substr(1));
      EXPECT_EQ(texts[static_cast<size_t>(tag)], g.Cell(0, r));
    }
  }
}

TEST(SortGridTest, RowEditsKeepTheSelectionOnADataRow) {
  TStrSortGrid g = GridOf({"a", "b", "c"});
  g.SetRow(3);
  g.DeleteRow(3);
  EXPECT_EQ(g.Row(), 2);
  g.SetRow(0);
  EXPECT_EQ(g.Row(), 1);  // the header is not selectable while data rows exist
  g.DeleteRow(1);
  g.DeleteRow(1);
  EXPECT_EQ(g.RowCount(), 1);
  EXPECT_EQ(g.Row(), 0);
  EXPECT_EQ(g.Cell(5, 5), "");
  g.MouseUp(0, 0);  // sorting a header alone is harmless
  EXPECT_EQ(g.RowCount(), 1);
}

}  // namespace
}  // namespace pamirune
