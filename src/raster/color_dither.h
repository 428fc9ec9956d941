// The working parts of the colour reducer: palette lookups, the scanning engines (nearest
// colour and six error-diffusion kernels) and the writer that collects the 8-bit result.
// The engines are templates over the lookup, so the per-pixel work has no virtual call.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

// The writer's allocation failure.
class EDIBOutOfMemory : public Exception {
 public:
  using Exception::Exception;
};

namespace colour_reduction {

inline constexpr char kUnsupportedPixelFormat[] = "Unsupported PixelFormat";
inline constexpr char kInvalidImageDimensions[] = "Invalid image dimensions";
inline constexpr char kImageHasNoDIB[] = "Image has no DIB";
inline constexpr char kDIBAllocationFailed[] = "Failed to allocate memory for GIF DIB";
inline constexpr char kScanLineOutOfRange[] = "ｽｷｬﾝﾗｲﾝ のｲﾝﾃﾞｯｸｽが範囲を越えました";

// ---- Lookups: colour (0..255 each) -> palette index and the colour actually chosen ----------

// Any palette: a 15-bit inverse cache in front of a city-block search. The first colour that
// reaches a key decides the index for every later colour with the same key.
class TFastColorLookup {
 public:
  explicit TFastColorLookup(const std::vector<TRGBQuad>& palette);
  int ColourCount() const { return count_; }

  uint8_t MatchColour(int r, int g, int b, uint8_t& cr, uint8_t& cg, uint8_t& cb) {
    int16_t& slot = inverse_[Key(r, g, b)];
    if (slot < 0) slot = static_cast<int16_t>(Search(r, g, b));
    const TRGBQuad& q = palette_[static_cast<size_t>(slot)];
    cr = q.red;
    cg = q.green;
    cb = q.blue;
    return static_cast<uint8_t>(slot);
  }

  static int Key(int r, int g, int b) { return (r >> 3) | ((g >> 3) << 5) | ((b >> 3) << 10); }

 private:
  // Smallest |dr| + |dg| + |db|, lowest index on ties.
  int Search(int r, int g, int b) const;

  std::vector<TRGBQuad> palette_;
  int count_ = 0;
  std::array<int16_t, 32768> inverse_;
};

// The 6 x 6 x 6 cube: index r * 36 + g * 6 + b of the levels (v + 3) div 51.
class TNetscapeColorLookup {
 public:
  int ColourCount() const { return 216; }
  uint8_t MatchColour(int r, int g, int b, uint8_t& cr, uint8_t& cg, uint8_t& cb) const {
    const int qr = (r + 3) / 51, qg = (g + 3) / 51, qb = (b + 3) / 51;
    cr = static_cast<uint8_t>(qr * 51);
    cg = static_cast<uint8_t>(qg * 51);
    cb = static_cast<uint8_t>(qb * 51);
    return static_cast<uint8_t>(qr * 36 + qg * 6 + qb);
  }
};

// 256 greys: index = (77 r + 150 g + 29 b) >> 8.
class TGrayScaleLookup {
 public:
  int ColourCount() const { return 256; }
  uint8_t MatchColour(int r, int g, int b, uint8_t& cr, uint8_t& cg, uint8_t& cb) const {
    const uint8_t v = static_cast<uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
    cr = cg = cb = v;
    return v;
  }
};

// Black and white: white when 77 r + 150 g + 29 b passes 32,512.
class TMonochromeLookup {
 public:
  int ColourCount() const { return 2; }
  uint8_t MatchColour(int r, int g, int b, uint8_t& cr, uint8_t& cg, uint8_t& cb) const {
    const bool white = 77 * r + 150 * g + 29 * b > 32512;
    cr = cg = cb = white ? 255 : 0;
    return white ? 1 : 0;
  }
};

// ---- Engines ---------------------------------------------------------------------------------

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Nearest colour, serpentine: every row reverses the direction of the one before.
class TDitherEngine {
 public:
  explicit TDitherEngine(int width) : width_(width) {}
  int Column() const { return column_; }

