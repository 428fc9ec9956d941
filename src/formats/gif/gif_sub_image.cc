// GIF frames: reading and writing their image data, frames from Raster images, rendering.
#include <algorithm>
#include <cstring>

#include "formats/gif/gif.h"
#include "formats/gif/gif_io.h"
#include "formats/gif/gif_lzw.h"
#include "raster/palettes.h"

namespace pamirune {

using namespace gif_io;

namespace {

constexpr int kMaxDimension = 65535;

// The indices of a palette image, one byte each, with its palette as the colour map.
void TakeIndices(const TBitmap& bitmap, std::vector<uint8_t>& data, TGIFColorMap& map) {
  const int width = bitmap.Width();
  const int bits = bitmap.BitCount();
  std::vector<TRGBQuad> palette = bitmap.Palette();
  if (bits == 1 && palette.empty()) palette = BlackWhitePalette();
  map.FromPalette(palette);
  for (int y = 0; y < bitmap.Height() && width > 0; ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    uint8_t* out = data.data() + static_cast<size_t>(y) * width;
    if (bits == 8) {
      std::memcpy(out, row, static_cast<size_t>(width));
    } else if (bits == 4) {
      for (int x = 0; x < width; ++x) out[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    } else {
      for (int x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
  }
}

// True colour kept: every new colour is appended to the map, the last 8 colours met are
// remembered so that runs of one colour are found at once.
void IndexColours(const TBitmap& bitmap, std::vector<uint8_t>& data, TGIFColorMap& map) {
  const int width = bitmap.Width();
  TColor ring_colour[8] = {};
  int ring_index[8] = {};
  int ring_used = 0, ring_last = 0, ring_next = 0;
  const TRowReader reader(bitmap);
  std::vector<TColor> colours(static_cast<size_t>(width));
  for (int y = 0; y < bitmap.Height(); ++y) {
    reader.Read(y, 0, width, colours.data());
    uint8_t* out = data.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const TColor c = colours[static_cast<size_t>(x)];
      int index = -1;
      for (int k = 0; k < ring_used; ++k) {
        const int slot = (ring_last - k + 8) % 8;
        if (ring_colour[slot] == c) {
          index = ring_index[slot];
          ring_last = slot;
          break;
        }
      }
      if (index < 0) {
        index = map.IndexOf(c);
        if (index < 0) index = map.Add(c);  // "Color table overflow" after 256
        ring_colour[ring_next] = c;
        ring_index[ring_next] = index;
        ring_last = ring_next;
        ring_next = (ring_next + 1) % 8;
        ring_used = std::min(ring_used + 1, 8);
      }
      out[x] = static_cast<uint8_t>(index);
    }
  }
}

// 1 for each pixel of the source in its transparent colour.
std::vector<uint8_t> TransparencyMask(const TBitmap& source) {
  const int width = source.Width();
  const TColor transparent = ResolveColor(source, source.TransparentColor());
  std::vector<uint8_t> mask(static_cast<size_t>(width) * source.Height(), 0);
  const TRowReader reader(source);
  std::vector<TColor> colours(static_cast<size_t>(width));
  for (int y = 0; y < source.Height(); ++y) {
    reader.Read(y, 0, width, colours.data());
    for (int x = 0; x < width; ++x)
      if (colours[static_cast<size_t>(x)] == transparent)
        mask[static_cast<size_t>(y) * width + x] = 1;
  }
  return mask;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image), extensions_(image, this) {}

TGIFSubImage::~TGIFSubImage() {
  extensions_.Clear();
  if (image_) image_->ReservePixels(static_cast<int64_t>(width_) * height_, 0);
}

void TGIFSubImage::Touch() {
  if (image_) image_->DropBitmapCache();
}

void TGIFSubImage::SetBounds(int left, int top, int width, int height) {
  CheckedImageBytes(width, height, 8);
  if (left < 0 || top < 0 || static_cast<int64_t>(left) + width > kMaxDimension ||
      static_cast<int64_t>(top) + height > kMaxDimension)
    ThrowImageTooLarge(static_cast<int64_t>(left) + width, static_cast<int64_t>(top) + height);
  if (width != width_ || height != height_) {
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (image_ && !image_->ReservePixels(static_cast<int64_t>(width_) * height_, pixels))
      ThrowImageTooLarge(width, height);
    data_.assign(static_cast<size_t>(pixels), 0);
    width_ = width;
    height_ = height;
  }
  left_ = left;
  top_ = top;
  has_image_ = true;
  Touch();
  if (image_) image_->FitScreenTo(*this);
}

void TGIFSubImage::SetInterlaced(bool value) {
  packed_ = static_cast<uint8_t>(value ? (packed_ | 0x40) : (packed_ & ~0x40));
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
  if (color_map_.Count() > 0) return color_map_;
  if (image_ && image_->GlobalColorMap().Count() > 0) return image_->GlobalColorMap();
  return color_map_;
}

TGIFColorMap& TGIFSubImage::ActiveColorMap() {
  if (color_map_.Count() > 0) return color_map_;
  if (image_ && image_->GlobalColorMap().Count() > 0) return image_->GlobalColorMap();
  return color_map_;
}

uint8_t TGIFSubImage::Pixels(int x, int y) const {
  if (x < 0 || x >= width_ || y < 0 || y >= height_) throw EGIFError(gif_msg::kInvalidPixel);
  return data_[static_cast<size_t>(y) * width_ + x];
}

uint8_t* TGIFSubImage::ScanLine(int y) {
  if (y < 0 || y >= height_) throw EGIFError(gif_msg::kInvalidPixel);
  Touch();
  return data_.data() + static_cast<size_t>(y) * width_;
}

const uint8_t* TGIFSubImage::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw EGIFError(gif_msg::kInvalidPixel);
  return data_.data() + static_cast<size_t>(y) * width_;
}

std::vector<uint8_t>& TGIFSubImage::Data() {
  Touch();
  return data_;
}

TGIFVersion TGIFSubImage::Version() const {
  if (color_map_.Optimized()) return TGIFVersion::gv89a;
  for (int i = 0; i < extensions_.Count(); ++i)
    if (extensions_[i].Version() == TGIFVersion::gv89a) return TGIFVersion::gv89a;
  return TGIFVersion::gv87a;
}

void TGIFSubImage::Assign(const TBitmap& source) {
  if (image_) image_->ReportProgress(TProgressStage::psStarting, 0, gif_msg::kConverting);
  const TBitmap* bitmap = &source;
  std::unique_ptr<TBitmap> reduced;
  if (source.BitCount() > 8) {
    const TGIFImage* owner = image_;
    reduced =
        ReduceRasterColours(source, owner ? owner->ColorReduction() : PaletteSource::WebCube216,
                            owner ? owner->DitherMode() : DiffusionMethod::NearestOnly, nullptr,
                            owner ? owner->ReductionBits() : 8);
    if (!reduced || reduced->Width() != source.Width() || reduced->Height() != source.Height())
      throw EGIFError(gif_msg::kUnsupportedObject);
    bitmap = reduced.get();
  }

  SetBounds(left_, top_, bitmap->Width(), bitmap->Height());
  std::fill(data_.begin(), data_.end(), 0);
  color_map_.Clear();
  if (bitmap->BitCount() <= 8)
    TakeIndices(*bitmap, data_, color_map_);
  else
    IndexColours(*bitmap, data_, color_map_);
  if (source.Transparent()) ApplyMask(TransparencyMask(source));
  Touch();
  if (image_) image_->ReportProgress(TProgressStage::psEnding, 100, gif_msg::kConverting);
}

void TGIFSubImage::ApplyMask(const std::vector<uint8_t>& mask) {
  if (image_) image_->ReportProgress(TProgressStage::psStarting, 0, gif_msg::kOptimizing);
  // Indices beyond the palette are drawn black; they get black entries of their own first.
  int highest = -1;
  for (uint8_t index : data_) highest = std::max<int>(highest, index);
  while (color_map_.Count() <= highest) color_map_.Add(kClBlack);
  // Most used entries first, unused ones dropped; ties keep their order.
  std::array<int64_t, 256> uses{};
  for (uint8_t index : data_) ++uses[index];
  std::array<int, 256> order{};
  for (int i = 0; i < 256; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return uses[static_cast<size_t>(a)] > uses[static_cast<size_t>(b)];
  });
  TGIFLocalColorMap old_map;
  old_map.Assign(color_map_);
  color_map_.Clear();
  std::array<uint8_t, 256> remap{};
  for (int index : order) {
    if (uses[static_cast<size_t>(index)] == 0) break;
    remap[static_cast<size_t>(index)] = static_cast<uint8_t>(color_map_.Add(old_map.Colors(index)));
  }
  for (uint8_t& index : data_) index = remap[index];
  color_map_.SetOptimized(true);
  if (image_) image_->ReportProgress(TProgressStage::psEnding, 100, gif_msg::kOptimizing);

  if (color_map_.Count() == 0 || color_map_.Count() >= TGIFColorMap::kMaxColors) return;
  const int transparent = color_map_.Add(kClBlack);
  bool masked = false;
  for (size_t i = 0; i < data_.size(); ++i) {
    if (mask[i]) {
      data_[i] = static_cast<uint8_t>(transparent);
      masked = true;
    }
  }
  if (!masked) {
    color_map_.Delete(transparent);
    return;
  }
  auto control = std::make_unique<TGIFGraphicControlExtension>(this);
  control->SetTransparent(true);
  control->SetTransparentColorIndex(transparent);
  extensions_.Add(std::move(control));
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
  if (&source == this) return;
  SetBounds(source.left_, source.top_, source.width_, source.height_);
  data_ = source.data_;
  packed_ = source.packed_;
  has_image_ = source.has_image_;
  transparent_ = source.transparent_;
  // A frame that used its own image's global map takes those colours along.
  if (source.color_map_.Count() == 0 && source.image_ != image_)
    color_map_.Assign(source.ActiveColorMap());
  else
    color_map_.Assign(source.color_map_);
  extensions_.Clear();
  for (int i = 0; i < source.extensions_.Count(); ++i)
    extensions_.Add(source.extensions_[i].CloneFor(this));
  Touch();
}

void TGIFSubImage::RenderTo(TBitmap& dest) const {
  const TGIFColorMap& map = ActiveColorMap();
  std::vector<TRGBQuad> palette;
  if (map.Count() == 0) {
    palette = GreyPalette(256);  // no colour table at all: indices are grey levels
  } else {
    palette = map.ToPalette();
    palette.resize(static_cast<size_t>(1) << std::max(1, map.BitsPerPixel()), TRGBQuad{});
  }
  TBitmap bitmap(width_, height_, TPixelFormat::pf8bit);
  bitmap.SetPalette(palette);
  for (int y = 0; y < height_ && width_ > 0; ++y)
    std::memcpy(bitmap.ScanLine(y), data_.data() + static_cast<size_t>(y) * width_,
                static_cast<size_t>(width_));
  if (transparent_ && graphic_control_) {
    const size_t index = static_cast<size_t>(graphic_control_->TransparentColorIndex());
    if (index < palette.size()) {
      bitmap.SetTransparent(true);
      bitmap.SetTransparentColor(ColorFromQuad(palette[index]));
    }
  }
  dest = std::move(bitmap);
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
  while (PeekByte(stream) == kGifExtensionIntroducer) {
    ReadByte(stream);
    extensions_.LoadExtension(stream);
  }
  const int next = PeekByte(stream);
  if (next < 0 || next == kGifTrailer || next == 0) {
    has_image_ = false;  // extensions that no image follows
    return;
  }
  if (next != kGifImageSeparator) {
    Warning(TGIFSeverity::gsWarning, gif_msg::kInvalidIntroducer);
    has_image_ = false;
    return;
  }
  ReadImage(stream);
}

void TGIFSubImage::ReadImage(TStream& stream) {
  uint8_t descriptor[10];
  ReadExact(stream, descriptor, sizeof descriptor);
  const int left = GetLe16(descriptor + 1);
  const int top = GetLe16(descriptor + 3);
  int width = GetLe16(descriptor + 5);
  int height = GetLe16(descriptor + 7);
  packed_ = descriptor[9];
  if (width == 0 || height == 0) {
    width = image_ ? image_->Header().Width() : 0;
    height = image_ ? image_->Header().Height() : 0;
    Warning(TGIFSeverity::gsWarning, gif_msg::kExceedsScreen);
  }
  const int64_t pixels = static_cast<int64_t>(width) * height;
  if (pixels > pamirune::PixelLimit() ||
      (image_ && !image_->ReservePixels(static_cast<int64_t>(width_) * height_, pixels)))
    ThrowImageTooLarge(width, height);
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  has_image_ = true;

  color_map_.Clear();
  if (packed_ & 0x80) {
    color_map_.LoadFromStream(stream, 2 << (packed_ & 7));
    color_map_.SetOptimized((packed_ & 0x20) != 0);
  }
  const uint8_t initial = (transparent_ && graphic_control_)
                              ? static_cast<uint8_t>(graphic_control_->TransparentColorIndex())
                              : 0;
  data_.assign(static_cast<size_t>(pixels), initial);
  Touch();
  DecodeGifImageData(
      stream, data_.data(), width_, height_, Interlaced(),
      [this](const std::string& message) { Warning(TGIFSeverity::gsWarning, message); });
}

void TGIFSubImage::SaveToStream(TStream& stream) const {
  for (int i = 0; i < extensions_.Count(); ++i) extensions_[i].SaveToStream(stream);
  if (!has_image_) return;

  uint8_t packed = packed_ & 0x40;
  if (color_map_.Count() > 0) {
    packed |= 0x80;
    if (color_map_.Optimized()) packed |= 0x20;
    packed |= static_cast<uint8_t>(std::clamp(color_map_.ColorResolution(), 0, 7));
  }
  packed_ = packed;
  WriteByte(stream, kGifImageSeparator);
  Write16(stream, static_cast<uint16_t>(left_));
  Write16(stream, static_cast<uint16_t>(top_));
  Write16(stream, static_cast<uint16_t>(width_));
  Write16(stream, static_cast<uint16_t>(height_));
  WriteByte(stream, packed);
  if (packed & 0x80) color_map_.SaveToStream(stream, color_map_.BitsPerPixel());
  WriteImage(stream);
}

void TGIFSubImage::WriteImage(TStream& stream) const {
  const int bits =
      color_map_.Count() > 0 ? color_map_.BitsPerPixel() : (image_ ? image_->BitsPerPixel() : 0);
  std::unique_ptr<TGIFEncoder> encoder;
  if (image_ && image_->Compression() == TGIFCompression::gcRLE)
    encoder = std::make_unique<TRLEEncoder>();
  else
    encoder = std::make_unique<TLZWEncoder>();
  encoder->Compress(stream, data_.empty() ? nullptr : data_.data(), width_, height_, Interlaced(),
                    bits);
}

}  // namespace pamirune
