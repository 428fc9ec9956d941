// The format dialog "形式指定": copying the settings in and back, and running it. The model and
// its controls are FormatDialogModel in app/dialog_models.h.
#pragma once

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "app/enabling_rules.h"
#include "app/settings.h"

namespace pamirune {

inline constexpr char kFormatDialogCaption[] = "形式指定";
inline constexpr char kKeepRunningCaption[] = "変換後終了させない";

// Copies the settings into the dialog, one value at a time in the dialog's order, each running
// the dialog's rules. "変換後終了させない" is the dialog's own and is not touched.
void FillFormatDialog(const ConversionSettings& settings, FormatDialogModel& dialog);

// Closing the dialog, by any means: copies its values back into the settings (the main
// window's rules run as they arrive and update window_states when given), then shows
// "形式が指定されてないよぉ～(;_;)" when no format is ticked. True when a format is ticked.
bool CloseFormatDialog(const FormatDialogModel& dialog, ConversionSettings& settings,
                       ConverterUi& ui, ControlStates* window_states = nullptr);

// Fills the dialog, shows it modally and closes it (the three steps above). True when a format
// is ticked afterwards.
bool RunFormatDialog(ConversionSettings& settings, FormatDialogModel& dialog, ConverterUi& ui,
                     ControlStates* window_states = nullptr);

// Whether the program ends after a batch started from the command line.
inline bool CloseAfterBatch(const FormatDialogModel& dialog) { return !dialog.keep_running; }

}  // namespace pamirune