  template <class Lookup>
  uint8_t DitherPixel(Lookup& lookup, int r, int g, int b) {
    uint8_t cr, cg, cb;
    const uint8_t index = lookup.MatchColour(r, g, b, cr, cg, cb);
    column_ += direction_;
    return index;
  }
  void AdvanceRow() {
    direction_ = -direction_;
    column_ = direction_ > 0 ? 0 : width_ - 1;
  }

 protected:
  int width_;
  int direction_ = 1;
  int column_ = 0;
};

// The input of a diffused pixel: value + accumulated error / divisor, rounded half away from
// nothing (truncating division), clamped to 0..255.
inline int DiffusedInput(int value, int accumulated, int divisor) {
  return Clamp255(value + (accumulated + divisor / 2) / divisor);
}

// Floyd and Steinberg (/16): one next-row error array per component (cell k belongs to column
// k - 1; cells 0 and width + 1 are margins) and three running terms per component.
class TFloydSteinbergDitherer : public TDitherEngine {
 public:
  explicit TFloydSteinbergDitherer(int width) : TDitherEngine(width) {
    for (auto& e : errors_) e.assign(static_cast<size_t>(width) + 2, 0);
  }

  template <class Lookup>
  uint8_t DitherPixel(Lookup& lookup, int r, int g, int b) {
    const int ahead = position_ + direction_;  // the cell of this pixel's own column
    int in[3] = {r, g, b};
    for (int c = 0; c < 3; ++c)
      in[c] = DiffusedInput(in[c], errors_[c][static_cast<size_t>(ahead)] + carry_[c], 16);
    uint8_t chosen[3];
    const uint8_t index = lookup.MatchColour(in[0], in[1], in[2], chosen[0], chosen[1], chosen[2]);
    for (int c = 0; c < 3; ++c) {
      const int e = in[c] - chosen[c];
      errors_[c][static_cast<size_t>(position_)] = below_previous_[c] + 3 * e;
      below_previous_[c] = below_[c] + 5 * e;
      below_[c] = e;
      carry_[c] = 7 * e;
    }
    position_ += direction_;
    column_ += direction_;
    return index;
  }

  void AdvanceRow() {
    for (int c = 0; c < 3; ++c) {
      errors_[c][static_cast<size_t>(position_)] = below_previous_[c];
      below_previous_[c] = below_[c] = carry_[c] = 0;
    }
    TDitherEngine::AdvanceRow();
    position_ = direction_ > 0 ? 0 : width_ + 1;
  }

 private:
  std::array<std::vector<int32_t>, 3> errors_;
  int position_ = 0;
  int carry_[3] = {0, 0, 0};
  int below_previous_[3] = {0, 0, 0};
  int below_[3] = {0, 0, 0};
};

// One weight of a kernel: `row` rows below the pixel, `offset` columns ahead in the scan
// direction (negative: behind).
struct KernelTap {
  int row;
  int offset;
  int weight;
};

// Kernels whose errors are kept in several rows, already multiplied by the weights and divided
// when read. Each error row has `margin` spare cells on both sides. At the end of a row the
// oldest error row is cleared and becomes the last.
template <class Kernel>
class TKernelDitherer : public TDitherEngine {
 public:
  static constexpr int kRows = Kernel::kRows;
  static constexpr int kMargin = Kernel::kMargin;
  static constexpr int kDivisor = Kernel::kDivisor;

  explicit TKernelDitherer(int width)
      : TDitherEngine(width), stride_(static_cast<size_t>(width) + 2 * kMargin) {
    buffer_.assign(stride_ * 3 * kRows, 0);
    for (int r = 0; r < kRows; ++r) rows_[r] = buffer_.data() + stride_ * 3 * r;
  }

