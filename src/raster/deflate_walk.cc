#include "raster/deflate_walk.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pamirune {

namespace {

// Walks the blocks of a raw deflate stream without producing its output, to find the bit
// where its last block begins and the bit after its end. Any stream, valid or not, is walked
// within its bytes; false when it is not a complete deflate stream.
class BlockWalker {
 public:
  BlockWalker(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Walk(uint64_t& last_start, uint64_t& end_bit) {
    for (;;) {
      const uint64_t start = Position();
      Refill();
      const unsigned header = Take(3);
      bool ok = false;
      switch (header >> 1) {
        case 0:
          ok = SkipStored();
          break;
        case 1:
          ok = SkipCodes(FixedLiterals(), FixedDistances());
          break;
        case 2:
          ok = SkipDynamic();
          break;
        default:
          break;
      }
      if (!ok || Position() > uint64_t{size_} * 8) return false;
      if (header & 1) {
        last_start = start;
        end_bit = Position();
        return true;
      }
    }
  }

 private:
  static constexpr int kFastBits = 10;
  static constexpr int kMaxBits = 15;
  // A table entry: the bits to drop (the code and the extra bits after it) and what the symbol
  // is; 0 sends the decoder to the slow path (codes longer than kFastBits, or none).
  // Code-length codes instead keep their symbol plus one above four bits of code length.
  enum Kind : uint16_t { kLiteral = 0, kLength = 1 << 6, kEnd = 2 << 6, kInvalid = 3 << 6 };
  enum class Alphabet { kLiterals, kDistances, kCodeLengths };
  struct Code {
    uint16_t fast[1 << kFastBits];
    uint16_t count[kMaxBits + 1];
    uint16_t symbols[288];
    Alphabet alphabet;
  };

  static uint16_t Info(Alphabet alphabet, int symbol) {
    static constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    if (alphabet == Alphabet::kCodeLengths) return static_cast<uint16_t>((symbol + 1) << 4);
    if (alphabet == Alphabet::kDistances) {
      if (symbol >= 30) return kInvalid;
      return static_cast<uint16_t>(kLiteral | (symbol < 4 ? 0 : symbol / 2 - 1));
    }
    if (symbol < 256) return kLiteral;
    if (symbol == 256) return kEnd;
    if (symbol > 285) return kInvalid;
    return static_cast<uint16_t>(kLength | kLengthExtra[symbol - 257]);
  }

  // Canonical code of the given lengths; false when over-subscribed.
  static bool Build(Code& code, const uint8_t* lengths, int n, Alphabet alphabet) {
    code.alphabet = alphabet;
    std::memset(code.count, 0, sizeof code.count);
    for (int s = 0; s < n; ++s) ++code.count[lengths[s]];
    code.count[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = 2 * left - code.count[len];
      if (left < 0) return false;
    }
    uint16_t offsets[kMaxBits + 2];
    offsets[1] = 0;
    for (int len = 1; len <= kMaxBits; ++len)
      offsets[len + 1] = static_cast<uint16_t>(offsets[len] + code.count[len]);
    for (int s = 0; s < n; ++s)
      if (lengths[s]) code.symbols[offsets[lengths[s]]++] = static_cast<uint16_t>(s);
    std::memset(code.fast, 0, sizeof code.fast);
    unsigned next = 0;
    int index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
      for (int i = 0; i < code.count[len]; ++i, ++next) {
        const int s = code.symbols[index++];
        const uint16_t entry = static_cast<uint16_t>(Info(alphabet, s) + len);
        unsigned reversed = 0;
        for (int b = 0; b < len; ++b) reversed |= ((next >> b) & 1u) << (len - 1 - b);
        for (unsigned at = reversed; at < (1u << kFastBits); at += 1u << len) code.fast[at] = entry;
      }
      next <<= 1;
    }
    return true;
  }

  static const Code& FixedLiterals() {
    static const Code code = [] {
      uint8_t lengths[288];
      std::fill(lengths, lengths + 144, 8);
      std::fill(lengths + 144, lengths + 256, 9);
      std::fill(lengths + 256, lengths + 280, 7);
      std::fill(lengths + 280, lengths + 288, 8);
      Code c;
      Build(c, lengths, 288, Alphabet::kLiterals);
      return c;
    }();
    return code;
  }
  static const Code& FixedDistances() {
    static const Code code = [] {
      uint8_t lengths[32];
      std::fill(lengths, lengths + 32, 5);
      Code c;
      Build(c, lengths, 32, Alphabet::kDistances);
      return c;
    }();
    return code;
  }

  uint64_t Position() const { return uint64_t{pos_} * 8 - static_cast<uint64_t>(count_); }

