// TForm5, the output-order dialog: the files of a PDF batch or a GIF animation in a grid
// (name, size, date) that the user sorts by a header click, reorders with "↑" and "↓" and
// thins out with "DEL". Whatever rows it holds when it closes are the batch's order.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/dialog_models.h"

class QPushButton;
class QTableWidget;

namespace pamirune {

class OrderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OrderDialog(QWidget* parent = nullptr);

  // Shows the rows modally and leaves the rows the dialog holds at its closing in model.rows,
  // with full paths, top to bottom. The sort column and direction are kept between showings.
  void Run(OrderDialogModel& model);

  // The dialog's actions (the buttons and a header click).
  void MoveUp();
  void MoveDown();
  void DeleteRow();
  void ToggleFullPath();
  void SortByColumn(int column);

  const std::vector<OrderRow>& Rows() const { return rows_; }
  QTableWidget* Grid() const { return grid_; }
  QPushButton* ViewButton() const { return view_; }
  bool Ascending() const { return ascending_; }
  bool Sorted() const { return sorted_; }
  int SortColumn() const { return sort_column_; }

  // The grid's sort key of a cell text: "a".."z" as upper case, other bytes unchanged; keys
  // compare byte by byte as unsigned values.
  static std::string SortKey(const std::string& text);

 private:
  void Show();
  void Select(int row);
  bool NamesOnly() const;

  std::vector<OrderRow> rows_;  // the path list: full paths in their current order
  QTableWidget* grid_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* view_ = nullptr;
  // Sorting, kept between showings: each header click flips the direction.
  int sort_column_ = 0;
  bool sorted_ = false;
  bool ascending_ = true;
};

}  // namespace pamirune
