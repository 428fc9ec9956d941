#include "app/str_sort_grid.h"

#include <algorithm>
#include <utility>

namespace pamirune {

namespace {

const std::string kEmpty;

// One row of the work table: where the row was, and its key.
struct WorkRow {
  int row;
  std::string key;
};

// The quicksort of the grid: a range of at most five rows is finished by adjacent exchanges
// until a pass makes none; a longer one is split around the key of its middle row.
void QuickSort(std::vector<WorkRow>& t, int first, int last) {
  if (last - first <= 4) {
    bool exchanged = true;
    while (exchanged) {
      exchanged = false;
      for (int i = first; i < last; ++i) {
        if (TStrSortGrid::CompareKeys(t[i].key, t[i + 1].key) > 0) {
          std::swap(t[i], t[i + 1]);
          exchanged = true;
        }
      }
    }
    return;
  }
  const std::string pivot = t[(first + last) / 2].key;
  int left = first, right = last;
  while (left <= right) {
    while (TStrSortGrid::CompareKeys(t[left].key, pivot) < 0) ++left;
    while (TStrSortGrid::CompareKeys(t[right].key, pivot) > 0) --right;
    if (left <= right) {
      std::swap(t[left], t[right]);
      ++left;
      --right;
    }
  }
  if (first < right) QuickSort(t, first, right);
  if (left < last) QuickSort(t, left, last);
}

}  // namespace

TStrSortGrid::TStrSortGrid(int col_count, int row_count) : col_count_(std::max(col_count, 0)) {
  SetRowCount(row_count);
}

void TStrSortGrid::SetColCount(int count) {
  col_count_ = std::max(count, 0);
  for (auto& r : rows_) r.resize(static_cast<size_t>(col_count_));
}

void TStrSortGrid::SetRowCount(int count) {
  rows_.resize(static_cast<size_t>(std::max(count, 0)),
               std::vector<std::string>(static_cast<size_t>(col_count_)));
  SetRow(row_);
}

const std::string& TStrSortGrid::Cell(int col, int row) const {
  if (row < 0 || row >= RowCount() || col < 0 || col >= col_count_) return kEmpty;
  return rows_[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

void TStrSortGrid::SetCell(int col, int row, std::string text) {
  if (row < 0 || row >= RowCount() || col < 0 || col >= col_count_) return;
  rows_[static_cast<size_t>(row)][static_cast<size_t>(col)] = std::move(text);
}

void TStrSortGrid::SetRow(int row) {
  // The current row is a data row while there is one.
  if (RowCount() <= fixed_rows_) {
    row_ = RowCount() > 0 ? RowCount() - 1 : -1;
    return;
  }
  row_ = std::clamp(row, fixed_rows_, RowCount() - 1);
}

void TStrSortGrid::ExchangeRows(int a, int b) {
  if (a < 0 || b < 0 || a >= RowCount() || b >= RowCount()) return;
  std::swap(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]);
}

void TStrSortGrid::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  rows_.erase(rows_.begin() + row);
  SetRow(row_);
}

const char* TStrSortGrid::HeaderGlyph(int col) const {
  if (col != sort_col_ || !sorted_ || sorted_text_.empty()) return nullptr;
  return ascending_ ? "BBUP" : "BBDOWN";
}

std::string TStrSortGrid::SortKey(const std::string& text) {
  std::string key = text;
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

int TStrSortGrid::CompareKeys(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void TStrSortGrid::MouseUp(int col, int row) {
  if (SortOps != TSortops::soNon && row == 0 && col >= 0 && col < col_count_) {
    sort_col_ = col;
    sorted_ = true;
    sorted_text_ = Cell(col, 0);
    switch (SortOps) {
      case TSortops::soUponly:
        ascending_ = true;
        break;
      case TSortops::soDownOnly:
        ascending_ = false;
        break;
      default:
        ascending_ = !ascending_;
        break;
    }
    SortRows();
  }
  if (OnMouseUp) OnMouseUp();
}

void TStrSortGrid::SortRows() {
  const int first = 1, last = RowCount() - 1;
  if (last < first) return;
  std::vector<WorkRow> table;
  table.reserve(static_cast<size_t>(last - first + 1));
  for (int r = first; r <= last; ++r) table.push_back({r, SortKey(Cell(sort_col_, r))});
  QuickSort(table, 0, static_cast<int>(table.size()) - 1);
  // Whole rows move, in the sorted order or its reverse.
  std::vector<std::vector<std::string>> sorted;
  sorted.reserve(table.size());
  for (const auto& w : table) sorted.push_back(std::move(rows_[static_cast<size_t>(w.row)]));
  if (!ascending_) std::reverse(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i)
    rows_[static_cast<size_t>(first) + i] = std::move(sorted[i]);
}

}  // namespace pamirune
