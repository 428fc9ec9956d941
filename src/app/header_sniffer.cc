#include "app/header_sniffer.h"

#include <algorithm>
#include <cstring>

#include "raster/byte_order.h"

namespace pamirune {

namespace {
bool BytesAre(const std::array<uint8_t, kHeaderBytes>& h, size_t offset, const char* text) {
  return std::memcmp(h.data() + offset, text, std::strlen(text)) == 0;
}

// An icon directory: reserved 0, type 1 (icon, not cursor), at least one entry, and a first
// entry that can describe an image: 0 or 1 plane, a bit count an icon can have, a size, and
// image data that starts after the directory.
bool LooksLikeIcon(const std::array<uint8_t, kHeaderBytes>& h) {
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

}  // namespace

ImageKind SniffHeader(const std::array<uint8_t, kHeaderBytes>& h) {
  if (BytesAre(h, 0, "BM")) return ImageKind::kBmp;
  if (BytesAre(h, 1, "PNG")) return ImageKind::kPng;
  // A start-of-image marker followed by any marker: JFIF, Exif, Adobe or none at all.
  if ((h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) || BytesAre(h, 6, "JFIF") ||
      BytesAre(h, 6, "Exif"))
    return ImageKind::kJpg;
  if (BytesAre(h, 0, "MAKI")) return ImageKind::kMag;
  if (LooksLikeIcon(h)) return ImageKind::kIco;
  if (BytesAre(h, 0, "GIF")) return ImageKind::kGif;
  // Intel and Motorola byte order, classic (42) and 64-bit (43) directories.
  static const uint8_t kTiff[][4] = {
      {'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
  for (const auto& magic : kTiff)
    if (std::memcmp(h.data(), magic, 4) == 0) return ImageKind::kTif;
  return ImageKind::kNone;
}

bool ExtensionFitsKind(ImageKind kind, const std::string& ext) {
  switch (kind) {
    case ImageKind::kBmp:
      return ext == ".bmp";
    case ImageKind::kPng:
      return ext == ".png";
    case ImageKind::kJpg:
      return ext == ".jpg" || ext == ".jpeg";
    case ImageKind::kMag:
      return ext == ".mag";
    case ImageKind::kIco:
      return ext == ".ico";
    case ImageKind::kGif:
      return ext == ".gif";
    case ImageKind::kTif:
      return ext == ".tif" || ext == ".tiff";
    case ImageKind::kNone:
      break;
  }
  return false;
}

std::string RenameTarget(ImageKind kind) {
  switch (kind) {
    case ImageKind::kBmp:
      return ".bmp";
    case ImageKind::kPng:
      return ".png";
    case ImageKind::kJpg:
      return ".jpg";
    case ImageKind::kMag:
      return ".mag";
    case ImageKind::kIco:
      return ".ico";
    case ImageKind::kGif:
      return ".gif";
    case ImageKind::kTif:
      return ".tif";
    case ImageKind::kNone:
      break;
  }
  return "";
}

std::string KindGuessText(ImageKind kind) {
  static const char* kNames[] = {"", "BMP", "PNG", "JPG", "MAG", "ICO", "GIF", "TIF"};
  return std::string(kNames[static_cast<int>(kind)]) + "形式のファイルと思われます。";
}

bool AcceptedExtension(const std::string& ext) {
  static const char* kAccepted[] = {".jpg", ".jpeg", ".png",  ".mag", ".bmp",
                                    ".ico", ".gif",  ".tiff", ".tif"};
  return std::any_of(std::begin(kAccepted), std::end(kAccepted),
                     [&](const char* a) { return ext == a; });
}

}  // namespace pamirune
