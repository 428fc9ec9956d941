// The PNG writer in its steps: the layout of the file (colour type, depth, palette), the
// chunks before the image data, then every row converted, filtered and deflated into IDAT
// chunks (png_row_encoder.h).
#include "formats/png/png_writer.h"

#include <cmath>
#include <ctime>
#include <string>

#include "formats/png/png_layout.h"
#include "formats/png/png_row_encoder.h"
#include "formats/png/png_stream.h"
#include "raster/byte_order.h"

namespace pamirune {

namespace {

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

void WriteHeader(ImageWriteStream& out, const PngLayout& layout, bool interlace) {
  std::vector<uint8_t> b;
  AppendBe32(b, static_cast<uint32_t>(layout.width));
  AppendBe32(b, static_cast<uint32_t>(layout.height));
  b.push_back(static_cast<uint8_t>(layout.bit_depth));
  b.push_back(static_cast<uint8_t>(layout.color_type));
  b.push_back(0);  // deflate
  b.push_back(0);  // adaptive filtering
  b.push_back(interlace ? 1 : 0);
  out.WriteChunk("IHDR", b);
}

void WriteTime(ImageWriteStream& out, const PngTime& t) {
  if (!ValidTime(t)) return;
  std::vector<uint8_t> b;
  AppendBe16(b, static_cast<uint32_t>(t.year));
  for (int v : {t.month, t.day, t.hour, t.minute, t.second}) b.push_back(static_cast<uint8_t>(v));
  out.WriteChunk("tIME", b);
}

// Comment, program name, the program's own mark and the GIF extension it was given.
void WriteTexts(ImageWriteStream& out, const PngOptions& options) {
  if (!options.comment.empty()) WriteText(out, "Comment", options.comment);
  WriteText(out, "Software", png_text::kSoftware);
  // tpNG: no named row callback and no palette-as-grey mode in this program.
  const uint8_t mark[8] = {'K', 'R', 'X', '3', 0, 0, 0, 0};
  out.WriteChunk("tpNG", mark, sizeof mark);
  if (options.gif_extension[0] || options.gif_extension[1] || options.gif_extension[2])
    out.WriteChunk("gIFg", options.gif_extension.data(), 4);
}

// gAMA, cHRM and sBIT.
void WriteColourSpace(ImageWriteStream& out, const PngLayout& layout, const PngOptions& options) {
  const double scaled = options.gamma * 100000.0;
  if (scaled >= 1.0 && scaled < 4294967296.0) {
    std::vector<uint8_t> b;
    AppendBe32(b, static_cast<uint32_t>(scaled));
    out.WriteChunk("gAMA", b);
  }
  if (options.chromaticities[0] > 0 && options.chromaticities[1] > 0) {
    std::vector<uint8_t> b;
    for (uint32_t v : options.chromaticities) AppendBe32(b, v);
    out.WriteChunk("cHRM", b);
  }
  uint32_t sbit = options.significant_bits;
  if (layout.source_bits == 15 || layout.source_bits == 16) {
    sbit = static_cast<uint32_t>(layout.channel_bits[0]) |
           (static_cast<uint32_t>(layout.channel_bits[1]) << 8) |
           (static_cast<uint32_t>(layout.channel_bits[2]) << 16);
    if (layout.alpha) sbit |= 8u << 24;
  }
  if (sbit > 0 && !layout.greyscale) {
    std::vector<uint8_t> b;
    for (int i = 0; i < (layout.alpha ? 4 : 3); ++i) {
      // A channel of 0 or more than 8 significant bits would make the file invalid; such
      // a channel is declared with all its 8 bits.
      uint8_t bits = static_cast<uint8_t>(sbit >> (8 * i));
      b.push_back(bits == 0 || bits > 8 ? 8 : bits);
    }
    out.WriteChunk("sBIT", b);
  }
}

void WritePalette(ImageWriteStream& out, const PngLayout& layout) {
  if (layout.color_type != kPngTypePalette) return;
  std::vector<uint8_t> b;
  for (const TRGBQuad& q : layout.palette) {
    b.push_back(q.red);
    b.push_back(q.green);
    b.push_back(q.blue);
  }
  out.WriteChunk("PLTE", b);
}

// bKGD and tRNS: one colour each, in the form the colour type gives it. For a palette the
// background is the entry's index and the transparent colour an alpha table that ends with
// it; an entry past the palette would make the file invalid, so the chunk is left out.
void WriteKeyColours(ImageWriteStream& out, const PngLayout& layout, const PngOptions& options) {
  if (options.background_color != kPngNoColor) {
    std::vector<uint8_t> b;
    if (layout.color_type != kPngTypePalette) {
      b = layout.ColourSample(options.background_color);
    } else if (int idx = layout.PaletteIndex(options.background_color); idx >= 0) {
      b.push_back(static_cast<uint8_t>(idx));
    }
    if (!b.empty()) out.WriteChunk("bKGD", b);
  }
  if (options.transparent_color != kPngNoColor && !layout.alpha) {
    std::vector<uint8_t> b;
    if (layout.color_type != kPngTypePalette) {
      b = layout.ColourSample(options.transparent_color);
    } else if (int idx = layout.PaletteIndex(options.transparent_color); idx >= 0) {
      b.assign(static_cast<size_t>(idx) + 1, 255);
      b[static_cast<size_t>(idx)] = 0;
    }
    if (!b.empty()) out.WriteChunk("tRNS", b);
  }
}

void WritePhysicalSize(ImageWriteStream& out, const PngPhysicalSize& p) {
  if (p.x < 1 || p.y < 1 || p.unit < 0 || p.unit > 2) return;
  uint32_t x = p.x, y = p.y;
  if (p.unit == 2) {
    x = static_cast<uint32_t>(static_cast<double>(p.x) * 100.0 / 254.0 * 100.0);
    y = static_cast<uint32_t>(static_cast<double>(p.y) * 100.0 / 254.0 * 100.0);
  }
  std::vector<uint8_t> b;
  AppendBe32(b, x);
  AppendBe32(b, y);
  b.push_back(p.unit == 0 ? 0 : 1);
  out.WriteChunk("pHYs", b);
}

}  // namespace

PngWriteStream::PngWriteStream(TStream& stream, const PngOptions& options)
    : stream_(stream), options_(options), clock_(PngUtcNow) {}

void PngWriteStream::Write(const TBitmap& image) {
  if (options_.idat_size < kPngMinIdatSize || options_.idat_size > kPngMaxIdatSize)
    throw EPngError(png_text::kErrIdatSize);
  // A PNG holds at least one pixel; an empty image cannot be written as one.
  if (image.Empty()) throw EPngError(png_text::kWriteError);

  const PngLayout layout(image, alpha_, options_.greyscale);
  if (progress_) progress_(TProgressStage::psStarting, 0, "");
  ImageWriteStream out(stream_);
  out.Write(kPngSignature.data(), kPngSignature.size());

  WriteHeader(out, layout, options_.interlace == 1);
  WriteTime(out,
            options_.use_current_time ? (clock_ ? clock_() : PngUtcNow()) : options_.stored_time);
  WriteTexts(out, options_);
  WriteColourSpace(out, layout, options_);
  WritePalette(out, layout);
  WriteKeyColours(out, layout, options_);
  WritePhysicalSize(out, options_.physical_size);

  PngRowEncoder encoder(image, alpha_, layout, options_, out);
  encoder.SetProgress(progress_);
  encoder.WriteImageData();
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
