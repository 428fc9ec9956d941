// The desktop program's tests run on Qt's offscreen platform with a temporary home, runtime,
// data and settings folder: never the user's display, settings or Send To entry.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "formats/register_all.h"
#include "gui/window_util.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const pamirune::testing::TempDir temp;
  const fs::path home = temp.path();
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
  return RUN_ALL_TESTS();
}
