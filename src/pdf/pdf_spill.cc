#include "pdf/pdf_spill.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "pdf/pdf_errors.h"

namespace pamirune {

std::shared_ptr<TPdfSpill> TPdfSpill::Create(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  return std::shared_ptr<TPdfSpill>(new TPdfSpill(fd));
}

TPdfSpill::~TPdfSpill() { ::close(fd_); }

int64_t TPdfSpill::Store(const uint8_t* data, size_t size) {
  const int64_t at = end_;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;  // what was written past end_ is written over next time
    done += static_cast<size_t>(n);
  }
  end_ += static_cast<int64_t>(size);
  return at;
}

void TPdfSpill::CopyTo(TStream& stream, int64_t offset, size_t size) const {
  std::vector<uint8_t> buffer(std::min<size_t>(size, size_t{1} << 20));
  while (size > 0) {
    ssize_t n =
        ::pread(fd_, buffer.data(), std::min(size, buffer.size()), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EPdfError("TPdfStream --cannot read the kept data back.");
    stream.Write(buffer.data(), static_cast<size_t>(n));
    offset += n;
    size -= static_cast<size_t>(n);
  }
}

}  // namespace pamirune
