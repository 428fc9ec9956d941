// The test platform with a clipboard the test fills, and a default output folder of the test's
// choosing (instead of the user's Pictures folder).
#pragma once

#include <memory>
#include <string>

#include "raster/bitmap.h"
#include "support/test_platform.h"

namespace pamirune::testing {

class ClipboardPlatform : public TestPlatform {
 public:
  // The clipboard's bitmap; empty (no width) means the clipboard holds none.
  TBitmap clipboard;
  std::string default_output_dir;  // with a trailing "/"
  int clipboard_reads = 0;

  bool ClipboardHasBitmap() override { return !clipboard.Empty(); }
  std::unique_ptr<TBitmap> ClipboardBitmap() override {
    ++clipboard_reads;
    if (clipboard.Empty()) return nullptr;
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(clipboard);
    return copy;
  }
  std::string DefaultOutputDir() override { return default_output_dir; }
};

}  // namespace pamirune::testing
