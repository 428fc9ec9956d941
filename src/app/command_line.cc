#include "app/command_line.h"

#include "app/format_dialog_model.h"

namespace pamirune {

std::vector<std::string> LongPathArguments(Platform& platform,
                                           const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  files.reserve(arguments.size());
  for (const auto& a : arguments) {
    // As with the shell, only a name that exists resolves.
    std::string path = a.empty() ? std::string() : platform.LongPathName(a);
    if (!path.empty() && !platform.FindFile(path)) path.clear();
    files.push_back(path);
  }
  return files;
}

bool CommandLineStep::Run(ConversionSettings& settings, FormatDialogModel& format_dialog,
                          ConverterUi& ui, Platform& platform, const BatchEntry& batch,
                          ControlStates* window_states) {
  if (done_) return false;
  done_ = true;
  std::vector<std::string> files = LongPathArguments(platform, arguments_);
  if (arguments_.empty()) return false;
  if (settings.format_dialog_on_send || !settings.AnyFormat())
    RunFormatDialog(settings, format_dialog, ui, window_states);
  batch(static_cast<int>(arguments_.size()), files);
  return CloseAfterBatch(format_dialog);
}

}  // namespace pamirune
