#include "app/header_sniffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace pamirune {
namespace {

std::array<uint8_t, kHeaderBytes> Header(const std::string& bytes) {
  std::array<uint8_t, kHeaderBytes> h{};
  std::memcpy(h.data(), bytes.data(), std::min(bytes.size(), h.size()));
  return h;
}

TEST(HeaderSnifferTest, SignaturesInTableOrder) {
  const std::pair<std::string, ImageKind> cases[] = {
      {"BM", ImageKind::kBmp},
      {"\x89PNG\r\n", ImageKind::kPng},
      {std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), ImageKind::kJpg},
      {std::string("\xFF\xD8\xFF\xE1\x12\x34"
                   "Exif",
                   10),
       ImageKind::kJpg},
      // Adobe APP14 (CMYK files) and a bare stream starting with its tables.
      {std::string("\xFF\xD8\xFF\xEE\x00\x0E"
                   "Adobe",
                   11),
       ImageKind::kJpg},
      {std::string("\xFF\xD8\xFF\xDB\x00\x43XXXX", 10), ImageKind::kJpg},
      {"MAKI02  ", ImageKind::kMag},
      {"GIF89a", ImageKind::kGif},
      {std::string("II*\0", 4), ImageKind::kTif},
      {std::string("MM\0*", 4), ImageKind::kTif},
      {std::string("II+\0", 4), ImageKind::kTif},
      {std::string("MM\0+", 4), ImageKind::kTif},
      // Neither a JPEG start nor a TIFF with a wrong byte-order mark.
      {std::string("\xFF\xD8\x00\xDB", 4), ImageKind::kNone},
      {std::string("MI*\0", 4), ImageKind::kNone},
      {"BMPNG", ImageKind::kBmp},  // "BM" wins over anything later in the table
  };
  for (const auto& [bytes, kind] : cases) EXPECT_EQ(SniffHeader(Header(bytes)), kind) << bytes;
}

TEST(HeaderSnifferTest, IconsByTheirDirectory) {
  // reserved, type 1, count 1; entry: 64 x 64, no palette, 1 plane, 32 bits, size, offset 22.
  const std::string good(
      "\0\0\1\0\1\0"
      "\x40\x40\0\0"
      "\1\0\x20\0"
      "\x28\x40\0\0"
      "\x16\0\0\0",
      22);
  EXPECT_EQ(SniffHeader(Header(good)), ImageKind::kIco);
  auto changed = [&](size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return SniffHeader(Header(bytes));
  };
  EXPECT_EQ(changed(12, 0), ImageKind::kIco);      // bit count left 0, as PNG entries may
  EXPECT_EQ(changed(10, 0), ImageKind::kIco);      // planes left 0
  EXPECT_EQ(changed(2, 2), ImageKind::kNone);      // a cursor
  EXPECT_EQ(changed(4, 0), ImageKind::kNone);      // no entry
  EXPECT_EQ(changed(12, 7), ImageKind::kNone);     // no icon has 7 bits
  EXPECT_EQ(changed(10, 3), ImageKind::kNone);     // three planes
  EXPECT_EQ(changed(18, 0x10), ImageKind::kNone);  // image data inside the directory
  EXPECT_EQ(SniffHeader(Header(std::string("\0\0\1\0\1\0", 6))), ImageKind::kNone);
}

TEST(HeaderSnifferTest, ExtensionsAndRenameTargets) {
  EXPECT_TRUE(ExtensionFitsKind(ImageKind::kJpg, ".jpeg"));
  EXPECT_TRUE(ExtensionFitsKind(ImageKind::kTif, ".tiff"));
  EXPECT_EQ(RenameTarget(ImageKind::kTif), ".tif");
  EXPECT_EQ(RenameTarget(ImageKind::kJpg), ".jpg");
  EXPECT_EQ(KindGuessText(ImageKind::kPng), "PNG形式のファイルと思われます。");
  EXPECT_TRUE(AcceptedExtension(".tiff"));
  EXPECT_FALSE(AcceptedExtension(".txt"));
  EXPECT_EQ(ChangeFileExt("/a.b/c.JPG", ".png"), "/a.b/c.png");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ChangeFileExt("/x/cat.jpg", "."), "/x/cat.");
}

}  // namespace
}  // namespace pamirune
