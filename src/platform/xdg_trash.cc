#include "platform/xdg_trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/xdg_dirs.h"
#include "raster/file_path.h"

namespace pamirune::xdg {

namespace {

namespace fs = std::filesystem;

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Makes dir (one level) with the given mode unless it is there; true when it is a real folder
// afterwards.
bool EnsureDir(const std::string& dir, mode_t mode) {
  if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return false;
  struct stat st;
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes dir and its parents; a folder made here gets mode, one that was there keeps its own.
bool EnsureDirs(const std::string& dir, mode_t mode) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  ::chmod(dir.c_str(), mode);
  return true;
}

// A trash folder with its two subfolders.
bool EnsureTrash(const std::string& trash) {
  return EnsureDir(trash + "/files", 0700) && EnsureDir(trash + "/info", 0700);
}

// The mount point of the file system holding path: the highest folder above it on the same
// device.
std::string TopDirOf(const std::string& absolute_path, dev_t device) {
  std::string dir = ParentFolder(absolute_path);
  while (dir != "/") {
    std::string up = ParentFolder(dir);
    struct stat st;
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    dir = up;
  }
  return dir;
}

// The trash folder for a file and the value its Path= key takes there.
struct TrashPlace {
  std::string dir;
  std::string path_value;
};

bool FindTrash(const std::string& absolute_path, TrashPlace* place, std::string* error) {
  struct stat file_st;
  if (::lstat(absolute_path.c_str(), &file_st) != 0) {
    SetError(error, ErrnoText(absolute_path));
    return false;
  }
  const std::string home_trash = DataHome() + "/Trash";
  if (EnsureDirs(home_trash, 0700)) {
    struct stat trash_st;
    if (::stat(home_trash.c_str(), &trash_st) == 0 && trash_st.st_dev == file_st.st_dev &&
        EnsureTrash(home_trash)) {
      *place = {home_trash, absolute_path};
      return true;
    }
  }
  // Another file system: that volume's own trash, never a copy into the home trash.
  const std::string top = TopDirOf(absolute_path, file_st.st_dev);
  const std::string uid = std::to_string(::getuid());
  std::string relative = absolute_path.substr(top == "/" ? 1 : top.size() + 1);
  const std::string admin = JoinPath(top, ".Trash");
  struct stat st;
  if (::lstat(admin.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    const std::string dir = admin + "/" + uid;
    struct stat dst;
    if (EnsureDir(dir, 0700) && ::lstat(dir.c_str(), &dst) == 0 && dst.st_uid == ::getuid() &&
        EnsureTrash(dir)) {
      *place = {dir, relative};
      return true;
    }
  }
  const std::string own = JoinPath(top, ".Trash-" + uid);
  if (EnsureDir(own, 0700) && ::lstat(own.c_str(), &st) == 0 && st.st_uid == ::getuid() &&
      EnsureTrash(own)) {
    *place = {own, relative};
    return true;
  }
  SetError(error, "no trash can be used on the file system of " + absolute_path);
  return false;
}

// Renames without replacing a file that appeared at the target meanwhile.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;  // a file system without the flag
}

// Name in the trash for the n-th try: "a.jpg", "a.2.jpg", "a.3.jpg", ...
std::string TrashName(const std::string& name, int n) {
  if (n == 1) return name;
  auto dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

}  // namespace

std::string PercentEncodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PercentDecode(const std::string& text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TrashInfoText(const std::string& path_value, std::time_t deletion_time) {
  std::tm local{};
  localtime_r(&deletion_time, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  return "[Trash Info]\nPath=" + PercentEncodePath(path_value) + "\nDeletionDate=" + date + "\n";
}

bool MoveToTrash(const std::string& path, std::string* error, std::string* trashed_as) {
  std::error_code ec;
  std::string absolute = fs::absolute(path, ec).lexically_normal().string();
  if (ec || absolute.empty()) {
    SetError(error, path + ": cannot be resolved");
    return false;
  }
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  TrashPlace place;
  if (!FindTrash(absolute, &place, error)) return false;
  // A trash folder is never put into itself.
  if (absolute == place.dir || absolute.rfind(place.dir + "/", 0) == 0) {
    SetError(error, absolute + " is in the trash");
    return false;
  }
  const std::string name = ExtractFileName(absolute);
  const std::string info = TrashInfoText(place.path_value, std::time(nullptr));
  for (int n = 1; n < 100000; ++n) {
    const std::string trash_name = TrashName(name, n);
    const std::string info_path = place.dir + "/info/" + trash_name + ".trashinfo";
    const std::string files_path = place.dir + "/files/" + trash_name;
    // The info file is created first and exclusively: it reserves the name.
    int fd = ::open(info_path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      SetError(error, ErrnoText(info_path));
      return false;
    }
    struct stat st;
    if (::lstat(files_path.c_str(), &st) == 0) {  // a left-over file without its record
      ::close(fd);
      ::unlink(info_path.c_str());
      continue;
    }
    bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
    written = (::fsync(fd) == 0) && written;
    ::close(fd);
    if (!written) {
      SetError(error, ErrnoText(info_path));
      ::unlink(info_path.c_str());
      return false;
    }
    if (!RenameNoReplace(absolute, files_path)) {
      SetError(error, ErrnoText(absolute));
      ::unlink(info_path.c_str());
      return false;
    }
    if (trashed_as) *trashed_as = files_path;
    return true;
  }
  SetError(error, "no free name in the trash for " + absolute);
  return false;
}

}  // namespace pamirune::xdg
