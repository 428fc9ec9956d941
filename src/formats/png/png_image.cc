#include "formats/png/png_image.h"

#include "formats/png/png_reader.h"
#include "formats/png/png_writer.h"
#include "raster/registry.h"

namespace pamirune {

PngImage::PngImage() : clock_(PngUtcNow) { options_.stored_time = clock_(); }

PngImage::PngImage(const PngImage& other)
    : TGraphic(),
      image_(other.image_),
      alpha_(other.alpha_),
      options_(other.options_),
      clock_(other.clock_) {}

PngImage& PngImage::operator=(const PngImage& other) {
  if (this != &other) {
    image_ = other.image_;
    alpha_ = other.alpha_;
    options_ = other.options_;
    clock_ = other.clock_;
  }
  return *this;
}

void PngImage::Assign(const TGraphic& source) {
  if (const auto* png = dynamic_cast<const PngImage*>(&source)) {
    if (png != this) {
      bool alpha_present = options_.alpha_present;
      image_ = png->image_;
      alpha_ = png->alpha_;
      options_ = png->options_;
      options_.alpha_present = alpha_present;
    }
    Changed();
    return;
  }
  image_.Assign(source);
  // The mask belonged to the previous pixels; keeping it would put its holes into new ones.
  alpha_ = TBitmap();
  options_.alpha_present = false;
  Changed();
}

void PngImage::SetWidth(int width) {
  image_.SetWidth(width);
  if (!alpha_.Empty()) alpha_.SetWidth(width);
  Changed();
}

void PngImage::SetHeight(int height) {
  image_.SetHeight(height);
  if (!alpha_.Empty()) alpha_.SetHeight(height);
  Changed();
}

void PngImage::SetTransparentColor(TColor color) {
  options_.transparent_color = color;
  if (color == kPngNoColor) {
    image_.SetTransparent(false);
    image_.SetTransparentMode(TTransparentMode::tmAuto);
    return;
  }
  TColor shown = color & 0xFFFFFF;
  if (color & kPaletteIndexFlag) {
    size_t idx = color & 0xFF;
    const auto& palette = image_.Palette();
    shown = idx < palette.size() ? ColorFromQuad(palette[idx]) : kClBlack;
  }
  image_.SetTransparentColor(shown);
}

void PngImage::LoadFromStream(TStream& stream) {
  PngReadStream reader(stream);
  reader.SetProgress(OnProgress);
  TBitmap image, alpha;
  PngOptions meta;
  reader.Read(image, alpha, meta);
  image_ = std::move(image);
  alpha_ = std::move(alpha);
  options_.alpha_present = meta.alpha_present;
  options_.comment = meta.comment;
  options_.background_color = meta.background_color;
  options_.transparent_color = meta.transparent_color;
  options_.interlace = meta.interlace;
  options_.gamma = meta.gamma;
  options_.physical_size = meta.physical_size;
  options_.significant_bits = meta.significant_bits;
  options_.greyscale = meta.greyscale;
  options_.stored_time = meta.stored_time;
  options_.chromaticities = meta.chromaticities;
  options_.gif_extension = meta.gif_extension;
  if (!reader.Complete()) LoadWarning(TLoadWarning::lwDataRanOut);
  Changed();
}

void PngImage::SaveToStream(TStream& stream) const {
  if (options_.idat_size < kPngMinIdatSize || options_.idat_size > kPngMaxIdatSize)
    throw EPngError(png_text::kErrIdatSize);
  PngWriteStream writer(stream, options_);
  writer.SetClock(clock_);
  writer.SetProgress(OnProgress);
  if (options_.alpha_present) writer.SetAlphaMask(&alpha_);
  writer.Write(image_);
}

void PngImage::SaveRasterToFile(const TBitmap& image, const std::string& file_name) const {
  if (options_.idat_size < kPngMinIdatSize || options_.idat_size > kPngMaxIdatSize)
    throw EPngError(png_text::kErrIdatSize);
  // Straight into the new file, which takes its name only once it is whole.
  TAtomicFileStream file(file_name);
  PngWriteStream writer(file, options_);
  writer.SetClock(clock_);
  writer.SetProgress(OnProgress);
  writer.Write(image);
  file.Commit();
}

void PngImage::WriteData(TStream& stream) const {
  if (!image_.Empty()) SaveToStream(stream);
}

void RegisterPngGraphic() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterFileFormat("PNG", "PNG Format", "PngImage", [] { return std::make_unique<PngImage>(); });
}

}  // namespace pamirune
