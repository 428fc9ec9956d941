// TIcon: reading icon files and drawing them as the conversion wants.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "formats/ico/ico.h"
#include "formats/png/png_image.h"
#include "raster/bmp_header.h"
#include "raster/byte_order.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidIcon); }

struct Candidate {
  size_t offset = 0;
  size_t size = 0;
  bool png = false;
  int width = 0;
  int height = 0;
  int depth = 0;
};

// Reads what choosing needs from one directory entry; false for an entry to skip.
bool Inspect(const Bytes& file, size_t entry, Candidate& c) {
  c.offset = GetLe32(file, entry + 12);
  c.size = GetLe32(file, entry + 8);
  if (c.offset > file.size() || c.size > file.size() - c.offset || c.size < 16) return false;
  c.png = std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin() + c.offset);
  if (c.png) {
    if (c.size < 26) return false;
    c.width = static_cast<int>(std::min<uint32_t>(GetBe32(file, c.offset + 16), 1u << 30));
    c.height = static_cast<int>(std::min<uint32_t>(GetBe32(file, c.offset + 20), 1u << 30));
    int bit_depth = file[c.offset + 24];
    int channels = std::array<int, 7>{1, 0, 3, 1, 2, 0, 4}[std::min<int>(file[c.offset + 25], 6)];
    c.depth = bit_depth * std::max(channels, 1);
  } else {
    if (c.size < 40) return false;
    c.width = static_cast<int32_t>(GetLe32(file, c.offset + 4));
    c.height = static_cast<int32_t>(GetLe32(file, c.offset + 8)) / 2;
    c.depth = GetLe16(file, c.offset + 14);
  }
  return c.width > 0 && c.height > 0;
}

bool OverPixelLimit(const Candidate& c) { return int64_t{c.width} * c.height > PixelLimit(); }

// The directory and the images it points at; what follows the last image is never read.
Bytes ReadIconFile(TStream& stream) {
  const int64_t start = stream.Position();
  Bytes file(6);
  file.resize(stream.Read(file.data(), file.size()));
  if (file.size() < 6) return file;
  const size_t count = GetLe16(file, 4);
  file.resize(6 + 16 * count);
  file.resize(6 + stream.Read(file.data() + 6, 16 * count));
  uint64_t end = file.size();
  for (size_t at = 6; at + 16 <= file.size(); at += 16)
    end = std::max<uint64_t>(end, uint64_t{GetLe32(file, at + 12)} + GetLe32(file, at + 8));
  end = std::min<uint64_t>(end, static_cast<uint64_t>(std::max<int64_t>(0, stream.Size() - start)));
  const size_t have = file.size();
  file.resize(static_cast<size_t>(std::max<uint64_t>(end, have)));
  file.resize(have + stream.Read(file.data() + have, file.size() - have));
  return file;
}

// The image closest to the standard icon size, then the deepest. Cursors, damaged directories
// and files without a usable image are refused; an image over the pixel limit is never chosen
// (its pixels are not decoded at all), and refused as too large when no other is left.
Candidate ChooseEntry(const Bytes& file) {
  if (file.size() < 6) Invalid();
  const uint16_t type = GetLe16(file, 2);
  const uint16_t count = GetLe16(file, 4);
  if (GetLe16(file, 0) != 0 || type != 1 || count == 0) Invalid();  // type 2: a cursor
  if (6 + 16 * size_t{count} > file.size()) Invalid();

  Candidate best;
  bool found = false;
  int64_t best_distance = 0;
  std::optional<Candidate> too_large;
  for (int i = 0; i < count; ++i) {
    Candidate c;
    if (!Inspect(file, 6 + 16 * size_t(i), c)) continue;
    if (OverPixelLimit(c)) {
      too_large = c;
      continue;
    }
    int64_t distance = std::abs(int64_t{c.width} - TIcon::kStandardSize) +
                       std::abs(int64_t{c.height} - TIcon::kStandardSize);
    if (!found || distance < best_distance || (distance == best_distance && c.depth > best.depth)) {
      best = c;
      best_distance = distance;
      found = true;
    }
  }
  if (!found && too_large) ThrowImageTooLarge(too_large->width, too_large->height);
  if (!found) Invalid();
  return best;
}

