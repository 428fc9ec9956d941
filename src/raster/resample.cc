#include "raster/resample.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "raster/errors.h"
#include "raster/threads.h"

namespace pamirune {

// Positions are worked out once per target row or column in floating point (extended
// precision, then kept as a double, as the tables always held them); the per-pixel work is
// integer only. The tables are sized to the image, so any size can be scaled.

namespace {

constexpr int kLinearOne = 65536;  // fractions of the linear passes
constexpr int kAreaOne = 256;      // fractions of the area passes
constexpr int kChunk = 16;         // bytes per block of the row loops

void Report(const TResampleProgress& progress, int percent) {
  if (progress) progress(percent);
}

// r * 100 div last, where a single row counts as complete.
int Percent(int r, int last) { return last > 0 ? r * 100 / last : 100; }

bool Is24Bit(const TBitmap& image) { return image.BitCount() == 24; }

void CheckPass(const char* pass, const TBitmap& source, const TBitmap& target, bool same_height,
               bool same_width) {
  if (!Is24Bit(source) || !Is24Bit(target) || (same_height && source.Height() != target.Height()) ||
      (same_width && source.Width() != target.Width()))
    throw EInvalidGraphicOperation(std::string(pass) + ": 24-bit images of matching size expected");
}

// Linear position table: entry x holds the source index and the fraction in 1/65536 of
// p = x / divisor * (source_last), computed once and kept as a double.
struct LinearTable {
  std::vector<int> index;
  std::vector<int> fraction;
};

LinearTable MakeLinearTable(int count, long double divisor, int source_last) {
  LinearTable t;
  t.index.resize(static_cast<size_t>(count));
  t.fraction.resize(static_cast<size_t>(count));
  for (int x = 0; x < count; ++x) {
    int i = 0;
    int f = 0;
    if (divisor > 0) {
      double p = static_cast<double>(static_cast<long double>(x) / divisor * source_last);
      i = static_cast<int>(p);
      f = static_cast<int>((p - i) * kLinearOne);
    }
    if (i >= source_last) {  // the last source pixel is taken whole; nothing beyond it is read
      i = source_last;
      f = 0;
    }
    t.index[static_cast<size_t>(x)] = i;
    t.fraction[static_cast<size_t>(x)] = f;
  }
  return t;
}

// Area boundary table for k = 0..count: p = s * k with s = source / count, split into the
// source index and the fraction in 1/256. The divisor d is s * 256 truncated.
struct AreaTable {
  std::vector<int> index;
  std::vector<int> fraction;
  int64_t divisor = 1;
};

AreaTable MakeAreaTable(int count, int source_count) {
  AreaTable t;
  double s = static_cast<double>(static_cast<long double>(source_count) / count);
  t.divisor = static_cast<int64_t>(s * kAreaOne);
  if (t.divisor < 1) t.divisor = 1;
  t.index.resize(static_cast<size_t>(count) + 1);
  t.fraction.resize(static_cast<size_t>(count) + 1);
  for (int k = 0; k <= count; ++k) {
    double p = static_cast<double>(static_cast<long double>(s) * k);
    int i = static_cast<int>(p);
    int g = static_cast<int>((p - i) * kAreaOne);
    if (i >= source_count) {  // the end boundary: nothing of a pixel beyond the image
      i = source_count;
      g = 0;
    }
    t.index[static_cast<size_t>(k)] = i;
    t.fraction[static_cast<size_t>(k)] = g;
  }
  return t;
}

inline uint8_t Blend(int a, int b, int f) {
  // a + floor((b - a) * f / 65536): the shift of a negative product rounds towards minus
  // infinity; the result always lies between a and b.
  return static_cast<uint8_t>(a + (((b - a) * f) >> 16));
}

// d = a blended towards b by f / 65536, over n bytes; the rows never overlap.
void BlendRow(uint8_t* __restrict d, const uint8_t* __restrict a, const uint8_t* __restrict b,
              int n, int f) {
  int k = 0;
  for (; k + kChunk <= n; k += kChunk)  // fixed-length blocks the compiler vectorises
    for (int j = 0; j < kChunk; ++j) d[k + j] = Blend(a[k + j], b[k + j], f);
  for (; k < n; ++k) d[k] = Blend(a[k], b[k], f);
}

// out = (sum * 256) div d. When every possible sum times d stays below 2^32 the quotient is a
// multiplication by inv = 2^32 div d + 1 and a shift: the error of the product is below 1/d,
// too small to carry the quotient over the next integer. Otherwise a plain division.
class AreaDivider {
 public:
  AreaDivider(int64_t divisor, int64_t max_sum)
      : divisor_(divisor),
        inverse_((uint64_t{1} << 32) / static_cast<uint64_t>(divisor) + 1),
        fast_(divisor <= 65536 && (max_sum * kAreaOne + 1) * divisor < (int64_t{1} << 32)) {}
  bool Fast() const { return fast_; }
  uint8_t Quick(uint32_t sum) const {
    return static_cast<uint8_t>((static_cast<uint64_t>(sum) * kAreaOne * inverse_) >> 32);
  }
  uint8_t Exact(int64_t sum) const { return static_cast<uint8_t>(sum * kAreaOne / divisor_); }

