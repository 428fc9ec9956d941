// The nearest-colour mapper and the row reader and writer of the Raster image.
#include <algorithm>
#include <cstring>
#include <limits>

#include "raster/bitmap.h"
#include "raster/channel_mask.h"
#include "raster/palettes.h"
#include "raster/pixel_layout.h"

namespace pamirune {

using namespace pixel_layout;

// ---------------------------------------------------------------------------------------------
// Nearest palette entry.

TNearestColorMapper::TNearestColorMapper(const TRGBQuad* palette, int count)
    : palette_(palette, palette + std::clamp(count, 0, 256)) {
  if (palette_.size() > 2) cell_start_.assign(size_t{1} << (3 * kCellBits), -1);
}

int TNearestColorMapper::Linear(int r, int g, int b) const {
  return LinearNearest(palette_.data(), static_cast<int>(palette_.size()), RGB(r, g, b));
}

// The candidates of a cell are the entries that can be nearest to some colour of the cell: an
// entry whose least distance to the cell exceeds the smallest greatest distance of any entry
// never wins. Every entry that can win or tie is kept, in index order, so the search over the
// candidates gives the same answer as the search over the whole palette.
void TNearestColorMapper::BuildCell(int cell) {
  constexpr int kShift = 8 - kCellBits, kMask = (1 << kCellBits) - 1;
  int lo[3] = {(cell >> (2 * kCellBits)) << kShift, ((cell >> kCellBits) & kMask) << kShift,
               (cell & kMask) << kShift};
  auto axis = [](int v, int low, int& dmin, int& dmax) {
    int high = low + (1 << kShift) - 1;
    int near = v < low ? low - v : (v > high ? v - high : 0);
    int far = std::max(std::abs(v - low), std::abs(v - high));
    dmin += near * near;
    dmax += far * far;
  };
  int n = static_cast<int>(palette_.size());
  std::vector<int> dmins(n);
  int bound = std::numeric_limits<int>::max();
  for (int i = 0; i < n; ++i) {
    int dmin = 0, dmax = 0;
    axis(palette_[i].red, lo[0], dmin, dmax);
    axis(palette_[i].green, lo[1], dmin, dmax);
    axis(palette_[i].blue, lo[2], dmin, dmax);
    dmins[i] = dmin;
    bound = std::min(bound, dmax);
  }
  cell_start_[cell] = static_cast<int32_t>(candidates_.size());
  size_t count_at = candidates_.size();
  candidates_.push_back(0);
  for (int i = 0; i < n; ++i)
    if (dmins[i] <= bound) candidates_.push_back(static_cast<uint16_t>(i));
  candidates_[count_at] = static_cast<uint16_t>(candidates_.size() - count_at - 1);
}

int TNearestColorMapper::Index(TColor color) {
  color &= 0xFFFFFF;
  if (palette_.size() <= 4) return Linear(GetRValue(color), GetGValue(color), GetBValue(color));
  // Recently seen colours first: images repeat their colours a great deal.
  uint32_t slot = ((color * 0x9E3779B1u) >> 20) & (kCacheSize - 1);
  if (cache_key_[slot] == (color | 0x1000000u)) return cache_index_[slot];
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best;
  if (cell_start_.empty()) {
    best = Linear(r, g, b);
  } else {
    constexpr int kShift = 8 - kCellBits;
    int cell = ((r >> kShift) << (2 * kCellBits)) | ((g >> kShift) << kCellBits) | (b >> kShift);
    if (cell_start_[cell] < 0) BuildCell(cell);
    const uint16_t* list = candidates_.data() + cell_start_[cell];
    int count = list[0];
    best = list[1];
    int best_distance = std::numeric_limits<int>::max();
    for (int k = 1; k <= count; ++k) {
      const TRGBQuad& q = palette_[list[k]];
      int dr = q.red - r, dg = q.green - g, db = q.blue - b;
      int d = dr * dr + dg * dg + db * db;
      if (d < best_distance) {
        best_distance = d;
        best = list[k];
      }
    }
  }
  cache_key_[slot] = color | 0x1000000u;
  cache_index_[slot] = static_cast<uint8_t>(best);
  return best;
}

// ---------------------------------------------------------------------------------------------
// Row reader and writer.

void TRowReader::InitChannel(Channel& c, uint32_t mask) {
  c.mask = mask;
  const MaskShape shape = MaskShapeOf(mask);
  c.shift = shape.shift;
  c.bits = shape.bits;
  if (c.bits <= 8)
    for (uint32_t v = 0; v < (1u << c.bits); ++v) c.expand[v] = WidenChannel(v, c.bits);
}

uint8_t TRowReader::Decode(const Channel& c, uint32_t value) {
  uint32_t v = (value & c.mask) >> c.shift;
  return c.bits <= 8 ? c.expand[v] : static_cast<uint8_t>(v >> (c.bits - 8));
}

TRowReader::TRowReader(const TBitmap& bitmap) : bitmap_(bitmap), kind_(KindOf(bitmap)) {
  if (kind_ == kIndex1 || kind_ == kIndex4 || kind_ == kIndex8) lut_ = PaletteColors(bitmap);
  if (kind_ == kMasked16 || kind_ == kMasked32) {
    auto masks = MasksOf(bitmap);
    for (int i = 0; i < 3; ++i) InitChannel(channels_[i], masks[i]);
  }
}

void TRowReader::Read(int y, int x0, int count, TColor* out) const {
  const uint8_t* row = bitmap_.ScanLine(y);
  switch (kind_) {
    case kIndex1:
      for (int i = 0; i < count; ++i) out[i] = lut_[GetIndex1(row, x0 + i)];
      break;
    case kIndex4:
      for (int i = 0; i < count; ++i) out[i] = lut_[GetIndex4(row, x0 + i)];
      break;
    case kIndex8:
      row += x0;
      for (int i = 0; i < count; ++i) out[i] = lut_[row[i]];
      break;
    case kMasked16:
      row += 2 * x0;
      for (int i = 0; i < count; ++i) {
        uint32_t v = row[2 * i] | (row[2 * i + 1] << 8);
        out[i] = RGB(Decode(channels_[0], v), Decode(channels_[1], v), Decode(channels_[2], v));
      }
      break;
    case kBgr24:
      row += 3 * x0;
      for (int i = 0; i < count; ++i, row += 3) out[i] = RGB(row[2], row[1], row[0]);
      break;
    case kBgrx32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) out[i] = RGB(row[2], row[1], row[0]);
      break;
    case kMasked32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        uint32_t v =
            row[0] | (row[1] << 8) | (row[2] << 16) | (static_cast<uint32_t>(row[3]) << 24);
        out[i] = RGB(Decode(channels_[0], v), Decode(channels_[1], v), Decode(channels_[2], v));
      }
      break;
  }
}

