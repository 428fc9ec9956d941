#include "formats/png/png_row_encoder.h"

#include <algorithm>
#include <cstring>

#include "formats/png/png_filter.h"

namespace pamirune {

PngRowEncoder::PngRowEncoder(const TBitmap& image, const TBitmap* alpha, const PngLayout& layout,
                             const PngOptions& options, ImageWriteStream& out)
    : image_(image),
      alpha_(alpha),
      layout_(layout),
      options_(options),
      out_(out),
      reader_(image),
      row_bytes_(layout.RowBytes(layout.width)),
      distance_((layout.pixel_bits + 7) / 8),
      full_(row_bytes_ + 8),
      pass_row_(row_bytes_ + 8),
      prev_(row_bytes_ + 8),
      candidates_(5 * (row_bytes_ + 1)),
      idat_(static_cast<size_t>(options.idat_size)) {
  if (layout.source_bits > 8) colours_.resize(static_cast<size_t>(layout.width));
  zlib_ = std::make_unique<ZlibWriter>(
      options.compression_level, [this](const uint8_t* data, size_t n) { ToIdat(data, n); },
      (row_bytes_ + 1) * static_cast<size_t>(layout.height));
  total_rows_ = TotalRows();
}

PngRowEncoder::~PngRowEncoder() = default;

void PngRowEncoder::WriteImageData() {
  if (options_.interlace == 1)
    WriteInterlaced();
  else
    WriteProgressive();
  zlib_->Finish();
  zlib_.reset();
  if (idat_used_ > 0) out_.WriteChunk("IDAT", idat_.data(), idat_used_);
}

void PngRowEncoder::WriteInterlaced() {
  for (const PngPass& pass : kAdam7) {
    int pw = PngPassSize(layout_.width, pass.x0, pass.dx);
    int ph = PngPassSize(layout_.height, pass.y0, pass.dy);
    if (pw == 0 || ph == 0) continue;
    const size_t len = layout_.RowBytes(pw);
    std::fill(prev_.begin(), prev_.end(), 0);
    for (int j = 0; j < ph; ++j) {
      ConvertRow(pass.y0 + j * pass.dy, full_.data());
      ExtractPass(pass, pw, pass_row_.data());
      FilterAndCompress(pass_row_.data(), len);
      RowDone();
    }
  }
}

void PngRowEncoder::WriteProgressive() {
  const int mode = options_.filter_mode;
  const bool unfiltered = mode < 0 || mode > 5 || mode == 1;
  for (int y = 0; y < layout_.height; ++y) {
    if (unfiltered) {
      // Filter None: the row is converted straight into the deflater's buffer.
      uint8_t* at = zlib_->Reserve(row_bytes_ + 1);
      at[0] = kFilterNone;
      ConvertRow(y, at + 1);
      zlib_->Commit(row_bytes_ + 1);
    } else {
      ConvertRow(y, full_.data());
      FilterAndCompress(full_.data(), row_bytes_);
    }
    RowDone();
  }
}

int PngRowEncoder::TotalRows() const {
  if (options_.interlace != 1) return layout_.height;
  int total = 0;
  for (const PngPass& pass : kAdam7)
    if (PngPassSize(layout_.width, pass.x0, pass.dx) > 0)
      total += PngPassSize(layout_.height, pass.y0, pass.dy);
  return total;
}

void PngRowEncoder::RowDone() {
  ++done_rows_;
  if (progress_ && (total_rows_ < 4 || done_rows_ % 4 == 2))
    progress_(TProgressStage::psRunning, static_cast<int>(int64_t{done_rows_} * 100 / total_rows_),
              "");
}

void PngRowEncoder::ConvertRow(int y, uint8_t* out) {
  const uint8_t* mask = layout_.alpha ? alpha_->ScanLine(y) : nullptr;
  if (layout_.source_bits <= 8)
    ConvertPaletteRow(image_.ScanLine(y), mask, out);
  else
    ConvertDeepRow(y, mask, out);
}

// Palette sources keep their indices, or become grey levels through the layout's table.
void PngRowEncoder::ConvertPaletteRow(const uint8_t* src, const uint8_t* mask, uint8_t* o) const {
  const PngLayout& L = layout_;
  const int w = L.width;
  if (L.color_type == kPngTypePalette) {
    std::memcpy(o, src, row_bytes_);
  } else if (L.color_type == kPngTypeGreyAlpha) {
    for (int x = 0; x < w; ++x) {
      o[2 * x] = L.grey[src[x]];
      o[2 * x + 1] = static_cast<uint8_t>(255 - mask[x]);
    }
  } else if (L.source_bits == 8) {
    for (int x = 0; x < w; ++x) o[x] = L.grey[src[x]];
  } else if (L.source_bits == 4) {
    for (size_t i = 0; i < row_bytes_; ++i)
      o[i] = static_cast<uint8_t>(((L.grey[src[i] >> 4] & 0x0F) << 4) |
                                  (L.grey[src[i] & 0x0F] & 0x0F));
  } else {
    for (size_t i = 0; i < row_bytes_; ++i)
      o[i] = L.invert ? static_cast<uint8_t>(~src[i]) : src[i];
  }
}

// Deep sources: the colours as the raster reads them, packed as the colour type says.
void PngRowEncoder::ConvertDeepRow(int y, const uint8_t* mask, uint8_t* o) {
  const int w = layout_.width;
  if (layout_.source_bits == 24 && layout_.color_type == kPngTypeRgb) {
    // Blue-green-red to red-green-blue: the common case, kept tight.
    const uint8_t* src = image_.ScanLine(y);
    for (int x = 0; x < w; ++x, src += 3, o += 3) {
      o[0] = src[2];
      o[1] = src[1];
      o[2] = src[0];
    }
    return;
  }
  reader_.Read(y, 0, layout_.width, colours_.data());
  const TColor* c = colours_.data();
  switch (layout_.color_type) {
    case kPngTypeRgb:
      for (int x = 0; x < w; ++x, o += 3) {
        o[0] = GetRValue(c[x]);
        o[1] = GetGValue(c[x]);
        o[2] = GetBValue(c[x]);
      }
      break;
    case kPngTypeRgba:
      for (int x = 0; x < w; ++x, o += 4) {
        o[0] = GetRValue(c[x]);
        o[1] = GetGValue(c[x]);
        o[2] = GetBValue(c[x]);
        o[3] = static_cast<uint8_t>(255 - mask[x]);
      }
      break;
    case kPngTypeGrey:
      for (int x = 0; x < w; ++x)
        o[x] =
            static_cast<uint8_t>(PngLuminance(GetRValue(c[x]), GetGValue(c[x]), GetBValue(c[x])));
      break;
    default:
      for (int x = 0; x < w; ++x) {
        o[2 * x] =
            static_cast<uint8_t>(PngLuminance(GetRValue(c[x]), GetGValue(c[x]), GetBValue(c[x])));
        o[2 * x + 1] = static_cast<uint8_t>(255 - mask[x]);
      }
      break;
  }
}

void PngRowEncoder::ExtractPass(const PngPass& pass, int count, uint8_t* dst) const {
  const int d = layout_.pixel_bits;
  if (d >= 8) {
    const int bpp = d / 8;
    for (int i = 0; i < count; ++i)
      std::memcpy(dst + i * bpp, full_.data() + (pass.x0 + i * pass.dx) * bpp,
                  static_cast<size_t>(bpp));
    return;
  }
  const size_t len = (static_cast<size_t>(count) * d + 7) / 8;
  std::memset(dst, 0, len);
  for (int i = 0; i < count; ++i) {
    size_t sx = static_cast<size_t>(pass.x0 + i * pass.dx) * d;
    unsigned v = (full_[sx / 8] >> (8 - d - sx % 8)) & ((1u << d) - 1);
    size_t dx = static_cast<size_t>(i) * d;
    dst[dx / 8] |= static_cast<uint8_t>(v << (8 - d - dx % 8));
  }
}

void PngRowEncoder::FilterAndCompress(const uint8_t* row, size_t len) {
  const int mode = options_.filter_mode;
  const uint8_t* chosen = candidates_.data();
  if (mode >= 2 && mode <= 5)
    PngFilterRow(static_cast<PngFilterType>(mode - 1), row, prev_.data(), len, distance_,
                 candidates_.data());
  else if (mode == 0)
    chosen = ChooseFilter(row, len);
  else
    PngFilterRow(kFilterNone, row, prev_.data(), len, distance_, candidates_.data());
  zlib_->Write(chosen, len + 1);
  if (mode != 1) std::memcpy(prev_.data(), row, len);
}

const uint8_t* PngRowEncoder::ChooseFilter(const uint8_t* row, size_t len) {
  const size_t n = len + 1;
  const int source_bits = layout_.source_bits;
  const uint8_t* chosen = candidates_.data();
  PngFilterRow(kFilterNone, row, prev_.data(), len, distance_, candidates_.data());
  if (source_bits == 4) return chosen;
  PngRowScore best = PngScoreRow(candidates_.data(), n, layout_.pixel_bits);
  if (source_bits == 1 || source_bits == 8) best.value *= 2;
  if (best.take_at_once) return chosen;
  for (int f = kFilterSub; f <= kFilterPaeth; ++f) {
    uint8_t* cand = candidates_.data() + static_cast<size_t>(f) * n;
    PngFilterRow(static_cast<PngFilterType>(f), row, prev_.data(), len, distance_, cand);
    PngRowScore s = PngScoreRow(cand, n, layout_.pixel_bits);
    if (s.take_at_once) return cand;
    if (s.value > best.value) {
      best = s;
      chosen = cand;
    }
  }
  return chosen;
}

void PngRowEncoder::ToIdat(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t take = std::min(n, idat_.size() - idat_used_);
    std::memcpy(idat_.data() + idat_used_, data, take);
    idat_used_ += take;
    data += take;
    n -= take;
    if (idat_used_ == idat_.size()) {
      out_.WriteChunk("IDAT", idat_.data(), idat_.size());
      idat_used_ = 0;
    }
  }
}

}  // namespace pamirune
