// The output-order dialog's behaviour (caption "pdf一括出力時出力順設定" or
// "gifｱﾆﾒ出力時出力順設定"): a sortable grid of the batch's files that the user reorders, sorts
// and thins before the pages or frames are written.
//
// The view keeps one OrderDialogLogic for the life of the program (the grid keeps its sort
// column and direction between showings). To show the dialog for an OrderDialogModel it calls
// Activate(model), forwards the user's actions, and calls Close() however the dialog is closed;
// Close() writes the rows, with full paths, back into the model.
#pragma once

#include <string>
#include <vector>

#include "app/dialog_models.h"
#include "app/str_sort_grid.h"

namespace pamirune {

inline constexpr char kFullPathView[] = "ﾌﾙﾊﾟｽ表示";
inline constexpr char kShortPathView[] = "ﾊﾟｽ省略表示";

class OrderDialogLogic {
 public:
  OrderDialogLogic();

  // The grid the view shows: column 0 "ﾌｧｲﾙ名", 1 "ﾌｧｲﾙｻｲｽﾞ", 2 "ﾌｧｲﾙ日付"; row 0 is the
  // header, rows 1 .. RowCount() - 1 the files.
  const TStrSortGrid& Grid() const { return grid_; }
  TStrSortGrid& Grid() { return grid_; }
  const std::string& Caption() const { return caption_; }
  // The view button's caption: "ﾌﾙﾊﾟｽ表示" while names are shown, "ﾊﾟｽ省略表示" otherwise.
  const std::string& ViewButtonCaption() const { return view_caption_; }
  // Full paths of the data rows in their current order (while shown).
  const std::vector<std::string>& PathList() const { return paths_; }
  bool Shown() const { return shown_; }

  // Fills the grid from the model and shows file names only.
  void Activate(OrderDialogModel& model);
  // Puts the full paths back into column 0 and hands the rows to the model.
  void Close();

  // The selected data row (1-based grid row).
  int SelectedRow() const { return grid_.Row(); }
  void Select(int row) { grid_.SetRow(row); }

  // The buttons. Those that cannot act (first row up, last row down, the header) do nothing.
  void ToggleView();  // "ﾌﾙﾊﾟｽ表示" / "ﾊﾟｽ省略表示"
  void MoveUp();      // "↑"
  void MoveDown();    // "↓"
  void DeleteRow();   // "DEL"

  // Mouse in the grid. A press (any cell, any button) selects a data row and shows full paths;
  // a release sorts when it is over the header (row 0), then rebuilds the path list in the new
  // order. row is -1 when the pointer is over no cell.
  void MousePress(int col, int row);
  void MouseRelease(int col, int row);

  // The file name part of a path (after the last "/").
  static std::string FileNamePart(const std::string& path);

 private:
  void ShowNames();
  void ShowFullPaths();
  void RebuildPathList();

  TStrSortGrid grid_;
  OrderDialogModel* model_ = nullptr;
  bool shown_ = false;
  std::string caption_;
  std::vector<std::string> paths_;
  std::string view_caption_ = kFullPathView;
  std::string remembered_caption_;
};

}  // namespace pamirune
