#include "formats/gif/gif_lzw.h"

#include <algorithm>

#include "formats/gif/gif.h"

namespace pamirune {

namespace {

constexpr int kMaxCode = 4095;           // 12-bit codes
constexpr int kLastAssignedCode = 4094;  // the encoder never assigns 4,095

// Packs codes least significant bit first into the sub-block writer.
class BitPacker {
 public:
  explicit BitPacker(TGIFWriter& writer) : writer_(writer) {}
  void Put(int code, int size) {
    bits_ |= static_cast<uint32_t>(code) << count_;
    count_ += size;
    while (count_ >= 8) {
      writer_.WriteByte(static_cast<uint8_t>(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  void Flush() {
    if (count_ > 0) writer_.WriteByte(static_cast<uint8_t>(bits_));
    bits_ = 0;
    count_ = 0;
  }

 private:
  TGIFWriter& writer_;
  uint32_t bits_ = 0;
  int count_ = 0;
};

void WriteByte(TStream& stream, uint8_t value) { stream.Write(&value, 1); }

// Reads data sub-blocks one byte at a time.
class SubBlockReader {
 public:
  SubBlockReader(TStream& stream, const std::function<void(const std::string&)>& warning)
      : stream_(stream), warning_(warning) {}

  bool Next(uint8_t& value) {
    while (pos_ == len_) {
      if (ended_ || !Refill()) return false;
    }
    value = buffer_[pos_++];
    return true;
  }

  // Skips what is left of the data up to and including the block terminator.
  void SkipRest() {
    pos_ = len_;
    while (!ended_) {
      uint8_t length = 0;
      if (stream_.Read(&length, 1) != 1 || length == 0) {
        ended_ = true;
        break;
      }
      int64_t target = stream_.Position() + length;
      if (target > stream_.Size()) {
        // Leniency: a last sub-block cut short by the end of the file.
        warning_(gif_msg::kPrematureEnd);
        stream_.Seek(stream_.Size());
        ended_ = true;
        break;
      }
      stream_.Seek(target);
    }
  }

 private:
  bool Refill() {
    uint8_t length = 0;
    if (stream_.Read(&length, 1) != 1 || length == 0) {
      ended_ = true;
      return false;
    }
    size_t got = stream_.Read(buffer_.data(), length);
    if (got < length) {
      // Leniency: a sub-block longer than the file gives what it holds.
      warning_(gif_msg::kPrematureEnd);
      ended_ = true;
    }
    len_ = static_cast<int>(got);
    pos_ = 0;
    return got > 0;
  }

  TStream& stream_;
  const std::function<void(const std::string&)>& warning_;
  std::array<uint8_t, 255> buffer_{};
  int len_ = 0;
  int pos_ = 0;
  bool ended_ = false;
};

// The pixels of a frame in storage order.
std::vector<uint8_t> PixelsInStorageOrder(const uint8_t* pixels, int width, int height,
                                          bool interlaced) {
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int r : GifRowOrder(height, interlaced)) {
    const uint8_t* row = pixels + static_cast<size_t>(r) * static_cast<size_t>(width);
    out.insert(out.end(), row, row + width);
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// THashTable

int THashTable::NextProbe(int h, int step) {
  // The stated probe walks the slots that doubling mod 8,009 reaches, which is half of the
  // table; after a full round it goes on slot by slot so that a crowded half never loops.
  if (step < kSize) {
    h = (h == 0) ? h - 1 : h - (kSize - h);
    if (h < 0) h += kSize;
    return h;
  }
  return (h + 1) % kSize;
}

void THashTable::Insert(uint32_t key, int code) {
  int h = Start(key);
  for (int step = 0; step < 3 * kSize; ++step) {
    if (IsEmpty(slots_[static_cast<size_t>(h)])) {
      slots_[static_cast<size_t>(h)] = (key << 12) | static_cast<uint32_t>(code & 0xFFF);
      return;
    }
    h = NextProbe(h, step);
  }
  throw EGIFError(gif_msg::kInvalidData);  // unreachable: the encoder never fills the table
}

int THashTable::Lookup(uint32_t key) const {
  int h = Start(key);
  for (int step = 0; step < 3 * kSize; ++step) {
    uint32_t slot = slots_[static_cast<size_t>(h)];
    if (IsEmpty(slot)) return -1;
    if ((slot >> 12) == key) return static_cast<int>(slot & 0xFFF);
    h = NextProbe(h, step);
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Streams

size_t TGIFStream::Read(void*, size_t) { throw EGIFError(gif_msg::kInvalidStreamOperation); }
void TGIFStream::Seek(int64_t) { throw EGIFError(gif_msg::kInvalidStreamOperation); }

void TGIFWriter::Write(const void* buffer, size_t count) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i) WriteByte(bytes[i]);
}

void TGIFWriter::Flush() {
  if (held_ == 0) return;
  buffer_[0] = static_cast<uint8_t>(held_);
  target_.Write(buffer_.data(), static_cast<size_t>(held_) + 1);
  held_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Helpers

std::vector<int> GifRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(std::max(height, 0)));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  return rows;
}

int GifMinimumCodeSize(int bits_per_pixel) { return std::max(bits_per_pixel, 2); }

// ---------------------------------------------------------------------------------------------
// LZW encoder

void TLZWEncoder::Compress(TStream& stream, const uint8_t* pixels, int width, int height,
                           bool interlaced, int bits_per_pixel) {
  const int min_size = GifMinimumCodeSize(bits_per_pixel);
  const int clear = 1 << min_size;
  const int end = clear + 1;
  const int colors = 1 << std::clamp(bits_per_pixel, 0, 8);
  WriteByte(stream, static_cast<uint8_t>(min_size));

  TGIFWriter writer(stream);
  BitPacker packer(writer);
  int size = min_size + 1;
  int next = clear + 2;
  auto output = [&](int code) {
    packer.Put(code, size);
    if (next > (1 << size) - 1 && size < 12) ++size;
  };

  table_.Clear();
  // A frame without pixels gets the end code alone.
  if (pixels && width > 0 && height > 0) {
    output(clear);
    int prefix = -1;
    for (int r : GifRowOrder(height, interlaced)) {
      const uint8_t* row = pixels + static_cast<size_t>(r) * static_cast<size_t>(width);
      for (int x = 0; x < width; ++x) {
        const int p = row[x];
        if (p >= colors) throw EGIFError(gif_msg::kColorNotInTable);
        if (prefix < 0) {
          prefix = p;
          continue;
        }
        const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | static_cast<uint32_t>(p);
        const int code = table_.Lookup(key);
        if (code >= 0) {
          prefix = code;
          continue;
        }
        output(prefix);
        prefix = p;
        if (next > kLastAssignedCode) {
          output(clear);
          table_.Clear();
          next = clear + 2;
          size = min_size + 1;
        } else {
          table_.Insert(key, next++);
        }
      }
    }
    output(prefix);
  }
  output(end);
  packer.Flush();
  writer.Flush();
  WriteByte(stream, 0);
}

// ---------------------------------------------------------------------------------------------
// Run-length encoder

void TRLEEncoder::Compress(TStream& stream, const uint8_t* pixels, int width, int height,
                           bool interlaced, int bits_per_pixel) {
  const int min_size = GifMinimumCodeSize(bits_per_pixel);
  const int clear = 1 << min_size;
  const int end = clear + 1;
  const int size = min_size + 1;  // fixed
  const int limit = 1 << size;    // the decoder widens its codes when its table reaches this
  const int colors = 1 << std::clamp(bits_per_pixel, 0, 8);
  WriteByte(stream, static_cast<uint8_t>(min_size));

  TGIFWriter writer(stream);
  BitPacker packer(writer);
  // run_code[v][n]: a code the decoder holds for a run of n times index v (0 when none).
  std::vector<std::vector<int>> run_code(static_cast<size_t>(colors));
  int next = clear + 2;  // the decoder's next free code
  bool fresh = true;     // no code since the last clear
  int prev_value = 0, prev_length = 0;
  auto reset = [&] {
    packer.Put(clear, size);
    for (auto& codes : run_code) codes.clear();
    next = clear + 2;
    fresh = true;
  };

  reset();
  std::vector<uint8_t> linear;
  if (pixels && width > 0 && height > 0)
    linear = PixelsInStorageOrder(pixels, width, height, interlaced);
  size_t i = 0;
  // The end of the run of equal indices that holds position i: each pixel is looked at once,
  // however short the codes that cover a long run are.
  size_t run_end = 0;
  while (i < linear.size()) {
    const int v = linear[i];
    if (v >= colors) throw EGIFError(gif_msg::kColorNotInTable);
    if (run_end <= i) {
      run_end = i + 1;
      while (run_end < linear.size() && linear[run_end] == v) ++run_end;
    }
    const size_t run = std::min<size_t>(run_end - i, 4096);
    // Reading a code after the first adds an entry; keep the table below the widening point.
    if (!fresh && next + 1 >= limit) reset();
    int code = v, length = 1;
    const auto& known = run_code[static_cast<size_t>(v)];
    for (int n = std::min<int>(static_cast<int>(run), static_cast<int>(known.size()) - 1); n > 1;
         --n) {
      if (known[static_cast<size_t>(n)]) {
        code = known[static_cast<size_t>(n)];
        length = n;
        break;
      }
    }
    // The entry the decoder is about to make: the previous run one longer.
    if (!fresh && prev_value == v && prev_length + 1 <= static_cast<int>(run) &&
        prev_length + 1 > length) {
      code = next;
      length = prev_length + 1;
    }
    packer.Put(code, size);
    if (!fresh) {
      if (prev_value == v) {
        auto& codes = run_code[static_cast<size_t>(v)];
        const size_t n = static_cast<size_t>(prev_length) + 1;
        if (codes.size() <= n) codes.resize(n + 1, 0);
        if (!codes[n]) codes[n] = next;
      }
      ++next;
    }
    fresh = false;
    prev_value = v;
    prev_length = length;
    i += static_cast<size_t>(length);
  }
  packer.Put(end, size);
  packer.Flush();
  writer.Flush();
  WriteByte(stream, 0);
}

// ---------------------------------------------------------------------------------------------
// Decoder

namespace {

// The codes of the data, least significant bit first, across the sub-blocks.
class CodeReader {
 public:
  explicit CodeReader(SubBlockReader& reader) : reader_(reader) {}
  // The next code of size bits; false when the data ran out first.
  bool Next(int size, int& code) {
    while (count_ < size) {
      uint8_t byte;
      if (!reader_.Next(byte)) break;
      bits_ |= static_cast<uint32_t>(byte) << count_;
      count_ += 8;
    }
    if (count_ < size) return false;
    code = static_cast<int>(bits_ & ((1u << size) - 1));
    bits_ >>= size;
    count_ -= size;
    return true;
  }

 private:
  SubBlockReader& reader_;
  uint32_t bits_ = 0;
  int count_ = 0;
};

// The frame's pixels in its row order (interlaced or not).
class PixelWriter {
 public:
  PixelWriter(uint8_t* pixels, int width, int height, bool interlaced)
      : pixels_(pixels),
        width_(width),
        rows_(GifRowOrder(height, interlaced)),
        total_(static_cast<int64_t>(width) * height),
        out_(total_ > 0 ? pixels + static_cast<size_t>(rows_[0]) * width : nullptr) {}

  // Writes the indices stack[n - 1] down to stack[0]; past the last pixel they are dropped.
  void PutReversed(const uint8_t* stack, size_t n) {
    while (n > 0 && done_ < total_) {
      out_[x_] = stack[--n];
      ++done_;
      if (++x_ == width_) {
        x_ = 0;
        if (++row_index_ < rows_.size())
          out_ = pixels_ + static_cast<size_t>(rows_[row_index_]) * width_;
      }
    }
  }
  bool Full() const { return done_ >= total_; }

 private:
  uint8_t* pixels_;
  int width_;
  std::vector<int> rows_;
  int64_t total_;
  uint8_t* out_;
  int64_t done_ = 0;
  int x_ = 0;
  size_t row_index_ = 0;
};

// The string table: each code past the end code is a known string plus one index.
class StringTable {
 public:
  explicit StringTable(int min_size)
      : min_size_(min_size), clear_(1 << min_size), size_(min_size + 1), next_(clear_ + 2) {
    for (int c = 0; c < clear_; ++c) suffix_[static_cast<size_t>(c)] = static_cast<uint8_t>(c);
  }
  int Clear() const { return clear_; }
  int CodeSize() const { return size_; }
  void Reset() {
    size_ = min_size_ + 1;
    next_ = clear_ + 2;
    old_ = -1;
  }
  // Unwinds the string of code onto the stack (last index first), adds the entry it makes
  // and returns the string's length.
  size_t Decode(int code) {
    size_t sp = 0;
    const int in_code = code;
    if (old_ >= 0 && code >= next_) {
      // The entry being made: the previous string and its own first index. Codes beyond it
      // are taken the same way.
      stack_[sp++] = first_;
      code = old_;
    }
    while (code >= clear_) {
      if (sp > static_cast<size_t>(kMaxCode) || prefix_[static_cast<size_t>(code)] == code)
        throw EGIFError(gif_msg::kCircularEntry);
      stack_[sp++] = suffix_[static_cast<size_t>(code)];
      code = prefix_[static_cast<size_t>(code)];
    }
    first_ = static_cast<uint8_t>(code);
    stack_[sp++] = first_;
    if (old_ >= 0 && next_ <= kMaxCode) {
      prefix_[static_cast<size_t>(next_)] = static_cast<uint16_t>(old_);
      suffix_[static_cast<size_t>(next_)] = first_;
      ++next_;
      if (next_ >= (1 << size_) && size_ < 12) ++size_;
    }
    old_ = in_code;
    return sp;
  }
  const uint8_t* Stack() const { return stack_.data(); }

 private:
  const int min_size_;
  const int clear_;
  int size_;
  int next_;
  int old_ = -1;
  uint8_t first_ = 0;
  std::vector<uint16_t> prefix_ = std::vector<uint16_t>(kMaxCode + 1, 0);
  std::vector<uint8_t> suffix_ = std::vector<uint8_t>(kMaxCode + 1, 0);
  std::vector<uint8_t> stack_ = std::vector<uint8_t>(kMaxCode + 2);
};

}  // namespace

void DecodeGifImageData(TStream& stream, uint8_t* pixels, int width, int height, bool interlaced,
                        const std::function<void(const std::string&)>& warning) {
  uint8_t min_size = 0;
  if (stream.Read(&min_size, 1) != 1) throw EGIFError(gif_msg::kPrematureEnd);
  if (min_size > 8) throw EGIFError(gif_msg::kInvalidData);

  SubBlockReader reader(stream, warning);
  CodeReader codes(reader);
  StringTable table(min_size);
  PixelWriter out(pixels, width, height, interlaced);
  const int clear = table.Clear();
  const int end = clear + 1;
  for (;;) {
    int code;
    if (!codes.Next(table.CodeSize(), code)) {
      warning(gif_msg::kBitBufferUnderrun);
      break;
    }
    if (code == clear) {
      table.Reset();
      continue;
    }
    if (code == end) break;
    out.PutReversed(table.Stack(), table.Decode(code));
    // Leniency: pixel data beyond the frame is ignored.
    if (out.Full()) break;
  }
  reader.SkipRest();
}

}  // namespace pamirune
