#include "raster/dib_image.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "raster/dib_bmp.h"
#include "raster/dib_convert.h"
#include "raster/palettes.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

const char* FormatName(DibPixelFormat format) {
  switch (format) {
    case DibPixelFormat::k1Bit:
      return "1Bit";
    case DibPixelFormat::k4Bit:
      return "4Bit";
    case DibPixelFormat::k4BitRle:
      return "4Bit RLE";
    case DibPixelFormat::k8Bit:
      return "8Bit";
    case DibPixelFormat::k8BitRle:
      return "8Bit RLE";
    case DibPixelFormat::k24Bit:
      return "24Bit";
  }
  return "";
}

std::string StageText(DibPixelFormat from, DibPixelFormat to) {
  return std::string("PixelFormat ") + FormatName(from) + " -> " + FormatName(to);
}

}  // namespace

DibImage::DibImage() : data_(std::make_shared<DibData>()) {}

DibPixelFormat DibImage::PixelFormat() const {
  std::optional<DibPixelFormat> format = data_->Format();
  if (!format) throw EDibError("PixelFormat: Invalid Bitcount & Compression Combination");
  return *format;
}

DibData& DibImage::EditData() {
  if (data_.use_count() > 1) data_ = std::make_shared<DibData>(*data_);
  return *data_;
}

void DibImage::SetData(DibData data) {
  data_ = std::make_shared<DibData>(std::move(data));
  Changed();
}

template <typename Conversion>
DibData DibImage::RunStage(const std::string& message, int total, Conversion&& conversion) {
  stage_message_ = message;
  stage_total_ = total;
  stage_count_ = 0;
  Progress(TProgressStage::psStarting, 0, message);
  DibStepEvent step = [this, &message] {
    ++stage_count_;
    int percent = stage_total_ > 0 ? std::min(100, stage_count_ * 100 / stage_total_) : 100;
    Progress(TProgressStage::psRunning, percent, message);
  };
  DibData result = conversion(step);
  Progress(TProgressStage::psEnding, 100, message);
  return result;
}

void DibImage::SetPixelFormat(DibPixelFormat target) {
  DibPixelFormat format = PixelFormat();
  if (format == target) return;
  if (target == DibPixelFormat::k4BitRle || target == DibPixelFormat::k8BitRle)
    throw EDibError("SetPixelFormat: Invalid Pixel Format Conversion");

  // Each step builds new data from *current; the old data is released only at the end.
  const DibData* current = data_.get();
  std::optional<DibData> result;
  auto step_to = [&](DibPixelFormat next, int total, auto&& conversion) {
    DibData made = RunStage(StageText(format, next), total,
                            [&](const DibStepEvent& step) { return conversion(*current, step); });
    result = std::move(made);
    current = &*result;
    format = next;
  };

  // 1. Decompress.
  if (format == DibPixelFormat::k8BitRle) {
    step_to(DibPixelFormat::k8Bit, 0,
            [](const DibData& d, const DibStepEvent&) { return Convert8BitRLETo8BitRGB(d); });
  } else if (format == DibPixelFormat::k4BitRle) {
    step_to(DibPixelFormat::k4Bit, 0,
            [](const DibData& d, const DibStepEvent&) { return Convert4BitRLETo4BitRGB(d); });
  }
  // 2. Widen the indices when the target is a wider index format.
  if (format != target) {
    if (target == DibPixelFormat::k8Bit && format == DibPixelFormat::k1Bit) {
      step_to(target, 0,
              [](const DibData& d, const DibStepEvent&) { return Convert1BitRGBTo8BitRGB(d); });
    } else if (target == DibPixelFormat::k8Bit && format == DibPixelFormat::k4Bit) {
      step_to(target, 0,
              [](const DibData& d, const DibStepEvent&) { return Convert4BitRGBTo8BitRGB(d); });
    } else if (target == DibPixelFormat::k4Bit && format == DibPixelFormat::k1Bit) {
      step_to(target, 0,
              [](const DibData& d, const DibStepEvent&) { return Convert1BitRGBTo4BitRGB(d); });
    }
  }
  // 3. Otherwise through true colour.
  if (format != target && format != DibPixelFormat::k24Bit) {
    step_to(DibPixelFormat::k24Bit, 0, [format](const DibData& d, const DibStepEvent&) {
      switch (format) {
        case DibPixelFormat::k1Bit:
          return Convert1BitRGBToTrueColor(d);
        case DibPixelFormat::k4Bit:
          return Convert4BitRGBToTrueColor(d);
        default:
          return Convert8BitRGBToTrueColor(d);
      }
    });
  }
  // 4. Reduce.
  if (format != target) {
    switch (target) {
      case DibPixelFormat::k8Bit:
        step_to(target, 256, [this](const DibData& d, const DibStepEvent& step) {
          return convert_mode_ == kConvertFine ? ConvertTrueColorTo8BitRGBFine(d, step)
                                               : ConvertTrueColorTo8BitRGBLow(d, step);
        });
        break;
      case DibPixelFormat::k4Bit:
        step_to(target, 16, [](const DibData& d, const DibStepEvent& step) {
          return ConvertTrueColorTo4BitRGB(d, step);
        });
        break;
      default:
        step_to(target, 0, [this](const DibData& d, const DibStepEvent&) {
          return ConvertTrueColorTo1BitRGB(d, background_color_);
        });
        break;
    }
  }
  data_ = std::make_shared<DibData>(std::move(*result));
  Changed();
}

