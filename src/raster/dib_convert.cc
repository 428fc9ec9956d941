#include "raster/dib_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "raster/bitmap.h"
#include "raster/threads.h"

namespace pamirune {

namespace {

// Images of at least this many pixels are reduced on two threads, by halves of their rows.
constexpr int64_t kMinPixelsForTwoThreads = int64_t{1} << 20;

int MinRowsForTwoThreads(const DibData& source) {
  return int64_t{source.Width()} * source.Height() >= kMinPixelsForTwoThreads
             ? 2
             : std::numeric_limits<int>::max();
}

constexpr char kBadCombination[] = "Invalid Bitcount & Compression Combination";

[[noreturn]] void Fail(const char* name, const std::string& what) {
  throw EDibError(std::string(name) + ": " + what);
}

// The source must have this bit count and compression, and (uncompressed) hold all its rows.
void ExpectSource(const DibData& source, int bit_count, uint32_t compression, const char* name,
                  const char* what = kBadCombination) {
  if (source.header.bit_count != bit_count || source.header.compression != compression)
    Fail(name, what);
  if (source.header.width < 0 || source.header.height < 0) Fail(name, "Invalid Image Size");
  if (compression == kBiRgb &&
      source.bits.size() <
          static_cast<uint64_t>(CheckedImageBytes(source.Width(), source.Height(), bit_count)))
    Fail(name, "Invalid Image Size");
}

inline int IndexAt(const uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default:
      return row[x];
  }
}

// Writes index v at x of a zero-filled row.
inline void PutIndex(uint8_t* row, int x, int bits, int v) {
  switch (bits) {
    case 1:
      if (v & 1) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      break;
    case 4:
      row[x >> 1] |= static_cast<uint8_t>((x & 1) ? (v & 0x0F) : (v & 0x0F) << 4);
      break;
    default:
      row[x] = static_cast<uint8_t>(v);
      break;
  }
}

// Index formats to a wider index format: same indices, same colour table.
DibData WidenIndices(const DibData& source, int from_bits, int to_bits, const char* name) {
  ExpectSource(source, from_bits, kBiRgb, name);
  DibData out = MakeDib(source.Width(), source.Height(), to_bits, source.colors,
                        source.header.x_pels_per_meter, source.header.y_pels_per_meter);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* o = out.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) PutIndex(o, x, to_bits, IndexAt(in, x, from_bits));
  }
  return out;
}

// Index formats to 24 bits through the colour table; indices past the table are black.
DibData IndicesToTrueColor(const DibData& source, int from_bits, const char* name) {
  ExpectSource(source, from_bits, kBiRgb, name);
  std::array<TRGBQuad, 256> table{};
  std::copy_n(source.colors.begin(), std::min<size_t>(source.colors.size(), 256), table.begin());
  DibData out = MakeDib(source.Width(), source.Height(), 24, {}, source.header.x_pels_per_meter,
                        source.header.y_pels_per_meter);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* o = out.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      const TRGBQuad& q = table[IndexAt(in, x, from_bits)];
      o[3 * x] = q.blue;
      o[3 * x + 1] = q.green;
      o[3 * x + 2] = q.red;
    }
  }
  return out;
}