// The chosen image in 24 bits, its opacity per pixel (255 = opaque) and the pixels to invert.
struct DecodedEntry {
  TBitmap image;
  std::vector<uint8_t> opacity;
  std::vector<uint8_t> invert;

  void Allocate(int width, int height) {
    const size_t pixels = static_cast<size_t>(width) * height;
    opacity.assign(pixels, 255);
    invert.assign(pixels, 0);
  }
};

// An entry stored as PNG: the PNG reader decodes it; its own transparency is an alpha channel
// (kept as 255 - alpha) or one colour.
DecodedEntry DecodePngEntry(const Bytes& file, const Candidate& best) {
  DecodedEntry e;
  PngImage png;
  TBufferStream data(file.data() + best.offset, best.size);
  png.LoadFromStream(data);
  png.ToBitmap(e.image);
  if (e.image.Empty()) Invalid();
  e.image.SetPixelFormat(TPixelFormat::pf24bit);
  e.Allocate(e.image.Width(), e.image.Height());
  const TBitmap& mask = png.AlphaMask();
  const bool has_alpha = png.Options().alpha_present && mask.Width() == e.image.Width() &&
                         mask.Height() == e.image.Height();
  const bool keyed = !has_alpha && png.Transparent();
  const TColor key = keyed ? png.TransparentColor() : 0;
  for (int y = 0; y < e.image.Height(); ++y)
    for (int x = 0; x < e.image.Width(); ++x) {
      size_t i = static_cast<size_t>(y) * e.image.Width() + x;
      if (has_alpha)
        e.opacity[i] = static_cast<uint8_t>(255 - GetRValue(mask.Pixel(x, y)));
      else if (keyed && e.image.Pixel(x, y) == key)
        e.opacity[i] = 0;
    }
  return e;
}

// Where the parts of an entry stored as a DIB lie in the file.
struct DibLayout {
  int width = 0;
  int height = 0;
  int bits = 0;
  std::vector<TColor> palette;
  size_t stride = 0;  // of the colour image
  size_t xor_at = 0;  // the colour image
  size_t mask_stride = 0;
  size_t and_at = 0;  // the mask
  bool has_mask = false;
};

DibLayout LocateDib(const Bytes& file, const Candidate& best) {
  const size_t at = best.offset;
  const size_t end = best.offset + best.size;
  const BmpInfoHeader info = DecodeBmpInfoHeader(file.data() + at, best.size);
  DibLayout d;
  d.width = best.width;
  d.height = best.height;
  d.bits = best.depth;
  const uint32_t compression = info.compression;
  const int bits = d.bits;
  if (info.size < 40 || info.size > best.size) Invalid();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) Invalid();
  if (!(compression == kBiRgb || (compression == kBiBitfields && bits == 32))) Invalid();
  CheckedImageBytes(d.width, d.height, 32);
  const size_t table = at + info.size + (compression == kBiBitfields && info.size == 40 ? 12 : 0);
  const int entries =
      bits <= 8 ? (info.clr_used && info.clr_used < (1u << bits) ? static_cast<int>(info.clr_used)
                                                                 : 1 << bits)
                : 0;
  d.stride = static_cast<size_t>(RowBytes(d.width, bits));
  d.xor_at = table + 4 * size_t(entries);
  if (d.xor_at > end || d.stride * d.height > end - d.xor_at) Invalid();
  d.mask_stride = static_cast<size_t>(RowBytes(d.width, 1));
  d.and_at = d.xor_at + d.stride * d.height;
  // A missing mask is taken as all opaque.
  d.has_mask = d.and_at <= end && d.mask_stride * d.height <= end - d.and_at;
  d.palette.resize(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    const uint8_t* q = file.data() + table + 4 * i;
    d.palette[i] = RGB(q[2], q[1], q[0]);
  }
  return d;
}

