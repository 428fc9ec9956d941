// The five PNG row filters, their reversal, and the score the adaptive filter mode ranks by.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pamirune {

enum PngFilterType : uint8_t {
  kFilterNone = 0,
  kFilterSub,
  kFilterUp,
  kFilterAverage,
  kFilterPaeth
};

// Filters row (len bytes, previous row prev) into out: out[0] is the filter type byte and
// out[1..len] the filtered bytes. distance is the byte distance (bits per pixel + 7) / 8.
void PngFilterRow(PngFilterType type, const uint8_t* row, const uint8_t* prev, size_t len,
                  int distance, uint8_t* out);

// Reverses a filter in place on row (len bytes, without the type byte). Returns false for an
// unknown filter type.
bool PngUnfilterRow(uint8_t type, uint8_t* row, const uint8_t* prev, size_t len, int distance);

// The adaptive mode's ranking of a filtered row of n bytes (type byte included).
struct PngRowScore {
  bool take_at_once = false;  // few distinct values or one value at 90 % or more
  int64_t value = 0;          // higher is better
};
PngRowScore PngScoreRow(const uint8_t* row, size_t n, int bits_per_pixel);

}  // namespace pamirune