// The run-length rules of BMP files; rows run bottom-up in the stream as in the buffer.
DibData DecodeRle(const DibData& source, int bits, const char* name, int first_error) {
  ExpectSource(source, bits, bits == 8 ? kBiRle8 : kBiRle4, name);
  auto bad = [&](int k) { Fail(name, "Bad RLE Data " + std::to_string(first_error + k)); };
  constexpr int kRunPastRow = 0, kLiteralPastRow = 1, kMoveOutside = 2, kTruncated = 3;

  DibData out = MakeDib(source.Width(), source.Height(), bits, source.colors,
                        source.header.x_pels_per_meter, source.header.y_pels_per_meter);
  const int width = out.Width(), height = out.Height();
  const int stride = out.Stride();
  const uint8_t* p = source.bits.data();
  const size_t n = source.bits.size();
  size_t i = 0;
  int x = 0, y = 0;  // y counts rows from the bottom, as the stream does
  auto row = [&]() { return out.bits.data() + static_cast<size_t>(y) * stride; };
  while (i < n) {
    if (n - i < 2) bad(kTruncated);
    int a = p[i], b = p[i + 1];
    i += 2;
    if (a > 0) {  // a pixels of the value(s) in b
      if (y >= height || a > width - x) bad(kRunPastRow);
      uint8_t* r = row();
      if (bits == 8) {
        std::fill_n(r + x, a, static_cast<uint8_t>(b));
      } else {
        for (int k = 0; k < a; ++k) PutIndex(r, x + k, 4, (k & 1) ? (b & 0x0F) : (b >> 4));
      }
      x += a;
      continue;
    }
    switch (b) {
      case 0:  // end of line
        if (y >= height) bad(kMoveOutside);
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return out;
      case 2: {  // delta: right dx, up dy
        if (n - i < 2) bad(kTruncated);
        int dx = p[i], dy = p[i + 1];
        i += 2;
        if (dx > width - x || dy > height - y) bad(kMoveOutside);
        x += dx;
        y += dy;
        break;
      }
      default: {  // b literal pixels, padded to a 16-bit boundary
        size_t bytes = bits == 8 ? static_cast<size_t>(b) : (static_cast<size_t>(b) + 1) / 2;
        if (n - i < bytes) bad(kTruncated);
        if (y >= height || b > width - x) bad(kLiteralPastRow);
        uint8_t* r = row();
        if (bits == 8) {
          std::copy_n(p + i, b, r + x);
        } else {
          for (int k = 0; k < b; ++k) {
            uint8_t v = p[i + k / 2];
            PutIndex(r, x + k, 4, (k & 1) ? (v & 0x0F) : (v >> 4));
          }
        }
        x += b;
        i += bytes;
        if ((bytes & 1) && i < n) ++i;  // a missing pad byte at the very end is forgiven
        break;
      }
    }
  }
  // Leniency: the stream ended between codes without the end-of-bitmap mark.
  return out;
}

// ---------------------------------------------------------------------------------------------
// Weighted-variance split of the 5-6-5 histogram.

struct Cell {
  uint32_t red = 0;  // sum of the dropped low bits, then the cell colour
  uint32_t green = 0;
  uint32_t blue = 0;
  uint32_t count = 0;
  uint32_t index = 0;  // the cell's own 5-6-5 index
};

inline uint32_t CellIndex(uint8_t r, uint8_t g, uint8_t b) {
  return (static_cast<uint32_t>(r >> 3) << 11) | (static_cast<uint32_t>(g >> 2) << 5) | (b >> 3);
}

class VarianceSplit {
 public:
  VarianceSplit(int target_depth, const DibStepEvent& step)
      : target_depth_(target_depth), step_(step), table_(65536, 0) {}

  // Builds the palette and the lookup table of a 24-bit source.
  void Run(const DibData& source) {
    // The histogram of each half of the rows on its own thread, then summed.
    std::vector<Cell> cells(65536);
    std::vector<Cell> lower;
    ForHalves(source.Height(), MinRowsForTwoThreads(source), [&](int begin, int end) {
      std::vector<Cell>* into = &cells;
      if (begin > 0) {
        lower.resize(65536);
        into = &lower;
      }
      Histogram(source, begin, end, into->data());
    });
    for (size_t k = 0; k < lower.size(); ++k) {
      cells[k].red += lower[k].red;
      cells[k].green += lower[k].green;
      cells[k].blue += lower[k].blue;
      cells[k].count += lower[k].count;
    }
    // Cell colours, and the non-empty cells moved to the front in ascending cell index.
    size_t m = 0;
    for (uint32_t k = 0; k < 65536; ++k) {
      Cell c = cells[k];
      if (c.count == 0) continue;
      c.red = c.red / c.count + 8 * (k >> 11);
      c.green = c.green / c.count + 4 * ((k >> 5) & 63);
      c.blue = c.blue / c.count + 8 * (k & 31);
      c.index = k;
      cells[m++] = c;
    }
    cells.resize(m);
    cells_ = std::move(cells);
    Split(0, cells_.size(), 0);
    cells_.clear();
    cells_.shrink_to_fit();
  }

