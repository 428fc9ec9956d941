// Options, metadata, message texts and small shared tables of the PNG codec.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "raster/errors.h"
#include "raster/graphic.h"

namespace pamirune {

// The codec's exception; every failure of reading or writing a PNG raises it.
class EPngError : public Exception {
 public:
  using Exception::Exception;
};

// The codec's own texts, exactly as the user sees them.
namespace png_text {
inline constexpr char kErrIdatSize[] = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
inline constexpr char kWriteError[] = "Write Image (PNG): Write Error";
inline constexpr char kNotPng[] = "PNG LoadStream: Not PNG Format";
inline constexpr char kTwoIhdr[] = "Read Header(PNG): appear two IHDR";
inline constexpr char kErrColorType[] = "Read Header(PNG): Error ColorType";
inline constexpr char kErrCompression[] = "Read Header(PNG): not support Compression";
inline constexpr char kErrFilter[] = "Read Header(PNG): not supprt Filter";
inline constexpr char kErrInterlace[] = "Read Header(PNG): not interlace type";
inline constexpr char kErrGreyDepth[] = "Read Header(PNG): Error Bitdepth";
inline constexpr char kErrAlphaDepth[] = "Read Header(PNG): not Use AlphaChannel";
inline constexpr char kErrDepth[] = "Read Header(PNG): Error BitDepth";
inline constexpr char kErrSize[] = "Read Header(PNG): Error ImageSize";
inline constexpr char kNoPalette[] = "Read Image (PNG): no PLTE for a palette image";
inline constexpr char kErrZlib[] = "PNG LoadStream: Error ZLIB";
inline constexpr char kReadError[] = "Read Image (PNG): Read Error";
inline constexpr char kSoftware[] = "KRXPNG ver 3.4";
}  // namespace png_text

// "-1": no colour set (background and transparent colour).
constexpr TColor kPngNoColor = 0xFFFFFFFF;

constexpr int kPngMinIdatSize = 256;
constexpr int kPngMaxIdatSize = 100000;
constexpr int kPngDefaultIdatSize = 32768;

struct PngTime {
  int year = 0;  // written as 16 bits
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const PngTime&) const = default;
};

// Returns the time to stamp into tIME; injectable so that output is reproducible.
using PngClock = std::function<PngTime()>;
// The current system time in universal time.
PngTime PngUtcNow();

struct PngPhysicalSize {
  int unit = 0;  // 0 unknown, 1 per metre, 2 per inch (written as per metre)
  uint32_t x = 0;
  uint32_t y = 0;
  bool operator==(const PngPhysicalSize&) const = default;
};

// Every option and metadata item of a PNG image, with its default.
struct PngOptions {
  int idat_size = kPngDefaultIdatSize;
  int compression_level = -1;  // 0..9; anything else is zlib's default level
  int filter_mode = 1;         // 0 adaptive, 1 None, 2 Sub, 3 Up, 4 Average, 5 Paeth
  int interlace = 0;           // 0 none, 1 Adam7
  bool greyscale = false;
  bool alpha_present = false;  // the alpha mask is valid and written as an alpha channel
  std::string comment;
  TColor background_color = kPngNoColor;
  TColor transparent_color = kPngNoColor;
  double gamma = 0.45455;
  PngPhysicalSize physical_size;
  uint32_t significant_bits = 0;  // red, green, blue, alpha from the lowest byte up
  bool use_current_time = true;
  PngTime stored_time;
  std::array<uint32_t, 8> chromaticities{};
  std::array<uint8_t, 4> gif_extension{};
};

// Colour types of the header.
constexpr int kPngTypeGrey = 0;
constexpr int kPngTypeRgb = 2;
constexpr int kPngTypePalette = 3;
constexpr int kPngTypeGreyAlpha = 4;
constexpr int kPngTypeRgba = 6;

// Compression level for a quality slider position 0..10: 9 - v, and 0 for 9 and 10.
constexpr int PngCompressionLevelForQuality(int v) { return v >= 9 ? 0 : 9 - v; }

// The seven Adam7 passes: first column and row, column and row steps.
struct PngPass {
  int x0, y0, dx, dy;
};
inline constexpr std::array<PngPass, 7> kAdam7 = {{
    {0, 0, 8, 8},
    {4, 0, 8, 8},
    {0, 4, 4, 8},
    {2, 0, 4, 4},
    {0, 2, 2, 4},
    {1, 0, 2, 2},
    {0, 1, 1, 2},
}};
// Pixels of a pass in a dimension of size n (0 when the pass holds none).
constexpr int PngPassSize(int n, int start, int step) {
  return n > start ? (n - start + step - 1) / step : 0;
}

inline constexpr std::array<uint8_t, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                         '\r', '\n', 0x1A, '\n'};

}  // namespace pamirune
