// Every registered kind once, however often the kinds register; each one that can be created
// and written: a small image written under the kind's extension reads back through the registry
// at its size with its colours (JPEG within its loss), and a write into a folder that does not
// exist is an error, not a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "formats/register_all.h"
#include "raster/bitmap.h"
#include "raster/errors.h"
#include "raster/registry.h"
#include "support/sample_bitmaps.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

// 32 x 32 pixels, four colours in 16 x 16 blocks (every kind can hold it; JPEG blocks align).
TBitmap SmallImage() {
  const TColor colours[4] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 0, 255)};
  return testing::BitmapOf(32, 32, TPixelFormat::pf8bit,
                           [&](int x, int y) { return colours[x / 16 + y / 16 * 2]; });
}

int Channel(TColor c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

TEST(RegistryRoundTrip, EveryKindWritesWhatItReadsAndFailsCleanly) {
  RegisterGraphicKinds();
  RegisterGraphicKinds();  // a second registration adds nothing
  // (A built-in entry without a reader may stand beside the kind that reads its extension.)
  std::set<std::tuple<std::string, std::string, bool>> seen;
  for (const TFileFormat& format : TFileFormatsList::Instance().Entries())
    EXPECT_TRUE(seen.insert({format.extension, format.kind, bool(format.create)}).second)
        << format.extension << " " << format.kind << " twice";
  testing::TempDir dir;
  const TBitmap image = SmallImage();
  int kinds = 0;
  for (const TFileFormat& format : TFileFormatsList::Instance().Entries()) {
    // The icon kind only reads; icons are written by the icon writers, tested on their own.
    if (!format.create || format.kind == "TIcon") continue;
    SCOPED_TRACE(format.extension + " " + format.kind);
    std::unique_ptr<TGraphic> graphic = format.create();
    graphic->Assign(image);
    const std::string path = dir.File("round." + format.extension);
    graphic->SaveToFile(path);
    TPicture picture;
    picture.LoadFromFile(path);
    TBitmap back;
    picture.Graphic()->ToBitmap(back);
    ASSERT_EQ(back.Width(), 32);
    ASSERT_EQ(back.Height(), 32);
    // JPEG: the inner 8 x 8 of each block, within its loss; the others every pixel exactly.
    const bool lossy = format.kind == "TJPEGImage";
    const int tolerance = lossy ? 48 : 0;
    auto near_edge = [](int v) { return v % 16 < 4 || v % 16 > 11; };
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        for (int shift : {0, 8, 16})
          if (!lossy || (!near_edge(x) && !near_edge(y))) {
            ASSERT_LE(
                std::abs(Channel(back.Pixel(x, y), shift) - Channel(image.Pixel(x, y), shift)),
                tolerance)
                << x << "," << y;
          }
    EXPECT_THROW(graphic->SaveToFile(dir.File("no such folder/x." + format.extension)), Exception);
    ++kinds;
  }
  EXPECT_GE(kinds, 8);
}

}  // namespace
}  // namespace pamirune
