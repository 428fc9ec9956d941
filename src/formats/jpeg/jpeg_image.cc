#include "formats/jpeg/jpeg_image.h"

#include <algorithm>
#include <vector>

#include "formats/jpeg/jpeg_codec.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

const char kSizeError[] = "JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません";

// Reads a JPEG stream up to and including its end-of-image marker, so that whatever follows
// (a file padded with zeros, say) is never read. Segments are stepped over by their lengths and
// the entropy-coded data is scanned for the next marker. A stream that does not start as a JPEG
// or has no end marker is read to its end, as before.
std::vector<uint8_t> ReadJpegStream(TStream& stream) {
  constexpr size_t kChunk = size_t{64} << 10;
  const int64_t start = stream.Position();
  std::vector<uint8_t> out;
  bool at_end = false;
  // Makes out hold at least n bytes; false when the stream has fewer.
  auto have = [&](size_t n) {
    while (out.size() < n && !at_end) {
      const size_t old = out.size();
      out.resize(old + std::max(kChunk, n - old));
      const size_t got = stream.Read(out.data() + old, out.size() - old);
      out.resize(old + got);
      at_end = got == 0;
    }
    return out.size() >= n;
  };
  if (!have(2) || out[0] != 0xFF || out[1] != 0xD8) {
    std::vector<uint8_t> rest = stream.ReadRest();
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
  }
  size_t i = 2;
  while (have(i + 2)) {
    if (out[i] != 0xFF) {
      ++i;  // entropy-coded data (or damage): look for the next marker
      continue;
    }
    const uint8_t marker = out[i + 1];
    if (marker == 0xD9) {
      out.resize(i + 2);
      stream.Seek(start + static_cast<int64_t>(out.size()));  // the bytes read ahead go back
      return out;
    }
    // A stuffed zero, fill bytes, restart markers and TEM stand alone.
    if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      i += marker == 0xFF ? 1 : 2;
      continue;
    }
    if (!have(i + 4)) break;
    const size_t length = static_cast<size_t>(out[i + 2] << 8 | out[i + 3]);
    i += 2 + std::max<size_t>(length, 2);
  }
  while (have(out.size() + 1)) {
  }
  return out;
}

}  // namespace

TJPEGPixelFormat TJPEGImage::DefaultPixelFormat() { return TJPEGPixelFormat::jf24Bit; }

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
  bool complete = true;
  try {
    complete = jpeg::Decompress(data->stream.data(), data->stream.size(), options, *raster,
                                OnProgress, scan_done);
  } catch (...) {
    raster_.reset();
    throw;
  }
  raster_ = std::move(raster);
  if (!complete) LoadWarning(TLoadWarning::lwDataRanOut);
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

void TJPEGImage::MoveToBitmap(TBitmap& dest) {
  DIBNeeded();
  if (!raster_) {
    dest.Assign(*this);
    return;
  }
  TNotifyEvent on_change = dest.OnChange;
  TProgressEvent on_progress = dest.OnProgress;
  dest = std::move(*raster_);
  raster_.reset();
  dest.OnChange = std::move(on_change);
  dest.OnProgress = std::move(on_progress);
  if (dest.OnChange) dest.OnChange();
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
  data->stream = ReadJpegStream(stream);
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

void TJPEGImage::CompressFrom(const TBitmap& raster) {
  jpeg::CompressOptions options;
  options.quality = compression_quality_;
  options.grayscale = grayscale_;
  options.progressive = progressive_encoding_;
  data_ = std::make_shared<TJPEGData>();
  raster_.reset();
  auto data = std::make_shared<TJPEGData>();
  data->stream = jpeg::Compress(raster, options, OnProgress);
  if (!data->stream.empty()) {
    data->width = raster.Width();
    data->height = raster.Height();
    data->grayscale = grayscale_;
  }
  data_ = std::move(data);
  Changed();
}

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
