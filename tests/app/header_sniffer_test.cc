#include "app/header_sniffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pamirune {
namespace {

std::array<uint8_t, kHeaderBytes> Header(const std::string& bytes) {
  std::array<uint8_t, kHeaderBytes> h{};
  std::memcpy(h.data(), bytes.data(), std::min(bytes.size(), h.size()));
  return h;
}

TEST(HeaderSnifferTest, SignaturesInTableOrder) {
  EXPECT_EQ(SniffHeader(Header("BM")), ImageKind::kBmp);
  EXPECT_EQ(SniffHeader(Header("\x89PNG\r\n")), ImageKind::kPng);
  EXPECT_EQ(SniffHeader(Header(std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10))), ImageKind::kJpg);
  EXPECT_EQ(SniffHeader(Header(std::string("\xFF\xD8\xFF\xE1\x12\x34" "Exif", 10))), ImageKind::kJpg);
  EXPECT_EQ(SniffHeader(Header("MAKI02  ")), ImageKind::kMag);
  EXPECT_EQ(SniffHeader(Header("GIF89a")), ImageKind::kGif);
  EXPECT_EQ(SniffHeader(Header("II*\0")), ImageKind::kTif);
  // A big-endian TIFF and a JPEG without JFIF/Exif are not recognised.
  EXPECT_EQ(SniffHeader(Header("MM\0*")), ImageKind::kNone);
  EXPECT_EQ(SniffHeader(Header(std::string("\xFF\xD8\xFF\xDB\x00\x43XXXX", 10))), ImageKind::kNone);
  // "BM" wins over anything later in the table.
  EXPECT_EQ(SniffHeader(Header("BMPNG")), ImageKind::kBmp);
}

TEST(HeaderSnifferTest, IconsByTheFirstEntrySize) {
  const uint8_t pairs[][2] = {{0x28, 0x24}, {0xA8, 0x08}, {0x28, 0x01}, {0x28, 0x16},
                              {0x68, 0x05}, {0xE8, 0x02}, {0xA8, 0x0E}};
  for (const auto& p : pairs) {
    auto h = Header(std::string("\0\0\1\0\1\0", 6));
    h[14] = p[0];
    h[15] = p[1];
    EXPECT_EQ(SniffHeader(h), ImageKind::kIco);
  }
  auto other = Header(std::string("\0\0\1\0\1\0", 6));
  other[14] = 0x12;
  EXPECT_EQ(SniffHeader(other), ImageKind::kNone);
}

TEST(HeaderSnifferTest, ExtensionsAndRenameTargets) {
  EXPECT_TRUE(ExtensionFitsKind(ImageKind::kJpg, ".jpeg"));
  EXPECT_FALSE(ExtensionFitsKind(ImageKind::kTif, ".tiff"));
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
