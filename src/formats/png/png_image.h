// The PNG graphic kind: PngImage holds a Raster image, an optional alpha mask (255 minus
// alpha, so 0 is opaque) and the PNG options and metadata; it reads with PngReadStream and
// writes with PngWriteStream.
//
//   PngImage png;
//   png.Assign(dib);                              // any graphic; usually an 8- or 24-bit TBitmap
//   png.SetTransparentColor(bitmap.Pixel(0, 0));  // optional
//   png.SetCompressionLevel(PngCompressionLevelForQuality(v));
//   png.SaveToFile("out.png");
//   ...
//   png.LoadFromFile("in.png");  bitmap.Assign(png);
#pragma once

#include <memory>

#include "formats/png/png_types.h"
#include "raster/bitmap.h"

namespace pamirune {

class PngImage : public TGraphic {
 public:
  PngImage();
  PngImage(const PngImage& other);
  PngImage& operator=(const PngImage& other);

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<PngImage>(); }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<PngImage>(*this); }
  // From another PngImage: both rasters and every option and metadata item except the
  // alpha-present flag. From any other graphic: the raster takes it over, options and
  // metadata stay, the alpha mask (which described the old pixels) is dropped.
  void Assign(const TGraphic& source) override;
  // Hands over the image raster.
  void ToBitmap(TBitmap& dest) const override { dest = image_; }
  // Hands the image raster over; the alpha mask stays.
  void MoveToBitmap(TBitmap& dest) override { image_.MoveToBitmap(dest); }
  const char* ClassName() const override { return "PngImage"; }

  bool Empty() const override { return image_.Empty(); }
  int Width() const override { return image_.Width(); }
  int Height() const override { return image_.Height(); }
  void SetWidth(int width) override;
  void SetHeight(int height) override;
  bool Transparent() const override { return image_.Transparent(); }
  void SetTransparent(bool value) override { image_.SetTransparent(value); }
  void Draw(TBitmap& target, const TRect& rect) const override { target.StretchDraw(rect, image_); }

  void LoadFromStream(TStream& stream) override;
  // Raises EPngError (IDAT size out of range, empty image, compression failure).
  void SaveToStream(TStream& stream) const override;
  // Writes image, which stands in for the held raster, with this image's options and without
  // an alpha mask: a writer whose pixels live elsewhere need not copy them in.
  void SaveRasterToFile(const TBitmap& image, const std::string& file_name) const;
  // Form persistence: the PNG encoding; nothing is written for an empty image.
  void ReadData(TStream& stream) { LoadFromStream(stream); }
  void WriteData(TStream& stream) const;

  TBitmap& Bitmap() { return image_; }
  const TBitmap& Bitmap() const { return image_; }
  TBitmap& AlphaMask() { return alpha_; }
  const TBitmap& AlphaMask() const { return alpha_; }

  PngOptions& Options() { return options_; }
  const PngOptions& Options() const { return options_; }

  // kPngNoColor switches transparency off on the raster; any other value becomes the
  // raster's transparent colour (a palette index with bit 24 shows as that entry's colour).
  void SetTransparentColor(TColor color);
  TColor TransparentColor() const { return options_.transparent_color; }
  void SetCompressionLevel(int level) { options_.compression_level = level; }

  // The clock stamped into tIME when the current time is used.
  void SetClock(PngClock clock) { clock_ = std::move(clock); }

 private:
  TBitmap image_;
  TBitmap alpha_;
  PngOptions options_;
  PngClock clock_;
};

// Registers PngImage for the extension "PNG" ("PNG Format"); runs once.
void RegisterPngGraphic();

}  // namespace pamirune
