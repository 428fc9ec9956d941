// TIniGT: the typed operations the settings are stored with, over a TIniFile.
//   Boolean  written "1" / "0", read as an integer (any non-zero value is true);
//   integer  written as decimal text; read as decimal, or hexadecimal after "0x" / "0X";
//            an unparsable or missing value gives the default;
//   string   written and read as it is, without quotes;
//   window position / size: two integers under key.X / key.Y, key.XSize / key.YSize.
// A write that cannot be saved raises Exception("<file> に書き込めません").
#pragma once

#include <string>
#include <string_view>

#include "app/ini_file.h"

namespace pamirune {

// "%s に書き込めません": the text after the settings file's full path.
inline constexpr char kCannotWriteSuffix[] = " に書き込めません";
// Follows it when the file is no settings file (it is then left untouched).
inline constexpr char kNotSettingsFileNote[] = "\n設定ファイルではないため、上書きしません。";

// Parses an integer as the INI reader does: optional blanks and sign, decimal digits; a text
// of more than two characters starting "0x" or "0X" is hexadecimal (up to 32 bits, taken as a
// signed value). False when the text is not a number or out of the 32-bit range.
bool ParseIniInteger(std::string_view text, int* value);

class TIniGT {
 public:
  explicit TIniGT(const std::string& file_name) : file_(file_name) {}
  explicit TIniGT(TIniFile file) : file_(std::move(file)) {}

  TIniFile& File() { return file_; }
  const TIniFile& File() const { return file_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& default_value) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  void WriteBool(std::string_view section, std::string_view key, bool value);

  int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
  void WriteInteger(std::string_view section, std::string_view key, int value);

  // *left and *top hold the current values on entry (the defaults) and the result on return.
  void ReadWindowPos(std::string_view section, std::string_view key, int* left, int* top) const;
  void WriteWindowPos(std::string_view section, std::string_view key, int left, int top);
  // *width and *height hold the current values on entry (the defaults) and the result on return.
  void ReadWindowSize(std::string_view section, std::string_view key, int* width,
                      int* height) const;
  void WriteWindowSize(std::string_view section, std::string_view key, int width, int height);

  // Groups writes into one save of the file (at the outermost EndUpdate).
  void BeginUpdate() { file_.BeginUpdate(); }
  void EndUpdate();

 private:
  [[noreturn]] void RaiseCannotWrite() const;

  TIniFile file_;
};

}  // namespace pamirune
