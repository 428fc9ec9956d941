#include "formats/png/png_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "formats/png/png_filter.h"
#include "formats/png/png_stream.h"
#include "raster/zlib_writer.h"

namespace pamirune {

namespace {

constexpr int kTypeGrey = 0;
constexpr int kTypeRgb = 2;
constexpr int kTypePalette = 3;
constexpr int kTypeGreyAlpha = 4;
constexpr int kTypeRgba = 6;

// The depth the writer reads the source at: 15-bit pixels have their own layout.
int SourceBits(TPixelFormat format) {
  return format == TPixelFormat::pf15bit ? 15 : BitsPerPixel(format);
}

// One colour channel packed in a 16- or 32-bit pixel.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  void Set(uint32_t m) {
    mask = m;
    shift = bits = 0;
    if (!m) return;
    while (!((m >> shift) & 1u)) ++shift;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1u)) ++bits;
  }
  // Widens to 8 bits by repeating the top bits into the low ones.
  uint8_t Get(uint32_t pixel) const {
    uint32_t v = (pixel & mask) >> shift;
    switch (bits) {
      case 0:
        return 0;
      case 5:
        return static_cast<uint8_t>(v * 8 + v / 4);
      case 6:
        return static_cast<uint8_t>(v * 4 + v / 16);
      case 8:
        return static_cast<uint8_t>(v);
      default:
        break;
    }
    if (bits > 8) return static_cast<uint8_t>(v >> (bits - 8));
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
    int total = ((8 + bits - 1) / bits) * bits;
    return static_cast<uint8_t>(out >> (total - 8));
  }
};

void WriteText(ImageWriteStream& out, const std::string& keyword, const std::string& text) {
  if (keyword.empty() || keyword.size() >= 80) return;
  std::vector<uint8_t> body(keyword.begin(), keyword.end());
  body.push_back(0);
  body.insert(body.end(), text.begin(), text.end());
  out.WriteChunk("tEXt", body);
}

bool ValidTime(const PngTime& t) {
  return t.year > 0 && t.year <= 65535 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= 31 && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
         t.second >= 0 && t.second < 61;
}

}  // namespace

int PngNearestPaletteIndex(const std::vector<TRGBQuad>& palette, TColor color) {
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int best_sum = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    int sum = std::abs(palette[i].red - r) + std::abs(palette[i].green - g) +
              std::abs(palette[i].blue - b);
    if (sum == 0) return static_cast<int>(i);
    if (sum < best_sum) {
      best_sum = sum;
      best = static_cast<int>(i);
    }
  }
  return best;
}

struct PngWriteStream::Layout {
  int width = 0;
  int height = 0;
  int source_bits = 0;
  int color_type = 0;
  int bit_depth = 0;
  int pixel_bits = 0;
  bool alpha = false;      // an alpha channel is written
  bool greyscale = false;  // colour types 0 and 4
  Channel red, green, blue;
  bool masked = false;              // 15, 16 and masked 32-bit pixels are read through the channels
  std::vector<TRGBQuad> palette;    // PLTE as written
  std::array<uint8_t, 256> grey{};  // palette source index -> grey value at the output depth
  bool invert = false;              // 1-bit greyscale: entry 1 darker than entry 0
};

PngWriteStream::PngWriteStream(TStream& stream, const PngOptions& options)
    : stream_(stream), options_(options), clock_(PngUtcNow) {}

