// The MAG coder: turns the bytes of a MAG file into an indexed Raster image and back. Private to
// this folder; TMAGImage (mag_image.h) is the public face.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/bitmap.h"

namespace pamirune::mag {

inline constexpr char kSignature[] = "MAKI02  ";
inline constexpr size_t kBlockBytes = 32;      // the header block before the comment
inline constexpr size_t kMagHeaderBytes = 32;  // the MAG header after the comment
inline constexpr size_t kUserNameOffset = 13;
inline constexpr size_t kUserNameBytes = 18;
inline constexpr uint8_t kCommentEnd = 0x1A;

// Where a flag nibble takes its word from: so many lines up and 16-bit words to the left.
struct CopyVector {
  int lines_up;
  int words_left;
};
// Nibble 0 is a literal word; its entry is never used as a reference.
inline constexpr std::array<CopyVector, 16> kCopyVectors = {{{0, 0},
                                                             {0, 1},
                                                             {0, 2},
                                                             {0, 4},
                                                             {1, 0},
                                                             {1, 1},
                                                             {2, 0},
                                                             {2, 1},
                                                             {2, 2},
                                                             {4, 0},
                                                             {4, 1},
                                                             {4, 2},
                                                             {8, 0},
                                                             {8, 1},
                                                             {8, 2},
                                                             {16, 0}}};

// Pixels per flag byte: 8 at 16 colours (two words of four 4-bit pixels), 4 at 256 colours.
inline int Alignment(bool colors256) { return colors256 ? 4 : 8; }

// Everything of a MAG file beside its pixels.
struct MagFile {
  std::array<uint8_t, kBlockBytes> header_block{};
  std::array<uint8_t, kMagHeaderBytes> mag_header{};
  std::string user_name;  // the 18 bytes at offset 13, as they are
  std::string comment;    // the bytes from offset 32 up to the first 0x1A
  bool colors256 = false;
  bool line200 = false;
  uint16_t start_x = 0;  // rounded down to the alignment
  uint16_t start_y = 0;
  int width = 0;  // decoded width, alignment padding on both sides included
  int height = 0;
};

// A header block holding the signature, the machine code and spaces.
std::array<uint8_t, kBlockBytes> FreshHeaderBlock();

// Decodes a whole MAG file. The raster becomes 4 bits per pixel (16 colours) or 8 bits per
// pixel (256 colours) with the file's palette. Damaged files raise EMagError; images over the
// pixel limit raise EImageTooLarge before anything is allocated.
void DecodeMag(const uint8_t* data, size_t size, MagFile& file, TBitmap& raster);

// What the encoder is given beside the raster.
struct EncodeOptions {
  std::string user_name;
  std::string comment;
  bool line200 = false;
  uint16_t start_x = 0;
  uint16_t start_y = 0;
};

// Encodes a 4- or 8-bit raster whose width is a multiple of the alignment. Returns the file's
// bytes; file receives the header block, the MAG header and the comment as written (padded to
// an odd length).
std::vector<uint8_t> EncodeMag(const TBitmap& raster, const EncodeOptions& options, MagFile& file);

}  // namespace pamirune::mag
