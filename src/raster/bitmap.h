// TBitmap, the Raster image: the in-memory form every reader produces and every writer consumes.
// Rows are kept bottom-up and padded to 4 bytes, as a BMP file holds them; ScanLine(y) counts
// rows from the top.
//
// Pixel layouts by format:
//   pf1bit, pf4bit, pf8bit  palette indices, most significant bits first; the palette always
//                           exists (a new image gets black and white, the 16-colour system
//                           palette or the halftone palette); indices past its end read black
//   pf15bit                 16-bit little-endian 0RRRRRGG GGGBBBBB, no masks
//   pf16bit                 16-bit little-endian under the three masks (0xF800, 0x07E0, 0x001F
//                           unless a file brought others)
//   pf24bit, pfDevice       blue, green, red bytes (the device format is 24-bit true colour)
//   pf32bit                 blue, green, red, unused bytes; with masks: a 32-bit little-endian
//                           value under the three masks
// Codecs that need colours rather than the raw layout use ReadRow / WriteRow.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster/graphic.h"

namespace pamirune {

enum class TPixelFormat {
  pfDevice,
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,
  pf16bit,
  pf24bit,
  pf32bit,
  pfCustom
};
enum class TTransparentMode { tmAuto, tmFixed };

// Images whose pixel count passes the pixel limit are refused before anything is allocated.
// Writing one image in every format in full colour holds about 25 bytes per pixel at its peak,
// so the default of 2^26 pixels (8192 x 8192, more than any camera's photo up to 64 megapixels)
// keeps a conversion under about 1.7 GB.
constexpr int64_t kMaxPixels = int64_t{1} << 26;
// The limit in force, one for the whole process (fuzzing runs lower it to stay fast).
int64_t PixelLimit();
void SetPixelLimit(int64_t pixels);

// Bits per pixel of a format; the device format is kept as 24 bits.
int BitsPerPixel(TPixelFormat format);
// Bytes of one row, padded to 4 bytes. Throws EImageTooLarge on overflow.
int64_t RowBytes(int width, int bits_per_pixel);
// Checks width/height against the pixel limit and returns the padded buffer size.
// Throws EImageTooLarge (or EInvalidGraphic for negative sizes).
int64_t CheckedImageBytes(int width, int height, int bits_per_pixel);

class TBitmap : public TGraphic {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat format);
  // Takes over bits, which must hold exactly the padded rows, bottom-up, of that size and
  // format (EInvalidGraphic otherwise); palette formats get the default palette.
  TBitmap(int width, int height, TPixelFormat format, std::vector<uint8_t>&& bits);

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<TBitmap>(); }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmap>(*this); }
  void Assign(const TGraphic& source) override;
  bool AssignTo(TGraphic& dest) const override;
  void ToBitmap(TBitmap& dest) const override { dest = *this; }
  void MoveToBitmap(TBitmap& dest) override;
  const char* ClassName() const override { return "TBitmap"; }

  bool Empty() const override { return width_ == 0 || height_ == 0; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetWidth(int width) override { SetSize(width, height_); }
  void SetHeight(int height) override { SetSize(width_, height); }
  // Resizes keeping the top-left part of the pixels; new pixels are white (palette images:
  // the nearest palette entry to white).
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return format_; }
  // Redraws the pixels in the new format, mapping colours to the nearest palette entry
  // without dithering. pfCustom raises EInvalidGraphic("画像ﾌｫｰﾏｯﾄが不正です").
  void SetPixelFormat(TPixelFormat format);
  int BitCount() const { return BitsPerPixel(format_); }

  // Palette (1, 4 and 8 bits): up to 256 entries.
  const std::vector<TRGBQuad>& Palette() const { return palette_; }
  void SetPalette(std::vector<TRGBQuad> palette);

  // Bit-field masks for 16 and 32 bits (red, green, blue); empty when none are set.
  bool HasMasks() const { return has_masks_; }
  const std::array<uint32_t, 3>& Masks() const { return masks_; }
  void SetMasks(uint32_t red, uint32_t green, uint32_t blue);

  bool Monochrome() const;

  // Transparency: with mode tmAuto the colour is that of the bottom-left pixel; a monochrome
  // image answers white.
  TTransparentMode TransparentMode() const { return transparent_mode_; }
  void SetTransparentMode(TTransparentMode mode) { transparent_mode_ = mode; }
  TColor TransparentColor() const;
  void SetTransparentColor(TColor color) {
    transparent_color_ = color;
    transparent_mode_ = TTransparentMode::tmFixed;
  }

  // Pixel rows. ScanLine(0) is the top row.
  uint8_t* ScanLine(int y) { return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_; }
  const uint8_t* ScanLine(int y) const {
    return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_;
  }
  int Stride() const { return stride_; }
  // The whole buffer, bottom-up, as a BMP file stores it.
  std::vector<uint8_t>& Bits() { return bits_; }
  const std::vector<uint8_t>& Bits() const { return bits_; }

  // The colour of pixel (x, y) as an RGB colour value; outside the image: black.
  TColor Pixel(int x, int y) const;
  // The raw value of pixel (x, y): palette index or packed colour.
  uint32_t RawPixel(int x, int y) const;
  // Sets pixel (x, y): true-colour formats take the colour, palette formats the nearest entry.
  void SetPixel(int x, int y, TColor color);
  void SetRawPixel(int x, int y, uint32_t value);
  // Index of the palette entry nearest to colour (squared RGB distance, lowest index on ties),
  // among the entries the pixel format can address.
  int NearestPaletteIndex(TColor color) const;
  // The entries of the palette the pixel format can address (all of them for true colour).
  int UsablePaletteSize() const;
  // Fills the whole image with one colour.
  void Fill(TColor color);

  // Row access in colours, whatever the pixel format: ReadRow decodes the width_ pixels of row
  // y (0 = top) into out; WriteRow stores colours (palette formats: the nearest entry). For
  // many rows at once prefer a TRowReader / TRowWriter (below), which set up their tables once.
  void ReadRow(int y, TColor* out) const;
  void WriteRow(int y, const TColor* colors);

  // Canvas: draw a graphic stretched into rect with plain nearest-neighbour (target pixel
  // (x, y) takes source pixel (x * sw / tw, y * sh / th)).
  void StretchDraw(const TRect& rect, const TGraphic& graphic);
  // Copies source into this image at (x, y), unscaled, clipped.
  void CopyFrom(const TBitmap& source, int x, int y);

  // BMP file form: set when the image was read from an OS/2 (12-byte header) file and is
  // written back in that form.
  bool Os2Format() const { return os2_format_; }
  void SetOs2Format(bool value) { os2_format_ = value; }
  // Resolution (pixels per metre) written into BMP headers.
  int XPelsPerMeter() const { return x_pels_per_meter_; }
  int YPelsPerMeter() const { return y_pels_per_meter_; }
  void SetResolution(int x, int y) {
    x_pels_per_meter_ = x;
    y_pels_per_meter_ = y;
  }

  void LoadFromStream(TStream& stream) override;      // BMP file
  void SaveToStream(TStream& stream) const override;  // BMP file

 private:
  void Allocate(int width, int height, TPixelFormat format);
  // Takes over the pixels, size, format, palette and masks of other (the BMP reader and the
  // format change build the new image beside the old one and swap it in when complete).
  void TakePixels(TBitmap&& other);
  void Blit(const TBitmap& source, const TRect& rect);

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pfDevice;
  int stride_ = 0;
  std::vector<uint8_t> bits_;
  std::vector<TRGBQuad> palette_;
  std::array<uint32_t, 3> masks_{};
  bool has_masks_ = false;
  TTransparentMode transparent_mode_ = TTransparentMode::tmAuto;
  TColor transparent_color_ = 0;
  bool os2_format_ = false;
  int x_pels_per_meter_ = 0;
  int y_pels_per_meter_ = 0;
};

