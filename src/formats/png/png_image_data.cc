// The image data of a PNG file: inflated, unfiltered and stored row by row, pass by pass.
#include <climits>
#include <cstring>

#include "formats/png/png_decoder.h"
#include "formats/png/png_filter.h"
#include "raster/palettes.h"

namespace pamirune::png_detail {

void Decoder::BeginImage() {
  image_started_ = true;
  const int d = bit_depth_;
  switch (color_type_) {
    case kPngTypeGrey:
      if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) throw EPngError(png_text::kErrGreyDepth);
      break;
    case kPngTypeGreyAlpha:
      if (d < 8) throw EPngError(png_text::kErrAlphaDepth);
      if (d != 8 && d != 16) throw EPngError(png_text::kErrDepth);
      break;
    case kPngTypeRgb:
    case kPngTypeRgba:
      if (d != 8 && d != 16) throw EPngError(png_text::kErrDepth);
      break;
    default:
      if (d != 1 && d != 2 && d != 4 && d != 8) throw EPngError(png_text::kErrDepth);
      // Without its colours the indices mean nothing: no picture is better than a black one.
      if (!have_palette_ || palette_.empty()) throw EPngError(png_text::kNoPalette);
      break;
  }
  int channels = 1;
  if (color_type_ == kPngTypeRgb) channels = 3;
  if (color_type_ == kPngTypeGreyAlpha) channels = 2;
  if (color_type_ == kPngTypeRgba) channels = 4;
  pixel_bits_ = channels * d;

  TPixelFormat format = TPixelFormat::pf8bit;
  std::vector<TRGBQuad> palette;
  if (color_type_ == kPngTypeGrey) {
    if (d == 1) {
      format = TPixelFormat::pf1bit;
      palette = GreyPalette(2);
    } else if (d == 2 || d == 4) {
      format = TPixelFormat::pf4bit;
      palette = GreyPalette(1 << d);
    } else {
      palette = GreyPalette(256);
    }
  } else if (color_type_ == kPngTypeGreyAlpha) {
    palette = palette_as_grey_ && have_palette_ ? palette_ : GreyPalette(256);
  } else if (color_type_ == kPngTypePalette) {
    format = d == 1 ? TPixelFormat::pf1bit : d == 8 ? TPixelFormat::pf8bit : TPixelFormat::pf4bit;
    palette = palette_;
  } else {
    format = TPixelFormat::pf24bit;
    uint32_t sbit = meta_.significant_bits;
    if (decode_15_16_ && color_type_ == kPngTypeRgb) {
      if (sbit == 0x050505) format = TPixelFormat::pf15bit;
      if (sbit == 0x050605) format = TPixelFormat::pf16bit;
    }
    palette = palette_;
  }
  image_ = TBitmap(width_, height_, format);
  image_.SetPalette(std::move(palette));
  if (color_type_ == kPngTypeGreyAlpha || color_type_ == kPngTypeRgba) {
    alpha_ = TBitmap(width_, height_, TPixelFormat::pf8bit);
    alpha_.SetPalette(GreyPalette(256));
    has_alpha_mask_ = true;
  }
}

size_t Decoder::FillInput(uint8_t* buf, size_t cap) {
  while (chunk_left_ == 0) {
    if (idat_ended_) return 0;
    in_.ReadDWord();  // CRC of the chunk just finished
    uint32_t len = in_.ReadDWord();
    uint32_t type = in_.ReadDWord();
    if (in_.AtEnd()) {
      idat_ended_ = true;
      return 0;
    }
    if (type != kIDAT) {
      // The image data is over; the main loop goes on with this chunk.
      pending_ = true;
      pending_len_ = len;
      pending_type_ = type;
      idat_ended_ = true;
      return 0;
    }
    chunk_left_ = len;
  }
  size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_left_, cap));
  size_t got = in_.Read(buf, want);
  chunk_left_ -= got;
  if (got < want) idat_ended_ = true;
  return got;
}

bool Decoder::InflateRow(Inflater& inf, std::vector<uint8_t>& input, uint8_t* dst, size_t n) {
  z_stream& z = inf.z;
  z.next_out = dst;
  z.avail_out = static_cast<uInt>(n);
  while (z.avail_out > 0) {
    if (z.avail_in == 0) {
      size_t got = FillInput(input.data(), input.size());
      if (got == 0) return false;  // out of data: the rows so far stay
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
    }
    int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) return z.avail_out == 0;
    if (rc == Z_BUF_ERROR && z.avail_in == 0) continue;
    if (rc != Z_OK) throw EPngError(png_text::kReadError);
  }
  return true;
}

void Decoder::DecodeImage() {
  BeginImage();
  Inflater inf;
  if (inflateInit(&inf.z) != Z_OK) throw EPngError(png_text::kErrZlib);
  inf.ready = true;
  std::vector<uint8_t> input(kInflateInput);

  const size_t full_len = (static_cast<size_t>(width_) * pixel_bits_ + 7) / 8;
  const int distance = (pixel_bits_ + 7) / 8;
  std::vector<uint8_t> cur(full_len + 1);
  std::vector<uint8_t> prev(full_len + 1);

  const PngPass whole{0, 0, 1, 1};
  const int passes = interlace_ ? 7 : 1;
  total_rows_ = 0;
  for (int p = 0; p < passes; ++p) {
    const PngPass& pass = interlace_ ? kAdam7[p] : whole;
    if (PngPassSize(width_, pass.x0, pass.dx) > 0)
      total_rows_ += PngPassSize(height_, pass.y0, pass.dy);
  }
  for (int p = 0; p < passes; ++p) {
    const PngPass& pass = interlace_ ? kAdam7[p] : whole;
    const int pw = PngPassSize(width_, pass.x0, pass.dx);
    const int ph = PngPassSize(height_, pass.y0, pass.dy);
    if (pw == 0 || ph == 0) continue;
    const size_t len = (static_cast<size_t>(pw) * pixel_bits_ + 7) / 8;
    std::fill(prev.begin(), prev.end(), 0);
    for (int j = 0; j < ph; ++j) {
      if (!InflateRow(inf, input, cur.data(), len + 1)) return;
      if (!PngUnfilterRow(cur[0], cur.data() + 1, prev.data() + 1, len, distance))
        throw EPngError(png_text::kReadError);
      StoreRow(pass, pw, pass.y0 + j * pass.dy, cur.data() + 1);
      std::swap(cur, prev);
      ++rows_decoded_;
      if (progress_ && (total_rows_ < 4 || rows_decoded_ % 4 == 2))
        progress_(TProgressStage::psRunning, static_cast<int>(rows_decoded_ * 100 / total_rows_),
                  "");
    }
  }
  complete_ = true;
}

