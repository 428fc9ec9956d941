// TForm5, the output-order dialog: the files of a PDF batch or a GIF animation in a grid
// (name, size, date) that the user sorts by a header click, reorders with "↑" and "↓" and
// thins out with "DEL". The behaviour is OrderDialogLogic's (app/order_dialog_model.h); this
// view paints its grid and hands it the user's clicks.
#pragma once

#include <QDialog>

#include "app/dialog_models.h"
#include "app/order_dialog_model.h"

class QPushButton;
class QTableWidget;

namespace pamirune {

class OrderDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OrderDialog(QWidget* parent = nullptr);

  // Shows the rows modally; however the dialog is closed, model.rows receives the rows it
  // holds, with full paths, top to bottom. The sort column and direction are kept between
  // showings.
  void Run(OrderDialogModel& model);

  const OrderDialogLogic& Logic() const { return logic_; }
  QTableWidget* Grid() const { return grid_; }
  QPushButton* ViewButton() const { return view_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs a button's action on the row selected in the grid, then shows the result.
  template <class Action>
  void Act(Action action);
  void Show();
  void DeleteSelected();

  OrderDialogLogic logic_;
  QTableWidget* grid_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* up_ = nullptr;
  QPushButton* down_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* view_ = nullptr;
};

}  // namespace pamirune
