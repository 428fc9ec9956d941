#include "raster/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw Exception("Stream read error");
}

std::vector<uint8_t> TStream::ReadRest(int64_t max_bytes) {
  int64_t n = std::clamp<int64_t>(Remaining(), 0, std::max<int64_t>(max_bytes, 0));
  std::vector<uint8_t> out(static_cast<size_t>(n));
  size_t got = n ? Read(out.data(), out.size()) : 0;
  out.resize(got);
  return out;
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  int64_t left = Size() - position_;
  if (left <= 0) return 0;
  size_t n = std::min<size_t>(count, static_cast<size_t>(left));
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  size_t end = static_cast<size_t>(position_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
}

void TMemoryStream::Seek(int64_t position) { position_ = std::max<int64_t>(0, position); }

size_t TBufferStream::Read(void* buffer, size_t count) {
  int64_t left = Size() - position_;
  if (left <= 0) return 0;
  size_t n = std::min<size_t>(count, static_cast<size_t>(left));
  std::memcpy(buffer, data_ + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

void TBufferStream::Write(const void*, size_t) { throw Exception("Stream write error"); }

void TBufferStream::Seek(int64_t position) { position_ = std::max<int64_t>(0, position); }

int64_t MaxImageFileBytes() { return PixelLimit() * 8 + (int64_t{16} << 20); }

TFileStream::TFileStream(const std::string& path) : path_(path) {
  // Opened without waiting, so that a FIFO cannot block before it is recognised.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) throw EOSError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    throw EOSError("Cannot open file \"" + path + "\". It is not a regular file.");
  }
  size_ = std::min<int64_t>(st.st_size, MaxImageFileBytes());
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  constexpr size_t kWindow = size_t{64} << 10;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count && position_ < size_) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(count - done, size_ - position_));
    if (position_ >= window_at_ && position_ < window_at_ + static_cast<int64_t>(window_.size())) {
      const size_t at = static_cast<size_t>(position_ - window_at_);
      const size_t n = std::min(want, window_.size() - at);
      std::memcpy(out + done, window_.data() + at, n);
      done += n;
      position_ += static_cast<int64_t>(n);
      continue;
    }
    // Large reads go straight into the caller's buffer; small ones through the window.
    const bool direct = want >= kWindow;
    window_.clear();
    if (!direct) window_.resize(static_cast<size_t>(std::min<int64_t>(kWindow, size_ - position_)));
    uint8_t* target = direct ? out + done : window_.data();
    const size_t ask = direct ? want : window_.size();
    const ssize_t n = ::pread(fd_, target, ask, position_);
    const int err = errno;
    if (n <= 0) window_.clear();
    if (n < 0 && err == EINTR) continue;
    if (n < 0) throw EOSError("Cannot read file \"" + path_ + "\". " + std::strerror(err));
    if (n == 0) {
      size_ = position_;  // the file became shorter while it was read
      break;
    }
    if (direct) {
      done += static_cast<size_t>(n);
      position_ += n;
    } else {
      window_.resize(static_cast<size_t>(n));
      window_at_ = position_;
    }
  }
  return done;
}

void TFileStream::Write(const void*, size_t) { throw Exception("Stream write error"); }

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  TFileStream file(path);
  return file.ReadRest();
}

namespace {

// What a TAtomicFileStream gathers before it writes; larger blocks are written directly.
constexpr size_t kAtomicBufferBytes = size_t{256} << 10;

// Writes everything to fd; false with errno set when it cannot.
bool WriteAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// A short, recognisable name in the folder: ".pamirune-" and six random letters. Short, so that
// a target whose own name is as long as a name may be still gets a temporary beside it.
std::string TempName(const std::string& dir) {
  static std::mt19937 random{std::random_device{}()};
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string name = dir + "/.pamirune-";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

[[noreturn]] void Fail(const char* what, const std::string& path, int err) {
  throw EOSError(std::string(what) + " file \"" + path + "\". " + std::strerror(err));
}

// Gives the unnamed file of fd the name path, replacing what is there. A new name is linked
// directly; an existing one is replaced by linking a temporary name and renaming it over the
// target, the only moment a name of ours exists. False when the file cannot be linked at all.
bool LinkUnnamed(int fd, const std::string& dir, const std::string& path) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  auto link_to = [&](const std::string& name) {
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
  };
  int err = link_to(path);
  if (err == 0) return true;
  if (err != EEXIST) {
    errno = err;
    return false;
  }
  // What the target held is about to be replaced: the new data reach the disk first, so that a
  // crash cannot leave the name with neither the old nor the new content.
  if (::fsync(fd) != 0 && errno != EINVAL) Fail("Cannot write", path, errno);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = TempName(dir);
    err = link_to(temp);
    if (err == EEXIST) continue;
    if (err != 0) break;
    if (::rename(temp.c_str(), path.c_str()) == 0) return true;
    err = errno;
    ::unlink(temp.c_str());
    Fail("Cannot create", path, err);
  }
  errno = err;
  return false;
}