void PngWriteStream::Write(const TBitmap& image) {
  if (options_.idat_size < kPngMinIdatSize || options_.idat_size > kPngMaxIdatSize)
    throw EPngError(png_text::kErrIdatSize);
  // A PNG holds at least one pixel; an empty image cannot be written as one.
  if (image.Empty()) throw EPngError(png_text::kWriteError);

  Layout L;
  L.width = image.Width();
  L.height = image.Height();
  L.source_bits = SourceBits(image.PixelFormat());
  const bool alpha_ok = alpha_ && !alpha_->Empty() && alpha_->Width() == L.width &&
                        alpha_->Height() == L.height && alpha_->BitCount() == 8;
  const bool grey = options_.greyscale;
  const std::vector<TRGBQuad>& src_palette = image.Palette();

  if (L.source_bits <= 8) {
    if (grey && L.source_bits == 8 && alpha_ok) {
      L.color_type = kTypeGreyAlpha;
      L.bit_depth = 8;
      L.alpha = true;
    } else {
      L.color_type = grey ? kTypeGrey : kTypePalette;
      L.bit_depth = L.source_bits;
    }
  } else {
    L.bit_depth = 8;
    L.alpha = alpha_ok;
    if (grey)
      L.color_type = alpha_ok ? kTypeGreyAlpha : kTypeGrey;
    else
      L.color_type = alpha_ok ? kTypeRgba : kTypeRgb;
  }
  L.greyscale = L.color_type == kTypeGrey || L.color_type == kTypeGreyAlpha;
  int channels = 1;
  if (L.color_type == kTypeRgb) channels = 3;
  if (L.color_type == kTypeRgba) channels = 4;
  if (L.color_type == kTypeGreyAlpha) channels = 2;
  L.pixel_bits = channels * L.bit_depth;

  // Pixel layout of deep sources.
  if (L.source_bits == 15 || (L.source_bits == 16 && !image.HasMasks())) {
    L.red.Set(0x7C00);
    L.green.Set(0x03E0);
    L.blue.Set(0x001F);
    L.masked = true;
  } else if ((L.source_bits == 16 || L.source_bits == 32) && image.HasMasks()) {
    L.red.Set(image.Masks()[0]);
    L.green.Set(image.Masks()[1]);
    L.blue.Set(image.Masks()[2]);
    L.masked = true;
  }

  // The written palette: the source's entries, no more than the depth can address. A source
  // without a palette gets a grey ramp, so that every index still shows a colour.
  if (L.color_type == kTypePalette) {
    size_t limit = size_t{1} << L.bit_depth;
    if (src_palette.empty()) {
      for (size_t i = 0; i < limit; ++i) {
        uint8_t v = static_cast<uint8_t>(i * 255 / (limit - 1));
        L.palette.push_back({v, v, v, 0});
      }
    } else {
      L.palette.assign(
          src_palette.begin(),
          src_palette.begin() + static_cast<std::ptrdiff_t>(std::min(limit, src_palette.size())));
    }
  }
  // Greyscale index table of palette sources.
  if (L.greyscale && L.source_bits <= 8) {
    for (int i = 0; i < 256; ++i) {
      int v = i;
      if (static_cast<size_t>(i) < src_palette.size()) {
        const TRGBQuad& q = src_palette[i];
        int sum = q.red * 77 + q.green * 150 + q.blue * 29;
        v = L.source_bits == 4 ? sum / 4096 : sum / 256;
      }
      L.grey[i] = static_cast<uint8_t>(v);
    }
    if (L.source_bits == 1 && src_palette.size() >= 2) {
      auto lum = [](const TRGBQuad& q) { return PngLuminance(q.red, q.green, q.blue); };
      L.invert = lum(src_palette[1]) < lum(src_palette[0]);
    }
  }

  // The colour of a colour value, resolving a palette index through the source palette.
  auto resolve = [&](TColor c) -> TColor {
    if (c & kPaletteIndexFlag) {
      size_t idx = c & 0xFF;
      if (idx < src_palette.size()) return ColorFromQuad(src_palette[idx]);
      return RGB(static_cast<uint8_t>(idx), static_cast<uint8_t>(idx), static_cast<uint8_t>(idx));
    }
    return c & 0xFFFFFF;
  };
  auto palette_index = [&](TColor c) -> int {
    if (c & kPaletteIndexFlag) return static_cast<int>(c & 0xFF);
    return PngNearestPaletteIndex(L.palette, c);
  };
  // Grey level of a colour at the output depth.
  auto grey_level = [&](TColor c) -> int {
    if ((c & kPaletteIndexFlag) && L.source_bits <= 8) {
      int idx = static_cast<int>(c & 0xFF);
      if (L.source_bits == 1) return (idx & 1) ^ (L.invert ? 1 : 0);
      if (L.source_bits == 4) return L.grey[idx] & 0x0F;
      return L.grey[idx];
    }
    TColor rgb = resolve(c);
    int lum = PngLuminance(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
    if (L.bit_depth == 1 && src_palette.size() >= 2) {
      // The level the pixels of that colour are written with: its nearest entry's bit.
      std::vector<TRGBQuad> two(src_palette.begin(), src_palette.begin() + 2);
      return PngNearestPaletteIndex(two, rgb) ^ (L.invert ? 1 : 0);
    }
    if (L.bit_depth == 1) return lum >= 128 ? 1 : 0;
    if (L.bit_depth == 4) return lum / 16;
    return lum;
  };

  if (progress_) progress_(TProgressStage::psStarting, 0, "");
  ImageWriteStream out(stream_);
  out.Write(kPngSignature.data(), kPngSignature.size());

  // IHDR
  {
    std::vector<uint8_t> b;
    PutDWord(b, static_cast<uint32_t>(L.width));
    PutDWord(b, static_cast<uint32_t>(L.height));
    b.push_back(static_cast<uint8_t>(L.bit_depth));
    b.push_back(static_cast<uint8_t>(L.color_type));
    b.push_back(0);
    b.push_back(0);
    b.push_back(options_.interlace == 1 ? 1 : 0);
    out.WriteChunk("IHDR", b);
  }
  // tIME
  {
    PngTime t =
        options_.use_current_time ? (clock_ ? clock_() : PngUtcNow()) : options_.stored_time;
    if (ValidTime(t)) {
      std::vector<uint8_t> b;
      PutWord(b, static_cast<uint32_t>(t.year));
      for (int v : {t.month, t.day, t.hour, t.minute, t.second})
        b.push_back(static_cast<uint8_t>(v));
      out.WriteChunk("tIME", b);
    }
  }
  if (!options_.comment.empty()) WriteText(out, "Comment", options_.comment);
  WriteText(out, "Software", png_text::kSoftware);
  // tpNG: no named row callback and no palette-as-grey mode in this program.
  {
    const uint8_t b[8] = {'K', 'R', 'X', '3', 0, 0, 0, 0};
    out.WriteChunk("tpNG", b, sizeof b);
  }
  if (options_.gif_extension[0] || options_.gif_extension[1] || options_.gif_extension[2])
    out.WriteChunk("gIFg", options_.gif_extension.data(), 4);
  {
    double scaled = options_.gamma * 100000.0;
    if (scaled >= 1.0 && scaled < 4294967296.0) {
      std::vector<uint8_t> b;
      PutDWord(b, static_cast<uint32_t>(scaled));
      out.WriteChunk("gAMA", b);
    }
  }
  if (options_.chromaticities[0] > 0 && options_.chromaticities[1] > 0) {
    std::vector<uint8_t> b;
    for (uint32_t v : options_.chromaticities) PutDWord(b, v);
    out.WriteChunk("cHRM", b);
  }
  {
    uint32_t sbit = options_.significant_bits;
    if (L.source_bits == 15 || L.source_bits == 16) {
      sbit = static_cast<uint32_t>(L.red.bits) | (static_cast<uint32_t>(L.green.bits) << 8) |
             (static_cast<uint32_t>(L.blue.bits) << 16);
      if (L.alpha) sbit |= 8u << 24;
    }
    if (sbit > 0 && !L.greyscale) {
      std::vector<uint8_t> b;
      for (int i = 0; i < (L.alpha ? 4 : 3); ++i) {
        // A channel of 0 or more than 8 significant bits would make the file invalid; such
        // a channel is declared with all its 8 bits.
        uint8_t bits = static_cast<uint8_t>(sbit >> (8 * i));
        b.push_back(bits == 0 || bits > 8 ? 8 : bits);
      }
      out.WriteChunk("sBIT", b);
    }
  }
  if (L.color_type == kTypePalette) {
    std::vector<uint8_t> b;
    for (const TRGBQuad& q : L.palette) {
      b.push_back(q.red);
      b.push_back(q.green);
      b.push_back(q.blue);
    }
    out.WriteChunk("PLTE", b);
  }
  if (options_.background_color != kPngNoColor) {
    TColor c = options_.background_color;
    std::vector<uint8_t> b;
    if (L.color_type == kTypePalette) {
      int idx = palette_index(c);
      // An index past the palette would make the file invalid; it is left out.
      if (static_cast<size_t>(idx) < L.palette.size()) b.push_back(static_cast<uint8_t>(idx));
    } else if (L.greyscale) {
      PutWord(b, static_cast<uint32_t>(grey_level(c)));
    } else {
      TColor rgb = resolve(c);
      PutWord(b, GetRValue(rgb));
      PutWord(b, GetGValue(rgb));
      PutWord(b, GetBValue(rgb));
    }
    if (!b.empty()) out.WriteChunk("bKGD", b);
  }
  if (options_.transparent_color != kPngNoColor && !L.alpha) {
    TColor c = options_.transparent_color;
    std::vector<uint8_t> b;
    if (L.color_type == kTypePalette) {
      int idx = palette_index(c);
      if (static_cast<size_t>(idx) < L.palette.size()) {
        b.assign(static_cast<size_t>(idx) + 1, 255);
        b[static_cast<size_t>(idx)] = 0;
      }
    } else if (L.greyscale) {
      PutWord(b, static_cast<uint32_t>(grey_level(c)));
    } else {
      TColor rgb = resolve(c);
      PutWord(b, GetRValue(rgb));
      PutWord(b, GetGValue(rgb));
      PutWord(b, GetBValue(rgb));
    }
    if (!b.empty()) out.WriteChunk("tRNS", b);
  }
  {
    const PngPhysicalSize& p = options_.physical_size;
    if (p.x >= 1 && p.y >= 1 && p.unit >= 0 && p.unit <= 2) {
      uint32_t x = p.x, y = p.y;
      if (p.unit == 2) {
        x = static_cast<uint32_t>(static_cast<double>(p.x) * 100.0 / 254.0 * 100.0);
        y = static_cast<uint32_t>(static_cast<double>(p.y) * 100.0 / 254.0 * 100.0);
      }
      std::vector<uint8_t> b;
      PutDWord(b, x);
      PutDWord(b, y);
      b.push_back(p.unit == 0 ? 0 : 1);
      out.WriteChunk("pHYs", b);
    }
  }

  // Image data.
  const size_t full_len =
      (static_cast<size_t>(L.width) * static_cast<size_t>(L.pixel_bits) + 7) / 8;
  const int distance = (L.pixel_bits + 7) / 8;
  std::vector<uint8_t> full(full_len + 8);
  std::vector<uint8_t> pass_row(full_len + 8);
  std::vector<uint8_t> prev(full_len + 8);
  std::vector<uint8_t> candidates(5 * (full_len + 1));
  std::vector<uint8_t> idat(static_cast<size_t>(options_.idat_size));

  // Converts image row y into PNG byte order in o (full_len bytes).
  auto convert_row = [&](int y, uint8_t* o) {
    const uint8_t* src = image.ScanLine(y);
    const uint8_t* mask = L.alpha ? alpha_->ScanLine(y) : nullptr;
    const int w = L.width;
    if (L.source_bits <= 8) {
      if (L.color_type == kTypePalette) {
        std::memcpy(o, src, full_len);
      } else if (L.color_type == kTypeGreyAlpha) {
        for (int x = 0; x < w; ++x) {
          o[2 * x] = L.grey[src[x]];
          o[2 * x + 1] = static_cast<uint8_t>(255 - mask[x]);
        }
      } else if (L.source_bits == 8) {
        for (int x = 0; x < w; ++x) o[x] = L.grey[src[x]];
      } else if (L.source_bits == 4) {
        for (size_t i = 0; i < full_len; ++i)
          o[i] = static_cast<uint8_t>(((L.grey[src[i] >> 4] & 0x0F) << 4) |
                                      (L.grey[src[i] & 0x0F] & 0x0F));
      } else {
        for (size_t i = 0; i < full_len; ++i)
          o[i] = L.invert ? static_cast<uint8_t>(~src[i]) : src[i];
      }
      return;
    }
    if (!L.masked && L.color_type == kTypeRgb && L.source_bits >= 24) {
      // Blue-green-red (and an unused byte) to red-green-blue: the common case, kept tight.
      const int step = L.source_bits / 8;
      for (int x = 0; x < w; ++x, src += step, o += 3) {
        o[0] = src[2];
        o[1] = src[1];
        o[2] = src[0];
      }
      return;
    }
    // Deep sources: widen to 8 bits per channel, then pack the output.
    for (int x = 0; x < w; ++x) {
      uint8_t r, g, b;
      if (L.masked) {
        uint32_t v;
        if (L.source_bits == 32)
          std::memcpy(&v, src + 4 * x, 4);
        else
          v = static_cast<uint32_t>(src[2 * x] | (src[2 * x + 1] << 8));
        r = L.red.Get(v);
        g = L.green.Get(v);
        b = L.blue.Get(v);
      } else {
        const uint8_t* p = src + x * (L.source_bits / 8);
        b = p[0];
        g = p[1];
        r = p[2];
      }
      switch (L.color_type) {
        case kTypeRgb:
          o[3 * x] = r;
          o[3 * x + 1] = g;
          o[3 * x + 2] = b;
          break;
        case kTypeRgba:
          o[4 * x] = r;
          o[4 * x + 1] = g;
          o[4 * x + 2] = b;
          o[4 * x + 3] = static_cast<uint8_t>(255 - mask[x]);
          break;
        case kTypeGrey:
          o[x] = static_cast<uint8_t>(PngLuminance(r, g, b));
          break;
        default:
          o[2 * x] = static_cast<uint8_t>(PngLuminance(r, g, b));
          o[2 * x + 1] = static_cast<uint8_t>(255 - mask[x]);
          break;
      }
    }
  };

  // Picks the pixels of one Adam7 pass out of the full row.
  auto extract = [&](const PngPass& pass, int count, uint8_t* dst) {
    if (L.pixel_bits >= 8) {
      const int bpp = L.pixel_bits / 8;
      for (int i = 0; i < count; ++i)
        std::memcpy(dst + i * bpp, full.data() + (pass.x0 + i * pass.dx) * bpp,
                    static_cast<size_t>(bpp));
      return;
    }
    const int d = L.pixel_bits;
    const size_t len = (static_cast<size_t>(count) * d + 7) / 8;
    std::memset(dst, 0, len);
    for (int i = 0; i < count; ++i) {
      size_t sx = static_cast<size_t>(pass.x0 + i * pass.dx) * d;
      unsigned v = (full[sx / 8] >> (8 - d - sx % 8)) & ((1u << d) - 1);
      size_t dx = static_cast<size_t>(i) * d;
      dst[dx / 8] |= static_cast<uint8_t>(v << (8 - d - dx % 8));
    }
  };

  // The zlib stream goes into IDAT chunks of idat_size bytes, the last one holding the rest.
  size_t idat_used = 0;
  auto to_idat = [&](const uint8_t* data, size_t n) {
    while (n > 0) {
      const size_t take = std::min(n, idat.size() - idat_used);
      std::memcpy(idat.data() + idat_used, data, take);
      idat_used += take;
      data += take;
      n -= take;
      if (idat_used == idat.size()) {
        out.WriteChunk("IDAT", idat.data(), idat.size());
        idat_used = 0;
      }
    }
  };
  auto zlib = std::make_unique<ZlibWriter>(options_.compression_level, to_idat,
                                           (full_len + 1) * static_cast<size_t>(L.height));
  auto compress = [&](const uint8_t* data, size_t n) { zlib->Write(data, n); };

  // Filters one row as the filter mode says and hands it to deflate.
  const int mode = options_.filter_mode;
  auto emit_row = [&](const uint8_t* row, size_t len) {
    const size_t n = len + 1;
    const uint8_t* chosen = candidates.data();
    if (mode >= 2 && mode <= 5) {
      PngFilterRow(static_cast<PngFilterType>(mode - 1), row, prev.data(), len, distance,
                   candidates.data());
    } else if (mode == 0) {
      PngFilterRow(kFilterNone, row, prev.data(), len, distance, candidates.data());
      if (L.source_bits != 4) {
        PngRowScore best = PngScoreRow(candidates.data(), n, L.pixel_bits);
        if (L.source_bits == 1 || L.source_bits == 8) best.value *= 2;
        if (!best.take_at_once) {
          for (int f = kFilterSub; f <= kFilterPaeth; ++f) {
            uint8_t* cand = candidates.data() + static_cast<size_t>(f) * n;
            PngFilterRow(static_cast<PngFilterType>(f), row, prev.data(), len, distance, cand);
            PngRowScore s = PngScoreRow(cand, n, L.pixel_bits);
            if (s.take_at_once) {
              chosen = cand;
              break;
            }
            if (s.value > best.value) {
              best = s;
              chosen = cand;
            }
          }
        }
      }
    } else {
      PngFilterRow(kFilterNone, row, prev.data(), len, distance, candidates.data());
    }
    compress(chosen, n);
    if (mode != 1) std::memcpy(prev.data(), row, len);
  };

  int total_rows = L.height;
  if (options_.interlace == 1) {
    total_rows = 0;
    for (const PngPass& pass : kAdam7)
      if (PngPassSize(L.width, pass.x0, pass.dx) > 0)
        total_rows += PngPassSize(L.height, pass.y0, pass.dy);
  }
  int done_rows = 0;
  auto row_done = [&] {
    ++done_rows;
    if (progress_ && (total_rows < 4 || done_rows % 4 == 2))
      progress_(TProgressStage::psRunning, static_cast<int>(int64_t{done_rows} * 100 / total_rows),
                "");
  };

  if (options_.interlace == 1) {
    for (const PngPass& pass : kAdam7) {
      int pw = PngPassSize(L.width, pass.x0, pass.dx);
      int ph = PngPassSize(L.height, pass.y0, pass.dy);
      if (pw == 0 || ph == 0) continue;
      size_t len = (static_cast<size_t>(pw) * L.pixel_bits + 7) / 8;
      std::fill(prev.begin(), prev.end(), 0);
      for (int j = 0; j < ph; ++j) {
        convert_row(pass.y0 + j * pass.dy, full.data());
        extract(pass, pw, pass_row.data());
        emit_row(pass_row.data(), len);
        row_done();
      }
    }
  } else {
    const bool unfiltered = mode < 0 || mode > 5 || mode == 1;
    for (int y = 0; y < L.height; ++y) {
      if (unfiltered) {
        // Filter None: the row is converted straight into the deflater's buffer.
        uint8_t* at = zlib->Reserve(full_len + 1);
        at[0] = kFilterNone;
        convert_row(y, at + 1);
        zlib->Commit(full_len + 1);
      } else {
        convert_row(y, full.data());
        emit_row(full.data(), full_len);
      }
      row_done();
    }
  }
  zlib->Finish();
  zlib.reset();
  if (idat_used > 0) out.WriteChunk("IDAT", idat.data(), idat_used);
  out.WriteChunk("IEND", nullptr, 0);
  out.Flush();
  if (progress_) progress_(TProgressStage::psEnding, 100, "");
}

PngTime PngUtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  return {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
}

}  // namespace pamirune
