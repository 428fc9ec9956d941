// Colour maps, the header, the trailer and the extensions of a GIF image.
#include <algorithm>
#include <cctype>
#include <limits>

#include "formats/gif/gif.h"
#include "formats/gif/gif_io.h"

namespace pamirune {

namespace gif_io {

std::string ReadSubBlockData(TStream& stream) {
  std::string out;
  for (;;) {
    const uint8_t length = ReadByte(stream);
    if (length == 0) break;
    const size_t at = out.size();
    out.resize(at + length);
    ReadExact(stream, out.data() + at, length);
  }
  return out;
}

void WriteSubBlockData(TStream& stream, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    WriteByte(stream, static_cast<uint8_t>(n));
    stream.Write(bytes.data() + at, n);
  }
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  lines.push_back(line);
  return lines;
}

}  // namespace gif_io

using namespace gif_io;

// ---------------------------------------------------------------------------------------------
// TGIFItem

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) const {
  if (image_) image_->Warning(severity, message);
}

// ---------------------------------------------------------------------------------------------
// TGIFColorMap

TGIFColor TGIFColorMap::Colors(int index) const {
  if (index < 0 || index >= count_) throw EGIFError(gif_msg::kInvalidColorIndex);
  return colors_[static_cast<size_t>(index)];
}

TColor TGIFColorMap::Color(int index) const {
  const TGIFColor c = Colors(index);
  return RGB(c.red, c.green, c.blue);
}

void TGIFColorMap::Grow(int request) {
  int wanted = request <= 16 ? 16 : ((request + 31) / 32) * 32;
  wanted = std::min(wanted, kMaxColors);
  capacity_ = std::max(capacity_, wanted);
}

int TGIFColorMap::Add(TGIFColor color) {
  if (count_ >= kMaxColors) throw EGIFError(gif_msg::kColorTableOverflow);
  Grow(count_ + 1);
  colors_[static_cast<size_t>(count_)] = color;
  return count_++;
}

int TGIFColorMap::Add(TColor color) {
  return Add(TGIFColor{GetRValue(color), GetGValue(color), GetBValue(color)});
}

void TGIFColorMap::Delete(int index) {
  if (index < 0 || index >= count_) throw EGIFError(gif_msg::kInvalidColorIndex);
  std::copy(colors_.begin() + index + 1, colors_.begin() + count_, colors_.begin() + index);
  --count_;
}

int TGIFColorMap::IndexOf(TColor color) const {
  const TGIFColor c{GetRValue(color), GetGValue(color), GetBValue(color)};
  for (int i = 0; i < count_; ++i)
    if (colors_[static_cast<size_t>(i)] == c) return i;
  return -1;
}

int TGIFColorMap::Nearest(TColor color) const {
  if (count_ == 0) throw EGIFError(gif_msg::kColorTableEmpty);
  const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (int i = 0; i < count_; ++i) {
    const TGIFColor& c = colors_[static_cast<size_t>(i)];
    const int dr = c.red - r, dg = c.green - g, db = c.blue - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < best_distance) {
      best_distance = d;
      best = i;
    }
  }
  return best;
}

void TGIFColorMap::Clear() {
  count_ = 0;
  optimized_ = false;
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  if (&source == this) return;
  colors_ = source.colors_;
  count_ = source.count_;
  optimized_ = source.optimized_;
  Grow(count_);
}

int TGIFColorMap::BitsPerPixel() const {
  if (count_ == 0) return 0;
  int bits = 1;
  while ((1 << bits) < count_) ++bits;
  return bits;
}

std::vector<TRGBQuad> TGIFColorMap::ToPalette() const {
  std::vector<TRGBQuad> palette(static_cast<size_t>(count_));
  for (int i = 0; i < count_; ++i) {
    const TGIFColor& c = colors_[static_cast<size_t>(i)];
    palette[static_cast<size_t>(i)] = TRGBQuad{c.blue, c.green, c.red, 0};
  }
  return palette;
}

