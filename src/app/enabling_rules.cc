#include "app/enabling_rules.h"

#include <algorithm>

namespace pamirune {
namespace {

// "透過": only with a format that can carry a transparent colour.
void TransparencyRule(ConversionSettings& s, ControlStates& states) {
  states.transparency = s.write_png || s.write_ico || s.write_gif;
  if (!states.transparency) s.transparency = false;
}

void LevelRule(const ConversionSettings& s, ControlStates& states) {
  states.level = s.write_jpg || s.write_png;
}

void IconSizeRule(const ConversionSettings& s, ControlStates& states) {
  states.icon_size = s.write_ico;
}

void PdfRule(ConversionSettings& s, ControlStates& states) {
  states.pdf_batch = s.write_pdf;
  s.pdf_batch = s.write_pdf;
}

void GifRule(ConversionSettings& s, ControlStates& states) {
  states.gif_anime = s.write_gif;
  states.delay = s.write_gif;
  if (!s.write_gif) s.gif_anime = false;
}

}  // namespace

const char* FormatBoxCaption(FormatBox box) {
  switch (box) {
    case FormatBox::kBmp:
      return "bmp";
    case FormatBox::kJpg:
      return "jpg";
    case FormatBox::kPng:
      return "png";
    case FormatBox::kMag:
      return "mag";
    case FormatBox::kIco:
      return "ico";
    case FormatBox::kGif:
      return "gif";
    case FormatBox::kTif:
      return "tif";
    case FormatBox::kPdf:
      return "pdf";
  }
  return "";
}

namespace {

template <class Settings>
auto& BoxField(Settings& s, FormatBox box) {
  switch (box) {
    case FormatBox::kBmp:
      return s.write_bmp;
    case FormatBox::kJpg:
      return s.write_jpg;
    case FormatBox::kPng:
      return s.write_png;
    case FormatBox::kMag:
      return s.write_mag;
    case FormatBox::kIco:
      return s.write_ico;
    case FormatBox::kGif:
      return s.write_gif;
    case FormatBox::kTif:
      return s.write_tif;
    case FormatBox::kPdf:
      return s.write_pdf;
  }
  return s.write_bmp;
}

}  // namespace

bool& FormatBoxField(ConversionSettings& s, FormatBox box) { return BoxField(s, box); }

bool FormatBoxTicked(const ConversionSettings& s, FormatBox box) { return BoxField(s, box); }

ControlStates ComputeEnabling(const ConversionSettings& s) {
  ControlStates states;
  states.transparency = s.write_png || s.write_ico || s.write_gif;
  states.pdf_batch = s.write_pdf;
  states.gif_anime = s.write_gif;
  states.delay = s.write_gif;
  states.level = s.write_jpg || s.write_png;
  states.icon_size = s.write_ico;
  return states;
}

void OnFormatToggled(ConversionSettings& s, ControlStates& states, FormatBox box, bool checked) {
  bool& field = FormatBoxField(s, box);
  if (field == checked) return;  // no change, no click
  field = checked;
  switch (box) {
    case FormatBox::kBmp:
    case FormatBox::kMag:
      break;
    case FormatBox::kJpg:
      LevelRule(s, states);
      break;
    case FormatBox::kPng:
      TransparencyRule(s, states);
      LevelRule(s, states);
      break;
    case FormatBox::kIco:
      TransparencyRule(s, states);
      IconSizeRule(s, states);
      break;
    case FormatBox::kPdf:
      PdfRule(s, states);
      break;
    case FormatBox::kGif:
    case FormatBox::kTif:
      TransparencyRule(s, states);
      GifRule(s, states);
      break;
  }
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
  states.pdf_batch = s.write_pdf;
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

}  // namespace

void CopyIntoFormatDialog(const ConversionSettings& settings, ConversionSettings& dialog,
                          ControlStates& dialog_states) {
  Copier c{settings, dialog, dialog_states, RuleSet::kFormatDialog};
  c.Box(FormatBox::kBmp);
  c.Box(FormatBox::kJpg);
  c.Box(FormatBox::kPng);
  c.Colour();
  c.Disposal();
  c.Transparency();
  c.Box(FormatBox::kMag);
  c.Box(FormatBox::kIco);
  c.Box(FormatBox::kPdf);
  c.PdfBatch();
  c.Box(FormatBox::kGif);
  c.Box(FormatBox::kTif);
  c.Anime();
  c.Delay();
  c.Level();  // the track bar position, then the spin edit's text: the same level
  c.IconSize();
  c.Scale();
}

void CopyBackFromFormatDialog(const ConversionSettings& dialog, ConversionSettings& settings,
                              ControlStates& states) {
  Copier c{dialog, settings, states, RuleSet::kMainWindow};
  c.Box(FormatBox::kBmp);
  c.Box(FormatBox::kJpg);
  c.Box(FormatBox::kPng);
  c.Colour();
  c.Disposal();
  c.Transparency();
  c.Box(FormatBox::kMag);
  c.Box(FormatBox::kIco);
  c.Box(FormatBox::kPdf);
  c.PdfBatch();
  c.Box(FormatBox::kGif);
  c.Anime();
  c.Box(FormatBox::kTif);
  c.Delay();
  c.Level();
  c.IconSize();
  c.Scale();
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
