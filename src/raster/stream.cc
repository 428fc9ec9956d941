#include "raster/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "raster/errors.h"

namespace pamirune {

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (Read(buffer, count) != count) throw Exception("Stream read error");
}

std::vector<uint8_t> TStream::ReadRest() {
  int64_t n = std::max<int64_t>(0, Remaining());
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

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EOSError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw EOSError("Cannot read file \"" + path + "\".");
  return bytes;
}

void WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) throw EOSError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      ::unlink(name.data());
      throw EOSError("Cannot write file \"" + path + "\". " + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
  // Keep the permissions an ordinary new file would get (mkstemp makes it private).
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  if (::fsync(fd) != 0 && errno != EINVAL) {
    int err = errno;
    ::close(fd);
    ::unlink(name.data());
    throw EOSError("Cannot write file \"" + path + "\". " + std::strerror(err));
  }
  ::close(fd);
  if (::rename(name.data(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(name.data());
    throw EOSError("Cannot create file \"" + path + "\". " + std::strerror(err));
  }
}

}  // namespace pamirune