uint32_t TRowWriter::EncodeChannel(uint32_t mask, uint8_t value) {
  const auto [shift, bits] = MaskShapeOf(mask);
  if (bits <= 0) return 0;
  uint32_t v;
  if (bits <= 8) {
    v = static_cast<uint32_t>(value) >> (8 - bits);
  } else {
    // Repeat the 8 bits downwards so that full intensity fills the whole field.
    v = 0;
    for (int at = bits - 8; at > -8; at -= 8)
      v |= at >= 0 ? static_cast<uint32_t>(value) << at : static_cast<uint32_t>(value) >> -at;
  }
  return (v << shift) & mask;
}

TRowWriter::TRowWriter(TBitmap& bitmap) : bitmap_(bitmap), kind_(KindOf(bitmap)) {
  if (kind_ == kIndex1 || kind_ == kIndex4 || kind_ == kIndex8) {
    if (bitmap.UsablePaletteSize() > 0) {
      mapper_ = std::make_unique<TNearestColorMapper>(bitmap.Palette().data(),
                                                      bitmap.UsablePaletteSize());
    } else {
      auto bw = BlackWhitePalette();
      mapper_ = std::make_unique<TNearestColorMapper>(bw);
    }
  }
  if (kind_ == kMasked16 || kind_ == kMasked32) {
    auto masks = MasksOf(bitmap);
    for (int c = 0; c < 3; ++c)
      for (int v = 0; v < 256; ++v)
        packed_[c][v] = EncodeChannel(masks[c], static_cast<uint8_t>(v));
  }
}

