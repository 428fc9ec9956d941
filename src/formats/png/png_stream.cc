#include "formats/png/png_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "raster/byte_order.h"

namespace pamirune {

namespace {
constexpr size_t kReadBufferSize = 65536;
constexpr size_t kWriteBufferSize = 65536;
}  // namespace

ImageReadStream::ImageReadStream(TStream& stream) : stream_(stream), buffer_(kReadBufferSize) {}

bool ImageReadStream::Fill() {
  pos_ = 0;
  len_ = stream_.Read(buffer_.data(), buffer_.size());
  return len_ > 0;
}

size_t ImageReadStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (pos_ == len_) {
      size_t want = count - done;
      // A large request goes straight to the stream, all but its last buffer's worth.
      if (want > kReadBufferSize) {
        size_t direct = want - kReadBufferSize;
        size_t got = stream_.Read(out + done, direct);
        done += got;
        if (got < direct) break;
        continue;
      }
      if (!Fill()) break;
    }
    size_t n = std::min(count - done, len_ - pos_);
    std::memcpy(out + done, buffer_.data() + pos_, n);
    pos_ += n;
    done += n;
  }
  if (done < count) at_end_ = true;
  return done;
}

void ImageReadStream::ReadFull(void* buffer, size_t count) {
  size_t got = Read(buffer, count);
  if (got < count) std::memset(static_cast<uint8_t*>(buffer) + got, 0, count - got);
}

uint8_t ImageReadStream::ReadByte() {
  uint8_t b = 0;
  ReadFull(&b, 1);
  return b;
}

uint32_t ImageReadStream::ReadDWord() {
  uint8_t b[4];
  ReadFull(b, 4);
  return GetBe32(b);
}

void ImageReadStream::Skip(uint64_t count) {
  uint64_t in_buffer = len_ - pos_;
  if (count <= in_buffer) {
    pos_ += static_cast<size_t>(count);
    return;
  }
  count -= in_buffer;
  pos_ = len_ = 0;
  int64_t remaining = stream_.Remaining();
  if (remaining < 0 || count > static_cast<uint64_t>(remaining)) {
    stream_.Seek(stream_.Size());
    at_end_ = true;
    return;
  }
  stream_.Seek(stream_.Position() + static_cast<int64_t>(count));
}

ImageWriteStream::ImageWriteStream(TStream& stream) : stream_(stream) {
  buffer_.reserve(kWriteBufferSize);
}

ImageWriteStream::~ImageWriteStream() = default;

void ImageWriteStream::Write(const void* data, size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (buffer_.size() + count > kWriteBufferSize) Flush();
  if (count >= kWriteBufferSize) {
    stream_.WriteBuffer(p, count);
    return;
  }
  buffer_.insert(buffer_.end(), p, p + count);
}

void ImageWriteStream::Flush() {
  if (!buffer_.empty()) stream_.WriteBuffer(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ImageWriteStream::WriteChunk(const char type[4], const uint8_t* data, size_t count) {
  std::vector<uint8_t> head;
  AppendBe32(head, static_cast<uint32_t>(count));
  head.insert(head.end(), type, type + 4);
  Write(head.data(), head.size());
  if (count) Write(data, count);
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(type), 4);
  if (count) crc = crc32(crc, data, static_cast<uInt>(count));
  std::vector<uint8_t> tail;
  AppendBe32(tail, static_cast<uint32_t>(crc));
  Write(tail.data(), tail.size());
}

}  // namespace pamirune
