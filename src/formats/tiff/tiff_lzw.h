// TLZW: the LZW code of TIFF strips (codes most significant bit first, 9 to 12 bits, Clear 256,
// End of Information 257, new strings from 258).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pamirune {

class TLZW {
 public:
  static constexpr int kClearCode = 256;
  static constexpr int kEndCode = 257;
  static constexpr int kFirstCode = 258;
  // The compressor clears its table after adding this code.
  static constexpr int kLastCode = 4093;

  // Compresses one strip: Clear first, End of Information last, the last byte partly filled.
  // The output grows as needed, so even the worst case (every byte its own 12-bit code) fits.
  static std::vector<uint8_t> Compress(const uint8_t* data, size_t size);

  // Decompresses one strip into out, stopping once max_size bytes were produced, at End of
  // Information, at the end of the input, or at a code more than one beyond the last one
  // added. Returns the number of bytes produced.
  static size_t Decompress(const uint8_t* data, size_t size, uint8_t* out, size_t max_size);
};

}  // namespace pamirune