uint32_t TRowWriter::Encode(TColor color) {
  uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  switch (kind_) {
    case kIndex1:
    case kIndex4:
    case kIndex8:
      return static_cast<uint32_t>(mapper_->Index(color));
    case kMasked16:
    case kMasked32:
      return packed_[0][r] | packed_[1][g] | packed_[2][b];
    default:
      return b | (g << 8) | (static_cast<uint32_t>(r) << 16);
  }
}

void TRowWriter::Write(int y, int x0, int count, const TColor* colors) {
  uint8_t* row = bitmap_.ScanLine(y);
  switch (kind_) {
    case kIndex1:
    case kIndex4: {
      if (indices_.size() < static_cast<size_t>(count)) indices_.resize(static_cast<size_t>(count));
      for (int i = 0; i < count; ++i) indices_[i] = static_cast<uint8_t>(mapper_->Index(colors[i]));
      int x = x0, i = 0;
      if (kind_ == kIndex1) {
        for (; i < count && (x & 7); ++i, ++x) SetIndex1(row, x, indices_[i]);
        for (; i + 8 <= count; i += 8, x += 8) {
          const uint8_t* p = indices_.data() + i;
          row[x >> 3] = static_cast<uint8_t>((p[0] & 1) << 7 | (p[1] & 1) << 6 | (p[2] & 1) << 5 |
                                             (p[3] & 1) << 4 | (p[4] & 1) << 3 | (p[5] & 1) << 2 |
                                             (p[6] & 1) << 1 | (p[7] & 1));
        }
        for (; i < count; ++i, ++x) SetIndex1(row, x, indices_[i]);
      } else {
        if (x & 1) SetIndex4(row, x++, indices_[i++]);
        for (; i + 2 <= count; i += 2, x += 2)
          row[x >> 1] = static_cast<uint8_t>((indices_[i] & 15) << 4 | (indices_[i + 1] & 15));
        if (i < count) SetIndex4(row, x, indices_[i]);
      }
      break;
    }
    case kIndex8:
      row += x0;
      for (int i = 0; i < count; ++i) row[i] = static_cast<uint8_t>(mapper_->Index(colors[i]));
      break;
    case kMasked16:
      row += 2 * x0;
      for (int i = 0; i < count; ++i) {
        TColor c = colors[i];
        uint32_t v = packed_[0][GetRValue(c)] | packed_[1][GetGValue(c)] | packed_[2][GetBValue(c)];
        row[2 * i] = static_cast<uint8_t>(v);
        row[2 * i + 1] = static_cast<uint8_t>(v >> 8);
      }
      break;
    case kBgr24:
      row += 3 * x0;
      for (int i = 0; i < count; ++i, row += 3) {
        row[0] = GetBValue(colors[i]);
        row[1] = GetGValue(colors[i]);
        row[2] = GetRValue(colors[i]);
      }
      break;
    case kBgrx32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        row[0] = GetBValue(colors[i]);
        row[1] = GetGValue(colors[i]);
        row[2] = GetRValue(colors[i]);
        row[3] = 0;
      }
      break;
    case kMasked32:
      row += 4 * x0;
      for (int i = 0; i < count; ++i, row += 4) {
        TColor c = colors[i];
        uint32_t v = packed_[0][GetRValue(c)] | packed_[1][GetGValue(c)] | packed_[2][GetBValue(c)];
        std::memcpy(row, &v, 4);
      }
      break;
  }
}

}  // namespace pamirune
