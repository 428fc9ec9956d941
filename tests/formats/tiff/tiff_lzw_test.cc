// The strip LZW code: round trips over the code-width changes and table resets, the widths
// the decoder expects, and damaged input.
#include "formats/tiff/tiff_lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pamirune {
namespace {

std::vector<uint8_t> Noise(size_t n, uint32_t seed, int range = 256) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>((seed >> 24) % range);
  }
  return out;
}

std::vector<uint8_t> RoundTrip(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> packed = TLZW::Compress(data.data(), data.size());
  std::vector<uint8_t> out(data.size() + 16, 0xEE);
  size_t n = TLZW::Decompress(packed.data(), packed.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

// Reads the codes of a packed strip, following the decoder's width rules.
std::vector<int> Codes(const std::vector<uint8_t>& packed) {
  std::vector<int> codes;
  size_t bit = 0;
  int width = 9, next = 258;
  bool first = true;
  while (bit + width <= packed.size() * 8) {
    int code = 0;
    for (int k = 0; k < width; ++k, ++bit)
      code = code << 1 | ((packed[bit / 8] >> (7 - bit % 8)) & 1);
    codes.push_back(code);
    if (code == 257) break;
    if (code == 256) {
      width = 9, next = 258, first = true;
      continue;
    }
    if (!first && next < 4096) {
      ++next;
      if (next == 511 || next == 1023 || next == 2047) ++width;
    }
    first = false;
  }
  return codes;
}

TEST(TiffLzw, RoundTripsEveryLengthAcrossTheWidthChanges) {
  // Noise adds about one code per byte, so these lengths end on each side of 511 and 1023,
  // where End of Information must follow at the width the decoder then reads.
  for (size_t n = 0; n < 1100; ++n) {
    auto data = Noise(n, static_cast<uint32_t>(n));
    ASSERT_EQ(RoundTrip(data), data) << "length " << n;
  }
}

TEST(TiffLzw, RoundTripsLongStripsWithTableResets) {
  for (int range : {2, 16, 256}) {
    auto data = Noise(200000, 7, range);
    EXPECT_EQ(RoundTrip(data), data) << "range " << range;
  }
  std::vector<uint8_t> flat(100000, 0x41);
  EXPECT_EQ(RoundTrip(flat), flat);
}

TEST(TiffLzw, StartsWithClearEndsWithEndAndResetsAfter4093) {
  auto data = Noise(20000, 3);
  auto codes = Codes(TLZW::Compress(data.data(), data.size()));
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes.front(), 256);
  EXPECT_EQ(codes.back(), 257);
  // The first Clear after the start comes once codes 258..4093 are used: 3836 codes after it.
  size_t second_clear = 0;
  for (size_t i = 1; i < codes.size(); ++i)
    if (codes[i] == 256) {
      second_clear = i;
      break;
    }
  EXPECT_EQ(second_clear, 1u + (4093 - 258 + 1));
}

TEST(TiffLzw, EmptyStripAndWorstCaseGrowth) {
  std::vector<uint8_t> packed = TLZW::Compress(nullptr, 0);
  // Clear and End at 9 bits: 18 bits in 3 bytes.
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x80, 0x40, 0x40}));
  // One byte grows to Clear, the byte, End: 27 bits, 4 bytes (more than one and a half times).
  uint8_t one = 0x55;
  EXPECT_EQ(TLZW::Compress(&one, 1).size(), 4u);
}

TEST(TiffLzw, DamagedInputStopsInsideTheBuffer) {
  auto data = Noise(5000, 9, 4);
  auto packed = TLZW::Compress(data.data(), data.size());
  // Cut short: fewer bytes, never more than asked.
  std::vector<uint8_t> out(data.size());
  size_t n = TLZW::Decompress(packed.data(), packed.size() / 2, out.data(), out.size());
  EXPECT_LT(n, data.size());
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + n, data.begin()));
  // A small output buffer is filled exactly.
  std::vector<uint8_t> small(100);
  EXPECT_EQ(TLZW::Decompress(packed.data(), packed.size(), small.data(), small.size()), 100u);
  EXPECT_TRUE(std::equal(small.begin(), small.end(), data.begin()));
  // A code far beyond the table ends the strip: Clear, 'A', then 0x1FF.
  std::vector<uint8_t> bad = {0x80, 0x10, 0x7F, 0xE0};
  EXPECT_EQ(TLZW::Decompress(bad.data(), bad.size(), out.data(), out.size()), 1u);
  // Arbitrary garbage never overruns.
  for (uint32_t seed = 0; seed < 200; ++seed) {
    auto junk = Noise(300, seed);
    TLZW::Decompress(junk.data(), junk.size(), small.data(), small.size());
  }
}

}  // namespace
}  // namespace pamirune
