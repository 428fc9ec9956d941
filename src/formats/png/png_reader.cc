#include "formats/png/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "formats/png/png_filter.h"
#include "formats/png/png_stream.h"
#include "raster/byte_order.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

constexpr uint32_t ChunkId(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) | static_cast<uint8_t>(s[3]);
}

constexpr uint32_t kIHDR = ChunkId("IHDR");
constexpr uint32_t kPLTE = ChunkId("PLTE");
constexpr uint32_t kIDAT = ChunkId("IDAT");
constexpr uint32_t kIEND = ChunkId("IEND");
constexpr uint32_t kTRNS = ChunkId("tRNS");
constexpr uint32_t kBKGD = ChunkId("bKGD");
constexpr uint32_t kGAMA = ChunkId("gAMA");
constexpr uint32_t kPHYS = ChunkId("pHYs");
constexpr uint32_t kSBIT = ChunkId("sBIT");
constexpr uint32_t kTEXT = ChunkId("tEXt");
constexpr uint32_t kTIME = ChunkId("tIME");
constexpr uint32_t kCHRM = ChunkId("cHRM");
constexpr uint32_t kGIFG = ChunkId("gIFg");
constexpr uint32_t kTPNG = ChunkId("tpNG");

constexpr int kTypeGrey = 0;
constexpr int kTypeRgb = 2;
constexpr int kTypePalette = 3;
constexpr int kTypeGreyAlpha = 4;
constexpr int kTypeRgba = 6;

constexpr size_t kInflateInput = 32768;

struct Inflater {
  z_stream z{};
  bool ready = false;
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
};

