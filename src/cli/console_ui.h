// ConverterUi on a terminal: messages as lines, questions answered by the options or asked.
#pragma once

#include <cstdio>
#include <string>

#include "app/converter_ui.h"
#include "cli/cli_options.h"

namespace pamirune {

class ConsoleUi : public ConverterUi {
 public:
  // quiet: no information messages and no progress; errors and questions still show.
  ConsoleUi(Answer answer, std::FILE* out, std::FILE* err, std::FILE* in, bool quiet = false);

  void ShowInfo(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowFileError(const std::string& file, const std::string& text) override;
  void ShowFileWarning(const std::string& file, const std::string& text) override;
  void FileStarting(const std::string& file, int index, int count) override;
  void SetTopmost(bool) override {}
  void SetStatusText(const std::string& text) override { status_ = text; }
  std::string StatusText() const override { return status_; }
  void SetProgressVisible(bool) override {}
  void SetProgressPosition(int position) override { position_ = position; }
  void SetProgressMax(int maximum) override { maximum_ = maximum; }
  void StepProgress() override { ++position_; }
  void SetDropCaption(const std::string&) override {}
  void Repaint() override {}
  void ShowFormatDialog(FormatDialogModel& model) override;
  void ShowOrderDialog(OrderDialogModel& model) override;
  void ShowTransparentPicker(const TBitmap& image, PickerResult& result) override;

  bool had_error() const { return had_error_; }

 private:
  Answer answer_;
  std::FILE* out_;
  std::FILE* err_;
  std::FILE* in_;
  bool interactive_;
  bool quiet_;
  std::string status_;
  int position_ = 0;
  int maximum_ = 0;
  bool had_error_ = false;
};

}  // namespace pamirune
