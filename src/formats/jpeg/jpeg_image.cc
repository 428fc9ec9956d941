#include "formats/jpeg/jpeg_image.h"

#include "formats/jpeg/jpeg_codec.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

const char kSizeError[] = "JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません";

TJPEGPixelFormat& DefaultFormat() {
  static TJPEGPixelFormat format = TJPEGPixelFormat::jf24Bit;
  return format;
}

}  // namespace

TJPEGPixelFormat TJPEGImage::DefaultPixelFormat() { return DefaultFormat(); }
void TJPEGImage::SetDefaultPixelFormat(TJPEGPixelFormat value) { DefaultFormat() = value; }

TJPEGImage::TJPEGImage()
    : data_(std::make_shared<TJPEGData>()), pixel_format_(DefaultPixelFormat()) {}

TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
    data_ = jpeg->data_;
    raster_ = jpeg->raster_ ? std::make_unique<TBitmap>(*jpeg->raster_) : nullptr;
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    auto raster = std::make_unique<TBitmap>(*bitmap);
    data_ = std::make_shared<TJPEGData>();
    raster_ = std::move(raster);
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

void TJPEGImage::DIBNeeded() const {
  if (raster_ || data_->stream.empty()) return;
  jpeg::DecompressOptions options;
  options.scale = static_cast<int>(scale_);
  options.smoothing = smoothing_;
  options.grayscale = grayscale_;
  options.eight_bit = pixel_format_ == TJPEGPixelFormat::jf8Bit;
  options.best_speed = performance_ == TJPEGPerformance::jpBestSpeed;
  options.progressive_display = progressive_display_;
  auto raster = std::make_unique<TBitmap>();
  const TBitmap* partial = raster.get();
  // Each scan of a progressive file is shown as it arrives.
  auto scan_done = [this, partial] {
    raster_ = std::make_unique<TBitmap>(*partial);
    if (OnChange) OnChange();
  };
  // Keep the encoded bytes alive while decoding, whatever a handler does to this image.
  std::shared_ptr<const TJPEGData> data = data_;
  try {
    jpeg::Decompress(data->stream.data(), data->stream.size(), options, *raster, OnProgress,
                     scan_done);
  } catch (...) {
    raster_.reset();
    throw;
  }
  raster_ = std::move(raster);
  if (OnChange) OnChange();
}

void TJPEGImage::ToBitmap(TBitmap& dest) const {
  DIBNeeded();
  if (raster_) {
    dest = *raster_;
  } else {
    dest = TBitmap();
  }
}

bool TJPEGImage::Empty() const {
  if (!data_->stream.empty()) return false;
  return !raster_ || raster_->Empty();
}

int TJPEGImage::Width() const { return raster_ ? raster_->Width() : data_->width; }
int TJPEGImage::Height() const { return raster_ ? raster_->Height() : data_->height; }

void TJPEGImage::SetWidth(int) { throw EInvalidGraphicOperation(kSizeError); }
void TJPEGImage::SetHeight(int) { throw EInvalidGraphicOperation(kSizeError); }

void TJPEGImage::LoadFromStream(TStream& stream) {
  auto data = std::make_shared<TJPEGData>();
  data->stream = stream.ReadRest();
  if (!data->stream.empty()) {
    jpeg::HeaderInfo info = jpeg::ReadHeader(data->stream.data(), data->stream.size());
    data->width = info.width;
    data->height = info.height;
    data->grayscale = info.grayscale;
    data->orientation = info.orientation;
    progressive_encoding_ = info.progressive;
  }
  data_ = std::move(data);
  raster_.reset();
  Changed();
}

void TJPEGImage::CompressNow() const {
  jpeg::CompressOptions options;
  options.quality = compression_quality_;
  options.grayscale = grayscale_;
  options.progressive = progressive_encoding_;
  // The old encoded bytes go first: a failed compression leaves none.
  data_ = std::make_shared<TJPEGData>();
  auto data = std::make_shared<TJPEGData>();
  if (raster_) {
    data->stream = jpeg::Compress(*raster_, options, OnProgress);
    if (!data->stream.empty()) {
      data->width = raster_->Width();
      data->height = raster_->Height();
      data->grayscale = grayscale_;
    }
  }
  data_ = std::move(data);
}

void TJPEGImage::Compress() { CompressNow(); }

void TJPEGImage::SaveToStream(TStream& stream) const {
  if (data_->stream.empty()) CompressNow();
  // An image without pixels has no JPEG form; an empty file would only pretend to be one.
  if (data_->stream.empty()) throw EJPEG("JPEG ｴﾗｰ: no image to save");
  stream.WriteBytes(data_->stream);
}

const std::vector<TRGBQuad>& TJPEGImage::Palette() const {
  static const std::vector<TRGBQuad> kNone;
  DIBNeeded();
  return raster_ ? raster_->Palette() : kNone;
}

void TJPEGImage::DecodingChanged() {
  if (!data_->stream.empty() && raster_) {
    raster_.reset();
    Changed();
  }
}

void TJPEGImage::SetGrayscale(bool value) {
  if (value == grayscale_) return;
  grayscale_ = value;
  DecodingChanged();
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat value) {
  if (value == pixel_format_) return;
  pixel_format_ = value;
  DecodingChanged();
}

void TJPEGImage::SetPerformance(TJPEGPerformance value) {
  if (value == performance_) return;
  performance_ = value;
  DecodingChanged();
}

void TJPEGImage::SetScale(TJPEGScale value) {
  if (value == scale_) return;
  scale_ = value;
  DecodingChanged();
}

void TJPEGImage::SetSmoothing(bool value) {
  if (value == smoothing_) return;
  smoothing_ = value;
  DecodingChanged();
}

void RegisterJpegGraphic() {
  static int registrations = 0;
  if (registrations++ > 0) return;
  auto create = [] { return std::make_unique<TJPEGImage>(); };
  RegisterFileFormat("jpeg", "JPEG Image File", "TJPEGImage", create);
  RegisterFileFormat("jpg", "JPEG Image File", "TJPEGImage", create);
}

}  // namespace pamirune
