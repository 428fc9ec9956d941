// The user's folders as the freedesktop.org base-directory and user-dirs rules name them.
#pragma once

#include <string>

namespace pamirune::xdg {

// $HOME, else the password database's home folder.
std::string HomeDir();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string DataHome();
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string ConfigHome();
// $XDG_RUNTIME_DIR when it is an absolute path, else "".
std::string RuntimeDir();
// XDG_PICTURES_DIR from $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Pictures.
std::string PicturesDir();
// The value of key in the text of a user-dirs.dirs file ("$HOME/..." or an absolute path in
// double quotes); "" when the key is missing or its value is not usable.
std::string UserDirsValue(const std::string& text, const std::string& key, const std::string& home);

}  // namespace pamirune::xdg
