// Byte streams the graphic kinds load from and save to: memory and file streams.
#pragma once

#include <cstdint>
#include <cstdio>
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
  // Everything from the current position to the end.
  std::vector<uint8_t> ReadRest();
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
  void Clear() { data_.clear(); position_ = 0; }

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

// Reads a whole file into memory; throws EOSError with a plain message when it cannot.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes bytes to a temporary file in the target's folder and renames it over the target, so
// a failure leaves neither half a file nor a destroyed previous file. Throws EOSError.
void WriteFileAtomic(const std::string& path, const uint8_t* data, size_t size);
inline void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteFileAtomic(path, bytes.data(), bytes.size());
}

}  // namespace pamirune
