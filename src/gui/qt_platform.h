// The Linux services with the desktop's clipboard: LinuxPlatform plus the clipboard's image
// through QClipboard.
#pragma once

#include "platform/linux_platform.h"

namespace pamirune {

class QtPlatform : public LinuxPlatform {
 public:
  bool ClipboardHasBitmap() override;
  // The clipboard's image as a 24-bit Raster image; nullptr when it holds none.
  std::unique_ptr<TBitmap> ClipboardBitmap() override;
};

}  // namespace pamirune