inline void Set1(uint8_t* row, int x, unsigned v) {
  uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
  if (v & 1)
    row[x >> 3] |= bit;
  else
    row[x >> 3] &= static_cast<uint8_t>(~bit);
}
inline void Set4(uint8_t* row, int x, unsigned v) {
  uint8_t& b = row[x >> 1];
  if (x & 1)
    b = static_cast<uint8_t>((b & 0xF0) | (v & 0x0F));
  else
    b = static_cast<uint8_t>((b & 0x0F) | ((v & 0x0F) << 4));
}
inline unsigned Sample(const uint8_t* data, int i, int depth) {
  size_t bit = static_cast<size_t>(i) * depth;
  return (data[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// One decoding run: all state of one load.
class Decoder {
 public:
  Decoder(TStream& stream, TBitmap& image, TBitmap& alpha, PngOptions& meta, bool decode_15_16,
          bool palette_as_grey, int64_t max_pixels, const TProgressEvent& progress)
      : in_(stream),
        image_(image),
        alpha_(alpha),
        meta_(meta),
        decode_15_16_(decode_15_16),
        palette_as_grey_option_(palette_as_grey),
        max_pixels_(max_pixels),
        progress_(progress) {
    trns_table_.fill(255);
  }

  void Run(bool check_signature);
  int color_type() const { return color_type_; }
  int bit_depth() const { return bit_depth_; }
  int64_t rows_decoded() const { return rows_decoded_; }
  bool complete() const { return complete_; }

 private:
  std::vector<uint8_t> Body(size_t max);
  void Dispatch(uint32_t type);
  void OnHeader();
  void OnPalette();
  void OnTransparency();
  void OnBackground();
  void OnText();
  void BeginImage();
  void DecodeImage();
  bool InflateRow(Inflater& inf, std::vector<uint8_t>& input, uint8_t* dst, size_t n);
  size_t FillInput(uint8_t* buf, size_t cap);
  void StoreRow(const PngPass& pass, int count, int y, const uint8_t* data);
  void Finish();
  TColor GreyColor(uint16_t v) const;
  uint8_t Channel8(uint16_t v) const {
    if (bit_depth_ == 16) return static_cast<uint8_t>(v >> 8);
    return static_cast<uint8_t>(std::min<uint16_t>(v, 255));
  }

  ImageReadStream in_;
  TBitmap& image_;
  TBitmap& alpha_;
  PngOptions& meta_;
  const bool decode_15_16_;
  const bool palette_as_grey_option_;
  const int64_t max_pixels_;
  const TProgressEvent& progress_;

  uint64_t chunk_left_ = 0;
  bool pending_ = false;
  uint32_t pending_len_ = 0;
  uint32_t pending_type_ = 0;
  bool idat_ended_ = false;

  bool have_header_ = false;
  bool have_palette_ = false;
  bool image_started_ = false;  // the image data has begun; later chunks do nothing
  bool have_tpng_ = false;
  bool palette_as_grey_ = false;
  int width_ = 0;
  int height_ = 0;
  int bit_depth_ = 0;
  int color_type_ = -1;
  int interlace_ = 0;
  std::vector<TRGBQuad> palette_;
  bool have_trns_ = false;
  std::array<uint8_t, 256> trns_table_{};
  TColor trns_color_ = kPngNoColor;
  bool has_alpha_mask_ = false;
  int pixel_bits_ = 0;
  int64_t rows_decoded_ = 0;
  int64_t total_rows_ = 0;
  bool complete_ = false;  // every row of the image was decoded
};

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
      if (!have_palette_ &&
          (color_type_ == kTypeRgb || color_type_ == kTypePalette || color_type_ == kTypeRgba)) {
        size_t n = color_type_ == kTypeRgba ? 4 : 3;
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
  if (color_type_ != kTypeGrey && color_type_ != kTypeRgb && color_type_ != kTypePalette &&
      color_type_ != kTypeGreyAlpha && color_type_ != kTypeRgba)
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
  if (color_type_ == kTypeGrey) return;
  if (color_type_ == kTypeGreyAlpha && !palette_as_grey_) return;
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
  if (color_type_ == kTypeGreyAlpha || color_type_ == kTypeRgba) return;
  if (color_type_ == kTypePalette) {
    std::vector<uint8_t> b = Body(palette_.size());
    std::copy(b.begin(), b.end(), trns_table_.begin());
    have_trns_ = true;
    return;
  }
  if (color_type_ == kTypeGrey) {
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
  if (color_type_ == kTypePalette) {
    std::vector<uint8_t> b = Body(1);
    if (b.size() == 1) meta_.background_color = kPaletteIndexFlag | b[0];
    return;
  }
  if (color_type_ == kTypeGrey || color_type_ == kTypeGreyAlpha) {
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
void Decoder::BeginImage() {
  image_started_ = true;
  const int d = bit_depth_;
  switch (color_type_) {
    case kTypeGrey:
      if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) throw EPngError(png_text::kErrGreyDepth);
      break;
    case kTypeGreyAlpha:
      if (d < 8) throw EPngError(png_text::kErrAlphaDepth);
      if (d != 8 && d != 16) throw EPngError(png_text::kErrDepth);
      break;
    case kTypeRgb:
    case kTypeRgba:
      if (d != 8 && d != 16) throw EPngError(png_text::kErrDepth);
      break;
    default:
      if (d != 1 && d != 2 && d != 4 && d != 8) throw EPngError(png_text::kErrDepth);
      // Without its colours the indices mean nothing: no picture is better than a black one.
      if (!have_palette_ || palette_.empty()) throw EPngError(png_text::kNoPalette);
      break;
  }
  int channels = 1;
  if (color_type_ == kTypeRgb) channels = 3;
  if (color_type_ == kTypeGreyAlpha) channels = 2;
  if (color_type_ == kTypeRgba) channels = 4;
  pixel_bits_ = channels * d;

  TPixelFormat format = TPixelFormat::pf8bit;
  std::vector<TRGBQuad> palette;
  if (color_type_ == kTypeGrey) {
    if (d == 1) {
      format = TPixelFormat::pf1bit;
      palette = GreyPalette(2);
    } else if (d == 2 || d == 4) {
      format = TPixelFormat::pf4bit;
      palette = GreyPalette(1 << d);
    } else {
      palette = GreyPalette(256);
    }
  } else if (color_type_ == kTypeGreyAlpha) {
    palette = palette_as_grey_ && have_palette_ ? palette_ : GreyPalette(256);
  } else if (color_type_ == kTypePalette) {
    format = d == 1 ? TPixelFormat::pf1bit : d == 8 ? TPixelFormat::pf8bit : TPixelFormat::pf4bit;
    palette = palette_;
  } else {
    format = TPixelFormat::pf24bit;
    uint32_t sbit = meta_.significant_bits;
    if (decode_15_16_ && color_type_ == kTypeRgb) {
      if (sbit == 0x050505) format = TPixelFormat::pf15bit;
      if (sbit == 0x050605) format = TPixelFormat::pf16bit;
    }
    palette = palette_;
  }
  image_ = TBitmap(width_, height_, format);
  image_.SetPalette(std::move(palette));
  if (color_type_ == kTypeGreyAlpha || color_type_ == kTypeRgba) {
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
    case kTypeGrey:
    case kTypePalette:
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
    case kTypeGreyAlpha: {
      const int step = d == 16 ? 4 : 2;
      const int a = d == 16 ? 2 : 1;
      for (int i = 0; i < count; ++i) {
        row[X(i)] = data[step * i];
        mask[X(i)] = static_cast<uint8_t>(255 - data[step * i + a]);
      }
      break;
    }
    default: {  // RGB and RGBA
      const int channels = color_type_ == kTypeRgba ? 4 : 3;
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

  if (color_type_ == kTypePalette && have_trns_) {
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
  meta_.greyscale = color_type_ == kTypeGrey || color_type_ == kTypeGreyAlpha;
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

}  // namespace

void PngReadStream::Read(TBitmap& image, TBitmap& alpha, PngOptions& meta) {
  Decoder decoder(stream_, image, alpha, meta, decode_15_16_, palette_as_grey_, max_pixels_,
                  progress_);
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
