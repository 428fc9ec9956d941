#include "platform/xdg_dirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pamirune::xdg {

namespace {

std::string AbsoluteEnv(const char* name) {
  const char* v = std::getenv(name);
  if (!v || v[0] != '/') return "";
  return v;
}

}  // namespace

std::string HomeDir() {
  std::string home = AbsoluteEnv("HOME");
  if (!home.empty()) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  char buf[4096];
  if (getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return "/";
}

std::string DataHome() {
  std::string dir = AbsoluteEnv("XDG_DATA_HOME");
  return dir.empty() ? HomeDir() + "/.local/share" : dir;
}

std::string ConfigHome() {
  std::string dir = AbsoluteEnv("XDG_CONFIG_HOME");
  return dir.empty() ? HomeDir() + "/.config" : dir;
}

std::string RuntimeDir() { return AbsoluteEnv("XDG_RUNTIME_DIR"); }

std::string UserDirsValue(const std::string& text, const std::string& key,
                          const std::string& home) {
  std::istringstream in(text);
  std::string line, found;
  while (std::getline(in, line)) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] == '#') continue;
    if (line.compare(i, key.size(), key) != 0) continue;
    i += key.size();
    if (i >= line.size() || line[i] != '=') continue;
    std::string value = line.substr(i + 1);
    // The value is in double quotes; a backslash escapes the next character.
    if (value.size() < 2 || value.front() != '"') continue;
    std::string path;
    bool closed = false;
    for (size_t k = 1; k < value.size(); ++k) {
      if (value[k] == '\\' && k + 1 < value.size()) {
        path += value[++k];
      } else if (value[k] == '"') {
        closed = true;
        break;
      } else {
        path += value[k];
      }
    }
    if (!closed) continue;
    if (path.rfind("$HOME", 0) == 0 && (path.size() == 5 || path[5] == '/')) {
      path = home + path.substr(5);
    } else if (path.empty() || path[0] != '/') {
      continue;
    }
    found = path;  // the last assignment wins, as in the shell
  }
  // "$HOME/" alone means the feature is switched off.
  while (found.size() > 1 && found.back() == '/') found.pop_back();
  if (found == home) return "";
  return found;
}

std::string PicturesDir() {
  const std::string home = HomeDir();
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  if (in) {
    std::stringstream text;
    text << in.rdbuf();
    std::string dir = UserDirsValue(text.str(), "XDG_PICTURES_DIR", home);
    if (!dir.empty()) return dir;
  }
  return home + "/Pictures";
}

}  // namespace pamirune::xdg
