// Recognises an image file's real kind from its first bytes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/file_path.h"

namespace pamirune {

enum class ImageKind { kNone, kBmp, kPng, kJpg, kMag, kIco, kGif, kTif };

// Enough for the icon directory's whole first entry (bytes 6 to 21).
constexpr size_t kHeaderBytes = 22;

// The kind of the first signature that matches, in the table's order; kNone for none. Every
// valid file of a kind matches its row: any JPEG start of image, TIFF of either byte order
// (and its 64-bit form), an icon by its directory rather than by its first image's size.
ImageKind SniffHeader(const std::array<uint8_t, kHeaderBytes>& header);
// True when the lower-cased extension (with its dot) is taken as correct for the kind
// (".tif" and ".tiff" both for TIFF).
bool ExtensionFitsKind(ImageKind kind, const std::string& lower_extension);
// ".bmp", ".png", ".jpg", ".mag", ".ico", ".gif", ".tif".
std::string RenameTarget(ImageKind kind);
// "BMP形式のファイルと思われます。" and so on.
std::string KindGuessText(ImageKind kind);
// The extensions the batch accepts (lower case, dot included).
bool AcceptedExtension(const std::string& lower_extension);

}  // namespace pamirune
