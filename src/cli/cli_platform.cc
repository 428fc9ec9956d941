#include "cli/cli_platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "raster/bitmap.h"
#include "raster/errors.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

// Runs a command and returns its standard output (at most limit bytes).
std::string Capture(const std::string& command, size_t limit) {
  std::string out;
  std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0 && out.size() < limit) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

bool Has(const char* name) { return std::getenv(name) && *std::getenv(name); }

}  // namespace

std::vector<uint8_t> CliPlatform::ClipboardImageBytes(std::string* type) {
  std::string targets, fetch;
  if (Has("WAYLAND_DISPLAY")) {
    targets = Capture("wl-paste --list-types", 1 << 16);
    fetch = "wl-paste --no-newline --type ";
  } else if (Has("DISPLAY")) {
    targets = Capture("xclip -selection clipboard -t TARGETS -o", 1 << 16);
    fetch = "xclip -selection clipboard -o -t ";
  } else {
    return {};
  }
  for (const char* t : {"image/png", "image/bmp", "image/x-bmp"}) {
    if (targets.find(t) == std::string::npos) continue;
    std::string bytes = Capture(fetch + t, size_t{1} << 30);
    if (bytes.empty()) continue;
    *type = t;
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
  }
  return {};
}

std::string CliPlatform::DefaultOutputDir() {
  if (!ProgramPath().empty() && FileExists(ProgramDir() + "Pamirune.ini")) return ProgramDir();
  return LinuxPlatform::DefaultOutputDir();
}

bool CliPlatform::ClipboardHasBitmap() {
  std::string type;
  return !ClipboardImageBytes(&type).empty();
}

std::unique_ptr<TBitmap> CliPlatform::ClipboardBitmap() {
  std::string type;
  std::vector<uint8_t> bytes = ClipboardImageBytes(&type);
  if (bytes.empty()) return nullptr;
  const TFileFormat* kind =
      TFileFormatsList::Instance().Find(type == "image/png" ? "png" : "bmp");
  if (!kind || !kind->create) return nullptr;
  std::unique_ptr<TGraphic> graphic = kind->create();
  TMemoryStream stream(std::move(bytes));
  graphic->LoadFromStream(stream);
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Assign(*graphic);
  return bitmap;
}

}  // namespace pamirune
