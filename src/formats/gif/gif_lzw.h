// Image data of a GIF frame: the sub-block writer, the LZW dictionary, the two encoders and
// the decoder. Used by the frames of gif.h; public to the folder's tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raster/stream.h"

namespace pamirune {

// LZW dictionary of the encoder: 8,009 slots of (key << 12) | code, key = prefix << 8 | index.
// Probing from (key xor key >> 4) mod 8,009 goes h -> h - (8,009 - h) (h - 1 from slot 0),
// wrapping below 0.
class THashTable {
 public:
  static constexpr int kSize = 8009;
  THashTable() { Clear(); }
  void Clear() { slots_.fill(0xFFFFFFFFu); }
  void Insert(uint32_t key, int code);
  // The code stored for key, or -1.
  int Lookup(uint32_t key) const;

 private:
  static int Start(uint32_t key) { return static_cast<int>((key ^ (key >> 4)) % kSize); }
  static int NextProbe(int h, int step);
  static bool IsEmpty(uint32_t slot) { return slot >= 0xFFFFF000u; }
  std::array<uint32_t, kSize> slots_;
};

// A stream of the GIF image that stands in front of another stream.
class TGIFStream : public TStream {
 public:
  explicit TGIFStream(TStream& target) : target_(target) {}
  size_t Read(void* buffer, size_t count) override;
  void Seek(int64_t position) override;

 protected:
  TStream& target_;
};

// Cuts what is written into data sub-blocks of at most 255 bytes. Reading and seeking raise
// "Invalid stream operation".
class TGIFWriter : public TGIFStream {
 public:
  explicit TGIFWriter(TStream& target) : TGIFStream(target) {}
  void Write(const void* buffer, size_t count) override;
  int64_t Position() const override { return written_; }
  int64_t Size() const override { return written_; }

  void WriteByte(uint8_t value) {
    buffer_[static_cast<size_t>(++held_)] = value;
    ++written_;
    if (held_ == 255) Flush();
  }
  // Writes the held bytes (if any) as one sub-block.
  void Flush();

 private:
  std::array<uint8_t, 256> buffer_{};  // [0] is the sub-block length
  int held_ = 0;
  int64_t written_ = 0;
};

// Writes the image data of a frame: the minimum code size byte, the data sub-blocks and the
// block terminator. Pixels are width x height indices, rows top to bottom; every index must be
// below 2^bits_per_pixel ("Color not in color table").
class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;
  virtual void Compress(TStream& stream, const uint8_t* pixels, int width, int height,
                        bool interlaced, int bits_per_pixel) = 0;
};

class TLZWEncoder : public TGIFEncoder {
 public:
  void Compress(TStream& stream, const uint8_t* pixels, int width, int height, bool interlaced,
                int bits_per_pixel) override;

 private:
  THashTable table_;
};

// A stream of single-index codes and run codes at a fixed code size of m + 1 bits, readable by
// any LZW decoder. The encoder mirrors the decoder's table: each code after the first one
// following a clear adds the entry "previous string + first index of this one", so a run code
// is either an entry that holds a run of the index or the entry being made (previous run + 1),
// which lets runs grow by one with every code. A clear code comes before the decoder's table
// would make it widen its codes.
class TRLEEncoder : public TGIFEncoder {
 public:
  void Compress(TStream& stream, const uint8_t* pixels, int width, int height, bool interlaced,
                int bits_per_pixel) override;
};

// The rows of a frame in the order the file stores them: top to bottom, or for an interlaced
// frame rows 0, 8, 16, ..., then 4, 12, ..., then 2, 6, ..., then 1, 3, ....
std::vector<int> GifRowOrder(int height, bool interlaced);

// The minimum code size written for a colour depth (at least 2).
int GifMinimumCodeSize(int bits_per_pixel);

// Decodes the image data at the stream's position into pixels (width x height, already filled
// with their initial value). Missing data leaves pixels as they are: a short sub-block gives
// the warning "Premature end of data", running out of codes "Decoder bit buffer under-run".
// A broken code chain raises "Circular decoder table entry"; a minimum code size above 8
// "Invalid GIF data". The stream ends after the block terminator.
void DecodeGifImageData(TStream& stream, uint8_t* pixels, int width, int height, bool interlaced,
                        const std::function<void(const std::string&)>& warning);

}  // namespace pamirune
