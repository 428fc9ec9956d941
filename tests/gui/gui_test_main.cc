// The desktop program's tests run on Qt's offscreen platform with a temporary home, runtime,
// data and settings folder: never the user's display, settings or Send To entry.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "formats/register_all.h"
#include "gui/window_util.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string tmpl = (fs::temp_directory_path() / "pamirune-gui-test-XXXXXX").string();
  char* made = ::mkdtemp(tmpl.data());
  if (!made) return 1;
  const fs::path home = made;
  for (const char* sub : {"config", "data", "run", "cache"}) fs::create_directories(home / sub);
  fs::permissions(home / "run", fs::perms::owner_all, fs::perm_options::replace);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  pamirune::ApplyProgramFont();
  pamirune::RegisterGraphicKinds();
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(home, ec);
  return result;
}
