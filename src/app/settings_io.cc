#include "app/settings_io.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

#include "raster/file_path.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;

constexpr char kFormat[] = "Format";
constexpr char kFlag[] = "Flag";
constexpr char kFile[] = "File";
constexpr char kComp[] = "Comp";
constexpr char kIcoSize[] = "IcoSize";
constexpr char kWindow[] = "Window";
constexpr char kClipDir[] = "ClipDir";

constexpr char kConfigFolder[] = "pamirune";

// Keys beside the format boxes' (the rows of app/output_formats.h name those). Keys are compared
// without regard to case, so each is read under any spelling a stored file holds ("Resize",
// "size") and written as the program has always written it.
constexpr char kColourKey[] = "256";
constexpr char kTransparencyKey[] = "trs";
constexpr char kPdfBatchKey[] = "pdf";
constexpr char kAnimeKey[] = "anime";
constexpr char kDisposalKey[] = "Del";
constexpr char kDelayKey[] = "Delay";
constexpr char kScaleKey[] = "Size";

// The plain flags of [Flag], read and written in this order.
struct Flag {
  const char* key;
  bool ConversionSettings::*field;
};
constexpr Flag kFlags[] = {
    {"Dialog", &ConversionSettings::no_dialogs},
    {"Send", &ConversionSettings::format_dialog_on_send},
    {"Stay", &ConversionSettings::stay_resident},
    {"Top", &ConversionSettings::always_on_top},
    {"Prev", &ConversionSettings::preview},
    {"Over", &ConversionSettings::overwrite},
    {"Rename", &ConversionSettings::suffix_s},
    {"ReSize", &ConversionSettings::smooth_resize},
    {"bar1", &ConversionSettings::bar1},
    {"bar2", &ConversionSettings::bar2},
    {"bar3", &ConversionSettings::bar3},
    {"ClipDir", &ConversionSettings::use_output_dir},
    {"Trans", &ConversionSettings::transparent_per_image},
    {"PdfW", &ConversionSettings::pdf_order_dialog},
    {"GifW", &ConversionSettings::gif_order_dialog},
    {"ClipW", &ConversionSettings::watch_clipboard},
    {"FDate", &ConversionSettings::keep_date},
    {"AutoOrient", &ConversionSettings::auto_orient},
    {"PdfJpeg", &ConversionSettings::pdf_keep_jpeg},
};

// The three-state boxes are stored as 0 = checked, 1 = unchecked, 2 = grey.
int StoredState(CheckState state) {
  switch (state) {
    case CheckState::kChecked:
      return 0;
    case CheckState::kUnchecked:
      return 1;
    case CheckState::kGrayed:
      return 2;
  }
  return 0;
}

bool StateFromStored(int value, CheckState* state) {
  switch (value) {
    case 0:
      *state = CheckState::kChecked;
      return true;
    case 1:
      *state = CheckState::kUnchecked;
      return true;
    case 2:
      *state = CheckState::kGrayed;
      return true;
    default:
      return false;  // the box keeps its state
  }
}

int DelayValueOf(const std::string& text) {
  int value = 0;
  return ParseDelayText(text, &value) ? value : 0;
}

// A settings file beside the program, its name compared without regard to case as the program
// always has; empty when there is none.
std::string PortableSettingsFile(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path exact = folder / name;
  if (fs::is_regular_file(exact, ec)) return exact.string();
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (SameIniName(it->path().filename().string(), name) && it->is_regular_file(ec))
      return (folder / it->path().filename()).string();
  }
  return "";
}

}  // namespace

int ScaleIndexOf(std::string_view scale_text) {
  for (int i = 0; i < 7; ++i)
    if (scale_text == kScaleTexts[i]) return i + 1;
  return 0;
}

