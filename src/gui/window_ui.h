// ConverterUi over the main window's widgets: message boxes, the status bar's panel and
// progress bar, the drop zone's caption, topmost switching and the three dialogs.
#pragma once

#include "app/converter_ui.h"

namespace pamirune {

class MainWindow;

class WindowUi : public ConverterUi {
 public:
  explicit WindowUi(MainWindow& window) : window_(window) {}

  void ShowInfo(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool ConfirmRisky(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void SetTopmost(bool topmost) override;
  void SetStatusText(const std::string& text) override;
  std::string StatusText() const override;
  void SetProgressVisible(bool visible) override;
  void SetProgressPosition(int position) override;
  void SetProgressMax(int maximum) override;
  void StepProgress() override;
  void SetDropCaption(const std::string& text) override;
  void Repaint() override;
  void ShowFormatDialog(FormatDialogModel& model) override;
  void ShowOrderDialog(OrderDialogModel& model) override;
  void ShowTransparentPicker(const TBitmap& image, PickerResult& result) override;

 private:
  MainWindow& window_;
};

}  // namespace pamirune
