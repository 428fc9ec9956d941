// The decoder behind PngReadStream: one run over the chunks of one file, and the image data
// decoded row by row into the Raster image. Private to the PNG reader.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "formats/png/png_stream.h"
#include "formats/png/png_types.h"
#include "raster/bitmap.h"

namespace pamirune::png_detail {

inline constexpr uint32_t ChunkId(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) | static_cast<uint8_t>(s[3]);
}

inline constexpr uint32_t kIHDR = ChunkId("IHDR");
inline constexpr uint32_t kPLTE = ChunkId("PLTE");
inline constexpr uint32_t kIDAT = ChunkId("IDAT");
inline constexpr uint32_t kIEND = ChunkId("IEND");
inline constexpr uint32_t kTRNS = ChunkId("tRNS");
inline constexpr uint32_t kBKGD = ChunkId("bKGD");
inline constexpr uint32_t kGAMA = ChunkId("gAMA");
inline constexpr uint32_t kPHYS = ChunkId("pHYs");
inline constexpr uint32_t kSBIT = ChunkId("sBIT");
inline constexpr uint32_t kTEXT = ChunkId("tEXt");
inline constexpr uint32_t kTIME = ChunkId("tIME");
inline constexpr uint32_t kCHRM = ChunkId("cHRM");
inline constexpr uint32_t kGIFG = ChunkId("gIFg");
inline constexpr uint32_t kTPNG = ChunkId("tpNG");

inline constexpr size_t kInflateInput = 32768;

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

}  // namespace pamirune::png_detail
