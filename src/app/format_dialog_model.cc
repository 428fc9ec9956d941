#include "app/format_dialog_model.h"

#include "app/messages.h"

namespace pamirune {

void FormatDialogModel::Activate() { ActivateFormatDialog(values, states); }

void FormatDialogModel::SetFormat(FormatBox box, bool checked) {
  OnFormatToggled(values, states, box, checked);
}

void FormatDialogModel::SetGifAnime(bool checked) {
  if (!states.gif_anime) return;
  OnGifAnimeToggled(values, states, checked, RuleSet::kFormatDialog);
}

void FormatDialogModel::SetLevel(int level) { OnLevelChanged(values, level); }

void FormatDialogModel::SetTransparency(bool checked) {
  if (states.transparency) values.transparency = checked;
}

void FormatDialogModel::SetPdfBatch(bool checked) {
  if (states.pdf_batch) values.pdf_batch = checked;
}

void FillFormatDialog(const ConversionSettings& settings, FormatDialogModel& dialog) {
  CopyIntoFormatDialog(settings, dialog.values, dialog.states);
}

bool CloseFormatDialog(const FormatDialogModel& dialog, ConversionSettings& settings,
                       ConverterUi& ui, ControlStates* window_states) {
  ControlStates local = ComputeEnabling(settings);
  CopyBackFromFormatDialog(dialog.values, settings, window_states ? *window_states : local);
  if (settings.AnyFormat()) return true;
  ui.ShowInfo(msg::kNoFormat);
  return false;
}

bool RunFormatDialog(ConversionSettings& settings, FormatDialogModel& dialog, ConverterUi& ui,
                     ControlStates* window_states) {
  FillFormatDialog(settings, dialog);
  dialog.Activate();
  ui.ShowFormatDialog(dialog);
  return CloseFormatDialog(dialog, settings, ui, window_states);
}

}  // namespace pamirune
