#include "app/output_formats.h"

#include <algorithm>
#include <cstring>

#include "app/output_writer.h"
#include "raster/byte_order.h"

namespace pamirune {
namespace {

bool BytesAre(const FileHeader& h, size_t offset, const char* text) {
  return std::memcmp(h.data() + offset, text, std::strlen(text)) == 0;
}

bool BmpSignature(const FileHeader& h) { return BytesAre(h, 0, "BM"); }

// A start-of-image marker followed by any marker: JFIF, Exif, Adobe or none at all.
bool JpegSignature(const FileHeader& h) {
  return (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) || BytesAre(h, 6, "JFIF") ||
         BytesAre(h, 6, "Exif");
}

bool PngSignature(const FileHeader& h) { return BytesAre(h, 1, "PNG"); }

bool MagSignature(const FileHeader& h) { return BytesAre(h, 0, "MAKI"); }

// An icon directory: reserved 0, type 1 (icon, not cursor), at least one entry, and a first
// entry that can describe an image: 0 or 1 plane, a bit count an icon can have, a size, and
// image data that starts after the directory.
bool IconSignature(const FileHeader& h) {
  if (GetLe16(h, 0) != 0 || GetLe16(h, 2) != 1) return false;
  const uint32_t count = GetLe16(h, 4);
  if (count == 0) return false;
  if (GetLe16(h, 10) > 1) return false;
  const uint32_t bits = GetLe16(h, 12);
  if (bits != 0 && bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
      bits != 32)
    return false;
  return GetLe32(h, 14) != 0 && GetLe32(h, 18) >= 6 + 16 * count;
}

bool GifSignature(const FileHeader& h) { return BytesAre(h, 0, "GIF"); }

// Intel and Motorola byte order, classic (42) and 64-bit (43) directories.
bool TiffSignature(const FileHeader& h) {
  static const uint8_t kTiff[][4] = {
      {'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
  for (const auto& magic : kTiff)
    if (std::memcmp(h.data(), magic, 4) == 0) return true;
  return false;
}

using S = ConversionSettings;
using F = OutputFormat;
using W = WriterSource;

// What follows when a box changes, and what it enables (see app/enabling_rules.h):
//   png, ico, gif enable "透過"; tif runs its rule without enabling it;
//   jpg, png enable the level group; ico the icon size; pdf "Pdf一括";
//   gif enables "Gifｱﾆﾒ" and the delay, and tif runs that rule too.
constexpr unsigned kT = kTransparencyControl, kL = kLevelControl, kI = kIconSizeControl,
                   kP = kPdfBatchControl, kG = kGifAnimeControl;

// clang-format off
const OutputFormatInfo kRows[] = {
  // format  names            INI    settings flag  bar drives   enables  signature      rank source      from dib writer
  {F::kBmp, {"bmp", nullptr}, "bmp", &S::write_bmp, 0, 0,        0,       BmpSignature,  0, W::kDib,     true,  MakeBmpWriter},
  {F::kJpg, {"jpg", "jpeg"},  "jpg", &S::write_jpg, 1, kL,       kL,      JpegSignature, 2, W::kWorking, false, MakeJpegWriter},
  {F::kPng, {"png", nullptr}, "png", &S::write_png, 2, kT | kL,  kT | kL, PngSignature,  1, W::kBitmap,  false, MakePngWriter},
  {F::kMag, {"mag", nullptr}, "mag", &S::write_mag, 3, 0,        0,       MagSignature,  3, W::kDib,     false, MakeMagWriter},
  {F::kIco, {"ico", nullptr}, "ico", &S::write_ico, 4, kT | kI,  kT | kI, IconSignature, 4, W::kBitmap,  false, MakeIconWriter},
  {F::kPdf, {"pdf", nullptr}, "pdf", &S::write_pdf, 7, kP,       kP,      nullptr,       0, W::kBitmap,  false, MakePdfWriter},
  {F::kGif, {"gif", nullptr}, "gif", &S::write_gif, 5, kT | kG,  kT | kG, GifSignature,  5, W::kBitmap,  false, MakeGifWriter},
  {F::kTif, {"tif", "tiff"},  "tif", &S::write_tif, 6, kT | kG,  0,       TiffSignature, 6, W::kBitmap,  false, MakeTiffWriter},
};
// clang-format on

static_assert(std::size(kRows) == kOutputFormatCount);

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kRows; }

const OutputFormatInfo& FormatInfo(OutputFormat format) {
  return kRows[static_cast<size_t>(format)];
}

const OutputFormatInfo* FindFormatByName(std::string_view name) {
  for (const auto& row : kRows)
    for (const char* n : row.names)
      if (n && name == n) return &row;
  return nullptr;
}

const char* FormatToken(OutputFormat format) { return FormatInfo(format).Token(); }

bool FormatTicked(const ConversionSettings& settings, OutputFormat format) {
  return settings.*FormatInfo(format).ticked;
}

bool& FormatField(ConversionSettings& settings, OutputFormat format) {
  return settings.*FormatInfo(format).ticked;
}

bool AnyTickedEnables(const ConversionSettings& settings, unsigned control) {
  return std::any_of(std::begin(kRows), std::end(kRows), [&](const OutputFormatInfo& row) {
    return (row.enables & control) && settings.*row.ticked;
  });
}

bool ConversionSettings::AnyFormat() const {
  return std::any_of(std::begin(kRows), std::end(kRows),
                     [&](const OutputFormatInfo& row) { return this->*row.ticked; });
}

const std::array<OutputFormat, kOutputFormatCount>& FormatBarOrder() {
  static const std::array<OutputFormat, kOutputFormatCount> order = [] {
    std::array<OutputFormat, kOutputFormatCount> bar{};
    for (const auto& row : kRows) bar[row.bar_position] = row.format;
    return bar;
  }();
  return order;
}

}  // namespace pamirune