void DibImage::Assign(const TGraphic& source) {
  if (const auto* dib = dynamic_cast<const DibImage*>(&source)) {
    if (dib != this) {
      data_ = dib->data_;
      convert_mode_ = dib->convert_mode_;
      background_color_ = dib->background_color_;
      transparent_ = dib->transparent_;
      has_transparent_color_ = dib->has_transparent_color_;
      transparent_color_ = dib->transparent_color_;
    }
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    AssignFromBitmap(*bitmap);
    return;
  }
  TBitmap rendered;
  source.ToBitmap(rendered);
  AssignFromBitmap(rendered);
}

namespace {

// The highest palette index any pixel of a 1-, 4- or 8-bit image uses (-1 when it has none).
int HighestIndexUsed(const TBitmap& bitmap, int bits) {
  int highest = -1;
  const int per_byte = 8 / bits;
  const int mask = (1 << bits) - 1;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    const int full = bitmap.Width() / per_byte;
    for (int i = 0; i < full; ++i)
      for (int k = 0; k < per_byte; ++k) highest = std::max(highest, (row[i] >> (k * bits)) & mask);
    for (int x = full * per_byte; x < bitmap.Width(); ++x) {
      const int shift = 8 - bits * (x % per_byte + 1);
      highest = std::max(highest, (row[x / per_byte] >> shift) & mask);
    }
  }
  return highest;
}

}  // namespace

void DibImage::Adopt(TBitmap&& bitmap) {
  AssignFromBitmap(bitmap, &bitmap.Bits());
  bitmap = TBitmap();
}

void DibImage::AssignFromBitmap(const TBitmap& bitmap, std::vector<uint8_t>* movable_bits) {
  const TPixelFormat pf = bitmap.PixelFormat();
  const int bits = BitsPerPixel(pf);
  const int out_bits = bits == 16 || bits == 32 ? 24 : bits;
  std::vector<TRGBQuad> colors;
  if (out_bits <= 8) {
    colors = bitmap.Palette();
    // A palette image without a palette draws as TBitmap::Pixel draws it: 1 bit black and
    // white, otherwise black.
    if (colors.empty()) {
      colors = out_bits == 1 ? BlackWhitePalette()
                             : std::vector<TRGBQuad>(size_t{1} << out_bits, TRGBQuad{});
    }
    for (TRGBQuad& q : colors) q.reserved = 0;
    // Indices beyond a short colour table draw black (as TBitmap::Pixel has them): the table
    // grows by black entries up to the highest index used, so that every writer stores the
    // same picture and none meets an index its table lacks.
    if (colors.size() < (size_t{1} << out_bits)) {
      const int used = HighestIndexUsed(bitmap, out_bits);
      if (used >= static_cast<int>(colors.size())) colors.resize(static_cast<size_t>(used) + 1);
    }
  }
  // Read before the pixels may be taken (the automatic colour is a pixel's).
  const TColor transparent_color = bitmap.TransparentColor();
  const bool take = movable_bits && bits == out_bits &&
                    movable_bits->size() == static_cast<size_t>(CheckedImageBytes(
                                                bitmap.Width(), bitmap.Height(), bits));
  DibData data = MakeDib(bitmap.Width(), take ? 0 : bitmap.Height(), out_bits, std::move(colors),
                         bitmap.XPelsPerMeter(), bitmap.YPelsPerMeter());
  if (take) {
    data.header.height = bitmap.Height();
    data.bits = std::move(*movable_bits);
    SyncDibHeader(data);
  } else if (data.Empty() || data.bits.empty()) {
    // Nothing to copy.
  } else if (bits == out_bits) {
    // Same layout: rows bottom-up, padded to 4 bytes.
    if (size_t n = std::min(data.bits.size(), bitmap.Bits().size()); n > 0)
      std::memcpy(data.bits.data(), bitmap.Bits().data(), n);
  } else {
    // 16- and 32-bit rows become 24 bits as the raster reads their colours.
    if (bitmap.Bits().size() < static_cast<size_t>(bitmap.Stride()) * bitmap.Height())
      throw EDibError("Assign: Invalid Bitmap");
    TRowReader reader(bitmap);
    std::vector<TColor> colours(static_cast<size_t>(bitmap.Width()));
    for (int y = 0; y < bitmap.Height(); ++y) {
      reader.Read(y, 0, bitmap.Width(), colours.data());
      uint8_t* out = data.ScanLine(y);
      for (TColor c : colours) {
        *out++ = GetBValue(c);
        *out++ = GetGValue(c);
        *out++ = GetRValue(c);
      }
    }
  }
  data_ = std::make_shared<DibData>(std::move(data));
  transparent_ = bitmap.Transparent();
  has_transparent_color_ = bitmap.TransparentMode() == TTransparentMode::tmFixed;
  transparent_color_ = transparent_color;
  Changed();
}

