// The GIF image itself: reading, writing and rendering its frames.
#include <algorithm>
#include <cstring>

#include "formats/gif/gif.h"
#include "formats/gif/gif_io.h"
#include "formats/gif/gif_lzw.h"
#include "raster/palettes.h"

namespace pamirune {

using namespace gif_io;

// ---------------------------------------------------------------------------------------------
// TGIFImage

TGIFImage::TGIFImage() : header_(this), images_(this) {}

TGIFImage::~TGIFImage() { images_.Clear(); }

void TGIFImage::Clear() {
  images_.Clear();
  header_.Clear();
  bitmap_.reset();
  pixels_held_ = 0;
}

void TGIFImage::Warning(TGIFSeverity severity, const std::string& message) const {
  if (OnWarning) OnWarning(severity, message);
  // Image data cut short: the frame keeps what was decoded, the reader of the file is told.
  if (message == gif_msg::kPrematureEnd || message == gif_msg::kBitBufferUnderrun)
    LoadWarning(TLoadWarning::lwDataRanOut, message);
}

void TGIFImage::ReportProgress(TProgressStage stage, int percent,
                               const std::string& message) const {
  if (OnProgress) OnProgress(stage, percent, message);
}

bool TGIFImage::ReservePixels(int64_t old_pixels, int64_t new_pixels) {
  // The frames of one image share the pixel limit, so a file of many huge frames with little
  // data cannot exhaust memory.
  const int64_t total = pixels_held_ - old_pixels + new_pixels;
  if (new_pixels > old_pixels && total > pixel_limit_) return false;
  pixels_held_ = std::max<int64_t>(0, total);
  return true;
}

void TGIFImage::FitScreenTo(const TGIFSubImage& frame) {
  bool warned = false;
  const int right = frame.Left() + frame.Width();
  const int bottom = frame.Top() + frame.Height();
  if (right > header_.Width()) {
    if (header_.Width() >= 1) {
      Warning(TGIFSeverity::gsWarning, gif_msg::kWidthTooSmall);
      warned = true;
    }
    header_.SetWidth(right);
  }
  if (bottom > header_.Height()) {
    if (header_.Height() >= 1) {
      Warning(TGIFSeverity::gsWarning, gif_msg::kHeightTooSmall);
      warned = true;
    }
    header_.SetHeight(bottom);
  }
  if (warned) Warning(TGIFSeverity::gsWarning, gif_msg::kExceedsScreen);
}

TGIFVersion TGIFImage::Version() const {
  TGIFVersion version = TGIFVersion::gvUnknown;
  for (int i = 0; i < images_.Count(); ++i) {
    const TGIFVersion v = images_[i].Version();
    if (v > version) version = v;
    if (version == TGIFVersion::gv89a) break;
  }
  return version;
}

int TGIFImage::BitsPerPixel() const {
  int bits = header_.ColorMap().BitsPerPixel();
  for (int i = 0; i < images_.Count(); ++i) bits = std::max(bits, images_[i].BitsPerPixel());
  return bits;
}

int TGIFImage::ColorResolution() const {
  int resolution = header_.ColorMap().ColorResolution();
  for (int i = 0; i < images_.Count(); ++i)
    resolution = std::max(resolution, images_[i].ActiveColorMap().ColorResolution());
  return resolution;
}

int TGIFImage::Add(const TGraphic& source) {
  TBitmap drawn;
  const TBitmap* bitmap = dynamic_cast<const TBitmap*>(&source);
  if (!bitmap) {
    // Drawn onto a Raster image: by the graphic's own drawing, else by assignment.
    bool done = false;
    try {
      source.ToBitmap(drawn);
      done = true;
    } catch (const Exception&) {
    }
    if (!done) {
      try {
        done = source.AssignTo(drawn);
      } catch (const Exception&) {
        done = false;
      }
    }
    if (!done) throw EGIFError(gif_msg::kUnsupportedObject);
    bitmap = &drawn;
  }
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(*bitmap);
  bitmap_.reset();
  return images_.Add(std::move(frame));
}

int TGIFImage::Add(const TPicture& source) {
  if (!source.Graphic()) throw EGIFError(gif_msg::kUnsupportedObject);
  return Add(*source.Graphic());
}

int TGIFImage::Add(const TGIFSubImage& source) {
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(source);
  bitmap_.reset();
  return images_.Add(std::move(frame));
}

void TGIFImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* gif = dynamic_cast<const TGIFImage*>(&source)) {
    Clear();
    header_.width_ = gif->header_.width_;
    header_.height_ = gif->header_.height_;
    header_.packed_ = gif->header_.packed_;
    header_.background_index_ = gif->header_.background_index_;
    header_.aspect_ratio_ = gif->header_.aspect_ratio_;
    header_.version_text_ = gif->header_.version_text_;
    header_.color_map_.Assign(gif->header_.color_map_);
    color_reduction_ = gif->color_reduction_;
    reduction_bits_ = gif->reduction_bits_;
    dither_mode_ = gif->dither_mode_;
    compression_ = gif->compression_;
    for (int i = 0; i < gif->images_.Count(); ++i) {
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->Assign(gif->images_[i]);
      images_.Add(std::move(frame));
    }
    Changed();
    return;
  }
  Clear();
  Add(source);
  Changed();
}

