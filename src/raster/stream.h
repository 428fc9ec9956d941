// Byte streams the graphic kinds load from and save to: memory and file streams.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace pamirune {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual int64_t Position() const = 0;
  virtual void Seek(int64_t position) = 0;
  virtual int64_t Size() const = 0;

  int64_t Remaining() const { return Size() - Position(); }
  // Reads exactly count bytes or throws EInvalidGraphic-free EReadError ("Stream read error").
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count) { Write(buffer, count); }
  // Everything from the current position to the end, or at most max_bytes of it.
  std::vector<uint8_t> ReadRest(int64_t max_bytes = INT64_MAX);
  void WriteBytes(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }

  const std::vector<uint8_t>& Bytes() const { return data_; }
  std::vector<uint8_t>& Bytes() { return data_; }
  void Clear() {
    data_.clear();
    position_ = 0;
  }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

// A read-only view of bytes owned elsewhere.
class TBufferStream : public TStream {
 public:
  TBufferStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override;
  int64_t Size() const override { return static_cast<int64_t>(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  int64_t position_ = 0;
};

// A read-only stream over an image file, read as the decoder asks, so memory follows the image
// and not the file. Only regular files are opened: a FIFO, device or folder named like an image
// would block or never end, and is refused with EOSError naming the file. A file longer than
// MaxImageFileBytes() reads as if it ended there.
class TFileStream : public TStream {
 public:
  explicit TFileStream(const std::string& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override { position_ = std::max<int64_t>(0, position); }
  int64_t Size() const override { return size_; }

 private:
  std::string path_;
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t position_ = 0;
  // A window of the file read ahead, so that byte-wise reading stays cheap.
  std::vector<uint8_t> window_;
  int64_t window_at_ = 0;
};

// The most bytes read from one image file: what the largest image the pixel limit allows can
// take uncompressed (8 bytes per pixel, 16-bit RGBA), plus room for headers and metadata.
int64_t MaxImageFileBytes();

// Reads a whole image file into memory (regular files only, at most MaxImageFileBytes()); throws
// EOSError with a plain message naming the file when it cannot.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// A new file written as a stream: it is made in the target's folder without a name (or, where
// the file system has no unnamed files, under a short temporary name) and takes the target's
// name, replacing what is there, only at Commit(). Until then the target is untouched; a
// stream destroyed without Commit() leaves nothing behind. Writes are buffered, so the whole
// file never has to be in memory. Throws EOSError naming the target.
class TAtomicFileStream : public TStream {
 public:
  explicit TAtomicFileStream(const std::string& path);
  ~TAtomicFileStream() override;
  TAtomicFileStream(const TAtomicFileStream&) = delete;
  TAtomicFileStream& operator=(const TAtomicFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;  // write-only: throws
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return buffer_at_ + Pending(); }
  // Moving back and writing again overwrites; moving past the end leaves zeros.
  void Seek(int64_t position) override;
  int64_t Size() const override { return std::max(size_, Position()); }

  // Writes what is buffered, makes it durable and names the file; throws when any of it fails.
  void Commit();

 private:
  int64_t Pending() const { return static_cast<int64_t>(buffer_.size()); }
  void Flush();
  void WriteAt(const uint8_t* data, size_t size, int64_t offset);
  void Discard();

  std::string path_;
  std::string dir_;
  std::string temp_;  // the temporary's name; empty for an unnamed file
  int fd_ = -1;
  std::vector<uint8_t> buffer_;  // bytes not yet written, from buffer_at_ on
  int64_t buffer_at_ = 0;
  int64_t size_ = 0;  // bytes written to the file
};

// Writes bytes as one TAtomicFileStream, so a failure leaves neither half a file nor a
// destroyed previous file. Throws EOSError.
void WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size);
inline void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFileAtomic(path, bytes.data(), bytes.size());
}
// The same for data made while they are written: produce writes them into the
// TAtomicFileStream it is given, which goes straight into the new file.
void WriteFileAtomic(const std::string& path, const std::function<void(TStream&)>& produce);

}  // namespace pamirune
