#include "formats/png/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "formats/png/png_decoder.h"
#include "raster/byte_order.h"
#include "raster/palettes.h"

namespace pamirune {

namespace png_detail {

// Reads up to max bytes of the current chunk. The buffer grows only as data arrives, so a
// chunk claiming gigabytes costs no more than the file holds.
std::vector<uint8_t> Decoder::Body(size_t max) {
  uint64_t n = std::min<uint64_t>(chunk_left_, max);
  std::vector<uint8_t> out;
  while (n > 0) {
    size_t block = static_cast<size_t>(std::min<uint64_t>(n, 65536));
    size_t old = out.size();
    out.resize(old + block);
    size_t got = in_.Read(out.data() + old, block);
    out.resize(old + got);
    chunk_left_ -= got;
    n -= got;
    if (got < block) break;
  }
  return out;
}

void Decoder::Run(bool check_signature) {
  meta_ = PngOptions{};
  meta_.background_color = kPngNoColor;
  meta_.transparent_color = kPngNoColor;
  meta_.gamma = 0;
  meta_.stored_time = PngTime{};
  meta_.chromaticities.fill(0);
  meta_.gif_extension.fill(0);
  alpha_ = TBitmap();
  image_ = TBitmap();
  if (progress_) progress_(TProgressStage::psStarting, 0, "");

  if (check_signature) {
    uint8_t sig[8];
    in_.ReadFull(sig, sizeof sig);
    if (!std::equal(sig, sig + 8, kPngSignature.begin())) throw EPngError(png_text::kNotPng);
  }

  for (;;) {
    uint32_t len, type;
    if (pending_) {
      len = pending_len_;
      type = pending_type_;
      pending_ = false;
    } else {
      len = in_.ReadDWord();
      type = in_.ReadDWord();
      if (in_.AtEnd()) break;
    }
    if (type == kIEND) break;
    chunk_left_ = len;
    Dispatch(type);
    if (pending_) continue;  // the image data ran into the next chunk's header
    if (in_.AtEnd()) break;
    in_.Skip(chunk_left_);
    in_.ReadDWord();  // CRC: written correctly, not compared
    if (in_.AtEnd()) break;
  }
  Finish();
  if (progress_) progress_(TProgressStage::psEnding, 100, "");
}

void Decoder::Dispatch(uint32_t type) {
  // Nothing acts once the image data has begun; IDAT chunks after it are skipped too.
  if (image_started_) return;
  if (type == kTIME) {
    if (chunk_left_ != 7) return;
    std::vector<uint8_t> b = Body(7);
    if (b.size() < 7) return;
    meta_.stored_time = {GetBe16(b.data()), b[2], b[3], b[4], b[5], b[6]};
    return;
  }
  if (type == kTPNG) {
    if (have_tpng_) return;
    have_tpng_ = true;
    std::vector<uint8_t> b = Body(8);
    if (b.size() >= 6 && std::memcmp(b.data(), "KRX3", 4) == 0) {
      // The fifth byte names a row callback, which this program never attaches.
      if (b[5] == 1 && palette_as_grey_option_) palette_as_grey_ = true;
    }
    return;
  }
  if (type == kIHDR) {
    OnHeader();
    return;
  }
  if (!have_header_) return;
  switch (type) {
    case kPLTE:
      OnPalette();
      break;
    case kTRNS:
      OnTransparency();
      break;
    case kBKGD:
      OnBackground();
      break;
    case kGAMA:
      if (!have_palette_) {
        std::vector<uint8_t> b = Body(4);
        if (b.size() == 4) meta_.gamma = GetBe32(b.data()) / 100000.0;
      }
      break;
    case kPHYS: {
      std::vector<uint8_t> b = Body(9);
      if (b.size() == 9) meta_.physical_size = {b[8], GetBe32(b.data()), GetBe32(b.data() + 4)};
      break;
    }
    case kSBIT:
      if (!have_palette_ && (color_type_ == kPngTypeRgb || color_type_ == kPngTypePalette ||
                             color_type_ == kPngTypeRgba)) {
        size_t n = color_type_ == kPngTypeRgba ? 4 : 3;
        std::vector<uint8_t> b = Body(n);
        uint32_t v = 0;
        for (size_t i = 0; i < b.size(); ++i) v |= static_cast<uint32_t>(b[i]) << (8 * i);
        meta_.significant_bits = v;
      }
      break;
    case kTEXT:
      OnText();
      break;
    case kCHRM:
      if (chunk_left_ == 32 && !have_palette_) {
        std::vector<uint8_t> b = Body(32);
        if (b.size() == 32)
          for (int i = 0; i < 8; ++i) meta_.chromaticities[i] = GetBe32(b.data() + 4 * i);
      }
      break;
    case kGIFG:
      if (chunk_left_ == 4 && !have_palette_) {
        std::vector<uint8_t> b = Body(4);
        if (b.size() == 4) std::copy(b.begin(), b.end(), meta_.gif_extension.begin());
      }
      break;
    case kIDAT:
      DecodeImage();
      break;
    default:
      break;  // unknown chunks, ancillary or critical, are skipped
  }
}

void Decoder::OnHeader() {
  if (have_header_) throw EPngError(png_text::kTwoIhdr);
  have_header_ = true;
  std::vector<uint8_t> b = Body(13);
  b.resize(13, 0);
  uint32_t w = GetBe32(b.data()), h = GetBe32(b.data() + 4);
  bit_depth_ = b[8];
  color_type_ = b[9];
  // Besides 1, 5 and 7, no other number names a colour type either.
  if (color_type_ != kPngTypeGrey && color_type_ != kPngTypeRgb && color_type_ != kPngTypePalette &&
      color_type_ != kPngTypeGreyAlpha && color_type_ != kPngTypeRgba)
    throw EPngError(png_text::kErrColorType);
  if (b[10] >= 2) throw EPngError(png_text::kErrCompression);
  if (b[11] >= 2) throw EPngError(png_text::kErrFilter);
  if (b[12] >= 2) throw EPngError(png_text::kErrInterlace);
  interlace_ = b[12];
  // A header without pixels describes no image at all.
  if (w == 0 || h == 0) throw EPngError(png_text::kErrSize);
  if (w > INT_MAX || h > INT_MAX ||
      static_cast<uint64_t>(w) * h > static_cast<uint64_t>(max_pixels_))
    ThrowImageTooLarge(w, h);
  width_ = static_cast<int>(w);
  height_ = static_cast<int>(h);
}

void Decoder::OnPalette() {
  if (have_palette_) return;
  if (color_type_ == kPngTypeGrey) return;
  if (color_type_ == kPngTypeGreyAlpha && !palette_as_grey_) return;
  have_palette_ = true;
  std::vector<uint8_t> b = Body(768);
  palette_.clear();
  for (size_t i = 0; i + 2 < b.size(); i += 3) palette_.push_back({b[i + 2], b[i + 1], b[i], 0});
}

TColor Decoder::GreyColor(uint16_t v) const {
  uint8_t g;
  if (bit_depth_ == 16) {
    g = static_cast<uint8_t>(v >> 8);
  } else if (bit_depth_ == 1 || bit_depth_ == 2 || bit_depth_ == 4) {
    // A level of a 1-, 2- or 4-bit image is the grey it shows, not the raw number.
    unsigned max = (1u << bit_depth_) - 1;
    g = static_cast<uint8_t>(std::min<unsigned>(v, max) * 255 / max);
  } else {
    g = static_cast<uint8_t>(std::min<uint16_t>(v, 255));
  }
  return RGB(g, g, g);
}

void Decoder::OnTransparency() {
  if (color_type_ == kPngTypeGreyAlpha || color_type_ == kPngTypeRgba) return;
  if (color_type_ == kPngTypePalette) {
    std::vector<uint8_t> b = Body(palette_.size());
    std::copy(b.begin(), b.end(), trns_table_.begin());
    have_trns_ = true;
    return;
  }
  if (color_type_ == kPngTypeGrey) {
    std::vector<uint8_t> b = Body(2);
    if (b.size() == 2) trns_color_ = GreyColor(GetBe16(b.data()));
    return;
  }
  std::vector<uint8_t> b = Body(6);
  if (b.size() == 6)
    trns_color_ = RGB(Channel8(GetBe16(b.data())), Channel8(GetBe16(b.data() + 2)),
                      Channel8(GetBe16(b.data() + 4)));
}

void Decoder::OnBackground() {
  if (color_type_ == kPngTypePalette) {
    std::vector<uint8_t> b = Body(1);
    if (b.size() == 1) meta_.background_color = kPaletteIndexFlag | b[0];
    return;
  }
  if (color_type_ == kPngTypeGrey || color_type_ == kPngTypeGreyAlpha) {
    std::vector<uint8_t> b = Body(2);
    if (b.size() == 2) meta_.background_color = GreyColor(GetBe16(b.data()));
    return;
  }
  std::vector<uint8_t> b = Body(6);
  if (b.size() == 6)
    meta_.background_color = RGB(Channel8(GetBe16(b.data())), Channel8(GetBe16(b.data() + 2)),
                                 Channel8(GetBe16(b.data() + 4)));
}

void Decoder::OnText() {
  std::vector<uint8_t> b = Body(chunk_left_);
  static constexpr char kKeyword[] = "Comment";
  constexpr size_t kLen = sizeof kKeyword - 1;
  if (b.size() <= kLen || std::memcmp(b.data(), kKeyword, kLen) != 0 || b[kLen] != 0) return;
  if (!meta_.comment.empty()) meta_.comment += "\r\n";
  meta_.comment.append(b.begin() + kLen + 1, b.end());
  meta_.comment += "\r\n";
}

// Checks the depth, sizes the raster and its palette. Runs when the image data begins.
}  // namespace png_detail

void PngReadStream::Read(TBitmap& image, TBitmap& alpha, PngOptions& meta) {
  png_detail::Decoder decoder(stream_, image, alpha, meta, decode_15_16_, palette_as_grey_,
                              max_pixels_, progress_);
  try {
    decoder.Run(check_signature_);
  } catch (...) {
    color_type_ = decoder.color_type();
    bit_depth_ = decoder.bit_depth();
    rows_decoded_ = decoder.rows_decoded();
    throw;
  }
  color_type_ = decoder.color_type();
  bit_depth_ = decoder.bit_depth();
  rows_decoded_ = decoder.rows_decoded();
  complete_ = decoder.complete();
}

}  // namespace pamirune