// Where /proc is missing the unnamed file cannot be named: its bytes are copied to a named
// temporary beside the target instead. Returns that temporary's name; throws EOSError.
std::string CopyToNamedTemporary(int fd, const std::string& dir, const std::string& path,
                                 int64_t size) {
  int out = -1;
  std::string name;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    name = TempName(dir);
    out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) Fail("Cannot create", path, errno);
  std::vector<uint8_t> chunk(size_t{1} << 20);
  for (int64_t at = 0; at < size;) {
    const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !WriteAll(out, chunk.data(), static_cast<size_t>(n))) {
      const int err = n == 0 ? EIO : errno;
      ::close(out);
      ::unlink(name.c_str());
      Fail("Cannot write", path, err);
    }
    at += n;
  }
  if (::fsync(out) != 0 && errno != EINVAL) {
    const int err = errno;
    ::close(out);
    ::unlink(name.c_str());
    Fail("Cannot write", path, err);
  }
  ::close(out);
  return name;
}

}  // namespace

TAtomicFileStream::TAtomicFileStream(const std::string& path) : path_(path) {
  namespace fs = std::filesystem;
  dir_ = fs::path(path).parent_path().string();
  if (dir_.empty()) dir_ = ".";
  // An unnamed file in the target's folder: a crash at any moment leaves nothing behind. Read
  // and write, so that its bytes can still be copied where it cannot be named.
  fd_ = ::open(dir_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  // Where the file system has no unnamed files: a short named temporary.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = TempName(dir_);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) Fail("Cannot create", path_, errno);
  buffer_.reserve(kAtomicBufferBytes);
}

TAtomicFileStream::~TAtomicFileStream() { Discard(); }

void TAtomicFileStream::Discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  buffer_.clear();
}

size_t TAtomicFileStream::Read(void*, size_t) { throw Exception("Stream read error"); }

void TAtomicFileStream::WriteAt(const uint8_t* data, size_t size, int64_t offset) {
  if (fd_ < 0) Fail("Cannot write", path_, EBADF);  // an earlier write failed
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n == 0 ? EIO : errno;
      Discard();
      Fail("Cannot write", path_, err);
    }
    done += static_cast<size_t>(n);
  }
  size_ = std::max(size_, offset + static_cast<int64_t>(size));
}

void TAtomicFileStream::Flush() {
  if (buffer_.empty()) return;
  WriteAt(buffer_.data(), buffer_.size(), buffer_at_);
  buffer_at_ += Pending();
  buffer_.clear();
}

void TAtomicFileStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (buffer_.size() + count > kAtomicBufferBytes) Flush();
  if (count >= kAtomicBufferBytes) {
    // Large blocks go to the file from where they are.
    WriteAt(bytes, count, buffer_at_);
    buffer_at_ += static_cast<int64_t>(count);
    return;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void TAtomicFileStream::Seek(int64_t position) {
  position = std::max<int64_t>(0, position);
  if (position == Position()) return;
  Flush();
  buffer_at_ = position;
}

void TAtomicFileStream::Commit() {
  Flush();
  if (fd_ < 0) Fail("Cannot write", path_, EBADF);
  // A file whose last bytes were skipped by a Seek ends where it was sought to.
  if (Position() > size_ && ::ftruncate(fd_, Position()) == 0) size_ = Position();
  bool copied = false;
  if (temp_.empty()) {
    const bool linked = LinkUnnamed(fd_, dir_, path_);
    const int err = errno;
    if (linked) {
      Discard();
      return;
    }
    // Without /proc the unnamed file cannot be named: its bytes go to a named temporary.
    if (err != ENOENT && err != EPERM && err != EXDEV && err != EOPNOTSUPP && err != EINVAL) {
      Discard();
      Fail("Cannot create", path_, err);
    }
    try {
      temp_ = CopyToNamedTemporary(fd_, dir_, path_, size_);
      copied = true;
    } catch (...) {
      Discard();
      throw;
    }
  }
  // The file is made durable only where that protects something: before it replaces an
  // existing file (and before a source it was made from is disposed of, by the caller). A copy
  // made above is durable already; fd_ is not the file renamed then.
  struct stat target;
  if (!copied && ::lstat(path_.c_str(), &target) == 0 && ::fsync(fd_) != 0 && errno != EINVAL) {
    const int err = errno;
    Discard();
    Fail("Cannot write", path_, err);
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    Discard();
    Fail("Cannot create", path_, err);
  }
  temp_.clear();  // the name is the target's now
  Discard();
}

void WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size) {
  TAtomicFileStream file(path);
  file.Write(data, size);
  file.Commit();
}

void WriteFileAtomic(const std::string& path, const std::function<void(TStream&)>& produce) {
  TAtomicFileStream file(path);
  produce(file);
  file.Commit();
}

}  // namespace pamirune