// A colour value as a colour: with the palette-index flag, the colour of that entry of the
// image's palette (black past its end).
TColor ResolveColor(const TBitmap& image, TColor color);

// Nearest palette entry for many colours: exact (squared RGB distance, lowest index on ties),
// with the candidates of each 8 x 8 x 8 colour cell worked out once, on first use, and a small
// cache of the colours seen last.
class TNearestColorMapper {
 public:
  TNearestColorMapper(const TRGBQuad* palette, int count);
  explicit TNearestColorMapper(const std::vector<TRGBQuad>& palette)
      : TNearestColorMapper(palette.data(), static_cast<int>(palette.size())) {}
  int Index(TColor color);

 private:
  static constexpr int kCellBits = 5;  // per channel
  static constexpr uint32_t kCacheSize = 4096;
  int Linear(int r, int g, int b) const;
  void BuildCell(int cell);

  std::vector<TRGBQuad> palette_;
  std::vector<int32_t> cell_start_;   // per cell: start in candidates_, -1 = not built
  std::vector<uint16_t> candidates_;  // per cell: count, then the entry indices in order
  std::vector<uint32_t> cache_key_ = std::vector<uint32_t>(kCacheSize, 0);  // colour | 1 << 24
  std::vector<uint8_t> cache_index_ = std::vector<uint8_t>(kCacheSize, 0);
};

// Decodes rows of one image into colours; the tables are set up once.
class TRowReader {
 public:
  explicit TRowReader(const TBitmap& bitmap);
  // Pixels x0 .. x0 + count - 1 of row y (0 = top); the range must lie inside the image.
  void Read(int y, int x0, int count, TColor* out) const;

 private:
  struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::array<uint8_t, 256> expand{};
  };
  static void InitChannel(Channel& c, uint32_t mask);
  static uint8_t Decode(const Channel& c, uint32_t value);

  const TBitmap& bitmap_;
  int kind_ = 0;
  std::array<TColor, 256> lut_{};
  Channel channels_[3];
};

// Encodes colours into rows of one image (palette formats: nearest entry, no dithering).
class TRowWriter {
 public:
  explicit TRowWriter(TBitmap& bitmap);
  // Stores pixels x0 .. x0 + count - 1 of row y (0 = top); the range must lie inside the image.
  void Write(int y, int x0, int count, const TColor* colors);
  // The raw value a colour becomes in this image (palette index or packed pixel).
  uint32_t Encode(TColor color);
  // The bits an 8-bit channel value takes under a mask (fields wider than 8 bits repeat it).
  static uint32_t EncodeChannel(uint32_t mask, uint8_t value);

 private:
  TBitmap& bitmap_;
  int kind_ = 0;
  std::unique_ptr<TNearestColorMapper> mapper_;
  std::array<std::array<uint32_t, 256>, 3> packed_{};  // masked layouts: each channel's bits
  std::vector<uint8_t> indices_;
};

}  // namespace pamirune
