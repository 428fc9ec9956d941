// Loading and saving the Conversion settings, and where the settings file lives.
//
// The file is named after the program ("pamirune" keeps "Pamirune.ini"). It lives beside the
// program when such a file is already there (a portable install), otherwise in
// $XDG_CONFIG_HOME/pamirune/ (~/.config/pamirune/ by default).
//
// Loading reads the values in a fixed order and sets them as the window's controls would take
// them: setting a format box runs its enabling rules, which may tick or untick dependent boxes
// read later, and the values read with "the current state" as default see those changes.
#pragma once

#include <string>
#include <string_view>

#include "app/enabling_rules.h"
#include "app/ini_gt.h"
#include "app/settings.h"

namespace pamirune {

// Shown once when there is no settings file yet (line feed, then carriage return, as always).
inline constexpr char kFirstRunHint[] =
    "右クリックをすると詳細設定用バーが表示されます。\n\r場合に応じてお使いください。";

// The scale list's entries; [Flag] Size stores 1..7.
inline constexpr const char* kScaleTexts[] = {"1/1", "1/2", "1/3", "2/3", "3/4", "2×", "3×"};
// 1..7 for an entry of the scale list, 0 for anything else.
int ScaleIndexOf(std::string_view scale_text);
// The icon-size list's entries.
inline constexpr const char* kIconSizeTexts[] = {"16", "32", "64", "128", "256"};

// The settings file's name for a program path: the program's file name with the extension
// ".ini", lower case, its first letter upper case.
std::string SettingsFileName(const std::string& program_path);
// The settings file for a program path: beside the program when one is there (see above), else
// in config_home (Platform::ConfigHome); beside the program too when config_home is empty.
std::string SettingsFilePath(const std::string& program_path, const std::string& config_home);

// The delay edit's text for a value: thousands separators, and an empty field for 0.
std::string FormatDelayText(int value);
// Reads a delay as an integer: plain or "0x" digits, or digits grouped with ",", as the edit
// shows them (files written by older versions hold such texts).
bool ParseDelayText(std::string_view text, int* value);

// Loads the settings file into the record. The record holds the controls' current values on
// entry; they are the defaults of the values read "with the current state". Fills every field
// except the window's position and size, then re-establishes the enabling invariants. Returns
// true when the first-run hint must be shown (there was no settings file).
bool LoadSettings(const std::string& ini_path, ConversionSettings& settings,
                  bool* file_existed = nullptr);
void LoadSettings(const TIniGT& ini, bool file_exists, ConversionSettings& settings);

// Reads the window's position and size, the record's current values being the defaults.
void RestoreWindowPlacement(const std::string& ini_path, ConversionSettings& settings);
void RestoreWindowPlacement(const TIniGT& ini, ConversionSettings& settings);

// Writes every field, in the fixed order, in one save of the file. Raises
// Exception("<ini_path> に書き込めません") when the file cannot be written; the file on disk is
// then left as it was. Without window_placement the [Window] keys are left as they are (a
// program without a window never read them). Every key the record has no field for stays.
void SaveSettings(const std::string& ini_path, const ConversionSettings& settings,
                  bool window_placement = true);
void SaveSettings(TIniGT& ini, const ConversionSettings& settings, bool window_placement = true);

}  // namespace pamirune
