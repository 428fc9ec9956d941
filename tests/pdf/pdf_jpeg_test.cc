// Which JPEG files a PDF may hold as they are: the frame header and the colour markers decide.
#include "pdf/pdf_jpeg.h"

#include <gtest/gtest.h>

#include <vector>

namespace pamirune {
namespace {

// SOI, an optional Adobe segment (transform byte), a frame header, then a scan marker.
std::vector<uint8_t> Jpeg(uint8_t sof, uint8_t precision, std::vector<uint8_t> ids,
                          int adobe_transform = -1) {
  std::vector<uint8_t> b = {0xFF, 0xD8};
  if (adobe_transform >= 0) {
    b.insert(b.end(), {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0});
    b.push_back(static_cast<uint8_t>(adobe_transform));
  }
  const uint8_t length = static_cast<uint8_t>(8 + 3 * ids.size());
  b.insert(b.end(),
           {0xFF, sof, 0, length, precision, 0, 40, 0, 60, static_cast<uint8_t>(ids.size())});
  for (uint8_t id : ids) b.insert(b.end(), {id, 0x11, 0});
  b.insert(b.end(), {0xFF, 0xDA, 0, 2});
  return b;
}

TEST(PdfJpegTest, OnlyFilesEveryReaderDecodesAsWeDoPassThrough) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    bool kept;
    bool gray;
  };
  const Case cases[] = {
      {"baseline YCbCr", Jpeg(0xC0, 8, {1, 2, 3}), true, false},
      {"extended", Jpeg(0xC1, 8, {1, 2, 3}), true, false},
      {"progressive grey", Jpeg(0xC2, 8, {1}), true, true},
      {"Adobe YCbCr", Jpeg(0xC0, 8, {1, 2, 3}, 1), true, false},
      {"Adobe RGB", Jpeg(0xC0, 8, {1, 2, 3}, 0), false, false},
      {"RGB ids", Jpeg(0xC0, 8, {'R', 'G', 'B'}), false, false},
      {"CMYK", Jpeg(0xC0, 8, {1, 2, 3, 4}, 0), false, false},
      {"YCCK", Jpeg(0xC2, 8, {1, 2, 3, 4}, 2), false, false},
      {"12-bit", Jpeg(0xC1, 12, {1, 2, 3}), false, false},
      {"lossless", Jpeg(0xC3, 8, {1}), false, false},
      {"arithmetic", Jpeg(0xC9, 8, {1, 2, 3}), false, false},
      {"arithmetic progressive", Jpeg(0xCA, 8, {1}), false, false},
      {"two components", Jpeg(0xC0, 8, {1, 2}), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto layout = PdfJpegPassThroughLayout(c.file.data(), c.file.size());
    ASSERT_EQ(layout.has_value(), c.kept);
    if (!layout) continue;
    EXPECT_EQ(layout->width, 60);
    EXPECT_EQ(layout->height, 40);
    EXPECT_EQ(layout->gray, c.gray);
  }
}

TEST(PdfJpegTest, DamagedMarkersAreRefused) {
  std::vector<uint8_t> good = Jpeg(0xC0, 8, {1, 2, 3});
  // Cut inside the frame header, a segment length running past the end, no SOI, a scan first.
  std::vector<std::vector<uint8_t>> bad = {
      {good.begin(), good.begin() + 12},
      {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 0, 0},
      {0x00, 0xD8, 0xFF, 0xC0},
      {0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1, 1, 0x11, 0}};
  for (const auto& file : bad) EXPECT_FALSE(PdfJpegPassThroughLayout(file.data(), file.size()));
  EXPECT_FALSE(PdfJpegPassThroughLayout(nullptr, 0));
}

}  // namespace
}  // namespace pamirune