 private:
  int64_t divisor_;
  uint64_t inverse_;
  bool fast_;
};

// The largest sum an area pass can form: every source pixel of a target pixel, plus the two
// partly covered ones, at 255.
int64_t MaxAreaSum(int source_count, int count) {
  return 255 * (static_cast<int64_t>(source_count) / count + 2);
}

// Runs rows(begin, end) over the target rows [0, count): by halves on two threads for a large
// image when nobody follows the progress (whose calls stay on the caller's thread, in order).
void ForRows(int count, int64_t source_pixels, const TResampleProgress& progress,
             const std::function<void(int begin, int end)>& rows) {
  constexpr int64_t kMinPixelsForTwoThreads = int64_t{1} << 20;
  if (progress || source_pixels < kMinPixelsForTwoThreads)
    rows(0, count);
  else
    ForHalves(count, 2, rows);
}

}  // namespace

void ResizeLinearH(const TBitmap& source, TBitmap& target, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  CheckPass("ResizeLinearH", source, target, true, false);
  const int src_w = source.Width();
  const int h = source.Height();
  const int w = target.Width();
  Report(progress, 0);
  // A one-pixel target has no defined position; it takes source column 0.
  LinearTable t = MakeLinearTable(w, w > 1 ? w - 1 : 0, src_w - 1);
  const int* index = t.index.data();
  const int* fraction = t.fraction.data();
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = source.ScanLine(y);
    uint8_t* d = target.ScanLine(y);
    for (int x = 0; x < w; ++x, d += 3) {
      const uint8_t* a = s + 3 * index[x];
      const int f = fraction[x];
      if (f == 0) {
        d[0] = a[0];
        d[1] = a[1];
        d[2] = a[2];
      } else {
        d[0] = Blend(a[0], a[3], f);
        d[1] = Blend(a[1], a[4], f);
        d[2] = Blend(a[2], a[5], f);
      }
    }
    if (progress) Report(progress, Percent(y, h - 1) / 2);
  }
}

void ResizeLinearV(const TBitmap& source, TBitmap& target, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  CheckPass("ResizeLinearV", source, target, false, true);
  const int src_h = source.Height();
  const int h = target.Height();
  const int bytes = 3 * target.Width();
  Report(progress, 50);
  // Divided by h, not h - 1: the last target row stays a blend short of the last source row.
  LinearTable t = MakeLinearTable(h, h, src_h - 1);
  for (int y = 0; y < h; ++y) {
    const int i = t.index[static_cast<size_t>(y)];
    const int f = t.fraction[static_cast<size_t>(y)];
    const uint8_t* a = source.ScanLine(i);
    uint8_t* d = target.ScanLine(y);
    if (f == 0) {
      std::memcpy(d, a, static_cast<size_t>(bytes));
    } else {
      BlendRow(d, a, source.ScanLine(i + 1), bytes, f);
    }
    if (progress) Report(progress, 50 + Percent(y, h - 1) / 2);
  }
}

