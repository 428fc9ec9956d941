// Disposal of sources, file dates and the shell file operation, on real temporary folders.
#include "app/disposal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/shf_operation.h"
#include "raster/errors.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace pamirune {
namespace {

using testing::ScopedEnv;
using testing::TempDir;
using testing::TestPlatform;

class DisposalTest : public ::testing::Test {
 protected:
  TempDir dir;
  TestPlatform platform;  // records trash moves
};

TEST_F(DisposalTest, KeepTouchesNothing) {
  dir.Write("a.bmp", "x");
  DisposeSource(platform, Disposal::kKeep, dir.File("a.bmp"), {dir.File("a.png")});
  EXPECT_TRUE(dir.Exists("a.bmp"));
  EXPECT_TRUE(platform.trashed.empty());
}

TEST_F(DisposalTest, SourceThatIsAnOutputIsNeverDisposedOf) {
  dir.Write("a.jpg", "new jpeg");
  dir.Write("a.png", "png");
  // Same name.
  DisposeSource(platform, Disposal::kDelete, dir.File("a.jpg"),
                {dir.File("a.jpg"), dir.File("a.png")});
  EXPECT_TRUE(dir.Exists("a.jpg"));
  // Another name of the same file: a different spelling of the path, or a second link.
  DisposeSource(platform, Disposal::kDelete, dir.path() + "/./a.jpg", {dir.File("a.jpg")});
  ASSERT_EQ(::link(dir.File("a.jpg").c_str(), dir.File("b.jpg").c_str()), 0);
  DisposeSource(platform, Disposal::kTrash, dir.File("b.jpg"), {dir.File("a.jpg")});
  EXPECT_TRUE(dir.Exists("a.jpg"));
  EXPECT_TRUE(dir.Exists("b.jpg"));
  EXPECT_TRUE(platform.trashed.empty());
}

TEST_F(DisposalTest, NamesDifferingByCaseAreDifferentFilesOnACaseSensitiveVolume) {
  dir.Write("A.BMP", "source");
  dir.Write("A.bmp", "output");
  struct stat a, b;
  ASSERT_EQ(::stat(dir.File("A.BMP").c_str(), &a), 0);
  ASSERT_EQ(::stat(dir.File("A.bmp").c_str(), &b), 0);
  if (a.st_ino == b.st_ino) GTEST_SKIP() << "the temporary folder ignores letter case";
  DisposeSource(platform, Disposal::kDelete, dir.File("A.BMP"), {dir.File("A.bmp")});
  EXPECT_FALSE(dir.Exists("A.BMP"));
  EXPECT_EQ(dir.Read("A.bmp"), "output");
}

TEST_F(DisposalTest, TrashGoesThroughTheTrashAndDeleteRemoves) {
  dir.Write("a.bmp", "x");
  dir.Write("b.bmp", "x");
  DisposeSource(platform, Disposal::kTrash, dir.File("a.bmp"), {dir.File("a.png")});
  ASSERT_EQ(platform.trashed.size(), 1u);
  EXPECT_EQ(platform.trashed[0], dir.File("a.bmp"));
  DisposeSource(platform, Disposal::kDelete, dir.File("b.bmp"), {dir.File("b.png")});
  EXPECT_FALSE(dir.Exists("b.bmp"));
  // A source that has gone meanwhile is no error.
  EXPECT_NO_THROW(DisposeSource(platform, Disposal::kDelete, dir.File("b.bmp"), {}));
}

TEST_F(DisposalTest, RealTrashKeepsARecordTheFileManagerCanRestoreFrom) {
  TempDir data;
  ScopedEnv env("XDG_DATA_HOME", data.path());
  LinuxPlatform real;
  dir.Write("猫 1.bmp", "cat");
  DisposeSource(real, Disposal::kTrash, dir.File("猫 1.bmp"), {dir.File("猫 1.png")});
  EXPECT_FALSE(dir.Exists("猫 1.bmp"));
  EXPECT_EQ(data.Read("Trash/files/猫 1.bmp"), "cat");
  std::string info = data.Read("Trash/info/猫 1.bmp.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=", 0), 0u) << info;
  EXPECT_NE(info.find("/%E7%8C%AB%201.bmp\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\nDeletionDate="), std::string::npos);
}

