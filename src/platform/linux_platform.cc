#include "platform/linux_platform.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

namespace fs = std::filesystem;

LinuxPlatform::LinuxPlatform() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) program_path_.assign(buf, static_cast<size_t>(n));
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
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EOSError("ファイル " + path + " を開けません。" + std::strerror(errno));
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(in.gcount()));
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

bool LinuxPlatform::MoveToTrash(const std::string& path, std::string* error) {
  if (error) *error = "trash is not available";
  return false;
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
  fs::path p(program_path_);
  std::string dir = p.parent_path().string();
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::string LinuxPlatform::DefaultOutputDir() { return ProgramDir(); }

std::string LinuxPlatform::LongPathName(const std::string& path) {
  std::error_code ec;
  fs::path abs = fs::absolute(path, ec);
  if (ec) return "";
  return abs.lexically_normal().string();
}

bool LinuxPlatform::SendToRegistered() { return false; }
bool LinuxPlatform::RegisterSendTo() { return false; }
bool LinuxPlatform::UnregisterSendTo() { return false; }

std::unique_ptr<TBitmap> LinuxPlatform::ClipboardBitmap() { return nullptr; }

}  // namespace pamirune