void TGIFColorMap::FromPalette(const std::vector<TRGBQuad>& palette) {
  Clear();
  const size_t n = std::min<size_t>(palette.size(), kMaxColors);
  for (size_t i = 0; i < n; ++i) Add(TGIFColor{palette[i].red, palette[i].green, palette[i].blue});
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
  Clear();
  count = std::clamp(count, 0, kMaxColors);
  uint8_t bytes[kMaxColors * 3];
  ReadExact(stream, bytes, static_cast<size_t>(count) * 3);
  Grow(count);
  for (int i = 0; i < count; ++i)
    colors_[static_cast<size_t>(i)] = TGIFColor{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  count_ = count;
}

void TGIFColorMap::SaveToStream(TStream& stream, int bits) const {
  const int entries = std::max(count_, 1 << std::clamp(bits, 0, 8));
  std::vector<uint8_t> bytes(static_cast<size_t>(entries) * 3, 0);
  for (int i = 0; i < count_; ++i) {
    const TGIFColor& c = colors_[static_cast<size_t>(i)];
    bytes[3 * static_cast<size_t>(i)] = c.red;
    bytes[3 * static_cast<size_t>(i) + 1] = c.green;
    bytes[3 * static_cast<size_t>(i) + 2] = c.blue;
  }
  stream.Write(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------------------
// TGIFHeader

void TGIFHeader::Clear() {
  width_ = height_ = 0;
  packed_ = background_index_ = aspect_ratio_ = 0;
  version_text_.clear();
  color_map_.Clear();
}

void TGIFHeader::LoadFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t signature[6];
  auto try_at = [&](int64_t position) {
    stream.Seek(position);
    if (stream.Read(signature, 6) != 6) return false;
    return std::toupper(signature[0]) == 'G' && std::toupper(signature[1]) == 'I' &&
           std::toupper(signature[2]) == 'F';
  };
  // Some files carry four bytes of their own before the signature.
  if (!try_at(start) && !try_at(start + 4)) throw EGIFError(gif_msg::kInvalidSignature);
  version_text_.assign(reinterpret_cast<const char*>(signature + 3), 3);

  uint8_t lsd[7];
  ReadExact(stream, lsd, sizeof lsd);
  width_ = GetLe16(lsd);
  height_ = GetLe16(lsd + 2);
  packed_ = lsd[4];
  background_index_ = lsd[5];
  aspect_ratio_ = lsd[6];
  color_map_.Clear();
  if (packed_ & 0x80) {
    color_map_.LoadFromStream(stream, 2 << (packed_ & 7));
    color_map_.SetOptimized((packed_ & 0x08) != 0);
  }
}

void TGIFHeader::SaveToStream(TStream& stream) const {
  const TGIFVersion version = image_ ? image_->Version() : TGIFVersion::gvUnknown;
  if (version == TGIFVersion::gvUnknown) throw EGIFError(gif_msg::kUnsupportedVersion);
  stream.Write(version == TGIFVersion::gv89a ? "GIF89a" : "GIF87a", 6);

  const int bits = std::max(image_->BitsPerPixel(), color_map_.BitsPerPixel());
  const int resolution = std::max(image_->ColorResolution(), color_map_.ColorResolution());
  uint8_t packed = 0;
  if (color_map_.Count() > 0) {
    packed |= 0x80;
    if (color_map_.Optimized()) packed |= 0x08;
  }
  packed |= static_cast<uint8_t>(std::clamp(resolution, 0, 7) << 4);
  packed |= static_cast<uint8_t>(std::clamp(bits - 1, 0, 7));
  packed_ = packed;

  Write16(stream, width_);
  Write16(stream, height_);
  WriteByte(stream, packed);
  WriteByte(stream, background_index_);
  WriteByte(stream, aspect_ratio_);
  // The table holds as many entries as the size field announces (it covers the frames'
  // depths too), padded with black.
  if (packed & 0x80) color_map_.SaveToStream(stream, (packed & 7) + 1);
}

// ---------------------------------------------------------------------------------------------
// TGIFTrailer

void TGIFTrailer::LoadFromStream(TStream& stream) {
  uint8_t value = 0;
  if (stream.Read(&value, 1) != 1 || value != kGifTrailer)
    Warning(TGIFSeverity::gsWarning, gif_msg::kInvalidTrailer);
}

void TGIFTrailer::SaveToStream(TStream& stream) const { WriteByte(stream, kGifTrailer); }

// ---------------------------------------------------------------------------------------------
// Extensions

TGIFExtension::TGIFExtension(TGIFSubImage* sub_image)
    : TGIFItem(sub_image ? sub_image->Image() : nullptr), sub_image_(sub_image) {}

void TGIFExtension::LoadFromStream(TStream& stream) {
  if (ReadByte(stream) != ExtensionType()) throw EGIFError(gif_msg::kExtensionMismatch);
  LoadPayload(stream);
}

void TGIFExtension::SaveToStream(TStream& stream) const {
  WriteByte(stream, kGifExtensionIntroducer);
  WriteByte(stream, ExtensionType());
  SavePayload(stream);
}

TGIFExtension& TGIFExtensionList::LoadExtension(TStream& stream) {
  const int64_t position = stream.Position();
  std::unique_ptr<TGIFExtension> extension;
  switch (ReadByte(stream)) {
    case kGifLabelGraphicControl:
      extension = std::make_unique<TGIFGraphicControlExtension>(sub_image_);
      break;
    case kGifLabelText:
      extension = std::make_unique<TGIFTextExtension>(sub_image_);
      break;
    case kGifLabelComment:
      extension = std::make_unique<TGIFCommentExtension>(sub_image_);
      break;
    case kGifLabelApplication: {
      const std::string identifier = TGIFApplicationExtension::ReadIdentifier(stream);
      if (identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0")
        extension = std::make_unique<TGIFAppExtNSLoop>(sub_image_);
      else
        extension = std::make_unique<TGIFUnknownAppExtension>(sub_image_);
      break;
    }
    default:
      throw EGIFError(gif_msg::kUnknownExtension);
  }
  stream.Seek(position);
  extension->LoadFromStream(stream);
  return (*this)[Add(std::move(extension))];
}

// Graphic control extension.

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* sub_image)
    : TGIFExtension(sub_image) {
  if (sub_image && !sub_image->graphic_control_) sub_image->graphic_control_ = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (sub_image_ && sub_image_->graphic_control_ == this) sub_image_->graphic_control_ = nullptr;
}

std::unique_ptr<TGIFExtension> TGIFGraphicControlExtension::CloneFor(
    TGIFSubImage* sub_image) const {
  auto copy = std::make_unique<TGIFGraphicControlExtension>(sub_image);
  copy->packed_ = packed_;
  copy->delay_ = delay_;
  copy->transparent_index_ = transparent_index_;
  return copy;
}

void TGIFGraphicControlExtension::SetDisposal(int value) {
  packed_ = static_cast<uint8_t>((packed_ & ~0x1C) | ((value & 7) << 2));
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
  packed_ = static_cast<uint8_t>(value ? (packed_ | 1) : (packed_ & ~1));
  if (sub_image_) sub_image_->SetTransparent(value);
  if (image_) image_->DropBitmapCache();
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
  if (index < 0 || index > 255) {
    Warning(TGIFSeverity::gsWarning, gif_msg::kInvalidColorIndex);
    index = 0;
  } else if (sub_image_) {
    const TGIFColorMap& map = sub_image_->ActiveColorMap();
    if (map.Count() > 0 && index >= map.Count()) {
      Warning(TGIFSeverity::gsWarning, gif_msg::kInvalidColorIndex);
      index = 0;
    }
  }
  transparent_index_ = static_cast<uint8_t>(index);
  if (image_) image_->DropBitmapCache();
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor color) {
  if (!sub_image_) throw EGIFError(gif_msg::kColorTableEmpty);
  TGIFColorMap& map = sub_image_->ActiveColorMap();
  int index = map.IndexOf(color);
  if (index < 0) index = map.Add(color);
  SetTransparentColorIndex(index);
}

TColor TGIFGraphicControlExtension::TransparentColor() const {
  if (!sub_image_) return kClBlack;
  const TGIFColorMap& map = sub_image_->ActiveColorMap();
  return transparent_index_ < map.Count() ? map.Color(transparent_index_) : kClBlack;
}

void TGIFGraphicControlExtension::LoadPayload(TStream& stream) {
  // Block size 4, packed, delay, transparent index, terminator.
  const int64_t start = stream.Position();
  uint8_t bytes[6] = {};
  const size_t got = stream.Read(bytes, sizeof bytes);
  if (got < sizeof bytes) Warning(TGIFSeverity::gsWarning, gif_msg::kPrematureEnd);
  uint8_t fields[4] = {};
  const size_t block_size = got > 0 ? bytes[0] : 0;
  for (size_t i = 0; i < 4 && i < block_size && i + 1 < got; ++i) fields[i] = bytes[i + 1];
  packed_ = fields[0];
  delay_ = GetLe16(fields + 1);
  transparent_index_ = fields[3];
  if (got == sizeof bytes && (block_size != 4 || bytes[5] != 0)) {
    // Leniency: a block of another size (or with more sub-blocks) is stepped over as the
    // block structure says; the block is written back in its standard form.
    stream.Seek(start + 1);
    if (stream.Remaining() < static_cast<int64_t>(block_size)) {
      Warning(TGIFSeverity::gsWarning, gif_msg::kPrematureEnd);
      stream.Seek(stream.Size());
    } else {
      stream.Seek(start + 1 + static_cast<int64_t>(block_size));
      for (;;) {
        uint8_t length = 0;
        if (stream.Read(&length, 1) != 1 || length == 0) break;
        if (stream.Remaining() < length) {
          Warning(TGIFSeverity::gsWarning, gif_msg::kPrematureEnd);
          stream.Seek(stream.Size());
          break;
        }
        stream.Seek(stream.Position() + length);
      }
    }
  }
  if ((packed_ & 1) && sub_image_) sub_image_->SetTransparent(true);
}

void TGIFGraphicControlExtension::SavePayload(TStream& stream) const {
  const uint8_t bytes[6] = {4,
                            packed_,
                            static_cast<uint8_t>(delay_),
                            static_cast<uint8_t>(delay_ >> 8),
                            transparent_index_,
                            0};
  stream.Write(bytes, sizeof bytes);
}

// Text extension.

std::unique_ptr<TGIFExtension> TGIFTextExtension::CloneFor(TGIFSubImage* sub_image) const {
  auto copy = std::make_unique<TGIFTextExtension>(sub_image);
  copy->left = left;
  copy->top = top;
  copy->grid_width = grid_width;
  copy->grid_height = grid_height;
  copy->cell_width = cell_width;
  copy->cell_height = cell_height;
  copy->foreground_index = foreground_index;
  copy->background_index = background_index;
  copy->lines = lines;
  return copy;
}

void TGIFTextExtension::LoadPayload(TStream& stream) {
  const uint8_t block_size = ReadByte(stream);
  uint8_t block[255] = {};
  ReadExact(stream, block, block_size);
  left = GetLe16(block);
  top = GetLe16(block + 2);
  grid_width = GetLe16(block + 4);
  grid_height = GetLe16(block + 6);
  cell_width = block[8];
  cell_height = block[9];
  foreground_index = block[10];
  background_index = block[11];
  lines = SplitLines(ReadSubBlockData(stream));
}

void TGIFTextExtension::SavePayload(TStream& stream) const {
  WriteByte(stream, 12);
  Write16(stream, left);
  Write16(stream, top);
  Write16(stream, grid_width);
  Write16(stream, grid_height);
  const uint8_t cells[4] = {cell_width, cell_height, foreground_index, background_index};
  stream.Write(cells, sizeof cells);
  WriteSubBlockData(stream, JoinLines(lines));
  WriteByte(stream, 0);
}

// Comment extension.

std::unique_ptr<TGIFExtension> TGIFCommentExtension::CloneFor(TGIFSubImage* sub_image) const {
  auto copy = std::make_unique<TGIFCommentExtension>(sub_image);
  copy->lines = lines;
  return copy;
}

void TGIFCommentExtension::LoadPayload(TStream& stream) {
  lines = SplitLines(ReadSubBlockData(stream));
}

void TGIFCommentExtension::SavePayload(TStream& stream) const {
  WriteSubBlockData(stream, JoinLines(lines));
  WriteByte(stream, 0);
}

// Application extensions.

void TGIFApplicationExtension::SetIdentifier(const std::string& identifier) {
  identifier_ = identifier;
  identifier_.resize(11, '\0');
}

std::string TGIFApplicationExtension::ReadIdentifier(TStream& stream) {
  const uint8_t block_size = ReadByte(stream);
  if (block_size < 10) throw EGIFError(gif_msg::kAppExtBlockSize);
  std::string identifier(11, '\0');
  ReadExact(stream, identifier.data(), 11);
  if (block_size == 10)
    stream.Seek(stream.Position() - 1);  // the eleventh byte was the first data byte
  else if (block_size > 11)
    Skip(stream, block_size - 11);
  return identifier;
}

void TGIFApplicationExtension::LoadPayload(TStream& stream) {
  identifier_ = ReadIdentifier(stream);
  LoadData(stream);
}

void TGIFApplicationExtension::SavePayload(TStream& stream) const {
  WriteByte(stream, 11);
  stream.Write(identifier_.data(), 11);
  SaveData(stream);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* sub_image) : TGIFApplicationExtension(sub_image) {
  SetIdentifier("NETSCAPE2.0");
}

std::unique_ptr<TGIFExtension> TGIFAppExtNSLoop::CloneFor(TGIFSubImage* sub_image) const {
  auto copy = std::make_unique<TGIFAppExtNSLoop>(sub_image);
  copy->identifier_ = identifier_;
  copy->loops_ = loops_;
  copy->buffer_size_ = buffer_size_;
  return copy;
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
  for (;;) {
    const uint8_t length = ReadByte(stream);
    if (length == 0) break;
    uint8_t block[255];
    ReadExact(stream, block, length);
    if (block[0] == 1) {
      if (length < 3) throw EGIFError(gif_msg::kInvalidData);
      loops_ = GetLe16(block + 1);
    } else if (block[0] == 2) {
      if (length < 5) throw EGIFError(gif_msg::kInvalidData);
      buffer_size_ = GetLe32(block + 1);
    }
  }
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) const {
  const uint8_t loop[4] = {3, 1, static_cast<uint8_t>(loops_), static_cast<uint8_t>(loops_ >> 8)};
  stream.Write(loop, sizeof loop);
  if (buffer_size_ > 0) {
    uint8_t buffer[6] = {5, 2};
    PutLe32(buffer + 2, buffer_size_);
    stream.Write(buffer, sizeof buffer);
  }
  WriteByte(stream, 0);
}

std::unique_ptr<TGIFExtension> TGIFUnknownAppExtension::CloneFor(TGIFSubImage* sub_image) const {
  auto copy = std::make_unique<TGIFUnknownAppExtension>(sub_image);
  copy->identifier_ = identifier_;
  copy->blocks = blocks;
  return copy;
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
  blocks.clear();
  for (;;) {
    const uint8_t length = ReadByte(stream);
    if (length == 0) break;
    TGIFBlock block;
    block.data.resize(length);
    ReadExact(stream, block.data.data(), length);
    blocks.push_back(std::move(block));
  }
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) const {
  for (const TGIFBlock& block : blocks)
    WriteSubBlockData(stream, std::string(block.data.begin(), block.data.end()));
  WriteByte(stream, 0);
}

}  // namespace pamirune
