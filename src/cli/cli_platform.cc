#include "cli/cli_platform.h"

#include <unistd.h>

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

// True when an executable of that name is on the PATH.
bool InPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    if (::access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string CliPlatform::ClipboardTool(std::string* problem) {
  const bool wayland = Has("WAYLAND_DISPLAY"), x11 = Has("DISPLAY");
  if (wayland && InPath("wl-paste")) return "wl-paste";
  if (x11 && InPath("xclip")) return "xclip";  // X11, or Xwayland under a Wayland session
  if (!wayland && !x11) {
    *problem =
        "there is no display to read the clipboard of (neither WAYLAND_DISPLAY nor DISPLAY is set)";
  } else {
    std::string wanted = wayland ? "wl-paste (Debian package wl-clipboard)" : "";
    if (x11) wanted += std::string(wanted.empty() ? "" : " or ") + "xclip (Debian package xclip)";
    *problem = "reading the clipboard needs " + wanted + ", and it is not installed";
  }
  return "";
}

std::vector<uint8_t> CliPlatform::ClipboardImageBytes(std::string* type) {
  std::string problem, targets, fetch;
  const std::string tool = ClipboardTool(&problem);
  if (tool == "wl-paste") {
    targets = Capture("wl-paste --list-types", 1 << 16);
    fetch = "wl-paste --no-newline --type ";
  } else if (tool == "xclip") {
    targets = Capture("xclip -selection clipboard -t TARGETS -o", 1 << 16);
    fetch = "xclip -selection clipboard -o -t ";
  } else {
    return {};
  }
  // Whatever image the window would take: lossless kinds first.
  for (const char* t : {"image/png", "image/bmp", "image/x-bmp", "image/jpeg"}) {
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
  const char* ext = type == "image/png" ? "png" : type == "image/jpeg" ? "jpg" : "bmp";
  const TFileFormat* kind = TFileFormatsList::Instance().Find(ext);
  if (!kind || !kind->create) return nullptr;
  std::unique_ptr<TGraphic> graphic = kind->create();
  TMemoryStream stream(std::move(bytes));
  graphic->LoadFromStream(stream);
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->Assign(*graphic);
  return bitmap;
}

}  // namespace pamirune
