#include "formats/mag/mag_image.h"

#include <algorithm>
#include <cstring>

#include "formats/mag/mag_coder.h"
#include "raster/byte_order.h"
#include "raster/palettes.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

const char kDefaultComment[] = "zor's TMAGImage Ver 1.01";
const char kDefaultUserName[] = ">?\?<";
const char kRangeOver[] = "range over";
constexpr int kMaxCoordinate = 65535;

// Gives a 4- or 8-bit raster a new size keeping its pixel indices. New pixels take the palette
// entry nearest to white, as a resized Raster image does.
void ResizeIndexed(TBitmap& raster, int width, int height) {
  if (width == raster.Width() && height == raster.Height()) return;
  const bool nibbles = raster.PixelFormat() == TPixelFormat::pf4bit;
  TBitmap out(width, height, raster.PixelFormat());
  out.SetPalette(raster.Palette());
  const uint8_t fill =
      raster.Palette().empty() ? 0 : static_cast<uint8_t>(raster.NearestPaletteIndex(kClWhite));
  std::fill(out.Bits().begin(), out.Bits().end(),
            nibbles ? static_cast<uint8_t>(fill * 0x11) : fill);
  const int keep_width = std::min(width, raster.Width());
  const int keep_height = std::min(height, raster.Height());
  for (int y = 0; y < keep_height; ++y) {
    const uint8_t* from = raster.ScanLine(y);
    uint8_t* to = out.ScanLine(y);
    if (nibbles) {
      std::memcpy(to, from, static_cast<size_t>(keep_width / 2));
      if (keep_width % 2)
        to[keep_width / 2] = static_cast<uint8_t>((from[keep_width / 2] & 0xF0) | fill);
    } else {
      std::memcpy(to, from, static_cast<size_t>(keep_width));
    }
  }
  raster = std::move(out);
}

// A 1-bit image becomes 4 bits with the same indices and its own two colours.
void WidenBitsTo4(TBitmap& raster) {
  TBitmap out(raster.Width(), raster.Height(), TPixelFormat::pf4bit);
  out.SetPalette(raster.Palette().empty() ? BlackWhitePalette() : raster.Palette());
  for (int y = 0; y < raster.Height(); ++y) {
    const uint8_t* from = raster.ScanLine(y);
    uint8_t* to = out.ScanLine(y);
    for (int x = 0; x < raster.Width(); ++x) {
      const uint8_t bit = (from[x >> 3] >> (7 - (x & 7))) & 1;
      to[x >> 1] |= static_cast<uint8_t>((x & 1) ? bit : bit << 4);
    }
  }
  raster = std::move(out);
}

int AlignUp(int value, int alignment) { return (value + alignment - 1) / alignment * alignment; }

TPixelFormat FormatOf(TMagColorMode mode) {
  return mode == TMagColorMode::mc256Colors ? TPixelFormat::pf8bit : TPixelFormat::pf4bit;
}

// The encoded form of a file as read or written.
std::shared_ptr<const TMagData> MakeData(const mag::MagFile& file, std::vector<uint8_t> bytes) {
  auto data = std::make_shared<TMagData>();
  data->header_block = file.header_block;
  data->mag_header = file.mag_header;
  data->width = file.width;
  data->height = file.height;
  data->stream = std::move(bytes);
  return data;
}

}  // namespace

TMagData::TMagData() : header_block(mag::FreshHeaderBlock()) {}

TMAGImage::TMAGImage() : data_(std::make_shared<TMagData>()) { SetDefaults(); }

TMAGImage::~TMAGImage() = default;

void TMAGImage::SetDefaults() {
  color_mode_ = TMagColorMode::mc16Colors;
  comment_ = kDefaultComment;
  user_name_ = kDefaultUserName;
  line200_ = false;
  start_x_ = 0;
  start_y_ = 0;
}

void TMAGImage::MarkChanged() {
  modified_ = true;
  Changed();
}

void TMAGImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* mag = dynamic_cast<const TMAGImage*>(&source)) {
    data_ = mag->data_;
    user_name_ = mag->user_name_;
    comment_ = mag->comment_;
    color_mode_ = mag->color_mode_;
    line200_ = mag->line200_;
    start_x_ = mag->start_x_;
    start_y_ = mag->start_y_;
    palette_ = mag->palette_;
    raster_ = mag->raster_ ? std::make_unique<TBitmap>(*mag->raster_) : nullptr;
    MarkChanged();
    return;
  }
  // Everything is prepared aside first, so a refused source leaves this image as it was.
  auto raster = std::make_unique<TBitmap>();
  raster->Assign(source);
  switch (raster->PixelFormat()) {
    case TPixelFormat::pf1bit:
      WidenBitsTo4(*raster);
      break;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
      break;
    default:
      raster->SetPixelFormat(TPixelFormat::pf8bit);
      break;
  }
  const bool colors256 = raster->PixelFormat() == TPixelFormat::pf8bit;
  // The added columns on the right are part of the image from now on.
  ResizeIndexed(*raster, AlignUp(raster->Width(), mag::Alignment(colors256)), raster->Height());
  raster->OnChange = nullptr;
  raster->OnProgress = nullptr;

  data_ = std::make_shared<TMagData>();
  raster_ = std::move(raster);
  palette_.clear();
  SetDefaults();
  color_mode_ = colors256 ? TMagColorMode::mc256Colors : TMagColorMode::mc16Colors;
  MarkChanged();
}

