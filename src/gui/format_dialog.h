// TForm2, the format dialog "形式指定": a copy of the window's format bar and option bars with
// "変換後終了させない" and "OK", shown over a FormatDialogModel. Filling the model from the
// settings and copying it back when the dialog closes are the model's (app/format_dialog_model.h);
// this view shows the model and lets the user edit it.
#pragma once

#include <QDialog>

#include "app/dialog_models.h"

class QCheckBox;
class QPushButton;

namespace pamirune {

class OptionControls;

class FormatDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FormatDialog(QWidget* parent = nullptr);

  // Shows the dialog modally over the model: its activation rules run, the controls edit
  // model.values and model.states, the box edits model.keep_running. OK, the title bar and
  // Escape all close it the same way.
  void Run(FormatDialogModel& model);

  OptionControls* Controls() const { return controls_; }
  QCheckBox* KeepRunningBox() const { return keep_running_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  FormatDialogModel idle_;  // shown while no model is
  FormatDialogModel* model_ = &idle_;
  OptionControls* controls_ = nullptr;
  QCheckBox* keep_running_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace pamirune
