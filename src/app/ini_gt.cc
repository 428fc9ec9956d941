#include "app/ini_gt.h"

#include <cstdint>
#include <limits>

#include "raster/errors.h"

namespace pamirune {
namespace {

bool IsNumberBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Join(std::string_view key, const char* suffix) { return std::string(key) + suffix; }

}  // namespace

bool ParseIniInteger(std::string_view text, int* value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::string_view digits = text.substr(2);
    if (digits.size() > 8) return false;
    uint32_t result = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return false;
      result = result << 4 | static_cast<uint32_t>(d);
    }
    *value = static_cast<int>(static_cast<int32_t>(result));
    return true;
  }
  while (!text.empty() && IsNumberBlank(text.front())) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
    if (result > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (negative) result = -result;
  if (result > std::numeric_limits<int32_t>::max()) return false;
  *value = static_cast<int>(result);
  return true;
}

std::string TIniGT::ReadString(std::string_view section, std::string_view key,
                               const std::string& default_value) const {
  return file_.ReadString(section, key, default_value);
}

void TIniGT::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  try {
    file_.WriteString(section, key, value);
  } catch (const Exception&) {
    RaiseCannotWrite();
  }
}

bool TIniGT::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

void TIniGT::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

int TIniGT::ReadInteger(std::string_view section, std::string_view key, int default_value) const {
  std::string text;
  int value = 0;
  if (file_.Find(section, key, &text) && ParseIniInteger(text, &value)) return value;
  return default_value;
}

void TIniGT::WriteInteger(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniGT::ReadWindowPos(std::string_view section, std::string_view key, int* left,
                           int* top) const {
  *left = ReadInteger(section, Join(key, ".X"), *left);
  *top = ReadInteger(section, Join(key, ".Y"), *top);
}

void TIniGT::WriteWindowPos(std::string_view section, std::string_view key, int left, int top) {
  WriteInteger(section, Join(key, ".X"), left);
  WriteInteger(section, Join(key, ".Y"), top);
}

void TIniGT::ReadWindowSize(std::string_view section, std::string_view key, int* width,
                            int* height) const {
  *width = ReadInteger(section, Join(key, ".XSize"), *width);
  *height = ReadInteger(section, Join(key, ".YSize"), *height);
}

void TIniGT::WriteWindowSize(std::string_view section, std::string_view key, int width,
                             int height) {
  WriteInteger(section, Join(key, ".XSize"), width);
  WriteInteger(section, Join(key, ".YSize"), height);
}

void TIniGT::EndUpdate() {
  try {
    file_.EndUpdate();
  } catch (const Exception&) {
    RaiseCannotWrite();
  }
}

void TIniGT::RaiseCannotWrite() const {
  std::string text = file_.FileName() + kCannotWriteSuffix;
  // Said plainly, as the user chose that file: it is kept as it is.
  if (!file_.IsSettingsFile()) text += kNotSettingsFileNote;
  throw Exception(text);
}

}  // namespace pamirune
