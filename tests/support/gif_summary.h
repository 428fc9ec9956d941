// What a GIF file written by the program carries, read block by block from its bytes: the
// frames, the looping extensions and each graphic control extension's delay.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pamirune::testing {

// n bytes at `at`, least significant first.
inline uint32_t LittleEndianAt(const std::string& d, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(d.at(at + i));
  return v;
}

struct GifSummary {
  int frames = 0;
  std::vector<int> loop_counts;
  std::vector<int> delays;
};

inline GifSummary ReadGifSummary(const std::string& d) {
  GifSummary g;
  size_t p = 13;
  auto skip_table = [&](uint8_t packed) {
    if (packed & 0x80) p += 3u << ((packed & 7) + 1);
  };
  auto skip_blocks = [&] {
    while (d.at(p) != 0) p += 1 + static_cast<uint8_t>(d.at(p));
    ++p;
  };
  skip_table(static_cast<uint8_t>(d.at(10)));
  while (p < d.size()) {
    uint8_t tag = static_cast<uint8_t>(d.at(p++));
    if (tag == 0x3B) break;
    if (tag == 0x21) {
      uint8_t label = static_cast<uint8_t>(d.at(p++));
      if (label == 0xF9) g.delays.push_back(static_cast<int>(LittleEndianAt(d, p + 2, 2)));
      if (label == 0xFF && d.compare(p + 1, 11, "NETSCAPE2.0") == 0)
        g.loop_counts.push_back(static_cast<int>(LittleEndianAt(d, p + 14, 2)));
      skip_blocks();
    } else if (tag == 0x2C) {
      ++g.frames;
      p += 8;
      skip_table(static_cast<uint8_t>(d.at(p++)));
      ++p;  // LZW code size
      skip_blocks();
    } else {
      ADD_FAILURE() << "unexpected GIF block " << int(tag);
      break;
    }
  }
  return g;
}

}  // namespace pamirune::testing
