// DibImage: the device-independent image kind used to fix an image's colour depth before it is
// written. Its DibData is shared between copies and copied before a change (copy-on-write).
//
// Typical use:
//   DibImage dib;
//   dib.Assign(working_bitmap);                     // 16/32 bits become 24
//   dib.SetPixelFormat(DibPixelFormat::k8Bit);      // or k24Bit
//   dib.SaveToFile(output_base + "bmp");            // BMP file, written atomically
//   TBitmap back;  back.Assign(dib);                // 8-bit DIB -> pf8bit, same palette/indices
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/dib_data.h"

namespace pamirune {

class DibImage : public TGraphic {
 public:
  // Convert modes of the 24 -> 8 bit conversion.
  static constexpr int kConvertNormal = 0;
  static constexpr int kConvertFine = 1;

  DibImage();

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<DibImage>(); }
  // A copy shares the pixel data until either side changes it.
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<DibImage>(*this); }
  // From a TBitmap (1, 4, 8, 24 bits kept; 15, 16 and 32 become 24), from another DibImage
  // (shares its data and copies its settings) or from any kind through its TBitmap rendering.
  void Assign(const TGraphic& source) override;
  // Assign(bitmap) for a bitmap not needed afterwards: pixels already in the DIB layout are
  // taken over, not copied. The bitmap is empty afterwards.
  void Adopt(TBitmap&& bitmap);
  // To a TBitmap (1 -> pf1bit, 4 and 4 RLE -> pf4bit, 8 and 8 RLE -> pf8bit, 24 -> pf24bit, with
  // the colour table as palette) or to another DibImage.
  bool AssignTo(TGraphic& dest) const override;
  void ToBitmap(TBitmap& dest) const override;
  // ToBitmap, handing the pixels over when no other image shares them; this image is then
  // empty.
  void MoveToBitmap(TBitmap& dest) override;
  const char* ClassName() const override { return "DibImage"; }

  bool Empty() const override { return data_->Empty(); }
  int Width() const override { return data_->Width(); }
  int Height() const override { return data_->Height(); }

  // BMP files.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // The clipboard's packed-DIB form.
  void LoadFromClipboardFormat(const uint8_t* bytes, size_t size);
  std::vector<uint8_t> SaveToClipboardFormat() const;

  // Raises EDibError when the data's bit count and compression name no format.
  DibPixelFormat PixelFormat() const;
  // Converts to the format (nothing happens when it is already that format). Targets reached:
  // every format but the two RLE ones, which raise "SetPixelFormat: Invalid Pixel Format
  // Conversion". A failed conversion leaves the image unchanged.
  void SetPixelFormat(DibPixelFormat format);

  int ConvertMode() const { return convert_mode_; }
  void SetConvertMode(int mode) { convert_mode_ = mode; }
  // Used by conversions to 1 bit (index 1; index 0 is black).
  TColor BackgroundColor() const { return background_color_; }
  void SetBackgroundColor(TColor color) { background_color_ = color; }

  const DibData& Data() const { return *data_; }
  // The data for changing: copied first when another image shares it.
  DibData& EditData();
  void SetData(DibData data);
  // How many images share this image's data.
  long DataShareCount() const { return data_.use_count(); }
  const std::vector<TRGBQuad>& Palette() const { return data_->colors; }

  // The current (or last) progress stage.
  const std::string& StageMessage() const { return stage_message_; }
  int StageTotal() const { return stage_total_; }
  int StageCount() const { return stage_count_; }

 private:
  // Moves a finished bitmap into dest, which keeps its notifications and takes this image's
  // transparency.
  void HandOver(TBitmap&& made, TBitmap& dest) const;
  // With movable_bits (the bitmap's own buffer), pixels in the DIB layout are moved, not copied.
  void AssignFromBitmap(const TBitmap& bitmap, std::vector<uint8_t>* movable_bits = nullptr);
  template <typename Conversion>
  DibData RunStage(const std::string& message, int total, Conversion&& conversion);

  std::shared_ptr<DibData> data_;
  int convert_mode_ = kConvertNormal;
  TColor background_color_ = kClWhite;
  // The source's own transparent colour, kept with the flag (absent: the bottom-left pixel's).
  bool has_transparent_color_ = false;
  TColor transparent_color_ = 0;
  std::string stage_message_;
  int stage_total_ = 0;
  int stage_count_ = 0;
};

// Registers the kind for the extension "dib" ("Device Independent Bitmap").
void RegisterDibGraphic();

}  // namespace pamirune
