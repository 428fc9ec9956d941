#include "platform/linux_platform.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/desktop_entry.h"
#include "platform/xdg_dirs.h"
#include "platform/xdg_trash.h"
#include "raster/bitmap.h"
#include "raster/errors.h"
#include "raster/file_path.h"
#include "raster/stream.h"

namespace pamirune {

namespace fs = std::filesystem;

LinuxPlatform::LinuxPlatform() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) program_path_.assign(buf, static_cast<size_t>(n));
}

LinuxPlatform::~LinuxPlatform() {
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool LinuxPlatform::FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<FileInfo> LinuxPlatform::FindFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileInfo info;
  info.size = st.st_size;
  info.mtime_sec = st.st_mtim.tv_sec;
  info.mtime_nsec = st.st_mtim.tv_nsec;
  info.device = st.st_dev;
  info.inode = st.st_ino;
  return info;
}

std::vector<uint8_t> LinuxPlatform::ReadFileHead(const std::string& path, size_t count) {
  // Opened without waiting and only as a regular file: a FIFO named like an image must not
  // block the batch.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw EOSError("ファイル " + path + " を開けません。" + std::strerror(errno));
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EOSError("ファイル " + path + " を開けません。通常のファイルではありません。");
  }
  std::vector<uint8_t> bytes(count);
  size_t got = 0;
  while (got < count) {
    ssize_t n = ::pread(fd, bytes.data() + got, count - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
}

bool LinuxPlatform::SetFileTime(const std::string& path, int64_t sec, int64_t nsec) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the last-access time stays
  times[1].tv_sec = static_cast<time_t>(sec);
  times[1].tv_nsec = static_cast<long>(nsec);
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool LinuxPlatform::RenameFile(const std::string& from, const std::string& to) {
  // Never replace an existing file: link the new name, then drop the old one.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (FileExists(to)) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool LinuxPlatform::DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool LinuxPlatform::SyncToDisk(const std::string& path) {
  auto sync = [](const std::string& name, int flags) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
  };
  return sync(path, 0) && sync(ParentFolder(path), O_DIRECTORY);
}

bool LinuxPlatform::MoveToTrash(const std::string& path, std::string* error) {
  return xdg::MoveToTrash(path, error);
}

bool LinuxPlatform::SameFile(const std::string& a, const std::string& b) {
  auto ia = FindFile(a), ib = FindFile(b);
  return ia && ib && ia->device == ib->device && ia->inode == ib->inode;
}

void LinuxPlatform::OpenWithDefaultApp(const std::string& path, const std::string& working_dir) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) _exit(127);
    // Detach so the viewer outlives us and leaves no zombie.
    if (::fork() != 0) _exit(0);
    int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      ::dup2(devnull, 0);
      ::dup2(devnull, 1);
      ::dup2(devnull, 2);
    }
    ::execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid > 0) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

std::string LinuxPlatform::ProgramPath() { return program_path_; }

std::string LinuxPlatform::ProgramDir() {
  return IncludeTrailingSlash(fs::path(program_path_).parent_path().string());
}

namespace {

// The settings file a portable install keeps beside the program: the program's file name with
// ".ini", lower case with its first letter upper case ("pamirune" keeps "Pamirune.ini").
std::string PortableSettingsName(const std::string& program_path) {
  std::string name = LowerAscii(fs::path(program_path).stem().string());
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name + ".ini";
}

}  // namespace

std::string LinuxPlatform::DefaultOutputDir() {
  if (!program_path_.empty() && FileExists(ProgramDir() + PortableSettingsName(program_path_)))
    return ProgramDir();
  std::string dir = xdg::PicturesDir();
  std::error_code ec;
  fs::create_directories(dir, ec);
  return IncludeTrailingSlash(dir);
}

std::string LinuxPlatform::LongPathName(const std::string& path) {
  if (path.empty()) return "";
  std::error_code ec;
  fs::path abs = fs::absolute(path, ec);
  if (ec) return "";
  std::string normal = abs.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string LinuxPlatform::ConfigHome() { return xdg::ConfigHome(); }

std::string LinuxPlatform::SendToEntryPath() {
  return xdg::DataHome() + "/applications/ぱみるねを起動.desktop";
}

bool LinuxPlatform::SendToRegistered() { return FileExists(SendToEntryPath()); }

bool LinuxPlatform::RegisterSendTo() {
  if (program_path_.empty()) return false;
  const std::string entry = SendToEntryPath();
  std::error_code ec;
  fs::create_directories(fs::path(entry).parent_path(), ec);
  const std::string text = xdg::DesktopEntryText(program_path_, ProgramDir());
  try {
    WriteFileAtomic(entry, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  } catch (const Exception&) {
    return false;
  }
  return true;
}

bool LinuxPlatform::UnregisterSendTo() {
  const std::string entry = SendToEntryPath();
  return ::unlink(entry.c_str()) == 0 || errno == ENOENT;
}

bool LinuxPlatform::CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  try {
    WriteFileAtomic(to, bytes);
  } catch (const Exception&) {
    return false;
  }
  struct stat st;
  if (::stat(from.c_str(), &st) == 0) ::chmod(to.c_str(), st.st_mode & 07777);
  return true;
}

std::string LinuxPlatform::LockFilePath() {
  std::string dir = xdg::RuntimeDir();
  if (dir.empty()) {
    dir = "/tmp/pamirune-" + std::to_string(::getuid());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return "";
    // Someone else's folder of that name is not ours to use.
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
      return "";
  }
  return dir + "/pamirune.lock";
}

bool LinuxPlatform::AcquireSingleInstanceLock() {
  if (lock_fd_ >= 0) return true;
  const std::string path = LockFilePath();
  if (path.empty()) return true;  // no private place for a lock: never refuse to start
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held_elsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return !held_elsewhere;
  }
  lock_fd_ = fd;
  return true;
}

std::unique_ptr<TBitmap> LinuxPlatform::ClipboardBitmap() { return nullptr; }

}  // namespace pamirune