  // At least 56 bits in the buffer; past the end of the data it reads zeros (the walk fails
  // soon after, by position).
  void Refill() {
    if (size_ >= 8 && pos_ <= size_ - 8) {
      uint64_t word;
      std::memcpy(&word, data_ + pos_, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      bits_ |= word << count_;
      pos_ += static_cast<size_t>((63 - count_) >> 3);
      count_ |= 56;
      return;
    }
    while (count_ <= 56) {
      if (pos_ < size_) bits_ |= uint64_t{data_[pos_]} << count_;
      ++pos_;
      count_ += 8;
    }
  }
  unsigned Take(int n) {
    const unsigned v = static_cast<unsigned>(bits_ & ((uint64_t{1} << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return v;
  }
  void Drop(int n) {
    bits_ >>= n;
    count_ -= n;
  }

  // The entry of a code longer than the fast table's, or kInvalid for a code that is not there.
  static uint16_t Slow(const Code& code, uint64_t bits) {
    unsigned value = 0, first = 0;
    int index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      value |= static_cast<unsigned>((bits >> (len - 1)) & 1);
      const unsigned n = code.count[len];
      if (value - first < n)
        return static_cast<uint16_t>(
            Info(code.alphabet, code.symbols[index + static_cast<int>(value - first)]) + len);
      index += static_cast<int>(n);
      first = (first + n) << 1;
      value <<= 1;
    }
    return kInvalid;
  }

  // The hot loop: the reader's state is kept in locals, which the byte loads cannot alias.
  bool SkipCodes(const Code& literals, const Code& distances) {
    const uint8_t* const data = data_;
    const size_t size = size_;
    size_t pos = pos_;
    uint64_t bits = bits_;
    int count = count_;
    auto leave = [&](bool result) {
      pos_ = pos;
      bits_ = bits;
      count_ = count;
      return result;
    };
    constexpr uint64_t kFastMask = (1u << kFastBits) - 1;
    for (;;) {
      if (size >= 8 && pos <= size - 8) {
        uint64_t word;
        std::memcpy(&word, data + pos, 8);
        if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
        bits |= word << count;
        pos += static_cast<size_t>((63 - count) >> 3);
        count |= 56;
      } else {
        if (pos > size + 8) return leave(false);
        for (; count <= 56; ++pos, count += 8)
          if (pos < size) bits |= uint64_t{data[pos]} << count;
      }
      // Up to 48 bits per symbol: a length code, its extra bits, a distance code and its.
      do {
        uint16_t entry = literals.fast[bits & kFastMask];
        if (entry == 0) entry = Slow(literals, bits);
        bits >>= entry & 63;
        count -= entry & 63;
        const uint16_t kind = entry & kInvalid;
        if (kind == kLiteral) continue;
        if (kind != kLength) return leave(kind == kEnd);
        uint16_t d = distances.fast[bits & kFastMask];
        if (d == 0) d = Slow(distances, bits);
        if ((d & kInvalid) == kInvalid) return leave(false);
        bits >>= d & 63;
        count -= d & 63;
      } while (count >= 48);
    }
  }

  bool SkipStored() {
    Drop(static_cast<int>(Position() % 8 ? 8 - Position() % 8 : 0));
    Refill();
    const unsigned len = Take(16);
    const unsigned nlen = Take(16);
    if ((len ^ nlen) != 0xFFFF) return false;
    const uint64_t at = Position() / 8 + len;
    if (at > size_) return false;
    pos_ = static_cast<size_t>(at);
    bits_ = 0;
    count_ = 0;
    return true;
  }

  bool SkipDynamic() {
    Refill();
    const int nlit = static_cast<int>(Take(5)) + 257;
    const int ndist = static_cast<int>(Take(5)) + 1;
    const int nclen = static_cast<int>(Take(4)) + 4;
    static constexpr uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                           11, 4,  12, 3, 13, 2, 14, 1, 15};
    uint8_t clen[19] = {};
    for (int i = 0; i < nclen; ++i) {
      if (count_ < 3) Refill();
      clen[kOrder[i]] = static_cast<uint8_t>(Take(3));
    }
    if (nlit > 286 || ndist > 30) return false;
    if (!Build(lengths_code_, clen, 19, Alphabet::kCodeLengths)) return false;
    uint8_t lengths[286 + 30];
    int n = 0;
    while (n < nlit + ndist) {
      if (pos_ > size_ + 8) return false;
      Refill();
      // Code-length codes are at most 7 bits long: all in the fast table.
      const uint16_t entry = lengths_code_.fast[bits_ & ((1u << kFastBits) - 1)];
      if (entry == 0) return false;
      Drop(entry & 15);
      const int sym = (entry >> 4) - 1;
      if (sym < 16) {
        lengths[n++] = static_cast<uint8_t>(sym);
        continue;
      }
      int repeat;
      uint8_t value = 0;
      if (sym == 16) {
        if (n == 0) return false;
        value = lengths[n - 1];
        repeat = 3 + static_cast<int>(Take(2));
      } else if (sym == 17) {
        repeat = 3 + static_cast<int>(Take(3));
      } else {
        repeat = 11 + static_cast<int>(Take(7));
      }
      if (n + repeat > nlit + ndist) return false;
      std::fill(lengths + n, lengths + n + repeat, value);
      n += repeat;
    }
    if (lengths[256] == 0) return false;
    if (!Build(literals_, lengths, nlit, Alphabet::kLiterals)) return false;
    if (!Build(distances_, lengths + nlit, ndist, Alphabet::kDistances)) return false;
    return SkipCodes(literals_, distances_);
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint64_t bits_ = 0;
  int count_ = 0;
  Code lengths_code_;
  Code literals_;
  Code distances_;
};

}  // namespace

bool WalkDeflateBlocks(const uint8_t* data, size_t size, uint64_t& last_start, uint64_t& end_bit) {
  BlockWalker walker(data, size);
  return walker.Walk(last_start, end_bit);
}

}  // namespace pamirune
