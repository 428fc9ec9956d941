// Icon files (.ico): the two writers of the conversion (the opaque writer, storing a DIB image
// as it is with an all-opaque mask, and IconBuilder, making a mask from a key colour and storing
// a 256-colour icon) and the graphic kind TIcon that reads icon files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/dib_image.h"
#include "raster/errors.h"

namespace pamirune {

// Text of a file that is no usable icon (cursor files included).
inline constexpr char kInvalidIcon[] = "ｱｲｺﾝｲﾒｰｼﾞが不正です";

// The opaque writer: 4- and 8-bit RLE become plain, 24 bits are reduced to 8 by the DIB image;
// full colour tables, colours-used 0, header height doubled, all-zero mask.
std::vector<uint8_t> EncodeOpaqueIcon(const DibImage& dib);
void SaveOpaqueIcon(const DibImage& dib, const std::string& file_name);
// The same from a Raster image, taken into a DIB image first (as the conversion does).
void SaveOpaqueIcon(const TBitmap& bitmap, const std::string& file_name);

// An icon made by IconBuilder: colour image (24 bits, black where transparent) and mask
// (1 bit, index 1 = transparent), both size x size.
struct TIconImage {
  TBitmap color;
  TBitmap mask;
};

class IconBuilder {
 public:
  // Pure red 250, green 249, blue 248: stands for black while black marks the key colour.
  static constexpr TColor kPlaceholder = RGB(250, 249, 248);

  // The bitmap at the top-left of a size x size image (not stretched); the key colour is that
  // of its bottom-left pixel.
  TIconImage MakeIcon(const TBitmap& bitmap, int size) const;
  // Always 8 bits per pixel with 256 colours (a fixed palette, nearest colours) plus the mask.
  std::vector<uint8_t> EncodeIcon(const TIconImage& icon) const;
  void SaveIcon(const TIconImage& icon, const std::string& file_name) const;
  void MakeAndSave(const TBitmap& bitmap, const std::string& file_name, int size) const;
};

// What the conversion writes with transparency on.
void SaveTransparentIcon(const TBitmap& bitmap, const std::string& file_name, int icon_size);

// The icon graphic kind: reads an icon file and keeps its bytes. Of several images it takes
// the one closest to 32 x 32, then the deepest; an image over the pixel limit is never taken
// (EImageTooLarge when no other is left). Images stored as PNG are decoded by the PNG reader.
// Draws with its mask onto white at the chosen image's own size.
class TIcon : public TGraphic {
 public:
  static constexpr int kStandardSize = 32;

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<TIcon>(); }
  const char* ClassName() const override { return "TIcon"; }
  // A 24-bit image of the chosen entry's size: the icon drawn with its mask onto white.
  void ToBitmap(TBitmap& dest) const override;
  bool Empty() const override { return image_.Empty(); }
  int Width() const override { return image_.Width(); }
  int Height() const override { return image_.Height(); }

  // Raises EInvalidGraphic(kInvalidIcon) for cursors and damaged files.
  void LoadFromStream(TStream& stream) override;
  // The file as it was read.
  void SaveToStream(TStream& stream) const override;

 private:
  std::vector<uint8_t> file_;
  TBitmap image_;
  std::vector<uint8_t> opacity_;
  std::vector<uint8_t> invert_;
};

// Registers TIcon for "ico", replacing the built-in entry that cannot load.
void RegisterIconGraphic();

}  // namespace pamirune
