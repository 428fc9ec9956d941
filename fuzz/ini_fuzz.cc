// Arbitrary bytes as a settings file: the INI reader, the typed reads and the settings loader
// must take anything, and saving what was loaded must load back to the same record.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/enabling_rules.h"
#include "app/ini_file.h"
#include "app/ini_gt.h"
#include "app/settings_io.h"
#include "raster/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pamirune;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    TIniGT ini(TIniFile::FromText(text));
    ConversionSettings loaded;
    LoadSettings(ini, true, loaded);
    RestoreWindowPlacement(ini, loaded);

    SaveSettings(ini, loaded);
    TIniGT saved(TIniFile::FromText(ini.File().Text()));
    ConversionSettings reloaded;
    LoadSettings(saved, true, reloaded);
    RestoreWindowPlacement(saved, reloaded);

    // Two values come back changed by design: an icon size that selects nothing is saved
    // empty and selects 32 next time, and a zero delay is an empty field that reads as 30.
    if (loaded.icon_size_text.empty()) loaded.icon_size_text = "32";
    if (loaded.delay_text.empty()) loaded.delay_text = "30";
    if (!(reloaded == loaded)) std::abort();
    if (ComputeEnabling(reloaded) != ComputeEnabling(loaded)) std::abort();
  } catch (const Exception&) {
  }
  return 0;
}
