// Image files on disk: what may be opened and how much of it is read, and atomic writing that
// leaves no temporary behind, whatever the target's name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "formats/register_all.h"
#include "raster/bitmap.h"
#include "raster/errors.h"
#include "raster/registry.h"
#include "raster/stream.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::vector<std::string> Names(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileStreamTest, OnlyRegularFilesAreOpenedAndFifosNeverBlock) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("x.png").c_str(), 0600), 0);
  fs::create_directory(dir.File("d.bmp"));
  for (const char* name : {"x.png", "d.bmp", "missing.gif"}) {
    try {
      TFileStream stream(dir.File(name));
      ADD_FAILURE() << name << " opened";
    } catch (const EOSError& e) {
      EXPECT_NE(std::string(e.what()).find(dir.File(name)), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ReadWholeFile(dir.File("x.png")), EOSError);
}

TEST(FileStreamTest, ReadsAsAskedAndStopsAtTheReadLimit) {
  TempDir dir;
  std::string bytes(300'000, '\0');
  std::mt19937 random(5);
  for (char& c : bytes) c = static_cast<char>(random());
  dir.Write("f", bytes);
  TFileStream stream(dir.File("f"));
  TMemoryStream expected(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_EQ(stream.Size(), expected.Size());
  // Small, large and backward reads give the file's bytes.
  for (auto [at, count] : {std::pair<int64_t, size_t>{0, 3},
                           {70'000, 1},
                           {5, 200'000},
                           {299'990, 50},
                           {65'530, 12},
                           {400'000, 4}}) {
    std::vector<uint8_t> a(count), b(count);
    stream.Seek(at);
    expected.Seek(at);
    ASSERT_EQ(stream.Read(a.data(), count), expected.Read(b.data(), count)) << at;
    EXPECT_EQ(a, b) << at;
  }
  // A file longer than the read limit (a tiny image followed by gigabytes, say) ends there.
  const int64_t limit = PixelLimit();
  SetPixelLimit(1);
  fs::resize_file(dir.File("f"), static_cast<uintmax_t>(MaxImageFileBytes()) + 4096);
  EXPECT_EQ(TFileStream(dir.File("f")).Size(), MaxImageFileBytes());
  SetPixelLimit(limit);
}

// A few hundred bytes claiming 2^28 pixels (16384 x 16384) are refused before anything is
// allocated, whatever the kind.
TEST(PixelLimitTest, HugeHeadersAreRefusedByEveryKind) {
  RegisterGraphicKinds();
  auto be32 = [](uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  auto le32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + be32(13) + "IHDR" + be32(16384) +
                          be32(16384) + std::string("\x08\x02\0\0\0", 5) + be32(0x26AA87D3);
  const std::string bmp = "BM" + le32(0) + le32(0) + le32(54) + le32(40) + le32(16384) +
                          le32(16384) + std::string("\x01\0\x18\0", 4) + std::string(24, '\0');
  // Screen and frame of 16384 x 16384, then an empty data block.
  const std::string gif = std::string("GIF89a\0\x40\0\x40\0\0\0", 13) +
                          std::string(",\0\0\0\0\0\x40\0\x40\0\x02\0;", 13);
  TempDir dir;
  for (const auto& [name, bytes] :
       {std::pair<std::string, std::string>{"h.png", png}, {"h.bmp", bmp}, {"h.gif", gif}}) {
    dir.Write(name, bytes);
    TPicture picture;
    EXPECT_THROW(picture.LoadFromFile(dir.File(name)), EImageTooLarge) << name;
  }
}

TEST(WriteFileAtomicTest, LongNamesReplaceAndLeaveNoTemporary) {
  TempDir dir;
  const std::string longest(255, 'n');  // as long as a name may be
  const std::vector<uint8_t> a = {1, 2, 3}, b(100'000, 7);
  WriteFileAtomic(dir.File(longest), a);
  WriteFileAtomic(dir.File(longest), b);  // replaces the file
  WriteFileAtomic(dir.File("x.png"), a);
  EXPECT_EQ(ReadWholeFile(dir.File(longest)), b);
  EXPECT_EQ(Names(dir), (std::vector<std::string>{longest, "x.png"}));
  // A failed write leaves the folder as it was.
  EXPECT_THROW(WriteFileAtomic(dir.File("none/x.png"), a), EOSError);
  EXPECT_THROW(WriteFileAtomic(dir.File(longest + "x"), a), EOSError);
  EXPECT_EQ(Names(dir), (std::vector<std::string>{longest, "x.png"}));
}

TEST(WriteFileAtomicTest, AStreamIsNamedOnlyWhenCommitted) {
  TempDir dir;
  WriteFileAtomic(dir.File("x.pdf"), std::vector<uint8_t>{9});
  std::vector<uint8_t> big(700'000);  // past the stream's buffer
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  {
    TAtomicFileStream file(dir.File("x.pdf"));
    file.Write(big.data(), big.size());
  }  // dropped: the old file stays, nothing else is there
  EXPECT_EQ(ReadWholeFile(dir.File("x.pdf")), std::vector<uint8_t>{9});
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.pdf"});
  TAtomicFileStream file(dir.File("x.pdf"));
  file.Write("ab", 2);
  file.Seek(0);  // back over buffered bytes, then over written ones
  file.Write("A", 1);
  file.Seek(2);
  file.Write(big.data(), big.size());
  file.Seek(1);
  file.Write("B", 1);
  file.Seek(2 + static_cast<int64_t>(big.size()));
  EXPECT_EQ(file.Size(), 2 + static_cast<int64_t>(big.size()));
  file.Commit();
  std::vector<uint8_t> expected = {'A', 'B'};
  expected.insert(expected.end(), big.begin(), big.end());
  EXPECT_EQ(ReadWholeFile(dir.File("x.pdf")), expected);
  EXPECT_EQ(Names(dir), std::vector<std::string>{"x.pdf"});
}

TEST(WriteFileAtomicTest, AKilledWriteLeavesNothingBehind) {
  TempDir dir;
  const std::vector<uint8_t> old = {9, 9};
  WriteFileAtomic(dir.File("big.bmp"), old);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<uint8_t> huge(size_t{64} << 20, 1);
    for (;;) WriteFileAtomic(dir.File("big.bmp"), huge);
  }
  ::usleep(200'000);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  // Only the target, holding the old or a whole new picture.
  EXPECT_EQ(Names(dir), std::vector<std::string>{"big.bmp"});
  const auto size = fs::file_size(dir.File("big.bmp"));
  EXPECT_TRUE(size == old.size() || size == size_t{64} << 20) << size;
}

}  // namespace
}  // namespace pamirune