std::string SettingsFileName(const std::string& program_path) {
  std::string name = fs::path(program_path).filename().string();
  if (name.empty()) name = "pamirune";
  // The extension starts at the last dot; a leading dot marks a hidden name, not an extension.
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  name = LowerAscii(name + ".ini");
  if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

std::string SettingsFilePath(const std::string& program_path, const std::string& config_home) {
  std::string name = SettingsFileName(program_path);
  fs::path folder = fs::path(program_path).parent_path();
  std::string portable = PortableSettingsFile(folder, name);
  if (!portable.empty()) return portable;
  if (config_home.empty()) return (folder / name).string();
  return (fs::path(config_home) / kConfigFolder / name).string();
}

std::string FormatDelayText(int value) {
  if (value == 0) return "";
  std::string digits = std::to_string(value);
  size_t start = digits[0] == '-' ? 1 : 0;
  for (size_t i = digits.size(); i > start + 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

bool ParseDelayText(std::string_view text, int* value) {
  if (ParseIniInteger(text, value)) return true;
  // Digits grouped by thousands: 1 to 3 digits, then groups of "," and three digits.
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  size_t first = text.find(',');
  if (first == std::string_view::npos || first == 0 || first > 3) return false;
  int64_t result = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool comma_place = i >= first && (i - first) % 4 == 0;
    if (comma_place != (c == ',')) return false;
    if (c == ',') continue;
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
    if (result > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if ((text.size() - first) % 4 != 0) return false;  // the last group has three digits
  if (negative) result = -result;
  if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min())
    return false;
  *value = static_cast<int>(result);
  return true;
}

void LoadSettings(const TIniGT& ini, bool file_exists, ConversionSettings& s) {
  // The states the controls are in while loading; the rules below keep them up to date, and
  // the same states result from ComputeEnabling() at the end.
  ControlStates states = ComputeEnabling(s);
  auto box = [&](const OutputFormatInfo& row) {
    OnFormatToggled(s, states, row.format, ini.ReadBool(kFormat, row.ini_key, s.*row.ticked));
  };
  // The boxes in the bar's stored order; the colour, disposal and transparency boxes follow
  // png's, as their changes and the rules the boxes run meet in that order.
  for (const auto& row : OutputFormats()) {
    box(row);
    if (row.format != OutputFormat::kPng) continue;
    CheckState state;
    if (StateFromStored(ini.ReadInteger(kFormat, kColourKey, 0), &state))
      s.colour_mode = ColourModeOf(state);
    // Without a settings file, or without its entry (an empty file, or one written by hand),
    // the sources are kept: nothing disappears before the user says so.
    if (StateFromStored(ini.ReadInteger(kFlag, kDisposalKey, 1), &state))
      s.disposal = DisposalOf(state);
    if (!file_exists) s.disposal = Disposal::kKeep;
    s.transparency = ini.ReadBool(kFormat, kTransparencyKey, s.transparency);
  }
  s.pdf_batch = ini.ReadBool(kFlag, kPdfBatchKey, s.pdf_batch);
  OnGifAnimeToggled(s, states, ini.ReadBool(kFlag, kAnimeKey, s.gif_anime));

  // Delays are stored as plain digits; older files may hold the edit's text with separators.
  int delay = DelayValueOf(s.delay_text);
  std::string delay_stored;
  if (ini.File().Find(kFlag, kDelayKey, &delay_stored)) ParseDelayText(delay_stored, &delay);
  s.delay_text = FormatDelayText(delay);

  s.last_open_dir = ini.ReadString(kFile, "Open", s.last_open_dir);

  std::string icon = ini.ReadString(kIcoSize, "Size", s.icon_size_text);
  if (icon.empty()) {
    s.icon_size_text = "32";
  } else {
    int size = 0;
    s.icon_size_text.clear();  // any other value selects nothing
    if (ParseIniInteger(icon, &size))
      for (const char* entry : kIconSizeTexts)
        if (std::to_string(size) == entry) s.icon_size_text = entry;
  }

  for (const Flag& flag : kFlags) s.*flag.field = ini.ReadBool(kFlag, flag.key, s.*flag.field);

  int scale = ini.ReadInteger(kFlag, kScaleKey, 1);
  s.scale_text = (scale >= 1 && scale <= 7) ? kScaleTexts[scale - 1] : "";

  s.output_dir = ini.ReadString(kClipDir, "Dir", s.output_dir);

  // The track bar keeps its position within its range; the spin edit follows it.
  OnLevelChanged(s, ini.ReadInteger(kComp, "Comp", s.level));

  ApplyLoadedInvariants(s, states);
}

bool LoadSettings(const std::string& ini_path, ConversionSettings& settings, bool* file_existed) {
  std::error_code ec;
  bool exists = fs::is_regular_file(ini_path, ec);
  if (file_existed) *file_existed = exists;
  TIniGT ini(ini_path);
  LoadSettings(ini, exists, settings);
  return !exists;
}

void RestoreWindowPlacement(const TIniGT& ini, ConversionSettings& s) {
  ini.ReadWindowPos(kWindow, "Pos", &s.window_left, &s.window_top);
  ini.ReadWindowSize(kWindow, "Size", &s.window_width, &s.window_height);
}

void RestoreWindowPlacement(const std::string& ini_path, ConversionSettings& settings) {
  RestoreWindowPlacement(TIniGT(ini_path), settings);
}

void SaveSettings(TIniGT& ini, const ConversionSettings& s, bool window_placement) {
  ini.BeginUpdate();
  for (const auto& row : OutputFormats()) {
    ini.WriteBool(kFormat, row.ini_key, s.*row.ticked);
    if (row.format != OutputFormat::kPng) continue;
    ini.WriteInteger(kFormat, kColourKey, StoredState(ColourBoxState(s.colour_mode)));
    ini.WriteBool(kFormat, kTransparencyKey, s.transparency);
  }
  ini.WriteBool(kFlag, kPdfBatchKey, s.pdf_batch);
  ini.WriteBool(kFlag, kAnimeKey, s.gif_anime);
  for (const Flag& flag : kFlags) ini.WriteBool(kFlag, flag.key, s.*flag.field);
  ini.WriteInteger(kFlag, kDisposalKey, StoredState(DisposalBoxState(s.disposal)));
  // Plain digits, so that a delay of 1000 or more reads back; a text that is no number (the
  // empty field of a zero delay) is written as it stands.
  int delay = 0;
  if (ParseDelayText(s.delay_text, &delay)) {
    ini.WriteInteger(kFlag, kDelayKey, delay);
  } else {
    ini.WriteString(kFlag, kDelayKey, s.delay_text);
  }
  ini.WriteString(kFile, "Open", s.last_open_dir);
  ini.WriteInteger(kComp, "Comp", s.level);
  ini.WriteString(kIcoSize, "Size", s.icon_size_text);
  if (window_placement) {
    ini.WriteWindowPos(kWindow, "Pos", s.window_left, s.window_top);
    ini.WriteWindowSize(kWindow, "Size", s.window_width, s.window_height);
  }
  if (int scale = ScaleIndexOf(s.scale_text); scale > 0) ini.WriteInteger(kFlag, kScaleKey, scale);
  ini.WriteString(kClipDir, "Dir", s.output_dir);
  ini.EndUpdate();
}

void SaveSettings(const std::string& ini_path, const ConversionSettings& settings,
                  bool window_placement) {
  TIniGT ini(ini_path);
  SaveSettings(ini, settings, window_placement);
}

}  // namespace pamirune
