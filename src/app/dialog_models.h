// The models behind the program's small dialogs, independent of any widget toolkit. The views
// (Qt in gui/, the terminal in cli/, scripted fakes in tests) show and edit them.
//
//   OrderDialogModel   what the batch hands the output-order dialog and reads back; the dialog's
//                      behaviour (path list, names view, buttons, sorting) is OrderDialogLogic in
//                      app/order_dialog_model.h.
//   FormatDialogModel  the format dialog "形式指定": a copy of the settings, the enabled state of
//                      its controls and "変換後終了させない"; copying in and back, and running
//                      it, are in app/format_dialog_model.h.
//   PickerResult       the transparent-colour picker's answer; the picker's behaviour is
//                      PickerModel in app/picker_model.h.
#pragma once

#include <string>
#include <vector>

#include "app/enabling_rules.h"
#include "app/settings.h"
#include "raster/graphic.h"

namespace pamirune {

// One data row of the output-order dialog: full path, size text, date text (the last two empty
// for a file that cannot be found).
struct OrderRow {
  std::string path;
  std::string size_text;
  std::string date_text;

  bool operator==(const OrderRow&) const = default;
};

// The output-order dialog: the caption and the rows below the header row. Whatever rows it
// holds when it closes are taken, top to bottom, with full paths.
class OrderDialogModel {
 public:
  std::string caption;
  std::vector<OrderRow> rows;
};

// The format dialog. It lives as long as the program, so "変換後終了させない" keeps its state
// between showings. The setters are the dialog's controls: each change runs the dialog's
// enabling rules, as a click on the control does (defined in app/format_dialog_model.cc).
struct FormatDialogModel {
  ConversionSettings values;
  bool keep_running = false;  // "変換後終了させない"
  ControlStates states;       // which of the dialog's controls are enabled

  // The dialog's activation: "透過", "Pdf一括" and the gif controls follow the format boxes.
  void Activate();
  // A format box clicked (or set) to checked.
  void SetFormat(FormatBox box, bool checked);
  // "Gifｱﾆﾒ" clicked: runs the "透過" and gif rules.
  void SetGifAnime(bool checked);
  // Track bar or spin edit: both show the level (kept within 0..10).
  void SetLevel(int level);
  // "透過" and "Pdf一括": plain boxes (ignored while disabled).
  void SetTransparency(bool checked);
  void SetPdfBatch(bool checked);
  // The disposal box and the delay edit.
  void SetDisposal(Disposal disposal) { values.disposal = disposal; }
  void SetDelayText(const std::string& text) { values.delay_text = text; }
  // Captions of the three-state boxes for their current state.
  const char* ColourCaption() const { return ColourBoxCaption(values.colour_mode); }
  const char* DisposalCaption() const { return DisposalBoxCaption(values.disposal); }
};

// The transparent-colour picker's answer: the colour picked and the point (image coordinates).
// picked is false until the user has clicked a pixel in any showing; color is then the bottom
// bar's default colour.
struct PickerResult {
  TColor color = 0;
  int x = 0;
  int y = 0;
  bool picked = false;
};

}  // namespace pamirune