  static void Histogram(const DibData& source, int begin, int end, Cell* cells) {
    const int w = source.Width();
    for (int y = begin; y < end; ++y) {
      const uint8_t* row = source.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const uint8_t b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
        Cell& c = cells[CellIndex(r, g, b)];
        c.red += r & 7;
        c.green += g & 3;
        c.blue += b & 7;
        ++c.count;
      }
    }
  }

  const std::vector<TRGBQuad>& Palette() const { return palette_; }
  uint8_t Lookup(uint8_t r, uint8_t g, uint8_t b) const { return table_[CellIndex(r, g, b)]; }

 private:
  static uint32_t Value(const Cell& c, int axis) {
    return axis == 0 ? c.red : axis == 1 ? c.green : c.blue;
  }

  void Split(size_t s, size_t e, int depth) {
    if (s == e) {
      if (depth == target_depth_) {
        if (step_) step_();
      } else {
        Split(s, e, depth + 1);
        Split(s, e, depth + 1);
      }
      return;
    }
    // Count-weighted sums; exact in 64-bit integers (at most 2^28 pixels of 255).
    int64_t n = 0;
    int64_t sum[3] = {0, 0, 0};
    int64_t squares[3] = {0, 0, 0};
    for (size_t k = s; k < e; ++k) {
      const Cell& c = cells_[k];
      int64_t w = c.count;
      n += w;
      for (int axis = 0; axis < 3; ++axis) {
        int64_t v = Value(c, axis);
        sum[axis] += w * v;
        squares[axis] += w * v * v;
      }
    }
    long double mean[3], variance[3];
    for (int axis = 0; axis < 3; ++axis) {
      mean[axis] = static_cast<long double>(sum[axis]) / static_cast<long double>(n);
      variance[axis] = static_cast<long double>(squares[axis]) / static_cast<long double>(n) -
                       mean[axis] * mean[axis];
    }
    if (depth == target_depth_) {
      auto level = [](long double v) {
        long double r = std::nearbyint(v);  // halves to the even neighbour
        return static_cast<uint8_t>(std::clamp(r, 0.0L, 255.0L));
      };
      uint8_t counter = static_cast<uint8_t>(palette_.size());
      palette_.push_back({level(mean[2]), level(mean[1]), level(mean[0]), 0});
      for (size_t k = s; k < e; ++k) table_[cells_[k].index] = counter;
      if (step_) step_();
      return;
    }
    const long double vr = variance[0], vg = variance[1], vb = variance[2];
    int axis;
    if (3 * vr >= 4 * vg && 3 * vr >= 2 * vb) {
      axis = 0;
    } else if (4 * vg >= 3 * vr && 3 * vg >= 2 * vb) {
      axis = 1;
    } else {
      axis = 2;
    }
    const long double m = mean[axis];
    size_t low = s, high = e;
    for (;;) {
      while (low < high && Value(cells_[low], axis) <= m) ++low;
      while (low < high && Value(cells_[high - 1], axis) > m) --high;
      if (low == high) break;
      std::swap(cells_[low], cells_[high - 1]);
    }
    // The upper part first, so it receives the lower palette indices.
    Split(low, e, depth + 1);
    Split(s, low, depth + 1);
  }

  int target_depth_;
  const DibStepEvent& step_;
  std::vector<Cell> cells_;
  std::vector<TRGBQuad> palette_;
  std::vector<uint8_t> table_;
};

void ExpectTrueColor(const DibData& source, const char* name) {
  ExpectSource(source, 24, kBiRgb, name, "Invalid Bitcount");
}

// Nearest palette entry by squared RGB distance, lowest index on ties.
int Nearest(const std::vector<TRGBQuad>& palette, int r, int g, int b) {
  int best = 0, best_distance = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    int dr = palette[i].red - r, dg = palette[i].green - g, db = palette[i].blue - b;
    int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = static_cast<int>(i);
    }
  }
  return best;
}

}  // namespace

DibData Convert1BitRGBTo8BitRGB(const DibData& source) {
  return WidenIndices(source, 1, 8, "Convert1BitRGBTo8BitRGB");
}

DibData Convert4BitRGBTo8BitRGB(const DibData& source) {
  return WidenIndices(source, 4, 8, "Convert4BitRGBTo8BitRGB");
}

DibData Convert1BitRGBTo4BitRGB(const DibData& source) {
  return WidenIndices(source, 1, 4, "Convert1BitRGBTo4BitRGB");
}

DibData Convert1BitRGBToTrueColor(const DibData& source) {
  return IndicesToTrueColor(source, 1, "Convert1BitRGBToTrueColor");
}

DibData Convert4BitRGBToTrueColor(const DibData& source) {
  return IndicesToTrueColor(source, 4, "Convert4BitRGBToTrueColor");
}

DibData Convert8BitRGBToTrueColor(const DibData& source) {
  return IndicesToTrueColor(source, 8, "Convert8BitRGBToTrueColor");
}

DibData Convert8BitRLETo8BitRGB(const DibData& source) {
  return DecodeRle(source, 8, "Convert8BitRLETo8BitRGB", 1);
}

DibData Convert4BitRLETo4BitRGB(const DibData& source) {
  return DecodeRle(source, 4, "Convert4BitRLETo4BitRGB", 5);
}

