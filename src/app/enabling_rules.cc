#include "app/enabling_rules.h"

#include <algorithm>

namespace pamirune {
namespace {

// "透過": only with a format that can carry a transparent colour.
void TransparencyRule(ConversionSettings& s, ControlStates& states) {
  states.transparency = AnyTickedEnables(s, kTransparencyControl);
  if (!states.transparency) s.transparency = false;
}

void LevelRule(const ConversionSettings& s, ControlStates& states) {
  states.level = AnyTickedEnables(s, kLevelControl);
}

void IconSizeRule(const ConversionSettings& s, ControlStates& states) {
  states.icon_size = AnyTickedEnables(s, kIconSizeControl);
}

void PdfRule(ConversionSettings& s, ControlStates& states) {
  states.pdf_batch = AnyTickedEnables(s, kPdfBatchControl);
  s.pdf_batch = states.pdf_batch;
}

void GifRule(ConversionSettings& s, ControlStates& states) {
  states.gif_anime = AnyTickedEnables(s, kGifAnimeControl);
  states.delay = states.gif_anime;
  if (!states.gif_anime) s.gif_anime = false;
}

}  // namespace

ControlStates ComputeEnabling(const ConversionSettings& s) {
  ControlStates states;
  states.transparency = AnyTickedEnables(s, kTransparencyControl);
  states.pdf_batch = AnyTickedEnables(s, kPdfBatchControl);
  states.gif_anime = AnyTickedEnables(s, kGifAnimeControl);
  states.delay = states.gif_anime;
  states.level = AnyTickedEnables(s, kLevelControl);
  states.icon_size = AnyTickedEnables(s, kIconSizeControl);
  return states;
}

void OnFormatToggled(ConversionSettings& s, ControlStates& states, FormatBox box, bool checked) {
  bool& field = FormatField(s, box);
  if (field == checked) return;  // no change, no click
  field = checked;
  const unsigned drives = FormatInfo(box).drives;
  if (drives & kTransparencyControl) TransparencyRule(s, states);
  if (drives & kLevelControl) LevelRule(s, states);
  if (drives & kIconSizeControl) IconSizeRule(s, states);
  if (drives & kPdfBatchControl) PdfRule(s, states);
  if (drives & kGifAnimeControl) GifRule(s, states);
}

void OnGifAnimeToggled(ConversionSettings& s, ControlStates& states, bool checked, RuleSet rules) {
  if (s.gif_anime == checked) return;
  s.gif_anime = checked;
  if (rules == RuleSet::kMainWindow) {
    states.delay = checked;
  } else {
    TransparencyRule(s, states);
    GifRule(s, states);
  }
}

void OnLevelChanged(ConversionSettings& s, int position) { s.level = std::clamp(position, 0, 10); }

void ApplyLoadedInvariants(ConversionSettings& s, ControlStates& states) {
  TransparencyRule(s, states);
  states.pdf_batch = AnyTickedEnables(s, kPdfBatchControl);
  GifRule(s, states);
}

void ActivateFormatDialog(ConversionSettings& dialog, ControlStates& dialog_states) {
  ApplyLoadedInvariants(dialog, dialog_states);
}

namespace {

// The values both sides share, set on the receiving side as the dialog copies them.
struct Copier {
  const ConversionSettings& from;
  ConversionSettings& to;
  ControlStates& states;
  RuleSet rules;

  void Box(FormatBox box) { OnFormatToggled(to, states, box, FormatBoxTicked(from, box)); }
  void Anime() { OnGifAnimeToggled(to, states, from.gif_anime, rules); }
  void Colour() { to.colour_mode = from.colour_mode; }
  void Disposal() { to.disposal = from.disposal; }
  void Transparency() { to.transparency = from.transparency; }
  void PdfBatch() { to.pdf_batch = from.pdf_batch; }
  void Delay() { to.delay_text = from.delay_text; }
  void Level() { OnLevelChanged(to, from.level); }
  void IconSize() { to.icon_size_text = from.icon_size_text; }
  void Scale() { to.scale_text = from.scale_text; }
};

// The dialog's values in its order: the format boxes in writing order, the colour, disposal
// and transparency boxes after png's, "Pdf一括" after pdf's, and "Gifｱﾆﾒ" after the boxes
// (into the dialog) or after gif's (back into the window).
void CopyBoxesAndOptions(Copier& c, OutputFormat anime_after) {
  for (const auto& row : OutputFormats()) {
    c.Box(row.format);
    if (row.format == OutputFormat::kPng) {
      c.Colour();
      c.Disposal();
      c.Transparency();
    }
    if (row.format == OutputFormat::kPdf) c.PdfBatch();
    if (row.format == anime_after) c.Anime();
  }
  c.Delay();
  c.Level();  // the track bar position, then the spin edit's text: the same level
  c.IconSize();
  c.Scale();
}

}  // namespace

void CopyIntoFormatDialog(const ConversionSettings& settings, ConversionSettings& dialog,
                          ControlStates& dialog_states) {
  Copier c{settings, dialog, dialog_states, RuleSet::kFormatDialog};
  CopyBoxesAndOptions(c, OutputFormats().back().format);
}

void CopyBackFromFormatDialog(const ConversionSettings& dialog, ConversionSettings& settings,
                              ControlStates& states) {
  Copier c{dialog, settings, states, RuleSet::kMainWindow};
  CopyBoxesAndOptions(c, OutputFormat::kGif);
}

CheckState ColourBoxState(ColourMode mode) {
  switch (mode) {
    case ColourMode::k256:
      return CheckState::kChecked;
    case ColourMode::kFull:
      return CheckState::kUnchecked;
    case ColourMode::kBlackWhite:
      return CheckState::kGrayed;
  }
  return CheckState::kChecked;
}

ColourMode ColourModeOf(CheckState state) {
  switch (state) {
    case CheckState::kChecked:
      return ColourMode::k256;
    case CheckState::kUnchecked:
      return ColourMode::kFull;
    case CheckState::kGrayed:
      return ColourMode::kBlackWhite;
  }
  return ColourMode::k256;
}

const char* ColourBoxCaption(ColourMode mode) {
  switch (mode) {
    case ColourMode::k256:
      return "256色";
    case ColourMode::kFull:
      return "ﾌﾙｶﾗｰ";
    case ColourMode::kBlackWhite:
      return "白黒";
  }
  return "256色";
}

CheckState DisposalBoxState(Disposal disposal) {
  switch (disposal) {
    case Disposal::kTrash:
      return CheckState::kChecked;
    case Disposal::kKeep:
      return CheckState::kUnchecked;
    case Disposal::kDelete:
      return CheckState::kGrayed;
  }
  return CheckState::kUnchecked;
}

Disposal DisposalOf(CheckState state) {
  switch (state) {
    case CheckState::kChecked:
      return Disposal::kTrash;
    case CheckState::kUnchecked:
      return Disposal::kKeep;
    case CheckState::kGrayed:
      return Disposal::kDelete;
  }
  return Disposal::kKeep;
}

const char* DisposalBoxCaption(Disposal disposal) {
  switch (disposal) {
    case Disposal::kTrash:
      return "元ﾌｧｲﾙｺﾞﾐ箱へ";
    case Disposal::kKeep:
      return "元ﾌｧｲﾙ残す";
    case Disposal::kDelete:
      return "元ﾌｧｲﾙ削除";
  }
  return "元ﾌｧｲﾙ残す";
}

}  // namespace pamirune
