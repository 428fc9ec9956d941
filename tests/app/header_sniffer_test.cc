#include "app/header_sniffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "raster/file_path.h"

namespace pamirune {
namespace {

FileHeader Header(const std::string& bytes) {
  FileHeader h{};
  std::memcpy(h.data(), bytes.data(), std::min(bytes.size(), h.size()));
  return h;
}

TEST(HeaderSnifferTest, SignaturesInTableOrder) {
  const std::pair<std::string, std::optional<OutputFormat>> cases[] = {
      {"BM", OutputFormat::kBmp},
      {"\x89PNG\r\n", OutputFormat::kPng},
      {std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), OutputFormat::kJpg},
      {std::string("\xFF\xD8\xFF\xE1\x12\x34"
                   "Exif",
                   10),
       OutputFormat::kJpg},
      // Adobe APP14 (CMYK files) and a bare stream starting with its tables.
      {std::string("\xFF\xD8\xFF\xEE\x00\x0E"
                   "Adobe",
                   11),
       OutputFormat::kJpg},
      {std::string("\xFF\xD8\xFF\xDB\x00\x43XXXX", 10), OutputFormat::kJpg},
      {"MAKI02  ", OutputFormat::kMag},
      {"GIF89a", OutputFormat::kGif},
      {std::string("II*\0", 4), OutputFormat::kTif},
      {std::string("MM\0*", 4), OutputFormat::kTif},
      {std::string("II+\0", 4), OutputFormat::kTif},
      {std::string("MM\0+", 4), OutputFormat::kTif},
      // Neither a JPEG start nor a TIFF with a wrong byte-order mark.
      {std::string("\xFF\xD8\x00\xDB", 4), std::nullopt},
      {std::string("MI*\0", 4), std::nullopt},
      {"BMPNG", OutputFormat::kBmp},  // "BM" wins over anything later in the table
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
  EXPECT_EQ(SniffHeader(Header(good)), OutputFormat::kIco);
  auto changed = [&](size_t at, char value) {
    std::string bytes = good;
    bytes[at] = value;
    return SniffHeader(Header(bytes));
  };
  EXPECT_EQ(changed(12, 0), OutputFormat::kIco);  // bit count left 0, as PNG entries may
  EXPECT_EQ(changed(10, 0), OutputFormat::kIco);  // planes left 0
  EXPECT_EQ(changed(2, 2), std::nullopt);         // a cursor
  EXPECT_EQ(changed(4, 0), std::nullopt);         // no entry
  EXPECT_EQ(changed(12, 7), std::nullopt);        // no icon has 7 bits
  EXPECT_EQ(changed(10, 3), std::nullopt);        // three planes
  EXPECT_EQ(changed(18, 0x10), std::nullopt);     // image data inside the directory
  EXPECT_EQ(SniffHeader(Header(std::string("\0\0\1\0\1\0", 6))), std::nullopt);
}

TEST(HeaderSnifferTest, ExtensionsAndRenameTargets) {
  EXPECT_TRUE(ExtensionFitsKind(OutputFormat::kJpg, ".jpeg"));
  EXPECT_TRUE(ExtensionFitsKind(OutputFormat::kTif, ".tiff"));
  EXPECT_EQ(RenameTarget(OutputFormat::kTif), ".tif");
  EXPECT_EQ(RenameTarget(OutputFormat::kJpg), ".jpg");
  EXPECT_EQ(KindGuessText(OutputFormat::kPng), "PNG形式のファイルと思われます。");
  EXPECT_TRUE(AcceptedExtension(".tiff"));
  EXPECT_FALSE(AcceptedExtension(".txt"));
  EXPECT_EQ(ChangeFileExt("/a.b/c.JPG", ".png"), "/a.b/c.png");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ChangeFileExt("/x/cat.jpg", "."), "/x/cat.");
}

}  // namespace
}  // namespace pamirune