bool DibImage::AssignTo(TGraphic& dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(&dest)) {
    ToBitmap(*bitmap);
    return true;
  }
  if (auto* dib = dynamic_cast<DibImage*>(&dest)) {
    dib->Assign(*this);
    return true;
  }
  return false;
}

void DibImage::ToBitmap(TBitmap& dest) const {
  const DibData* d = data_.get();
  std::optional<DibData> decoded;
  TPixelFormat pf;
  switch (PixelFormat()) {
    case DibPixelFormat::k1Bit:
      pf = TPixelFormat::pf1bit;
      break;
    case DibPixelFormat::k4Bit:
      pf = TPixelFormat::pf4bit;
      break;
    case DibPixelFormat::k4BitRle:
      decoded = Convert4BitRLETo4BitRGB(*d);
      d = &*decoded;
      pf = TPixelFormat::pf4bit;
      break;
    case DibPixelFormat::k8Bit:
      pf = TPixelFormat::pf8bit;
      break;
    case DibPixelFormat::k8BitRle:
      decoded = Convert8BitRLETo8BitRGB(*d);
      d = &*decoded;
      pf = TPixelFormat::pf8bit;
      break;
    default:
      pf = TPixelFormat::pf24bit;
      break;
  }
  TBitmap made(d->Width(), d->Height(), pf);
  if (pf != TPixelFormat::pf24bit) made.SetPalette(d->colors);
  // An empty picture has no bytes to copy (and no buffers to copy between).
  if (size_t n = std::min(made.Bits().size(), d->bits.size()); n > 0)
    std::memcpy(made.Bits().data(), d->bits.data(), n);
  made.SetResolution(d->header.x_pels_per_meter, d->header.y_pels_per_meter);
  HandOver(std::move(made), dest);
}

void DibImage::HandOver(TBitmap&& made, TBitmap& dest) const {
  // The target keeps its own notifications and takes this image's transparent flag and colour.
  TNotifyEvent on_change = dest.OnChange;
  TProgressEvent on_progress = dest.OnProgress;
  dest = std::move(made);
  dest.OnChange = std::move(on_change);
  dest.OnProgress = std::move(on_progress);
  dest.SetTransparent(Transparent());
  if (has_transparent_color_) dest.SetTransparentColor(transparent_color_);
}

void DibImage::MoveToBitmap(TBitmap& dest) {
  std::optional<DibPixelFormat> format = data_->Format();
  if (data_.use_count() > 1 || !format || *format == DibPixelFormat::k4BitRle ||
      *format == DibPixelFormat::k8BitRle) {
    dest.Assign(*this);
    return;
  }
  static constexpr TPixelFormat kFormats[] = {TPixelFormat::pf1bit, TPixelFormat::pf4bit,
                                              TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                                              TPixelFormat::pf8bit, TPixelFormat::pf24bit};
  const TPixelFormat pf = kFormats[static_cast<int>(*format)];
  DibData& d = *data_;
  TBitmap made(d.Width(), d.Height(), pf, std::move(d.bits));
  if (pf != TPixelFormat::pf24bit) made.SetPalette(d.colors);
  made.SetResolution(d.header.x_pels_per_meter, d.header.y_pels_per_meter);
  HandOver(std::move(made), dest);
  data_ = std::make_shared<DibData>();
  Changed();
  if (dest.OnChange) dest.OnChange();
}

void DibImage::LoadFromStream(TStream& stream) { SetData(ReadBmpDib(stream)); }

void DibImage::SaveToStream(TStream& stream) const { WriteBmpDib(*data_, stream); }

void DibImage::LoadFromClipboardFormat(const uint8_t* bytes, size_t size) {
  SetData(ReadPackedDib(bytes, size));
}

std::vector<uint8_t> DibImage::SaveToClipboardFormat() const { return WritePackedDib(*data_); }

void RegisterDibGraphic() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterFileFormat("dib", "Device Independent Bitmap", "DibImage",
                     [] { return std::make_unique<DibImage>(); });
}

}  // namespace pamirune
