// TForm2, the format dialog "形式指定": a copy of the window's format bar and option bars with
// "変換後終了させない" and "OK". It is shown before a Send To start's batch and whenever a
// conversion starts with no output format ticked.
#pragma once

#include <QDialog>

#include "app/dialog_models.h"
#include "app/enabling_rules.h"

class QCheckBox;
class QPushButton;

namespace pamirune {

class OptionControls;

class FormatDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FormatDialog(QWidget* parent = nullptr);

  // Shows the dialog modally over model.values: the values are copied in one by one (the
  // dialog's rules running as they arrive) and, however the dialog is closed, copied back into
  // model.values with the main window's rules updating window_states. A closing with no format
  // ticked says so. model.keep_running receives "変換後終了させない", which keeps its state
  // between showings.
  void Run(FormatDialogModel& model, ControlStates& window_states);

  bool KeepRunning() const;
  OptionControls* Controls() const { return controls_; }
  QCheckBox* KeepRunningBox() const { return keep_running_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  ConversionSettings values_;
  ControlStates states_;
  OptionControls* controls_ = nullptr;
  QCheckBox* keep_running_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace pamirune