void TMAGImage::ToBitmap(TBitmap& dest) const {
  if (raster_) {
    dest = *raster_;
  } else {
    dest = TBitmap();
  }
}

bool TMAGImage::Empty() const {
  if (!data_->stream.empty()) return false;
  return !raster_ || raster_->Empty();
}

int TMAGImage::Width() const { return raster_ ? raster_->Width() : data_->width; }
int TMAGImage::Height() const { return raster_ ? raster_->Height() : data_->height; }

void TMAGImage::SetWidth(int width) {
  const int a = mag::Alignment(color_mode_ == TMagColorMode::mc256Colors);
  if (width < 0 || width > kMaxCoordinate) throw EInvalidMagOperation(kRangeOver);
  const int aligned = AlignUp(width, a);
  if (aligned + start_x_ > kMaxCoordinate) throw EInvalidMagOperation(kRangeOver);
  if (!raster_) raster_ = std::make_unique<TBitmap>(0, 0, FormatOf(color_mode_));
  ResizeIndexed(*raster_, aligned, raster_->Height());
  MarkChanged();
}

void TMAGImage::SetHeight(int height) {
  if (height < 0 || height + start_y_ > kMaxCoordinate) throw EInvalidMagOperation(kRangeOver);
  if (!raster_) raster_ = std::make_unique<TBitmap>(0, 0, FormatOf(color_mode_));
  ResizeIndexed(*raster_, raster_->Width(), height);
  MarkChanged();
}

void TMAGImage::LoadFromStream(TStream& stream) {
  std::vector<uint8_t> bytes = stream.ReadRest();
  // A failed load leaves an empty raster and no encoded bytes, so a damaged file is never
  // written out again as if it were a MAG file.
  data_ = std::make_shared<TMagData>();
  palette_.clear();
  raster_ = std::make_unique<TBitmap>(0, 0, TPixelFormat::pf4bit);

  mag::MagFile file;
  auto decoded = std::make_unique<TBitmap>();
  mag::DecodeMag(bytes.data(), bytes.size(), file, *decoded);

  data_ = MakeData(file, std::move(bytes));
  palette_ = decoded->Palette();
  raster_ = std::move(decoded);
  color_mode_ = file.colors256 ? TMagColorMode::mc256Colors : TMagColorMode::mc16Colors;
  user_name_ = file.user_name;
  comment_ = file.comment;
  line200_ = file.line200;
  start_x_ = file.start_x;
  start_y_ = file.start_y;
  // The encoded bytes are the image as loaded: saving writes them back unchanged.
  modified_ = false;
  Changed();
}

void TMAGImage::Encode() const {
  if (!raster_ || raster_->Empty()) throw EInvalidMagOperation("not have DIB");
  mag::EncodeOptions options{user_name_, comment_, line200_, start_x_, start_y_};
  mag::MagFile file;
  std::vector<uint8_t> bytes = mag::EncodeMag(*raster_, options, file);
  data_ = MakeData(file, std::move(bytes));
  comment_ = file.comment;
  modified_ = false;
}

void TMAGImage::SaveToStream(TStream& stream) const {
  if (data_->stream.empty() || modified_) Encode();
  stream.WriteBytes(data_->stream);
}

void TMAGImage::WriteData(TStream& stream) const {
  if (data_->stream.empty() || modified_) Encode();
  uint8_t length[4];
  const auto size = static_cast<uint32_t>(data_->stream.size());
  PutLe32(length, size);
  stream.WriteBuffer(length, 4);
  stream.WriteBytes(data_->stream);
}

void TMAGImage::ReadData(TStream& stream) {
  uint8_t length[4];
  stream.ReadBuffer(length, 4);
  const uint32_t size = GetLe32(length);
  if (size > static_cast<uint64_t>(std::max<int64_t>(0, stream.Remaining())))
    throw EMagError("the stored image is cut short.");
  std::vector<uint8_t> bytes(size);
  stream.ReadBuffer(bytes.data(), bytes.size());
  TMemoryStream inner(std::move(bytes));
  LoadFromStream(inner);
}

const std::vector<TRGBQuad>& TMAGImage::Palette() const {
  return raster_ ? raster_->Palette() : palette_;
}

void TMAGImage::SetPalette(std::vector<TRGBQuad> palette) {
  if (raster_) raster_->SetPalette(palette);
  palette_ = std::move(palette);
  MarkChanged();
}

void TMAGImage::SetUserName(const std::string& value) {
  user_name_ = value;
  MarkChanged();
}

void TMAGImage::SetComment(const std::string& value) {
  comment_ = value;
  MarkChanged();
}

void TMAGImage::SetLine200(bool value) {
  line200_ = value;
  MarkChanged();
}

void TMAGImage::SetStartX(uint16_t value) {
  start_x_ = value;
  MarkChanged();
}

void TMAGImage::SetStartY(uint16_t value) {
  start_y_ = value;
  MarkChanged();
}

void RegisterMagGraphic() {
  static int registrations = 0;
  if (registrations++ > 0) return;
  RegisterFileFormat("MAG", "MAki chan Graphic format", "TMAGImage",
                     [] { return std::make_unique<TMAGImage>(); });
}

}  // namespace pamirune
