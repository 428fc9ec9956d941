// TIcon: reading icon files and drawing them as the conversion wants.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "formats/ico/ico.h"
#include "formats/png/png_image.h"
#include "raster/byte_order.h"
#include "raster/registry.h"

namespace pamirune {

namespace {

using Bytes = std::vector<uint8_t>;

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidIcon); }

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

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
  c.png = std::equal(kPngSignature, kPngSignature + 8, file.begin() + c.offset);
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

}  // namespace

void TIcon::LoadFromStream(TStream& stream) {
  Bytes file = ReadIconFile(stream);
  if (file.size() < 6) Invalid();
  const uint16_t type = GetLe16(file, 2);
  const uint16_t count = GetLe16(file, 4);
  if (GetLe16(file, 0) != 0 || type != 1 || count == 0) Invalid();  // type 2: a cursor
  if (6 + 16 * size_t{count} > file.size()) Invalid();

  // The image closest to the standard icon size, then the deepest.
  Candidate best;
  bool found = false;
  int64_t best_distance = 0;
  std::optional<Candidate> too_large;
  for (int i = 0; i < count; ++i) {
    Candidate c;
    if (!Inspect(file, 6 + 16 * size_t(i), c)) continue;
    // An entry over the pixel limit is never chosen: its pixels are not decoded at all.
    if (OverPixelLimit(c)) {
      too_large = c;
      continue;
    }
    int64_t distance =
        std::abs(int64_t{c.width} - kStandardSize) + std::abs(int64_t{c.height} - kStandardSize);
    if (!found || distance < best_distance || (distance == best_distance && c.depth > best.depth)) {
      best = c;
      best_distance = distance;
      found = true;
    }
  }
  if (!found && too_large) ThrowImageTooLarge(too_large->width, too_large->height);
  if (!found) Invalid();

  TBitmap image;
  std::vector<uint8_t> opacity;
  std::vector<uint8_t> invert;
  if (best.png) {
    PngImage png;
    TBufferStream data(file.data() + best.offset, best.size);
    png.LoadFromStream(data);
    png.ToBitmap(image);
    if (image.Empty()) Invalid();
    image.SetPixelFormat(TPixelFormat::pf24bit);
    opacity.assign(static_cast<size_t>(image.Width()) * image.Height(), 255);
    invert.assign(opacity.size(), 0);
    // The entry's own transparency: an alpha channel (kept as 255 - alpha) or one colour.
    const TBitmap& mask = png.AlphaMask();
    const bool has_alpha = png.Options().alpha_present && mask.Width() == image.Width() &&
                           mask.Height() == image.Height();
    const bool keyed = !has_alpha && png.Transparent();
    const TColor key = keyed ? png.TransparentColor() : 0;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) {
        size_t i = static_cast<size_t>(y) * image.Width() + x;
        if (has_alpha)
          opacity[i] = static_cast<uint8_t>(255 - GetRValue(mask.Pixel(x, y)));
        else if (keyed && image.Pixel(x, y) == key)
          opacity[i] = 0;
      }
  } else {
    const size_t at = best.offset;
    const size_t end = best.offset + best.size;
    const uint32_t header_size = GetLe32(file, at);
    const int width = best.width;
    const int height = best.height;
    const int bits = best.depth;
    const uint32_t compression = GetLe32(file, at + 16);
    const uint32_t colors_used = GetLe32(file, at + 32);
    if (header_size < 40 || header_size > best.size) Invalid();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) Invalid();
    if (!(compression == kBiRgb || (compression == kBiBitfields && bits == 32))) Invalid();
    CheckedImageBytes(width, height, 32);
    size_t table = at + header_size + (compression == kBiBitfields && header_size == 40 ? 12 : 0);
    int entries =
        bits <= 8 ? (colors_used && colors_used < (1u << bits) ? int(colors_used) : 1 << bits) : 0;
    const size_t stride = static_cast<size_t>(RowBytes(width, bits));
    const size_t xor_at = table + 4 * size_t(entries);
    if (xor_at > end || stride * height > end - xor_at) Invalid();
    const size_t mask_stride = static_cast<size_t>(RowBytes(width, 1));
    const size_t and_at = xor_at + stride * height;
    // A missing mask is taken as all opaque.
    const bool has_mask = and_at <= end && mask_stride * height <= end - and_at;
    std::vector<TColor> palette(entries);
    for (int i = 0; i < entries; ++i) {
      const uint8_t* q = file.data() + table + 4 * i;
      palette[i] = RGB(q[2], q[1], q[0]);
    }
    image = TBitmap(width, height, TPixelFormat::pf24bit);
    const size_t pixels = static_cast<size_t>(width) * height;
    opacity.assign(pixels, 255);
    invert.assign(pixels, 0);
    bool any_alpha = false;
    for (int y = 0; y < height; ++y) {
      const uint8_t* src = file.data() + xor_at + stride * (height - 1 - y);
      uint8_t* dst = image.ScanLine(y);
      uint8_t* alpha = opacity.data() + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x, dst += 3) {
        TColor c;
        switch (bits) {
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
    // Without alpha values the mask decides: set bits show the background, inverted where
    // the colour image is not black.
    if (!any_alpha) {
      std::fill(opacity.begin(), opacity.end(), 255);
      if (has_mask) {
        for (int y = 0; y < height; ++y) {
          const uint8_t* m = file.data() + and_at + mask_stride * (height - 1 - y);
          const uint8_t* px = image.ScanLine(y);
          for (int x = 0; x < width; ++x) {
            if ((m[x >> 3] >> (7 - (x & 7))) & 1) {
              size_t k = static_cast<size_t>(y) * width + x;
              opacity[k] = 0;
              invert[k] = (px[3 * x] | px[3 * x + 1] | px[3 * x + 2]) != 0;
            }
          }
        }
      }
    }
  }
  file_ = std::move(file);
  image_ = std::move(image);
  opacity_ = std::move(opacity);
  invert_ = std::move(invert);
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
