#include "app/order_dialog_model.h"

#include "app/messages.h"
#include "raster/file_path.h"

namespace pamirune {

OrderDialogLogic::OrderDialogLogic() : grid_(3, 2) {
  grid_.SetFixedRows(1);
  grid_.SortOps = TSortops::soBoth;
  grid_.OnMouseUp = [this] {
    // After the grid's own sorting: the rows' order is the new order.
    if (!shown_) return;
    RebuildPathList();
    if (remembered_caption_ == kFullPathView) {
      ShowNames();
      view_caption_ = kFullPathView;
    }
  };
}

std::string OrderDialogLogic::FileNamePart(const std::string& path) {
  return ExtractFileName(path);
}

void OrderDialogLogic::Activate(OrderDialogModel& model) {
  model_ = &model;
  caption_ = model.caption;
  const int n = static_cast<int>(model.rows.size());
  grid_.SetRowCount(n + 1);
  grid_.SetFixedRows(1);
  grid_.SetCell(0, 0, msg::kColumnFileName);
  grid_.SetCell(1, 0, msg::kColumnFileSize);
  grid_.SetCell(2, 0, msg::kColumnFileDate);
  for (int k = 1; k <= n; ++k) {
    const OrderRow& row = model.rows[static_cast<size_t>(k - 1)];
    grid_.SetCell(0, k, row.path);
    grid_.SetCell(1, k, row.size_text);
    grid_.SetCell(2, k, row.date_text);
  }
  grid_.SetRow(1);
  shown_ = true;
  RebuildPathList();
  ShowNames();
  view_caption_ = kFullPathView;
  remembered_caption_.clear();
}

void OrderDialogLogic::Close() {
  if (!shown_) return;
  ShowFullPaths();
  if (model_) {
    model_->rows.clear();
    for (int r = 1; r < grid_.RowCount(); ++r)
      model_->rows.push_back({grid_.Cell(0, r), grid_.Cell(1, r), grid_.Cell(2, r)});
  }
  paths_.clear();
  shown_ = false;
  model_ = nullptr;
}

void OrderDialogLogic::ShowNames() {
  for (size_t i = 0; i < paths_.size(); ++i)
    grid_.SetCell(0, static_cast<int>(i) + 1, FileNamePart(paths_[i]));
}

void OrderDialogLogic::ShowFullPaths() {
  for (size_t i = 0; i < paths_.size(); ++i) grid_.SetCell(0, static_cast<int>(i) + 1, paths_[i]);
}

void OrderDialogLogic::RebuildPathList() {
  paths_.clear();
  for (int r = 1; r < grid_.RowCount(); ++r) paths_.push_back(grid_.Cell(0, r));
}

void OrderDialogLogic::ToggleView() {
  if (!shown_) return;
  if (view_caption_ == kFullPathView) {
    ShowFullPaths();
    view_caption_ = kShortPathView;
  } else {
    ShowNames();
    view_caption_ = kFullPathView;
  }
}

void OrderDialogLogic::MoveUp() {
  const int r = grid_.Row();
  if (!shown_ || r <= 1) return;
  grid_.ExchangeRows(r, r - 1);
  std::swap(paths_[static_cast<size_t>(r - 1)], paths_[static_cast<size_t>(r - 2)]);
  grid_.SetRow(r - 1);
}

void OrderDialogLogic::MoveDown() {
  const int r = grid_.Row();
  if (!shown_ || r < 1 || r >= grid_.RowCount() - 1) return;
  grid_.ExchangeRows(r, r + 1);
  std::swap(paths_[static_cast<size_t>(r - 1)], paths_[static_cast<size_t>(r)]);
  grid_.SetRow(r + 1);
}

void OrderDialogLogic::DeleteRow() {
  const int r = grid_.Row();
  if (!shown_ || r < 1 || r >= grid_.RowCount()) return;
  grid_.DeleteRow(r);
  paths_.erase(paths_.begin() + (r - 1));
}

void OrderDialogLogic::MousePress(int col, int row) {
  if (!shown_) return;
  if (row >= 1) grid_.SetRow(row);
  remembered_caption_ = view_caption_;
  ShowFullPaths();
}

void OrderDialogLogic::MouseRelease(int col, int row) {
  if (!shown_) return;
  // A release whose press happened outside the grid: the grid must still sort and hand back
  // full paths, never the names on show.
  if (remembered_caption_.empty()) {
    remembered_caption_ = view_caption_;
    ShowFullPaths();
  }
  grid_.MouseUp(col, row);
  remembered_caption_.clear();
}

}  // namespace pamirune