const TBitmap* TGIFImage::Bitmap() const {
  if (images_.Count() == 0) return nullptr;
  if (bitmap_) return bitmap_.get();
  const TGIFSubImage& frame = images_[0];
  auto rendered = std::make_unique<TBitmap>();
  frame.RenderTo(*rendered);
  int width = header_.Width();
  int height = header_.Height();
  if (width == 0) width = frame.Left() + frame.Width();
  if (height == 0) height = frame.Top() + frame.Height();
  if (frame.Left() != 0 || frame.Top() != 0 || frame.Width() != width || frame.Height() != height) {
    // Frame 0 placed on the logical screen, the rest of which takes the transparent index
    // (or index 0); parts outside the screen are cut off.
    if (static_cast<int64_t>(width) * height > pixel_limit_) ThrowImageTooLarge(width, height);
    auto canvas = std::make_unique<TBitmap>(width, height, TPixelFormat::pf8bit);
    canvas->SetPalette(rendered->Palette());
    uint8_t fill = 0;
    if (frame.Transparent() && frame.GraphicControlExtension())
      fill = static_cast<uint8_t>(frame.GraphicControlExtension()->TransparentColorIndex());
    for (int y = 0; y < height && width > 0; ++y)
      std::memset(canvas->ScanLine(y), fill, static_cast<size_t>(width));
    const int copy_width = std::min(frame.Width(), width - frame.Left());
    for (int y = 0; y < frame.Height() && frame.Top() + y < height && copy_width > 0; ++y)
      std::memcpy(canvas->ScanLine(frame.Top() + y) + frame.Left(), rendered->ScanLine(y),
                  static_cast<size_t>(copy_width));
    canvas->SetTransparent(rendered->Transparent());
    if (rendered->Transparent()) canvas->SetTransparentColor(rendered->TransparentColor());
    rendered = std::move(canvas);
  }
  bitmap_ = std::move(rendered);
  return bitmap_.get();
}

void TGIFImage::ToBitmap(TBitmap& dest) const {
  const TBitmap* bitmap = Bitmap();
  if (bitmap)
    dest = *bitmap;
  else
    dest = TBitmap();
}

void TGIFImage::LoadFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  try {
    Clear();
    ReportProgress(TProgressStage::psStarting, 0, gif_msg::kLoading);
    header_.LoadFromStream(stream);
    const int64_t size = std::max<int64_t>(1, stream.Size());
    auto skip_zeros = [&] {
      while (PeekByte(stream) == 0) ReadByte(stream);
    };
    skip_zeros();
    for (;;) {
      const int next = PeekByte(stream);
      if (next < 0 || next == kGifTrailer) break;
      if (next != kGifExtensionIntroducer && next != kGifImageSeparator) {
        Warning(TGIFSeverity::gsWarning, gif_msg::kUnknownBlock);
        break;
      }
      auto frame = std::make_unique<TGIFSubImage>(this);
      frame->LoadFromStream(stream);
      images_.Add(std::move(frame));
      ReportProgress(TProgressStage::psRunning,
                     static_cast<int>(std::clamp<int64_t>(stream.Position() * 100 / size, 0, 100)),
                     gif_msg::kLoading);
      skip_zeros();
    }
    TGIFTrailer(this).LoadFromStream(stream);
    bitmap_.reset();
    ReportProgress(TProgressStage::psEnding, 100, gif_msg::kLoading);
  } catch (...) {
    Clear();
    stream.Seek(start);
    ReportProgress(TProgressStage::psEnding, 100, gif_msg::kLoading);
    throw;
  }
  Changed();
}

void TGIFImage::SaveToStream(TStream& stream) const {
  if (Version() == TGIFVersion::gvUnknown) throw EGIFError(gif_msg::kUnsupportedVersion);
  ReportProgress(TProgressStage::psStarting, 0, gif_msg::kSaving);
  // The whole file is made in memory first, so a failure leaves the target stream untouched.
  TMemoryStream out;
  header_.SaveToStream(out);
  for (int i = 0; i < images_.Count(); ++i) {
    images_[i].SaveToStream(out);
    ReportProgress(TProgressStage::psRunning, (i + 1) * 100 / images_.Count(), gif_msg::kSaving);
  }
  WriteByte(out, kGifTrailer);
  stream.Write(out.Bytes().data(), out.Bytes().size());
  ReportProgress(TProgressStage::psEnding, 100, gif_msg::kSaving);
}

void RegisterGifGraphic() {
  RegisterFileFormat("gif", "GIF Image", "TGIFImage", [] { return std::make_unique<TGIFImage>(); });
}

}  // namespace pamirune
