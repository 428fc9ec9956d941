// Colour channels packed in 16- and 32-bit pixels under bit-field masks: where a channel sits
// and how its value widens to 8 bits. Every reader of masked pixels uses these.
#pragma once

#include <bit>
#include <cstdint>

namespace pamirune {

// The lowest set bit of a mask and its span up to the highest set bit. A mask with gaps is
// read over its whole span, so every value stays within the span's width.
struct MaskShape {
  int shift = 0;
  int bits = 0;
};
constexpr MaskShape MaskShapeOf(uint32_t mask) {
  if (mask == 0) return {};
  const int shift = std::countr_zero(mask);
  return {shift, 32 - std::countl_zero(mask >> shift)};
}
// True for a non-zero mask whose set bits are one run.
constexpr bool MaskIsContiguous(uint32_t mask) {
  return mask != 0 && MaskShapeOf(mask).bits == std::popcount(mask);
}

// Widens a channel value of `bits` bits to 8 bits by repeating its high bits (5 bits:
// v << 3 | v >> 2; 0 bits: 0; more than 8 bits: the top 8).
constexpr uint8_t WidenChannel(uint32_t value, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
  uint32_t v = value << (8 - bits);
  for (int filled = bits; filled < 8; filled *= 2) v |= v >> filled;
  return static_cast<uint8_t>(v);
}

// The 8-bit value of one channel of a packed pixel.
constexpr uint8_t ChannelValue(uint32_t pixel, uint32_t mask) {
  const MaskShape s = MaskShapeOf(mask);
  return WidenChannel((pixel & mask) >> s.shift, s.bits);
}

}  // namespace pamirune