TEST_F(DisposalTest, StampedFileTakesTheSourcesLastWriteTime) {
  dir.Write("src.bmp", "s");
  dir.Write("out.png", "o");
  struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("src.bmp").c_str(), times, 0), 0);
  struct stat before;
  ASSERT_EQ(::stat(dir.File("out.png").c_str(), &before), 0);

  auto info = platform.FindFile(dir.File("src.bmp"));
  ASSERT_TRUE(info);
  SetFileDate(platform, dir.File("out.png"), {info->mtime_sec, info->mtime_nsec, true});
  struct stat after;
  ASSERT_EQ(::stat(dir.File("out.png").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(after.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);  // last access untouched
  EXPECT_EQ(after.st_atim.tv_nsec, before.st_atim.tv_nsec);

  EXPECT_THROW(SetFileDate(platform, dir.File("missing.png"), {1, 0, true}), EOSError);
}

TEST(DateTimeTest, LocalDateTimesBecomeUtcFileTimes) {
  {
    ScopedEnv tz("TZ", "UTC0");
    FileDate epoch = DateTimeToFileTime(25569.0);  // 1 January 1970, 00:00
    EXPECT_EQ(epoch.sec, 0);
    EXPECT_EQ(epoch.nsec, 0);
    EXPECT_EQ(FileDateTicks(epoch), 116444736000000000LL);
    // 2 January 2023 12:00:00.250.
    FileDate d = DateTimeToFileTime(44928.5 + 0.25 / 86400);
    EXPECT_EQ(d.sec, 1672660800);
    EXPECT_EQ(d.nsec, 250000000);
    EXPECT_NEAR(FileTimeToDateTime(d), 44928.5 + 0.25 / 86400, 1e-9);
    // Before 1899-12-30 the fraction still counts forward: -1.25 is 29 Dec 1899, 06:00.
    EXPECT_EQ(DateTimeToFileTime(-1.25).sec, (-1 - 25569) * 86400LL + 6 * 3600);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(DateTimeToFileTime(-1.25)), -1.25);
    // A value a hair below midnight rounds to the next day, not to 24:00 of the same one.
    EXPECT_EQ(DateTimeToFileTime(25569.0 - 1e-10).sec, 0);
  }
  {
    ScopedEnv tz("TZ", "JST-9");
    EXPECT_EQ(DateTimeToFileTime(25569.375).sec, 0);  // 09:00 in Tokyo is midnight UTC
    EXPECT_DOUBLE_EQ(FileTimeToDateTime({0, 0, true}), 25569.375);
  }
}

TEST(ShfOperationTest, NameBuffersAndFlags) {
  std::vector<char> buffer = BuildNameBuffer({"a", "bc"});
  ASSERT_EQ(buffer.size(), 1u + 1 + 2 + 1 + 10);
  EXPECT_EQ(std::string(buffer.data(), 6), std::string("a\0bc\0\0", 6));
  EXPECT_EQ(ParseNameBuffer(buffer), (std::vector<std::string>{"a", "bc"}));

  TestPlatform platform;
  TShfOperation op(platform);
  ConfigureForTrash(op);
  EXPECT_EQ(op.OperationF, TOperationF::foDELETE);
  EXPECT_EQ(FlagWord(op.Options), 0x54u);
  EXPECT_EQ(FlagWord({TfFlag::MUILIDESTFILES, TfFlag::RENAMEONCOLLISION, TfFlag::FILESONLY,
                      TfFlag::NOCONFIRMMKDIR, TfFlag::SIMPLEPROGRESS}),
            0x389u);
}

TEST(ShfOperationTest, RaisesItsThreeErrors) {
  TestPlatform platform;
  TShfOperation op(platform);
  try {
    op.Execute();
    FAIL();
  } catch (const EShfOperation& e) {
    EXPECT_STREQ(e.what(), "ShfOperation:ﾌｧｲﾙが指定されていません.");
  }
  op.OperationF = TOperationF::foCOPY;
  op.Options = {TfFlag::MUILIDESTFILES};
  op.SetFromFFList({"/nonexistent/a"});
  try {
    op.Execute();
    FAIL();
  } catch (const EShfOperation& e) {
    EXPECT_STREQ(e.what(), "ShfOperation:ﾀｰｹﾞｯﾄが指定されていません.");
  }
  EXPECT_STREQ(kShfNoMemory, "ShfOperation:メモリ割当てに失敗しました.");
}

TEST(ShfOperationTest, CopyMoveAndDeleteAskNobodyAndReplaceOnlyWhenTold) {
  TempDir dir;
  TestPlatform platform;
  dir.Write("a.txt", "A");
  dir.Write("b.txt", "B");
  ::mkdir(dir.File("to").c_str(), 0700);
  dir.Write("to/a.txt", "old");

  TShfOperation op(platform);
  op.OperationF = TOperationF::foCOPY;
  op.SetFromFFList({dir.File("a.txt"), dir.File("missing.txt")});
  op.ToFolder = dir.File("to");
  EXPECT_NE(op.Execute(), kShfOk);  // the existing target is left alone, the missing name fails
  EXPECT_EQ(dir.Read("to/a.txt"), "old");

  op.Options = {TfFlag::RENAMEONCOLLISION};
  op.SetFromFFList({dir.File("a.txt")});
  EXPECT_EQ(op.Execute(), kShfOk);
  EXPECT_EQ(dir.Read("to/a (2).txt"), "A");

  op.OperationF = TOperationF::foMOVE;
  op.Options = {TfFlag::NOCONFIRMATION};
  EXPECT_EQ(op.Execute(), kShfOk);
  EXPECT_EQ(dir.Read("to/a.txt"), "A");
  EXPECT_FALSE(dir.Exists("a.txt"));

  op.OperationF = TOperationF::foRENAME;
  op.Options = {TfFlag::MUILIDESTFILES};
  op.SetFromFFList({dir.File("b.txt")});
  op.ToFiles = {dir.File("c.txt")};
  EXPECT_EQ(op.Execute(), kShfOk);
  EXPECT_EQ(dir.Read("c.txt"), "B");

  op.OperationF = TOperationF::foDELETE;
  op.Options = {};
  op.SetFromFFList({dir.File("c.txt")});
  EXPECT_EQ(op.Execute(), kShfOk);
  EXPECT_FALSE(dir.Exists("c.txt"));
  EXPECT_TRUE(platform.trashed.empty());  // no undo: gone for good
  EXPECT_EQ(op.Execute(), kShfNotFound);
  EXPECT_FALSE(op.fAbort);
}

}  // namespace
}  // namespace pamirune
