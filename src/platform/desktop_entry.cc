#include "platform/desktop_entry.h"

#include <cstring>

namespace pamirune::xdg {

std::string EscapeValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string ExecArgument(const std::string& argument) {
  static const char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
  bool quote = argument.empty();
  for (char c : argument)
    if (std::strchr(kReserved, c) && c != '\0') quote = true;
  std::string arg;
  if (quote) arg += '"';
  for (char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
    if (c == '%') arg += '%';  // a literal percent sign is doubled
    arg += c;
  }
  if (quote) arg += '"';
  // The Exec key is a string value: its backslashes are escaped once more.
  return EscapeValue(arg);
}

std::string DesktopEntryText(const std::string& program_path, const std::string& working_dir) {
  std::string text;
  text += "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Name=ぱみるね\n";
  text += "Exec=" + ExecArgument(program_path) + " %F\n";
  text += "Path=" + EscapeValue(working_dir) + "\n";
  text += "MimeType=";
  text += kImageMimeTypes;
  text += "\n";
  text += "Terminal=false\n";
  return text;
}

}  // namespace pamirune::xdg
