// The desktop entry that offers the program to the file managers for image files (their
// "Open With" list): "ぱみるねを起動.desktop" in $XDG_DATA_HOME/applications.
#pragma once

#include <string>

namespace pamirune::xdg {

// The image types the program reads, MAG included.
inline constexpr char kImageMimeTypes[] =
    "image/bmp;image/x-bmp;image/x-ms-bmp;image/jpeg;image/png;image/x-mag;"
    "image/vnd.microsoft.icon;image/x-icon;image/gif;image/tiff;";

// The entry for a program and its working folder.
std::string DesktopEntryText(const std::string& program_path, const std::string& working_dir);

// One argument of an Exec= value, quoted when it needs it, with "%" doubled and the string
// escapes of the desktop-entry format applied.
std::string ExecArgument(const std::string& argument);
// A string value of a desktop entry (backslash, line feed, carriage return, tab escaped).
std::string EscapeValue(const std::string& value);

}  // namespace pamirune::xdg
