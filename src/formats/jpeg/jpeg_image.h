// JPEG files: the graphic kind TJPEGImage, registered for "jpeg" and "jpg". The encoded bytes
// live in a shared TJPEGData; the decoded raster is made on first need. Loading reads only the
// header; Compress encodes the raster at the quality set; saving writes the encoded bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

// A fatal error of the JPEG library: "JPEG ｴﾗｰ #" and the library's message code.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// The encoded form, shared by images assigned from one another and replaced, never
// rewritten, when an image loads or compresses.
struct TJPEGData {
  std::vector<uint8_t> stream;  // the encoded file; empty when there is none
  int height = 0;
  int width = 0;
  bool grayscale = false;
  int orientation = 1;  // as the file's EXIF data says
};

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;

  std::unique_ptr<TGraphic> NewOfSameKind() const override {
    return std::make_unique<TJPEGImage>();
  }
  // From a TJPEGImage: shares its data and copies its raster. From a TBitmap: a copy of it as
  // the raster and no encoded bytes. Others as any graphic.
  void Assign(const TGraphic& source) override;
  // Decodes first when needed.
  void ToBitmap(TBitmap& dest) const override;
  // Decodes when needed and hands the raster over; the encoded bytes stay.
  void MoveToBitmap(TBitmap& dest) override;
  const char* ClassName() const override { return "TJPEGImage"; }
  // The EXIF orientation of the loaded file; the decoded raster stays as stored.
  int Orientation() const override { return data_->orientation; }

  bool Empty() const override;
  int Width() const override;
  int Height() const override;
  // Always fail: "JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません".
  void SetWidth(int width) override;
  void SetHeight(int height) override;

  // Reads the rest of the stream and its JPEG header; decoding waits until pixels are needed.
  void LoadFromStream(TStream& stream) override;
  // Writes the encoded bytes, compressing first when there are none.
  void SaveToStream(TStream& stream) const override;

  // Encodes the raster into fresh shared data (no bytes at all for an image without pixels).
  void Compress();
  // Encodes raster straight from its rows into fresh shared data and keeps no raster: the
  // image then holds only the encoded bytes.
  void CompressFrom(const TBitmap& raster);
  // Decodes now if there are encoded bytes and no raster yet.
  void DIBNeeded() const;

  const std::vector<TRGBQuad>& Palette() const;

  int CompressionQuality() const { return compression_quality_; }
  void SetCompressionQuality(int value) { compression_quality_ = value; }
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool value);
  TJPEGPixelFormat PixelFormat() const { return pixel_format_; }
  void SetPixelFormat(TJPEGPixelFormat value);
  void SetPerformance(TJPEGPerformance value);
  void SetProgressiveDisplay(bool value) { progressive_display_ = value; }
  bool ProgressiveEncoding() const { return progressive_encoding_; }
  void SetProgressiveEncoding(bool value) { progressive_encoding_ = value; }
  TJPEGScale Scale() const { return scale_; }
  void SetScale(TJPEGScale value);
  void SetSmoothing(bool value);

  const TJPEGData& Data() const { return *data_; }
  // The encoded form itself, for a holder that keeps the bytes beyond the image's life.
  std::shared_ptr<const TJPEGData> SharedData() const { return data_; }
  // The decoded raster, or nullptr while there is none.
  const TBitmap* Raster() const { return raster_.get(); }

  // The pixel format new images decode to: 24 bits.
  static TJPEGPixelFormat DefaultPixelFormat();

 private:
  void CompressNow() const;
  // A decoding setting changed: a raster decoded from the encoded bytes is made again.
  void DecodingChanged();

  mutable std::shared_ptr<const TJPEGData> data_;
  mutable std::unique_ptr<TBitmap> raster_;
  int compression_quality_ = 90;
  bool grayscale_ = false;
  TJPEGPixelFormat pixel_format_;
  TJPEGPerformance performance_ = TJPEGPerformance::jpBestQuality;
  bool progressive_display_ = false;
  bool progressive_encoding_ = false;
  TJPEGScale scale_ = TJPEGScale::jsFullSize;
  bool smoothing_ = true;
};

// Registers TJPEGImage for "jpeg" and "jpg" (once, however often it is called).
void RegisterJpegGraphic();

}  // namespace pamirune