  template <class Lookup>
  uint8_t DitherPixel(Lookup& lookup, int r, int g, int b) {
    const ptrdiff_t cell = column_ + kMargin;
    int in[3] = {r, g, b};
    for (int c = 0; c < 3; ++c)
      in[c] = DiffusedInput(in[c], rows_[0][c * stride_ + cell], kDivisor);
    uint8_t chosen[3];
    const uint8_t index = lookup.MatchColour(in[0], in[1], in[2], chosen[0], chosen[1], chosen[2]);
    for (int c = 0; c < 3; ++c) {
      const int e = in[c] - chosen[c];
      if (e == 0) continue;
      for (const KernelTap& t : Kernel::kTaps)
        rows_[t.row][c * stride_ + cell + t.offset * direction_] += e * t.weight;
    }
    column_ += direction_;
    return index;
  }

  void AdvanceRow() {
    int32_t* oldest = rows_[0];
    std::memset(oldest, 0, stride_ * 3 * sizeof(int32_t));
    for (int r = 0; r + 1 < kRows; ++r) rows_[r] = rows_[r + 1];
    rows_[kRows - 1] = oldest;
    TDitherEngine::AdvanceRow();
  }

 private:
  size_t stride_;
  std::vector<int32_t> buffer_;
  std::array<int32_t*, kRows> rows_{};
};

struct StuckiKernel {
  static constexpr int kRows = 3, kMargin = 2, kDivisor = 42;
  static constexpr KernelTap kTaps[] = {{0, 1, 8},  {0, 2, 4},                                    //
                                        {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},  //
                                        {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}};
};
struct SierraKernel {
  static constexpr int kRows = 3, kMargin = 2, kDivisor = 32;
  static constexpr KernelTap kTaps[] = {{0, 1, 5},  {0, 2, 3},                                    //
                                        {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},  //
                                        {2, -1, 2}, {2, 0, 3},  {2, 1, 2}};
};
struct JaJuNiKernel {
  static constexpr int kRows = 3, kMargin = 2, kDivisor = 48;
  static constexpr KernelTap kTaps[] = {{0, 1, 7},  {0, 2, 5},                                    //
                                        {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},  //
                                        {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}};
};
struct BurkesKernel {
  static constexpr int kRows = 2, kMargin = 2, kDivisor = 32;
  static constexpr KernelTap kTaps[] = {{0, 1, 8},  {0, 2, 4},  //
                                        {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}};
};
struct SteveArcheKernel {
  static constexpr int kRows = 4, kMargin = 3, kDivisor = 200;
  static constexpr KernelTap kTaps[] = {{0, 2, 32},                                        //
                                        {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},  //
                                        {2, -2, 12}, {2, 0, 26},  {2, 2, 12},              //
                                        {3, -3, 5},  {3, -1, 12}, {3, 1, 12}, {3, 3, 5}};
};

using TStuckiDitherer = TKernelDitherer<StuckiKernel>;
using TSierraDitherer = TKernelDitherer<SierraKernel>;
using TJaJuNiDitherer = TKernelDitherer<JaJuNiKernel>;
using TBurkesDitherer = TKernelDitherer<BurkesKernel>;
using TSteveArcheDitherer = TKernelDitherer<SteveArcheKernel>;

// ---- Writer ----------------------------------------------------------------------------------

// Collects the rows of the result (8 bits with a 256-entry colour table, unused entries zero,
// or 24 bits) and hands them to the target image on Finish(). Nothing is allocated before the
// first row is asked for.
class TDIBWriter {
 public:
  TDIBWriter(TBitmap& target, const std::vector<TRGBQuad>& palette, int width, int height,
             TPixelFormat format);
  // Row `row` counted from the top; not after Finish().
  uint8_t* ScanLine(int row);
  // Moves the collected image into the target (once).
  void Finish();

 private:
  void Build();

  TBitmap& target_;
  std::vector<TRGBQuad> palette_;
  int width_;
  int height_;
  TPixelFormat format_;
  bool built_ = false;
  bool finished_ = false;
  TBitmap image_;
};

}  // namespace colour_reduction
}  // namespace pamirune