void Decoder::StoreRow(const PngPass& pass, int count, int y, const uint8_t* data) {
  uint8_t* row = image_.ScanLine(y);
  uint8_t* mask = has_alpha_mask_ ? alpha_.ScanLine(y) : nullptr;
  const int d = bit_depth_;
  const bool whole = pass.dx == 1;
  auto X = [&](int i) { return pass.x0 + i * pass.dx; };
  switch (color_type_) {
    case kPngTypeGrey:
    case kPngTypePalette:
      if (d == 16) {
        for (int i = 0; i < count; ++i) row[X(i)] = data[2 * i];
      } else if (d == 8) {
        if (whole)
          std::memcpy(row, data, static_cast<size_t>(count));
        else
          for (int i = 0; i < count; ++i) row[X(i)] = data[i];
      } else if (d == 4 && whole) {
        std::memcpy(row, data, (static_cast<size_t>(count) + 1) / 2);
      } else if (d == 1 && whole) {
        std::memcpy(row, data, (static_cast<size_t>(count) + 7) / 8);
      } else if (d == 1) {
        for (int i = 0; i < count; ++i) Set1(row, X(i), Sample(data, i, 1));
      } else {  // 2 and 4 bits into a 4-bit raster
        for (int i = 0; i < count; ++i) Set4(row, X(i), Sample(data, i, d));
      }
      break;
    case kPngTypeGreyAlpha: {
      const int step = d == 16 ? 4 : 2;
      const int a = d == 16 ? 2 : 1;
      for (int i = 0; i < count; ++i) {
        row[X(i)] = data[step * i];
        mask[X(i)] = static_cast<uint8_t>(255 - data[step * i + a]);
      }
      break;
    }
    default: {  // RGB and RGBA
      const int channels = color_type_ == kPngTypeRgba ? 4 : 3;
      const int bytes = d == 16 ? 2 : 1;
      const int step = channels * bytes;
      const TPixelFormat format = image_.PixelFormat();
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = data + static_cast<size_t>(step) * i;
        uint8_t r = p[0], g = p[bytes], b = p[2 * bytes];
        int x = X(i);
        if (format == TPixelFormat::pf24bit) {
          row[3 * x] = b;
          row[3 * x + 1] = g;
          row[3 * x + 2] = r;
        } else {
          unsigned v = format == TPixelFormat::pf15bit
                           ? ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                           : ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
          row[2 * x] = static_cast<uint8_t>(v);
          row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        }
        if (mask) mask[x] = static_cast<uint8_t>(255 - p[3 * bytes]);
      }
      break;
    }
  }
}

void Decoder::Finish() {
  // Without a header there is nothing that makes this a PNG image.
  if (!have_header_) throw EPngError(png_text::kNotPng);
  // No image data at all: the image keeps the header's size with no rows decoded.
  if (!image_started_) BeginImage();

  if (color_type_ == kPngTypePalette && have_trns_) {
    int zeros = 0, opaque = 0, zero_index = 0;
    for (int i = 0; i < 256; ++i) {
      if (trns_table_[i] == 0) {
        ++zeros;
        zero_index = i;
      } else if (trns_table_[i] == 255) {
        ++opaque;
      }
    }
    if (zeros == 1 && opaque == 255) {
      trns_color_ = kPaletteIndexFlag | static_cast<TColor>(zero_index);
    } else {
      alpha_ = TBitmap(width_, height_, TPixelFormat::pf8bit);
      alpha_.SetPalette(GreyPalette(256));
      for (int y = 0; y < height_; ++y) {
        const uint8_t* src = image_.ScanLine(y);
        uint8_t* dst = alpha_.ScanLine(y);
        for (int x = 0; x < width_; ++x) {
          unsigned idx = bit_depth_ == 8   ? src[x]
                         : bit_depth_ == 1 ? (src[x >> 3] >> (7 - (x & 7))) & 1u
                         : (x & 1)         ? src[x >> 1] & 0x0Fu
                                           : src[x >> 1] >> 4;
          dst[x] = static_cast<uint8_t>(255 - trns_table_[idx]);
        }
      }
      has_alpha_mask_ = true;
    }
  }

  meta_.interlace = interlace_;
  meta_.greyscale = color_type_ == kPngTypeGrey || color_type_ == kPngTypeGreyAlpha;
  meta_.alpha_present = has_alpha_mask_;
  meta_.transparent_color = trns_color_;
  if (!has_alpha_mask_ && trns_color_ != kPngNoColor) {
    TColor shown = trns_color_;
    if (shown & kPaletteIndexFlag) {
      size_t idx = shown & 0xFF;
      shown = idx < palette_.size() ? ColorFromQuad(palette_[idx]) : kClBlack;
    }
    image_.SetTransparentColor(shown);
    image_.SetTransparent(true);
  }
}

}  // namespace pamirune::png_detail
