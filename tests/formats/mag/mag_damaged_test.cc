// Damaged MAG files are refused with EMagError and never read past the loaded bytes.
#include <gtest/gtest.h>

#include "mag_test_util.h"

namespace pamirune::testing {
namespace {

// A MAG file made from its parts: one-byte comment "c", then the MAG header with offsets
// that fit the given sections, the palette, flag A, flag B and the pixel data.
std::vector<uint8_t> Craft(bool colors256, int width, int height, std::vector<uint8_t> flag_a,
                           std::vector<uint8_t> flag_b, std::vector<uint8_t> pixels) {
  std::vector<uint8_t> file = Bytes("MAKI02  zorP" + std::string(20, ' ') + "c\x1A");
  size_t h = file.size();
  file.resize(h + 32, 0);
  file[h + 3] = colors256 ? 0x80 : 0;
  Set16(file, h + 8, static_cast<uint16_t>(width - 1));
  Set16(file, h + 10, static_cast<uint16_t>(height - 1));
  uint32_t palette = colors256 ? 768 : 48;
  uint32_t a = 32 + palette, b = a + static_cast<uint32_t>(flag_a.size());
  uint32_t p = b + static_cast<uint32_t>(flag_b.size());
  Set32(file, h + 12, a);
  Set32(file, h + 16, b);
  Set32(file, h + 20, static_cast<uint32_t>(flag_b.size()));
  Set32(file, h + 24, p);
  Set32(file, h + 28, static_cast<uint32_t>(pixels.size()));
  file.resize(file.size() + palette, 0x80);
  file.insert(file.end(), flag_a.begin(), flag_a.end());
  file.insert(file.end(), flag_b.begin(), flag_b.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}
constexpr size_t kH = 34;  // header position in crafted files

std::string LoadError(const std::vector<uint8_t>& file) {
  TMAGImage image;
  try {
    Load(image, file);
  } catch (const EMagError& e) {
    // A failed load leaves an empty image that cannot be saved.
    EXPECT_TRUE(image.Empty());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_THROW(Save(image), EInvalidMagOperation);
    return e.what();
  }
  return "loaded";
}

TEST(MagDamaged, CraftedFileIsSound) {
  // 256 colours, 4 pixels, one line: flag byte 0x01 (a literal, then a copy of it).
  std::vector<uint8_t> file = Craft(true, 4, 1, {0x80, 0}, {0x01, 0}, {7, 8});
  TMAGImage image;
  Load(image, file);
  EXPECT_EQ(Indices(*image.Raster()), (std::vector<uint32_t>{7, 8, 7, 8}));
}

TEST(MagDamaged, NotMag) {
  EXPECT_EQ(LoadError(Bytes("MAKI01  zorP" + std::string(40, ' ') + "\x1A")),
            "MAG image error:is not MAG.");
  EXPECT_EQ(LoadError(Bytes("MAKI02 ")), "MAG image error:is not MAG.");
  EXPECT_EQ(LoadError({}), "MAG image error:is not MAG.");
}

TEST(MagDamaged, EveryTruncationIsRefused) {
  std::vector<uint8_t> file = EncodeBitmap(Indexed(16, 3, TPixelFormat::pf4bit, 6));
  for (size_t n = 8; n < file.size(); ++n) {
    std::string error = LoadError({file.begin(), file.begin() + n});
    EXPECT_EQ(error.rfind("MAG image error:", 0), 0u) << n << ": " << error;
  }
}

TEST(MagDamaged, CommentWithoutEndMark) {
  EXPECT_EQ(LoadError(Bytes("MAKI02  zorP" + std::string(20, ' ') + "no end")),
            "MAG image error:the comment has no end mark.");
}

TEST(MagDamaged, OffsetsPastTheEnd) {
  const std::vector<uint8_t> good = Craft(true, 4, 1, {0x80, 0}, {0x01, 0}, {7, 8});
  for (size_t field : {12, 16, 24}) {
    for (uint32_t value : {0xFFFFFFFFu, static_cast<uint32_t>(good.size() - kH + 1)}) {
      std::vector<uint8_t> file = good;
      Set32(file, kH + field, value);
      EXPECT_NE(LoadError(file), "loaded") << field << " " << value;
    }
  }
  // The palette itself cut short.
  std::vector<uint8_t> file = good;
  file.resize(kH + 32 + 700);
  EXPECT_EQ(LoadError(file), "MAG image error:the palette is cut short.");
}

TEST(MagDamaged, ReferencesOutsideTheImage) {
  const std::string outside = "MAG image error:a copy vector points outside the image.";
  // Vector 4 (one line up) on the first line.
  EXPECT_EQ(LoadError(Craft(true, 4, 1, {0x80, 0}, {0x40, 0}, {1, 2})), outside);
  // Vector 15 (sixteen lines up) on line 15 of 16: lines 1 to 14 copy from the line above.
  EXPECT_EQ(LoadError(Craft(true, 4, 16, {0xC0, 0x01}, {0x01, 0x40, 0xB0, 0}, {1, 2})), outside);
  // Vector 1 for the first word of a line.
  EXPECT_EQ(LoadError(Craft(false, 8, 1, {0x80, 0}, {0x10, 0}, {1, 2, 3, 4})), outside);
  // Vector 3 (four words left) for the second word.
  EXPECT_EQ(LoadError(Craft(true, 8, 1, {0x80, 0}, {0x03, 0}, {1, 2})), outside);
}

TEST(MagDamaged, DataRunsOut) {
  // Two literal words needed, one present.
  EXPECT_EQ(LoadError(Craft(true, 4, 1, {0, 0}, {}, {1, 2})),
            "MAG image error:the pixel data runs out.");
  // Flag B wanted by flag A but the file ends.
  EXPECT_EQ(LoadError(Craft(true, 4, 1, {0x80}, {}, {})), "MAG image error:flag B runs out.");
  // A 4096 x 4096 image needs two megabytes of flag A bits; the file has two bytes.
  EXPECT_EQ(LoadError(Craft(true, 4096, 4096, {0, 0}, {}, {1, 2})),
            "MAG image error:flag A is cut short.");
}

TEST(MagDamaged, BadSizes) {
  std::vector<uint8_t> file = Craft(true, 4, 1, {0x80, 0}, {0x01, 0}, {7, 8});
  Set16(file, kH + 6, 5);  // start Y after end Y
  EXPECT_EQ(LoadError(file), "MAG image error:the image size is not valid.");
  file = Craft(false, 8, 1, {0x80, 0}, {0x01, 0}, {7, 8});
  Set16(file, kH + 4, 64);  // start X after end X
  EXPECT_EQ(LoadError(file), "MAG image error:the image size is not valid.");
  // The largest size a file can state is refused before anything is allocated.
  file = Craft(true, 65536, 65536, {0, 0}, {}, {1, 2});
  TMAGImage image;
  EXPECT_THROW(Load(image, file), EImageTooLarge);
}

TEST(MagDamaged, StoredSizesAreNotUsed) {
  // The stored sizes of flag B and the pixel data are not used: each stream runs from its
  // offset and may go on to the end of the file.
  std::vector<uint8_t> file = Craft(true, 4, 2, {0xC0, 0}, {0x01, 0x40}, {5, 6});
  Set32(file, kH + 20, 0);  // sizes are not used
  Set32(file, kH + 28, 0);
  TMAGImage image;
  Load(image, file);
  EXPECT_EQ(Indices(*image.Raster()), (std::vector<uint32_t>{5, 6, 5, 6, 5, 6, 5, 6}));
}

}  // namespace
}  // namespace pamirune::testing
