#include "gui/window_ui.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "app/enabling_rules.h"
#include "gui/format_dialog.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/order_dialog.h"
#include "gui/picker_dialog.h"

namespace pamirune {

void WindowUi::ShowInfo(const std::string& text) {
  ShowInformation(&window_, QString::fromStdString(text));
}

bool WindowUi::Confirm(const std::string& text) {
  return AskOkCancel(&window_, QString::fromStdString(text));
}

bool WindowUi::ConfirmRisky(const std::string& text) {
  return ShowMessage(&window_, MessageKind::kRiskyConfirmation, QString::fromStdString(text));
}

void WindowUi::ShowError(const std::string& text) {
  ShowMessage(&window_, MessageKind::kError, QString::fromStdString(text));
}

void WindowUi::SetTopmost(bool topmost) { window_.SetTopmost(topmost); }

void WindowUi::SetStatusText(const std::string& text) {
  window_.status_->setText(DisplayText(QString::fromStdString(text)));
  window_.status_->setProperty("program_text", QString::fromStdString(text));
}

std::string WindowUi::StatusText() const {
  return window_.status_->property("program_text").toString().toStdString();
}

void WindowUi::SetProgressVisible(bool visible) { window_.progress_->setVisible(visible); }

void WindowUi::SetProgressPosition(int position) { window_.progress_->setValue(position); }

void WindowUi::SetProgressMax(int maximum) {
  // A bar of range 0..0 would turn into a busy indicator.
  window_.progress_->setRange(0, std::max(1, maximum));
}

void WindowUi::StepProgress() {
  QProgressBar* bar = window_.progress_;
  bar->setValue(std::min(bar->maximum(), bar->value() + 1));
}

void WindowUi::SetDropCaption(const std::string& text) {
  window_.drop_zone_->setText(DisplayText(QString::fromStdString(text)));
}

void WindowUi::Repaint() {
  window_.RefreshControls();
  window_.repaint();
  // Let the window paint (no input is taken while a conversion runs).
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void WindowUi::ShowFormatDialog(FormatDialogModel& model) {
  window_.format_dialog_->Run(model);
  // Closing copies the dialog back into the settings, the window's rules running as the values
  // arrive; the window's control states follow the same way (a second pass changes nothing).
  ConversionSettings arriving = window_.settings_;
  CopyBackFromFormatDialog(model.values, arriving, window_.states_);
}

void WindowUi::ShowOrderDialog(OrderDialogModel& model) { window_.order_dialog_->Run(model); }

void WindowUi::ShowTransparentPicker(const TBitmap& image, PickerResult& result) {
  window_.picker_->Run(image, result);
}

}  // namespace pamirune
