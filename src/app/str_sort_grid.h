// TStrSortGrid: a grid of texts whose rows are sorted by a click on the header row. The view
// paints it and forwards mouse releases; the sorting and its state live here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pamirune {

// soBoth: each header click flips the direction (the first click sorts descending);
// soUponly: always ascending; soDownOnly: always descending; soNon: no sorting.
enum class TSortops { soBoth, soUponly, soDownOnly, soNon };

class TStrSortGrid {
 public:
  TStrSortGrid(int col_count = 5, int row_count = 5);

  // Size. Growing adds empty cells; shrinking drops the last rows or columns.
  int RowCount() const { return static_cast<int>(rows_.size()); }
  void SetColCount(int count);
  void SetRowCount(int count);
  void SetFixedRows(int count) { fixed_rows_ = count < 0 ? 0 : count; }

  // Cells, column first as the grid addresses them. Out-of-range reads give "", writes are
  // ignored.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);

  // The current (selected) row; -1 when there is none.
  int Row() const { return row_; }
  void SetRow(int row);

  // Row edits used by the dialog's buttons.
  void ExchangeRows(int a, int b);
  void DeleteRow(int row);

  // Sorting options and state.
  TSortops SortOps = TSortops::soBoth;
  int Spacing = 10;  // pixels between a header caption and its direction glyph
  bool Sorted() const { return sorted_; }
  bool Ascending() const { return ascending_; }
  const std::string& SortedHeaderText() const { return sorted_text_; }
  // The glyph to paint beside the header caption of col: "BBUP", "BBDOWN", or nullptr for none.
  const char* HeaderGlyph(int col) const;

  // Mouse release over the cell (col, row); row -1 when the pointer is over no cell. A release
  // over the header row sorts the data rows by that column; then OnMouseUp runs.
  void MouseUp(int col, int row);
  std::function<void()> OnMouseUp;

  // Sorts data rows 1 .. RowCount() - 1 by the sort column, in the current direction.
  void SortRows();

  // The key a cell sorts by: its bytes with "a".."z" upper-cased.
  static std::string SortKey(const std::string& text);
  // Byte-wise unsigned comparison; a prefix is less than the longer text.
  static int CompareKeys(const std::string& a, const std::string& b);

 private:
  int col_count_;
  int fixed_rows_ = 1;
  std::vector<std::vector<std::string>> rows_;
  int row_ = 1;
  int sort_col_ = 0;
  bool sorted_ = false;
  std::string sorted_text_;
  bool ascending_ = true;
};

}  // namespace pamirune
