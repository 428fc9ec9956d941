// The info header of BMP files, packed DIBs and icon images: its fields decoded in one place
// for every reader, and its 40-byte form written in one place for every writer. Each reader
// applies its own rules to the decoded fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pamirune {

// Compression values of the info header.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// Sizes of the 12-byte core header of OS/2 files and of the usual Windows info header.
constexpr uint32_t kBmpCoreHeaderSize = 12;
constexpr uint32_t kBmpInfoHeaderSize = 40;

struct BmpInfoHeader {
  uint32_t size = 0;  // the header's own size field
  bool core = false;  // the 12-byte form: 16-bit sizes, no fields past the bit count
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top-down
  uint32_t planes = 0;
  uint32_t bit_count = 0;
  uint32_t compression = kBiRgb;
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
  // Red, green and blue bit-field masks: the three fields at offset 40, inside headers of 52
  // bytes and more, or right after a 40-byte header when the bytes given reach them.
  std::array<uint32_t, 3> masks{};
};

// Decodes the info header at p, which starts with its size field; n bytes are readable. Fields
// past n read as zero, so a header cut short reads as far as it goes.
BmpInfoHeader DecodeBmpInfoHeader(const uint8_t* p, size_t n);

// Appends the 40-byte Windows form of h (its size field and masks are not written).
void AppendBmpInfoHeader(std::vector<uint8_t>& out, const BmpInfoHeader& h);

}  // namespace pamirune
