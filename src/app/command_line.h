// The command-line step: image files given on the command line (as a file manager passes
// them) are converted once, at the first activation of the main window, with the current
// settings; the program then ends unless "変換後終了させない" was ticked in the format dialog.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "app/platform.h"
#include "app/settings.h"

namespace pamirune {

// Absolute, normalised paths of the arguments, in order; an argument that cannot be resolved
// stays in the list as an empty entry.
std::vector<std::string> LongPathArguments(Platform& platform,
                                           const std::vector<std::string>& arguments);

// The batch driver's entry: the number of arguments and the list (changed in place).
using BatchEntry = std::function<void(int num, std::vector<std::string>& files)>;

class CommandLineStep {
 public:
  explicit CommandLineStep(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

  bool HasArguments() const { return !arguments_.empty(); }
  bool Done() const { return done_; }

  // Runs at an activation of the main window; only the first call does anything, so a program
  // that stays open never converts the same files again. Shows the format dialog when [Flag]
  // Send is set or no format is ticked, runs the batch, and returns true when the program is to
  // end now (there were arguments and "変換後終了させない" is not ticked).
  bool Run(ConversionSettings& settings, FormatDialogModel& format_dialog, ConverterUi& ui,
           Platform& platform, const BatchEntry& batch, ControlStates* window_states = nullptr);

 private:
  std::vector<std::string> arguments_;
  bool done_ = false;
};

}  // namespace pamirune
