#include "formats/tiff/tiff_lzw.h"

#include <array>
#include <cstring>
#include <memory>

namespace pamirune {

namespace {

// Codes go most significant bit first into a buffer sized for the worst case.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}
  void Put(int code, int width) {
    acc_ = (acc_ << width) | static_cast<uint64_t>(code);
    bits_ += width;
    if (bits_ >= 32) {
      bits_ -= 32;
      const uint32_t v = static_cast<uint32_t>(acc_ >> bits_);
      out_[0] = static_cast<uint8_t>(v >> 24);
      out_[1] = static_cast<uint8_t>(v >> 16);
      out_[2] = static_cast<uint8_t>(v >> 8);
      out_[3] = static_cast<uint8_t>(v);
      out_ += 4;
      acc_ &= (uint64_t{1} << bits_) - 1;
    }
  }
  // Writes the bits left, the last byte filled with zeros; returns the end of the output.
  uint8_t* Flush() {
    while (bits_ >= 8) {
      bits_ -= 8;
      *out_++ = static_cast<uint8_t>(acc_ >> bits_);
    }
    if (bits_ > 0) *out_++ = static_cast<uint8_t>(acc_ << (8 - bits_));
    bits_ = 0;
    acc_ = 0;
    return out_;
  }

 private:
  uint8_t* out_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// String table of the compressor: (prefix code, next byte) -> code, open addressing over a
// power-of-two table about four times the codes. Each slot holds the table's generation, the
// key and the code in one word, so a lookup is one load, and clearing the table only moves
// the generation on.
class EncodeTable {
 public:
  static constexpr int kSlotBits = 14;
  static constexpr uint32_t kMask = (1u << kSlotBits) - 1;
  EncodeTable() { Clear(); }
  void Clear() {
    if (++generation_ == 0) {
      slots_.fill(0);
      generation_ = 1;
    }
  }
  int Find(int prefix, uint8_t byte) const {
    const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | byte;
    const uint64_t tag = (uint64_t{generation_} << 32) | (uint64_t{key} << 12);
    for (uint32_t i = Hash(key);; i = (i + 1) & kMask) {
      const uint64_t slot = slots_[i];
      if ((slot >> 32) != generation_) return -1;
      if ((slot & ~uint64_t{0xFFF}) == tag) return static_cast<int>(slot & 0xFFF);
    }
  }
  void Add(int prefix, uint8_t byte, int code) {
    const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | byte;
    uint32_t i = Hash(key);
    while ((slots_[i] >> 32) == generation_) i = (i + 1) & kMask;
    slots_[i] = (uint64_t{generation_} << 32) | (uint64_t{key} << 12) | static_cast<uint32_t>(code);
  }

 private:
  static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> (32 - kSlotBits); }
  std::array<uint64_t, size_t{1} << kSlotBits> slots_{};
  uint32_t generation_ = 0;
};

}  // namespace

std::vector<uint8_t> TLZW::Compress(const uint8_t* data, size_t size) {
  // The worst case: one 12-bit code per byte, with Clear and End of Information codes.
  std::vector<uint8_t> out(size + size / 2 + size / 1024 + 16);
  BitWriter writer(out.data());
  int width = 9;
  writer.Put(kClearCode, width);
  if (size == 0) {
    writer.Put(kEndCode, width);
    out.resize(static_cast<size_t>(writer.Flush() - out.data()));
    return out;
  }
  auto table = std::make_unique<EncodeTable>();
  int next = kFirstCode;
  // Counts code `added` as taken and adjusts the width as the decoder will, one step ahead of it.
  auto taken = [&](int added) {
    if (added == kLastCode) {
      writer.Put(kClearCode, width);
      table->Clear();
      width = 9;
      next = kFirstCode;
    } else if (added == 511 || added == 1023 || added == 2047) {
      ++width;
    }
  };
  int prefix = data[0];
  for (size_t i = 1; i < size; ++i) {
    uint8_t byte = data[i];
    int code = table->Find(prefix, byte);
    if (code >= 0) {
      prefix = code;
      continue;
    }
    writer.Put(prefix, width);
    int added = next++;
    table->Add(prefix, byte, added);
    taken(added);
    prefix = byte;
  }
  writer.Put(prefix, width);
  // The decoder adds one more string on reading the last code; End of Information must come
  // at the width it then expects.
  taken(next++);
  writer.Put(kEndCode, width);
  out.resize(static_cast<size_t>(writer.Flush() - out.data()));
  out.shrink_to_fit();  // strips wait in memory until the file is put together
  return out;
}

size_t TLZW::Decompress(const uint8_t* data, size_t size, uint8_t* out, size_t max_size) {
  std::array<uint16_t, 4096> prefix{};
  std::array<uint8_t, 4096> suffix{};
  std::array<uint8_t, 4096> first{};
  std::array<uint16_t, 4096> length{};
  for (int i = 0; i < 256; ++i) {
    suffix[i] = first[i] = static_cast<uint8_t>(i);
    length[i] = 1;
  }
  size_t pos = 0;
  // Writes the string of code followed by `extra` (when >= 0), cut at max_size.
  auto emit = [&](int code, int extra) {
    size_t len = length[code] + (extra >= 0 ? 1 : 0);
    size_t room = max_size - pos;
    size_t keep = len < room ? len : room;
    size_t end = pos + keep;
    size_t skip = len - keep;  // characters past the end, taken from the string's tail
    if (extra >= 0) {
      if (skip > 0)
        --skip;
      else
        out[--end] = static_cast<uint8_t>(extra);
    }
    int c = code;
    for (; skip > 0; --skip) c = prefix[c];
    while (end > pos) {
      out[--end] = suffix[c];
      c = prefix[c];
    }
    pos += keep;
  };

  uint32_t acc = 0;
  int bits = 0;
  size_t in = 0;
  int width = 9;
  int next = kFirstCode;
  int prev = -1;
  while (pos < max_size) {
    while (bits < width && in < size) {
      acc = (acc << 8) | data[in++];
      bits += 8;
    }
    if (bits < width) break;
    int code = static_cast<int>((acc >> (bits - width)) & ((1u << width) - 1));
    bits -= width;
    if (code == kClearCode) {
      width = 9;
      next = kFirstCode;
      prev = -1;
      continue;
    }
    if (code == kEndCode) break;
    if (prev < 0) {
      if (code >= 256) break;  // only a byte value can follow Clear
      emit(code, -1);
      prev = code;
      continue;
    }
    if (code > next || (code == next && next >= 4096)) break;
    int added_first;
    if (code < next) {
      added_first = first[code];
      emit(code, -1);
    } else {
      added_first = first[prev];
      emit(prev, first[prev]);
    }
    if (next < 4096) {
      prefix[next] = static_cast<uint16_t>(prev);
      suffix[next] = static_cast<uint8_t>(added_first);
      first[next] = first[prev];
      length[next] = static_cast<uint16_t>(length[prev] + 1);
      ++next;
      if ((next == 511 || next == 1023 || next == 2047) && width < 12) ++width;
    }
    prev = code;
  }
  return pos;
}

}  // namespace pamirune