// The colour image into e.image, the alpha values of 32-bit entries into e.opacity; true when
// any alpha value is not zero.
bool DecodeDibColours(const Bytes& file, const DibLayout& d, DecodedEntry& e) {
  const int width = d.width, height = d.height;
  const int entries = static_cast<int>(d.palette.size());
  const auto& palette = d.palette;
  bool any_alpha = false;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = file.data() + d.xor_at + d.stride * (height - 1 - y);
    uint8_t* dst = e.image.ScanLine(y);
    uint8_t* alpha = e.opacity.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x, dst += 3) {
      TColor c;
      switch (d.bits) {
        case 1:
          c = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
          break;
        case 4:
          c = palette[std::min((src[x >> 1] >> (x & 1 ? 0 : 4)) & 15, entries - 1)];
          break;
        case 8:
          c = palette[std::min<int>(src[x], entries - 1)];
          break;
        case 24:
          c = RGB(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
          break;
        default:
          c = RGB(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
          alpha[x] = src[4 * x + 3];
          any_alpha |= alpha[x] != 0;
          break;
      }
      dst[0] = GetBValue(c);
      dst[1] = GetGValue(c);
      dst[2] = GetRValue(c);
    }
  }
  return any_alpha;
}

// Set bits of the mask show the background, inverted where the colour image is not black.
void ApplyAndMask(const Bytes& file, const DibLayout& d, DecodedEntry& e) {
  for (int y = 0; y < d.height; ++y) {
    const uint8_t* m = file.data() + d.and_at + d.mask_stride * (d.height - 1 - y);
    const uint8_t* px = e.image.ScanLine(y);
    for (int x = 0; x < d.width; ++x) {
      if ((m[x >> 3] >> (7 - (x & 7))) & 1) {
        size_t k = static_cast<size_t>(y) * d.width + x;
        e.opacity[k] = 0;
        e.invert[k] = (px[3 * x] | px[3 * x + 1] | px[3 * x + 2]) != 0;
      }
    }
  }
}

// An entry stored as a DIB: colour image and mask, or 32 bits with alpha values.
DecodedEntry DecodeDibEntry(const Bytes& file, const Candidate& best) {
  const DibLayout d = LocateDib(file, best);
  DecodedEntry e;
  e.image = TBitmap(d.width, d.height, TPixelFormat::pf24bit);
  e.Allocate(d.width, d.height);
  // Without alpha values the mask decides.
  if (!DecodeDibColours(file, d, e)) {
    std::fill(e.opacity.begin(), e.opacity.end(), 255);
    if (d.has_mask) ApplyAndMask(file, d, e);
  }
  return e;
}

}  // namespace

void TIcon::LoadFromStream(TStream& stream) {
  Bytes file = ReadIconFile(stream);
  const Candidate best = ChooseEntry(file);
  DecodedEntry entry = best.png ? DecodePngEntry(file, best) : DecodeDibEntry(file, best);
  file_ = std::move(file);
  image_ = std::move(entry.image);
  opacity_ = std::move(entry.opacity);
  invert_ = std::move(entry.invert);
  Changed();
}

void TIcon::SaveToStream(TStream& stream) const {
  if (file_.empty()) throw EInvalidGraphic(kInvalidIcon);
  stream.WriteBuffer(file_.data(), file_.size());
}

void TIcon::ToBitmap(TBitmap& dest) const {
  const int w = image_.Width();
  const int h = image_.Height();
  TBitmap out(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = image_.ScanLine(y);
    uint8_t* dst = out.ScanLine(y);
    const size_t row = static_cast<size_t>(y) * image_.Width();
    for (int x = 0; x < w; ++x) {
      const int a = opacity_[row + x];
      for (int k = 0; k < 3; ++k) {
        int c = src[3 * x + k];
        dst[3 * x + k] = invert_[row + x]
                             ? static_cast<uint8_t>(255 ^ c)
                             : static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
      }
    }
  }
  dest = std::move(out);
}

void RegisterIconGraphic() {
  RegisterFileFormat("ico", "ｱｲｺﾝ", "TIcon", [] { return std::make_unique<TIcon>(); });
}

}  // namespace pamirune
