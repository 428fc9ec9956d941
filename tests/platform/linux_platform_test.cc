// The Linux services: the trash, the desktop entry, the user's folders, the lock, file copies.
#include "platform/linux_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/desktop_entry.h"
#include "platform/xdg_dirs.h"
#include "platform/xdg_trash.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

class TrashTest : public ::testing::Test {
 protected:
  TrashTest() : env("XDG_DATA_HOME", data.path()) {}
  TempDir data, dir;
  ScopedEnv env;
  LinuxPlatform platform;
};

TEST_F(TrashTest, TrashInfoRecordsThePathAndTheDate) {
  dir.Write("a b%.png", "png");
  std::string error;
  ASSERT_TRUE(platform.MoveToTrash(dir.File("a b%.png"), &error)) << error;
  EXPECT_FALSE(dir.Exists("a b%.png"));
  EXPECT_EQ(data.Read("Trash/files/a b%.png"), "png");
  std::string info = data.Read("Trash/info/a b%.png.trashinfo");
  std::regex shape(
      "\\[Trash Info\\]\nPath=(/[^\n]*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(info, m, shape)) << info;
  EXPECT_EQ(m[1].str(), xdg::PercentEncodePath(dir.File("a b%.png")));
  EXPECT_NE(m[1].str().find("/a%20b%25.png"), std::string::npos);
  EXPECT_EQ(xdg::PercentDecode(m[1].str()), dir.File("a b%.png"));
  struct stat st;
  ASSERT_EQ(::stat(data.File("Trash").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, NamesThatCollideGetUniqueNames) {
  ::mkdir(dir.File("x").c_str(), 0700);
  ::mkdir(dir.File("y").c_str(), 0700);
  ::mkdir(dir.File("z").c_str(), 0700);
  dir.Write("x/cat.jpg", "1");
  dir.Write("y/cat.jpg", "2");
  dir.Write("z/cat.jpg", "3");
  std::string as1, as2, as3;
  ASSERT_TRUE(xdg::MoveToTrash(dir.File("x/cat.jpg"), nullptr, &as1));
  ASSERT_TRUE(xdg::MoveToTrash(dir.File("y/cat.jpg"), nullptr, &as2));
  ASSERT_TRUE(xdg::MoveToTrash(dir.File("z/cat.jpg"), nullptr, &as3));
  EXPECT_EQ(as1, data.File("Trash/files/cat.jpg"));
  EXPECT_EQ(as2, data.File("Trash/files/cat.2.jpg"));
  EXPECT_EQ(as3, data.File("Trash/files/cat.3.jpg"));
  EXPECT_EQ(data.Read("Trash/files/cat.2.jpg"), "2");
  EXPECT_NE(data.Read("Trash/info/cat.2.jpg.trashinfo").find("/y/cat.jpg\n"), std::string::npos);
}

TEST_F(TrashTest, FailuresLeaveEverythingAsItWas) {
  std::string error;
  EXPECT_FALSE(platform.MoveToTrash(dir.File("missing.png"), &error));
  EXPECT_FALSE(error.empty());
  // A file already in the trash is not trashed into itself.
  dir.Write("a.png", "x");
  ASSERT_TRUE(platform.MoveToTrash(dir.File("a.png"), &error));
  EXPECT_FALSE(platform.MoveToTrash(data.File("Trash/files/a.png"), &error));
  EXPECT_TRUE(fs::exists(data.File("Trash/files/a.png")));
  // No stale record is left behind.
  int infos = 0;
  for (auto& e : fs::directory_iterator(data.File("Trash/info"))) infos += e.is_regular_file();
  EXPECT_EQ(infos, 1);
}

TEST_F(TrashTest, AnotherFileSystemUsesItsOwnTrash) {
  struct stat shm, tmp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(data.path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no second writable file system";
  const std::string uid = std::to_string(::getuid());
  const std::string trash = "/dev/shm/.Trash-" + uid;
  struct stat admin;
  if (::lstat("/dev/shm/.Trash", &admin) == 0) GTEST_SKIP() << "an administrator's trash exists";
  const bool existed = fs::exists(trash);
  char tmpl[] = "/dev/shm/pamirune-trash-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string folder = tmpl;
  const std::string file = folder + "/v.gif";
  std::ofstream(file) << "gif";
  std::string error, as;
  bool moved = xdg::MoveToTrash(file, &error, &as);
  std::string info_path = trash + "/info/" + fs::path(as).filename().string() + ".trashinfo";
  std::ifstream in(info_path);
  std::string info((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Clean up before judging.
  ::unlink(as.c_str());
  ::unlink(info_path.c_str());
  ::rmdir(folder.c_str());
  if (!existed) fs::remove_all(trash);
  ASSERT_TRUE(moved) << error;
  EXPECT_EQ(as.rfind(trash + "/files/", 0), 0u) << as;
  // Paths in a volume's trash are relative to the volume's top folder.
  EXPECT_NE(info.find("\nPath=" + xdg::PercentEncodePath(folder.substr(9) + "/v.gif") + "\n"),
            std::string::npos)
      << info;
  EXPECT_FALSE(fs::exists(data.File("Trash/files/v.gif")));
}

TEST(UserDirsTest, PicturesFolderFromTheUserDirsFile) {
  const std::string home = "/home/u";
  EXPECT_EQ(xdg::UserDirsValue("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "XDG_PICTURES_DIR", home),
            "/home/u/Bilder");
  EXPECT_EQ(xdg::UserDirsValue("# c\n  XDG_PICTURES_DIR=\"/data/pics/\"\nXDG_MUSIC_DIR=\"$HOME/M\"",
                               "XDG_PICTURES_DIR", home),
            "/data/pics");
  EXPECT_EQ(xdg::UserDirsValue("XDG_PICTURES_DIR=\"$HOME/\"", "XDG_PICTURES_DIR", home), "");
  EXPECT_EQ(xdg::UserDirsValue("XDG_PICTURES_DIR=\"relative\"", "XDG_PICTURES_DIR", home), "");
  EXPECT_EQ(xdg::UserDirsValue("XDG_PICTURES_DIRX=\"/a\"", "XDG_PICTURES_DIR", home), "");
  EXPECT_EQ(
      xdg::UserDirsValue("XDG_PICTURES_DIR=\"$HOME/My \\\"Pics\\\"\"", "XDG_PICTURES_DIR", home),
      "/home/u/My \"Pics\"");
}

TEST(UserDirsTest, ConfigHomeIsAnAbsoluteXdgConfigHomeElseUnderHome) {
  ScopedEnv home("HOME", "/home/u");
  LinuxPlatform platform;
  for (const auto& [xdg, expected] : std::vector<std::pair<const char*, const char*>>{
           {"/xdg", "/xdg"}, {"", "/home/u/.config"}, {"rel/dir", "/home/u/.config"}}) {
    ScopedEnv config("XDG_CONFIG_HOME", xdg);
    EXPECT_EQ(platform.ConfigHome(), expected) << xdg;
  }
}

TEST(DefaultOutputDirTest, PortableInstallElsePicturesCreated) {
  TempDir root;
  ScopedEnv home("HOME", root.path());
  ScopedEnv config("XDG_CONFIG_HOME", root.File("cfg"));
  LinuxPlatform platform;
  ::mkdir(root.File("bin").c_str(), 0700);
  platform.SetProgramPath(root.File("bin/pamirune"));
  // No user-dirs file: ~/Pictures, made on the way.
  EXPECT_EQ(platform.DefaultOutputDir(), root.File("Pictures/"));
  EXPECT_TRUE(fs::is_directory(root.File("Pictures")));
  ::mkdir(root.File("cfg").c_str(), 0700);
  root.Write("cfg/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/画像\"\n");
  EXPECT_EQ(platform.DefaultOutputDir(), root.File("画像/"));
  EXPECT_TRUE(fs::is_directory(root.File("画像")));
  // A settings file beside the program makes it portable.
  root.Write("bin/Pamirune.ini", "");
  EXPECT_EQ(platform.DefaultOutputDir(), root.File("bin/"));
}

TEST(DesktopEntryTest, RegisterWritesAnEntryTheDesktopAccepts) {
  TempDir data;
  ScopedEnv env("XDG_DATA_HOME", data.path());
  LinuxPlatform platform;
  platform.SetProgramPath("/opt/my apps/pamirune");
  EXPECT_FALSE(platform.SendToRegistered());
  ASSERT_TRUE(platform.RegisterSendTo());
  EXPECT_TRUE(platform.SendToRegistered());
  const std::string path = data.File("applications/ぱみるねを起動.desktop");
  EXPECT_EQ(platform.SendToEntryPath(), path);
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nName=ぱみるね\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/opt/my apps/pamirune\" %F\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nPath=/opt/my apps/\n"), std::string::npos);
  EXPECT_NE(text.find("image/x-mag;"), std::string::npos);
  EXPECT_NE(text.find("image/png;"), std::string::npos);
  if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
    std::string cmd = "/usr/bin/desktop-file-validate '" + path + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  EXPECT_TRUE(platform.UnregisterSendTo());
  EXPECT_FALSE(platform.SendToRegistered());
  EXPECT_TRUE(platform.UnregisterSendTo());  // nothing to remove is no failure
}

TEST(DesktopEntryTest, ExecArgumentsAreQuotedAndEscaped) {
  EXPECT_EQ(xdg::ExecArgument("/usr/bin/pamirune"), "/usr/bin/pamirune");
  EXPECT_EQ(xdg::ExecArgument("/a b/p"), "\"/a b/p\"");
  EXPECT_EQ(xdg::ExecArgument("/a$b/p"), "\"/a\\\\$b/p\"");  // \$ then the value escape
  EXPECT_EQ(xdg::ExecArgument("/100%/p"), "/100%%/p");
  EXPECT_EQ(xdg::EscapeValue("a\\b\nc"), "a\\\\b\\nc");
}

TEST(LockTest, OnlyOneInstanceHoldsTheLock) {
  TempDir run;
  ScopedEnv env("XDG_RUNTIME_DIR", run.path());
  auto first = std::make_unique<LinuxPlatform>();
  EXPECT_EQ(first->LockFilePath(), run.File("pamirune.lock"));
  EXPECT_TRUE(first->AcquireSingleInstanceLock());
  EXPECT_TRUE(first->AcquireSingleInstanceLock());  // asking again is fine
  LinuxPlatform second;
  EXPECT_FALSE(second.AcquireSingleInstanceLock());
  first.reset();  // the first instance ends
  EXPECT_TRUE(second.AcquireSingleInstanceLock());
}

TEST(LockTest, FallsBackToAPrivateFolderInTmp) {
  ScopedEnv env("XDG_RUNTIME_DIR");
  LinuxPlatform platform;
  EXPECT_EQ(platform.LockFilePath(),
            "/tmp/pamirune-" + std::to_string(::getuid()) + "/pamirune.lock");
}

TEST(FileServicesTest, CopyReplacesWholeAndLongPathsResolve) {
  TempDir dir;
  LinuxPlatform platform;
  dir.Write("a", "new");
  dir.Write("b", "old");
  EXPECT_TRUE(platform.CopyFile(dir.File("a"), dir.File("b")));
  EXPECT_EQ(dir.Read("b"), "new");
  EXPECT_FALSE(platform.CopyFile(dir.File("missing"), dir.File("b")));
  EXPECT_EQ(dir.Read("b"), "new");
  EXPECT_EQ(platform.LongPathName(dir.path() + "//x/../a"), dir.File("a"));
  EXPECT_EQ(platform.LongPathName(dir.File("none/")), dir.File("none"));  // need not exist
  EXPECT_EQ(platform.LongPathName(""), "");
  EXPECT_TRUE(platform.SameFile(dir.File("a"), dir.path() + "/./a"));
  EXPECT_FALSE(platform.SameFile(dir.File("a"), dir.File("b")));
}

}  // namespace
}  // namespace pamirune
