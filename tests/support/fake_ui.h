// A scripted ConverterUi for tests: records every text shown and answers questions from a queue
// (OK when the queue is empty, unless default_answer says otherwise).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "raster/bitmap.h"

namespace pamirune::testing {

class FakeUi : public ConverterUi {
 public:
  std::vector<std::string> infos, confirms, errors, captions;
  std::vector<std::string> order_captions;
  std::deque<bool> answers;
  bool default_answer = true;
  std::string status;
  bool progress_visible = false;
  int progress_position = 0, progress_max = 0, format_dialogs = 0, pickers = 0;
  std::vector<bool> topmost_calls;
  // Optional scripted dialog behaviour.
  std::function<void(OrderDialogModel&)> on_order;
  std::function<void(FormatDialogModel&)> on_format;
  PickerResult picker_answer;

  void ShowInfo(const std::string& text) override { infos.push_back(text); }
  bool Confirm(const std::string& text) override {
    confirms.push_back(text);
    if (answers.empty()) return default_answer;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void SetTopmost(bool t) override { topmost_calls.push_back(t); }
  void SetStatusText(const std::string& text) override { status = text; }
  std::string StatusText() const override { return status; }
  void SetProgressVisible(bool v) override { progress_visible = v; }
  void SetProgressPosition(int p) override { progress_position = p; }
  void SetProgressMax(int m) override { progress_max = m; }
  void StepProgress() override { ++progress_position; }
  void SetDropCaption(const std::string& text) override { captions.push_back(text); }
  void Repaint() override {}
  void ShowFormatDialog(FormatDialogModel& model) override {
    ++format_dialogs;
    if (on_format) on_format(model);
  }
  void ShowOrderDialog(OrderDialogModel& model) override {
    order_captions.push_back(model.caption);
    if (on_order) on_order(model);
  }
  void ShowTransparentPicker(const TBitmap&, PickerResult& result) override {
    ++pickers;
    result = picker_answer;
  }
};

}  // namespace pamirune::testing
