// The console front end's platform: the Linux services, with the clipboard's image (PNG, BMP or
// JPEG) read through the display's clipboard tools (wl-paste on Wayland, xclip on X11).
#pragma once

#include "platform/linux_platform.h"

namespace pamirune {

class CliPlatform : public LinuxPlatform {
 public:
  bool ClipboardHasBitmap() override;
  std::unique_ptr<TBitmap> ClipboardBitmap() override;
  // The program's folder in a portable install (the shared Pamirune.ini beside the program),
  // else the Pictures folder, as for the window program.
  std::string DefaultOutputDir() override;

  // The tool that reads this session's clipboard; empty, with the reason in *problem, when
  // there is no display or the tool is not installed.
  std::string ClipboardTool(std::string* problem);

 private:
  // The image bytes on the clipboard (PNG or BMP), empty when there is none.
  std::vector<uint8_t> ClipboardImageBytes(std::string* type);
};

}  // namespace pamirune
