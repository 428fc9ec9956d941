// Stream data kept in a temporary file instead of memory while a document of many pages is
// made, and copied into the PDF file when it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "raster/stream.h"

namespace pamirune {

class TPdfSpill {
 public:
  // An unnamed file in folder (gone when the last holder lets go); nullptr where the system
  // cannot make one there.
  static std::shared_ptr<TPdfSpill> Create(const std::string& folder);
  ~TPdfSpill();
  TPdfSpill(const TPdfSpill&) = delete;
  TPdfSpill& operator=(const TPdfSpill&) = delete;

  // Appends the bytes; their offset, or -1 when they could not be stored (the file system is
  // full, say): the caller keeps them then.
  int64_t Store(const uint8_t* data, size_t size);
  // Writes size bytes from offset into stream. Raises EPdfError when they cannot be read back.
  void CopyTo(TStream& stream, int64_t offset, size_t size) const;

 private:
  explicit TPdfSpill(int fd) : fd_(fd) {}
  int fd_;
  int64_t end_ = 0;
};

}  // namespace pamirune