void ResizeAreaH(const TBitmap& source, TBitmap& target, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  CheckPass("ResizeAreaH", source, target, true, false);
  const int src_w = source.Width();
  const int h = source.Height();
  const int w = target.Width();
  Report(progress, 0);
  AreaTable t = MakeAreaTable(w, src_w);
  const int* index = t.index.data();
  const int* fraction = t.fraction.data();
  const AreaDivider divider(t.divisor, MaxAreaSum(src_w, w));
  const bool fast = divider.Fast();
  ForRows(h, int64_t{src_w} * h, progress, [&](int begin, int end) {
    for (int y = begin; y < end; ++y) {
      const uint8_t* s = source.ScanLine(y);
      uint8_t* d = target.ScanLine(y);
      for (int x = 0; x < w; ++x, d += 3) {
        // The first source pixel, less the share the previous target pixel took.
        const int first = index[x];
        const int e = fraction[x];
        const uint8_t* p = s + 3 * first;
        int64_t s0 = (p[0] * (kAreaOne - e)) >> 8;
        int64_t s1 = (p[1] * (kAreaOne - e)) >> 8;
        int64_t s2 = (p[2] * (kAreaOne - e)) >> 8;
        // The pixels covered in full.
        const int last = index[x + 1];
        for (int j = first + 1; j < last; ++j) {
          const uint8_t* q = s + 3 * j;
          s0 += q[0];
          s1 += q[1];
          s2 += q[2];
        }
        // The covered part of the last pixel.
        const int g = fraction[x + 1];
        if (g != 0) {
          const uint8_t* q = s + 3 * last;
          s0 += (q[0] * g) >> 8;
          s1 += (q[1] * g) >> 8;
          s2 += (q[2] * g) >> 8;
        }
        if (fast) {
          d[0] = divider.Quick(static_cast<uint32_t>(s0));
          d[1] = divider.Quick(static_cast<uint32_t>(s1));
          d[2] = divider.Quick(static_cast<uint32_t>(s2));
        } else {
          d[0] = divider.Exact(s0);
          d[1] = divider.Exact(s1);
          d[2] = divider.Exact(s2);
        }
      }
      if (progress) Report(progress, Percent(y, h - 1) / 2);
    }
  });
}

namespace {

// Adds (row * weight) >> 8 of every byte to the sums (weight 256: the whole value).
template <class Sum>
void AddRowPart(Sum* __restrict sum, const uint8_t* __restrict row, size_t n, int weight) {
  size_t k = 0;
  for (; k + kChunk <= n; k += kChunk)
    for (size_t j = 0; j < kChunk; ++j) sum[k + j] += static_cast<Sum>((row[k + j] * weight) >> 8);
  for (; k < n; ++k) sum[k] += static_cast<Sum>((row[k] * weight) >> 8);
}

template <class Sum>
void AddRow(Sum* __restrict sum, const uint8_t* __restrict row, size_t n) {
  size_t k = 0;
  for (; k + kChunk <= n; k += kChunk)
    for (size_t j = 0; j < kChunk; ++j) sum[k + j] += row[k + j];
  for (; k < n; ++k) sum[k] += row[k];
}

// The vertical area pass with sums of type Sum: 32 bits where the divider takes the quick
// path (every sum is then far below 2^32), 64 bits otherwise.
template <class Sum>
void AreaVRows(const std::vector<const uint8_t*>& rows, const AreaTable& t,
               const AreaDivider& divider, TBitmap& target, int src_h,
               const TResampleProgress& progress) {
  const size_t bytes = 3 * static_cast<size_t>(target.Width());
  ForRows(target.Height(), int64_t{src_h} * target.Width(), progress, [&](int begin, int end) {
    std::vector<Sum> sums(bytes);
    Sum* sum = sums.data();
    for (int y = begin; y < end; ++y) {
      const int first = t.index[static_cast<size_t>(y)];
      const int e = t.fraction[static_cast<size_t>(y)];
      const int last = t.index[static_cast<size_t>(y) + 1];
      const int g = t.fraction[static_cast<size_t>(y) + 1];
      // The first row, less the share the previous target row took; the rows covered in full;
      // the covered part of the last row.
      std::fill(sums.begin(), sums.end(), Sum{0});
      AddRowPart(sum, rows[static_cast<size_t>(first)], bytes, kAreaOne - e);
      for (int j = first + 1; j < last; ++j) AddRow(sum, rows[static_cast<size_t>(j)], bytes);
      if (g != 0) AddRowPart(sum, rows[static_cast<size_t>(last)], bytes, g);
      uint8_t* d = target.ScanLine(y);
      if constexpr (sizeof(Sum) == 4) {
        for (size_t k = 0; k < bytes; ++k) d[k] = divider.Quick(sum[k]);
      } else {
        for (size_t k = 0; k < bytes; ++k) d[k] = divider.Exact(sum[k]);
      }
      // Counted against the source height, as the progress always was.
      if (progress) Report(progress, 50 + Percent(y, src_h - 1) / 2);
    }
  });
}

}  // namespace

