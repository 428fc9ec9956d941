#include "formats/png/png_filter.h"

#include <array>
#include <cstdlib>

namespace pamirune {

namespace {

inline uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

}  // namespace

void PngFilterRow(PngFilterType type, const uint8_t* row, const uint8_t* prev, size_t len,
                  int distance, uint8_t* out) {
  out[0] = type;
  uint8_t* o = out + 1;
  const size_t d = static_cast<size_t>(distance);
  switch (type) {
    case kFilterNone:
      for (size_t i = 0; i < len; ++i) o[i] = row[i];
      break;
    case kFilterSub:
      for (size_t i = 0; i < len; ++i)
        o[i] = static_cast<uint8_t>(row[i] - (i >= d ? row[i - d] : 0));
      break;
    case kFilterUp:
      for (size_t i = 0; i < len; ++i) o[i] = static_cast<uint8_t>(row[i] - prev[i]);
      break;
    case kFilterAverage:
      for (size_t i = 0; i < len; ++i) {
        int a = i >= d ? row[i - d] : 0;
        o[i] = static_cast<uint8_t>(row[i] - ((a + prev[i]) >> 1));
      }
      break;
    case kFilterPaeth:
      for (size_t i = 0; i < len; ++i) {
        int a = i >= d ? row[i - d] : 0;
        int c = i >= d ? prev[i - d] : 0;
        o[i] = static_cast<uint8_t>(row[i] - Paeth(a, prev[i], c));
      }
      break;
  }
}

bool PngUnfilterRow(uint8_t type, uint8_t* row, const uint8_t* prev, size_t len, int distance) {
  const size_t d = static_cast<size_t>(distance);
  switch (type) {
    case kFilterNone:
      return true;
    case kFilterSub:
      for (size_t i = d; i < len; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - d]);
      return true;
    case kFilterUp:
      for (size_t i = 0; i < len; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return true;
    case kFilterAverage:
      for (size_t i = 0; i < len; ++i) {
        int a = i >= d ? row[i - d] : 0;
        row[i] = static_cast<uint8_t>(row[i] + ((a + prev[i]) >> 1));
      }
      return true;
    case kFilterPaeth:
      for (size_t i = 0; i < len; ++i) {
        int a = i >= d ? row[i - d] : 0;
        int c = i >= d ? prev[i - d] : 0;
        row[i] = static_cast<uint8_t>(row[i] + Paeth(a, prev[i], c));
      }
      return true;
    default:
      return false;
  }
}

PngRowScore PngScoreRow(const uint8_t* row, size_t n, int bits_per_pixel) {
  PngRowScore score;
  if (n == 0) {
    score.take_at_once = true;
    return score;
  }
  std::array<uint32_t, 256> count{};
  for (size_t i = 0; i < n; ++i) ++count[row[i]];
  int distinct = 0;
  uint64_t c1 = 0, c2 = 0, c3 = 0;
  for (uint32_t c : count) {
    if (c == 0) continue;
    ++distinct;
    if (c > c1) {
      c3 = c2;
      c2 = c1;
      c1 = c;
    } else if (c > c2) {
      c3 = c2;
      c2 = c;
    } else if (c > c3) {
      c3 = c;
    }
  }
  if (distinct <= 8 || c1 * 100 / n >= 90) {
    score.take_at_once = true;
    return score;
  }
  const double len = static_cast<double>(n);
  double value;
  if (bits_per_pixel < 8)
    value = len / 1.5 / distinct * 1500.0 + static_cast<double>(c1 + c2) / len * 1000.0;
  else
    value = len / 1.5 / distinct * 1000.0 + static_cast<double>(c1 + c2 + c3) / len * 1000.0;
  score.value = static_cast<int64_t>(value);
  return score;
}

}  // namespace pamirune