DibData ConvertTrueColorTo8BitRGBLow(const DibData& source, const DibStepEvent& step) {
  ExpectTrueColor(source, "ConvertTrueColorTo8BitRGBLow");
  VarianceSplit split(8, step);
  split.Run(source);
  DibData out = MakeDib(source.Width(), source.Height(), 8, split.Palette(),
                        source.header.x_pels_per_meter, source.header.y_pels_per_meter);
  ForHalves(source.Height(), MinRowsForTwoThreads(source), [&](int begin, int end) {
    const int w = source.Width();
    for (int y = begin; y < end; ++y) {
      const uint8_t* in = source.ScanLine(y);
      uint8_t* o = out.ScanLine(y);
      for (int x = 0; x < w; ++x) o[x] = split.Lookup(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
    }
  });
  return out;
}

DibData ConvertTrueColorTo4BitRGB(const DibData& source, const DibStepEvent& step) {
  ExpectTrueColor(source, "ConvertTrueColorTo4BitRGB");
  VarianceSplit split(4, step);
  split.Run(source);
  DibData out = MakeDib(source.Width(), source.Height(), 4, split.Palette(),
                        source.header.x_pels_per_meter, source.header.y_pels_per_meter);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* o = out.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x)
      PutIndex(o, x, 4, split.Lookup(in[3 * x + 2], in[3 * x + 1], in[3 * x]));
  }
  return out;
}

DibData ConvertTrueColorTo8BitRGBFine(const DibData& source, const DibStepEvent& step) {
  ExpectTrueColor(source, "ConvertTrueColorTo8BitRGBFine");
  VarianceSplit split(8, step);
  split.Run(source);
  const std::vector<TRGBQuad>& palette = split.Palette();
  DibData out = MakeDib(source.Width(), source.Height(), 8, palette, source.header.x_pels_per_meter,
                        source.header.y_pels_per_meter);
  const int width = source.Width();
  // Nearest entry per 5-6-5 cell, taken for the cell's centre colour on first use.
  std::vector<int16_t> nearest(65536, -1);
  // Errors in sixteenths, one slot of margin on each side.
  std::vector<int> current(3 * (static_cast<size_t>(width) + 2), 0);
  std::vector<int> next(current.size(), 0);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* o = out.ScanLine(y);
    std::fill(next.begin(), next.end(), 0);
    for (int x = 0; x < width; ++x) {
      int* e = &current[3 * (static_cast<size_t>(x) + 1)];
      int want[3];
      for (int c = 0; c < 3; ++c)  // want[] is red, green, blue
        want[c] = std::clamp(in[3 * x + 2 - c] + (e[c] + 8) / 16, 0, 255);
      uint32_t key = CellIndex(static_cast<uint8_t>(want[0]), static_cast<uint8_t>(want[1]),
                               static_cast<uint8_t>(want[2]));
      if (nearest[key] < 0)
        nearest[key] = static_cast<int16_t>(Nearest(palette, static_cast<int>((key >> 11) << 3 | 4),
                                                    static_cast<int>(((key >> 5) & 63) << 2 | 2),
                                                    static_cast<int>((key & 31) << 3 | 4)));
      int index = nearest[key];
      o[x] = static_cast<uint8_t>(index);
      const TRGBQuad& q = palette[static_cast<size_t>(index)];
      int got[3] = {q.red, q.green, q.blue};
      for (int c = 0; c < 3; ++c) {
        int err = want[c] - got[c];
        e[3 + c] += err * 7;
        next[3 * static_cast<size_t>(x) + c] += err * 3;
        next[3 * (static_cast<size_t>(x) + 1) + c] += err * 5;
        next[3 * (static_cast<size_t>(x) + 2) + c] += err;
      }
    }
    std::swap(current, next);
  }
  return out;
}

DibData ConvertTrueColorTo1BitRGB(const DibData& source, TColor background) {
  ExpectTrueColor(source, "ConvertTrueColorTo1BitRGB");
  const int br = GetRValue(background), bg = GetGValue(background), bb = GetBValue(background);
  DibData out =
      MakeDib(source.Width(), source.Height(), 1, {TRGBQuad{0, 0, 0, 0}, QuadFromColor(background)},
              source.header.x_pels_per_meter, source.header.y_pels_per_meter);
  for (int y = 0; y < source.Height(); ++y) {
    const uint8_t* in = source.ScanLine(y);
    uint8_t* o = out.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) {
      int b = in[3 * x], g = in[3 * x + 1], r = in[3 * x + 2];
      int to_black = r * r + g * g + b * b;
      int to_back = (r - br) * (r - br) + (g - bg) * (g - bg) + (b - bb) * (b - bb);
      if (to_back < to_black) PutIndex(o, x, 1, 1);
    }
  }
  return out;
}

}  // namespace pamirune
