#include "app/header_sniffer.h"

#include <algorithm>
#include <cstring>

namespace pamirune {

namespace {
bool BytesAre(const std::array<uint8_t, kHeaderBytes>& h, size_t offset, const char* text) {
  return std::memcmp(h.data() + offset, text, std::strlen(text)) == 0;
}
}  // namespace

ImageKind SniffHeader(const std::array<uint8_t, kHeaderBytes>& h) {
  if (BytesAre(h, 0, "BM")) return ImageKind::kBmp;
  if (BytesAre(h, 1, "PNG")) return ImageKind::kPng;
  if (BytesAre(h, 6, "JFIF") || BytesAre(h, 6, "Exif")) return ImageKind::kJpg;
  if (BytesAre(h, 0, "MAKI")) return ImageKind::kMag;
  // The low half of the first icon entry's image size, for the usual icon sizes and depths.
  static const uint8_t kIconSizes[][2] = {{0x28, 0x24}, {0xA8, 0x08}, {0x28, 0x01}, {0x28, 0x16},
                                          {0x68, 0x05}, {0xE8, 0x02}, {0xA8, 0x0E}};
  for (const auto& pair : kIconSizes)
    if (h[14] == pair[0] && h[15] == pair[1]) return ImageKind::kIco;
  if (BytesAre(h, 0, "GIF")) return ImageKind::kGif;
  if (BytesAre(h, 0, "II*")) return ImageKind::kTif;
  return ImageKind::kNone;
}

bool ExtensionFitsKind(ImageKind kind, const std::string& ext) {
  switch (kind) {
    case ImageKind::kBmp: return ext == ".bmp";
    case ImageKind::kPng: return ext == ".png";
    case ImageKind::kJpg: return ext == ".jpg" || ext == ".jpeg";
    case ImageKind::kMag: return ext == ".mag";
    case ImageKind::kIco: return ext == ".ico";
    case ImageKind::kGif: return ext == ".gif";
    case ImageKind::kTif: return ext == ".tif";
    case ImageKind::kNone: break;
  }
  return false;
}

std::string RenameTarget(ImageKind kind) {
  switch (kind) {
    case ImageKind::kBmp: return ".bmp";
    case ImageKind::kPng: return ".png";
    case ImageKind::kJpg: return ".jpg";
    case ImageKind::kMag: return ".mag";
    case ImageKind::kIco: return ".ico";
    case ImageKind::kGif: return ".gif";
    case ImageKind::kTif: return ".tif";
    case ImageKind::kNone: break;
  }
  return "";
}

std::string KindGuessText(ImageKind kind) {
  static const char* kNames[] = {"", "BMP", "PNG", "JPG", "MAG", "ICO", "GIF", "TIF"};
  return std::string(kNames[static_cast<int>(kind)]) + "形式のファイルと思われます。";
}

bool AcceptedExtension(const std::string& ext) {
  static const char* kAccepted[] = {".jpg", ".jpeg", ".png", ".mag", ".bmp",
                                    ".ico", ".gif",  ".tiff", ".tif"};
  return std::any_of(std::begin(kAccepted), std::end(kAccepted),
                     [&](const char* a) { return ext == a; });
}

std::string ExtractFileExt(const std::string& path) {
  auto dot = path.find_last_of('.');
  auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  std::string ext = ExtractFileExt(path);
  return path.substr(0, path.size() - ext.size()) + extension;
}

}  // namespace pamirune
