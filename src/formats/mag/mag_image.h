// MAG files (16 or 256 colours): the graphic kind TMAGImage, registered for the extension
// "MAG". Loading decodes at once; saving encodes again only when the image has no encoded form
// yet or was changed. Assigning any other graphic normalises it to 4 or 8 bits per pixel and
// widens it to the format's alignment.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

// A file that is not MAG or is damaged: "MAG image error:" followed by the detail.
class EMagError : public EInvalidGraphic {
 public:
  explicit EMagError(const std::string& detail) : EInvalidGraphic("MAG image error:" + detail) {}
};

// An operation the image cannot do: "MAG invaild operation:" followed by the detail.
class EInvalidMagOperation : public EInvalidGraphicOperation {
 public:
  explicit EInvalidMagOperation(const std::string& detail)
      : EInvalidGraphicOperation("MAG invaild operation:" + detail) {}
};

// The encoded form shared by images assigned from one another. It is never changed once
// filled: encoding and loading replace it by a fresh one.
struct TMagData {
  TMagData();
  std::vector<uint8_t> stream;             // the encoded file; empty until loaded or encoded
  std::array<uint8_t, 32> header_block{};  // preset to signature, machine code, spaces
  std::array<uint8_t, 32> mag_header{};
  int32_t width = 0;
  int32_t height = 0;
};

enum class TMagColorMode { mc16Colors = 0, mc256Colors = 1 };

class TMAGImage : public TGraphic {
 public:
  TMAGImage();
  ~TMAGImage() override;

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<TMAGImage>(); }
  void Assign(const TGraphic& source) override;
  void ToBitmap(TBitmap& dest) const override;
  const char* ClassName() const override { return "TMAGImage"; }

  bool Empty() const override;
  int Width() const override;
  int Height() const override;
  // Width is rounded up to the alignment (8 pixels at 16 colours, 4 at 256). Both fail with
  // "range over" when the image would pass coordinate 65535 with its start offset.
  void SetWidth(int width) override;
  void SetHeight(int height) override;

  void LoadFromStream(TStream& stream) override;
  // Encodes first when there is no encoded form or the image was changed.
  void SaveToStream(TStream& stream) const override;

  // Form persistence: a 32-bit length followed by the encoded bytes.
  void WriteData(TStream& stream) const;
  void ReadData(TStream& stream);

  const std::vector<TRGBQuad>& Palette() const;
  void SetPalette(std::vector<TRGBQuad> palette);

  TMagColorMode ColorMode() const { return color_mode_; }
  const std::string& UserName() const { return user_name_; }
  void SetUserName(const std::string& value);
  const std::string& Comment() const { return comment_; }
  void SetComment(const std::string& value);
  bool Line200() const { return line200_; }
  void SetLine200(bool value);
  uint16_t StartX() const { return start_x_; }
  void SetStartX(uint16_t value);
  uint16_t StartY() const { return start_y_; }
  void SetStartY(uint16_t value);

  // The decoded image, or nullptr before one is loaded or assigned.
  const TBitmap* Raster() const { return raster_.get(); }
  const TMagData& Data() const { return *data_; }
  bool Modified() const { return modified_; }

 private:
  void SetDefaults();
  void Encode() const;
  void MarkChanged();

  mutable std::shared_ptr<const TMagData> data_;
  std::unique_ptr<TBitmap> raster_;
  TMagColorMode color_mode_ = TMagColorMode::mc16Colors;
  std::vector<TRGBQuad> palette_;
  std::string user_name_;
  mutable std::string comment_;  // saving pads it to an odd length and keeps the padding
  bool line200_ = false;
  uint16_t start_y_ = 0;
  uint16_t start_x_ = 0;
  mutable bool modified_ = false;
};

// Registers TMAGImage for the extension "MAG" (once, however often it is called).
void RegisterMagGraphic();

}  // namespace pamirune