void ResizeAreaV(const TBitmap& source, TBitmap& target, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  CheckPass("ResizeAreaV", source, target, false, true);
  const int src_h = source.Height();
  const int h = target.Height();
  Report(progress, 50);
  const AreaTable t = MakeAreaTable(h, src_h);
  std::vector<const uint8_t*> rows(static_cast<size_t>(src_h));
  for (int y = 0; y < src_h; ++y) rows[static_cast<size_t>(y)] = source.ScanLine(y);
  const AreaDivider divider(t.divisor, MaxAreaSum(src_h, h));
  if (divider.Fast())
    AreaVRows<uint32_t>(rows, t, divider, target, src_h, progress);
  else
    AreaVRows<int64_t>(rows, t, divider, target, src_h, progress);
}

void ResizeNearest(const TBitmap& source, TBitmap& target, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  CheckPass("ResizeNearest", source, target, false, false);
  const int src_w = source.Width();
  const int src_h = source.Height();
  const int w = target.Width();
  const int h = target.Height();
  Report(progress, 0);
  std::vector<int> col(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x)
    col[static_cast<size_t>(x)] =
        static_cast<int>(static_cast<long double>(x) / w * (src_w - 1) + 0.5L);
  for (int y = 0; y < h; ++y) {
    const int row = static_cast<int>(static_cast<long double>(y) / h * (src_h - 1) + 0.5L);
    const uint8_t* s = source.ScanLine(row);
    uint8_t* d = target.ScanLine(y);
    for (int x = 0; x < w; ++x, d += 3) {
      const uint8_t* a = s + 3 * col[static_cast<size_t>(x)];
      d[0] = a[0];
      d[1] = a[1];
      d[2] = a[2];
    }
    if (progress) Report(progress, Percent(y, h - 1));
  }
}

void ResampleBitmap(TBitmap& source, TBitmap& target, int mode, const TResampleProgress& progress) {
  if (source.Empty() || target.Empty()) return;
  if (!Is24Bit(source)) source.SetPixelFormat(TPixelFormat::pf24bit);
  if (!Is24Bit(target)) target.SetPixelFormat(TPixelFormat::pf24bit);
  if (mode == kResampleSmooth) {
    // The horizontal pass works on the source rows, the vertical one on the already narrowed
    // or widened rows.
    TBitmap temp(target.Width(), source.Height(), TPixelFormat::pf24bit);
    if (target.Width() < source.Width())
      ResizeAreaH(source, temp, progress);
    else
      ResizeLinearH(source, temp, progress);
    if (target.Height() < source.Height())
      ResizeAreaV(temp, target, progress);
    else
      ResizeLinearV(temp, target, progress);
  } else if (mode == kResampleNearest) {
    if (&source == &target) {
      TBitmap copy = source;
      ResizeNearest(copy, target, progress);
    } else {
      ResizeNearest(source, target, progress);
    }
  }
}

}  // namespace pamirune
