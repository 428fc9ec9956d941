// Buffered big-endian byte reader and writer beneath the PNG reader and writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/stream.h"

namespace pamirune {

// Reads through a buffer refilled from the stream. Reading past the end is not an error:
// the missing bytes read as zero and AtEnd() turns true.
class ImageReadStream {
 public:
  explicit ImageReadStream(TStream& stream);

  // Reads up to count bytes; returns how many were read. A short read sets the end flag.
  size_t Read(void* buffer, size_t count);
  // Reads count bytes, zero-filling whatever lies beyond the end.
  void ReadFull(void* buffer, size_t count);
  uint8_t ReadByte();
  uint32_t ReadDWord();  // big-endian
  // Skips count bytes (seeking where it can); stops at the end.
  void Skip(uint64_t count);
  bool AtEnd() const { return at_end_; }

 private:
  bool Fill();

  TStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
  bool at_end_ = false;
};

// Writes through a buffer; PNG chunks are assembled with their length and CRC.
class ImageWriteStream {
 public:
  explicit ImageWriteStream(TStream& stream);
  ~ImageWriteStream();
  ImageWriteStream(const ImageWriteStream&) = delete;
  ImageWriteStream& operator=(const ImageWriteStream&) = delete;

  void Write(const void* data, size_t count);
  void Flush();
  // One chunk: length, type, data, CRC-32 over type and data.
  void WriteChunk(const char type[4], const uint8_t* data, size_t count);
  void WriteChunk(const char type[4], const std::vector<uint8_t>& data) {
    WriteChunk(type, data.data(), data.size());
  }

 private:
  TStream& stream_;
  std::vector<uint8_t> buffer_;
};

}  // namespace pamirune
