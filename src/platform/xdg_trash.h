// The freedesktop.org trash: a trashed file goes to $trash/files/NAME with its record
// $trash/info/NAME.trashinfo (its original path and the deletion date), so the file managers
// can list and restore it.
//
// Files on the home trash's file system go to the home trash ($XDG_DATA_HOME/Trash). Files on
// another file system go to that volume's trash: $topdir/.Trash/$uid when the administrator
// made $topdir/.Trash (a real folder with the sticky bit), else $topdir/.Trash-$uid. A file is
// never copied across file systems.
#pragma once

#include <ctime>
#include <string>

namespace pamirune::xdg {

// Moves path to the trash. On failure returns false with a reason in *error (when given) and
// leaves the file where it was. *trashed_as receives the file's new path.
bool MoveToTrash(const std::string& path, std::string* error, std::string* trashed_as = nullptr);

// Percent-encodes a path for the Path= key (bytes other than letters, digits, "-._~/" become
// %XX).
std::string PercentEncodePath(const std::string& path);
std::string PercentDecode(const std::string& text);

// The text of a .trashinfo file.
std::string TrashInfoText(const std::string& path_value, std::time_t deletion_time);

}  // namespace pamirune::xdg
