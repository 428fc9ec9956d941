// Recognises an image file's real kind from its first bytes, by the signatures of the
// output-format table.
#pragma once

#include <optional>
#include <string>

#include "app/output_formats.h"

namespace pamirune {

// The format of the first signature that matches, in the order of the rows' ranks; nullopt for
// none. Every valid file of a kind matches its row: any JPEG start of image, TIFF of either byte
// order (and its 64-bit form), an icon by its directory rather than by its first image's size.
std::optional<OutputFormat> SniffHeader(const FileHeader& header);
// True when the lower-cased extension (with its dot) is taken as correct for the kind
// (".tif" and ".tiff" both for TIFF).
bool ExtensionFitsKind(OutputFormat kind, const std::string& lower_extension);
// ".bmp", ".png", ".jpg", ".mag", ".ico", ".gif", ".tif".
std::string RenameTarget(OutputFormat kind);
// "BMP形式のファイルと思われます。" and so on.
std::string KindGuessText(OutputFormat kind);
// The extensions the batch accepts (lower case, dot included).
bool AcceptedExtension(const std::string& lower_extension);

}  // namespace pamirune
