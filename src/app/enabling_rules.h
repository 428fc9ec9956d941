// The enabling rules of the main window's controls and of the format dialog, as functions over
// the Conversion settings. The window, the format dialog, the settings loader and the tests all
// go through them, so the controls and the record can never disagree.
//
// What follows when a format box changes:
//   png, ico, gif, tif: "透過" is enabled while png, ico or gif is ticked, otherwise disabled
//                       and unticked;
//   jpg, png:           the level group (track bar, spin edit, 高, 美, 圧縮率) is enabled while
//                       jpg or png is ticked;
//   ico:                the icon-size list and "Icoｻｲｽﾞ" are enabled while ico is ticked;
//   pdf:                "Pdf一括" is enabled and ticked with pdf, disabled and unticked without;
//   gif, tif:           with gif ticked "Gifｱﾆﾒ" and the delay edit are enabled, otherwise
//                       "Gifｱﾆﾒ" is disabled and unticked and the delay edit disabled;
//   bmp, mag:           nothing.
// In the main window "Gifｱﾆﾒ" enables the delay edit exactly while it is ticked.
#pragma once

#include "app/output_formats.h"
#include "app/settings.h"

namespace pamirune {

// A box of the format bar stands for its output format (the rows of app/output_formats.h say
// which controls each one drives and enables).
using FormatBox = OutputFormat;
// The boxes in the bar's order from left to right.
inline const std::array<FormatBox, kOutputFormatCount>& kFormatBoxes = FormatBarOrder();
inline const char* FormatBoxCaption(FormatBox box) { return FormatToken(box); }  // "bmp", ...
inline bool FormatBoxTicked(const ConversionSettings& s, FormatBox box) {
  return FormatTicked(s, box);
}

// Which controls are enabled. The defaults are the states the window is designed with.
struct ControlStates {
  bool transparency = true;  // "透過"
  bool pdf_batch = true;     // "Pdf一括"
  bool gif_anime = true;     // "Gifｱﾆﾒ"
  bool delay = true;         // the delay edit and "ﾀｲﾐﾝｸﾞ"
  bool level = false;        // track bar, spin edit, "高", "美", "圧縮率"
  bool icon_size = false;    // the icon-size list and "Icoｻｲｽﾞ"

  bool operator==(const ControlStates&) const = default;
};

// The states as they stand after the settings are loaded and whenever the format dialog is
// activated: every control enabled exactly while the format it belongs to is ticked.
ControlStates ComputeEnabling(const ConversionSettings& settings);

// Where a change happens: the two differ only in what "Gifｱﾆﾒ" drives.
enum class RuleSet { kMainWindow, kFormatDialog };

// Sets a format box. When its state changes (a click, or a change made by the program) the rules
// the box drives run, and may untick or tick dependent boxes.
void OnFormatToggled(ConversionSettings& settings, ControlStates& states, FormatBox box,
                     bool checked);
// Sets "Gifｱﾆﾒ". In the main window a change enables the delay edit exactly while it is ticked;
// in the format dialog it runs the "透過" and gif rules instead.
void OnGifAnimeToggled(ConversionSettings& settings, ControlStates& states, bool checked,
                       RuleSet rules = RuleSet::kMainWindow);
// The track bar and the spin edit show the same level; either sets it (kept within 0..10).
void OnLevelChanged(ConversionSettings& settings, int position);

// The end of loading: the "透過" rule, the enabling (not the ticking) of "Pdf一括" from "pdf",
// and the gif rule, applied once more.
void ApplyLoadedInvariants(ConversionSettings& settings, ControlStates& states);
// The format dialog's activation: "透過" rule, "Pdf一括" enabled with pdf (tick unchanged),
// gif rule.
void ActivateFormatDialog(ConversionSettings& dialog, ControlStates& dialog_states);

// The format dialog shows a copy of the window's format bar and option bars. Values are copied
// one by one in the dialog's order, each change running the receiving side's rules.
void CopyIntoFormatDialog(const ConversionSettings& settings, ConversionSettings& dialog,
                          ControlStates& dialog_states);
void CopyBackFromFormatDialog(const ConversionSettings& dialog, ConversionSettings& settings,
                              ControlStates& states);

// The three-state boxes and their captions.
enum class CheckState { kUnchecked, kChecked, kGrayed };
CheckState ColourBoxState(ColourMode mode);  // 256 colours checked, full unchecked, b/w grey
ColourMode ColourModeOf(CheckState state);
const char* ColourBoxCaption(ColourMode mode);   // "256色", "ﾌﾙｶﾗｰ", "白黒"
CheckState DisposalBoxState(Disposal disposal);  // trash checked, keep unchecked, delete grey
Disposal DisposalOf(CheckState state);
const char* DisposalBoxCaption(Disposal disposal);  // "元ﾌｧｲﾙｺﾞﾐ箱へ", "元ﾌｧｲﾙ残す", "元ﾌｧｲﾙ削除"

}  // namespace pamirune
