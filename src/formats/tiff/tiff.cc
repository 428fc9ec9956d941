// TTIFFBitMap reading and writing, TTiff and the registration.
#include "formats/tiff/tiff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>

#include "formats/tiff/tiff_libtiff.h"
#include "formats/tiff/tiff_lzw.h"
#include "raster/byte_order.h"
#include "raster/file_path.h"
#include "raster/registry.h"
#include "raster/threads.h"

namespace pamirune {

namespace {

// A 16-bit colour-map value as an 8-bit intensity: its high byte (0 -> 0, 65535 -> 255; both
// v * 257 and v * 256 come back as v). Maps whose values all fit in 8 bits, as some writers
// store them, are taken as they are.
uint8_t MapValue(uint32_t v, bool eight_bit_map) {
  if (eight_bit_map) return static_cast<uint8_t>(v);
  return static_cast<uint8_t>(v >> 8);
}

// Whether a palette is the grey ramp a grey-level file stands for (entry i = i * step).
bool IsGreyRamp(const std::vector<TRGBQuad>& palette, int entries, int step) {
  if (static_cast<int>(palette.size()) != entries) return false;
  for (int i = 0; i < entries; ++i) {
    int v = i * step;
    if (palette[i].red != v || palette[i].green != v || palette[i].blue != v) return false;
  }
  return true;
}

// The files the program's own reader decodes: one of its depths and photometrics in strips,
// uncompressed or LZW (with the horizontal predictor only for whole bytes), first bit left,
// pixels interleaved, unsigned samples. Everything else goes to libtiff.
bool OwnReaderHandles(const TIFD& ifd) {
  const uint32_t bpp = ifd.bits_per_pixel;
  const bool indexed = (bpp == 1 || bpp == 4 || bpp == 8) && ifd.samples_per_pixel == 1 &&
                       ifd.photometric <= 3 && ifd.photometric != 2;
  const bool rgb = (bpp == 24 || bpp == 32) && ifd.bits_per_sample == 8 && ifd.photometric == 2 &&
                   ifd.planar_configuration == 1;
  const bool predictor_ok = ifd.predictor_value == 1 || (ifd.predictor_value == 2 && bpp >= 8);
  return (indexed || rgb) && (ifd.compression == 1 || ifd.compression == 5) && predictor_ok &&
         !ifd.tiled && ifd.strip_count > 0 && ifd.fill_order == 1 && ifd.sample_format == 1;
}

// The palette of a 1-, 4- or 8-bit file: its colour map (use_map set), or grey levels, where
// WhiteIsZero counts from white.
std::vector<TRGBQuad> TiffPalette(const TIFD& ifd, bool& use_map) {
  const int entries = 1 << ifd.bits_per_pixel;
  std::vector<TRGBQuad> palette(entries);
  use_map = ifd.photometric == 3 && ifd.color_map_loaded &&
            ifd.color_map.size() >= static_cast<size_t>(3 * entries);
  if (use_map) {
    const auto& map = ifd.color_map;
    bool eight_bit =
        std::all_of(map.begin(), map.begin() + 3 * entries, [](uint16_t v) { return v < 256; });
    for (int i = 0; i < entries; ++i) {
      palette[i].red = MapValue(map[i], eight_bit);
      palette[i].green = MapValue(map[entries + i], eight_bit);
      palette[i].blue = MapValue(map[2 * entries + i], eight_bit);
    }
    return palette;
  }
  const int maximum = entries - 1;
  for (int i = 0; i < entries; ++i) {
    int level = ifd.photometric == 0 ? maximum - i : i;
    auto v = static_cast<uint8_t>(level * 255 / maximum);
    palette[i] = {v, v, v, 0};
  }
  return palette;
}

// One decoded row of a strip into the image: the predictor undone, RGB turned into the
// raster's blue-green-red order.
void StoreRow(uint8_t* in, uint64_t row_bytes, int width, int bytes_per_pixel, bool predictor,
              uint8_t* out) {
  if (predictor) {
    for (uint64_t k = bytes_per_pixel; k < row_bytes; ++k)
      in[k] = static_cast<uint8_t>(in[k] + in[k - bytes_per_pixel]);
  }
  if (bytes_per_pixel == 1) {
    std::memcpy(out, in, row_bytes);
    return;
  }
  for (int x = 0; x < width; ++x, in += bytes_per_pixel, out += bytes_per_pixel) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (bytes_per_pixel == 4) out[3] = in[3];
  }
}

// Decodes the strips into image; returns the number of whole rows they held.
int ReadStrips(const TIFD& ifd, const std::vector<uint8_t>& file, TBitmap& image) {
  const uint32_t bpp = ifd.bits_per_pixel;
  const int width = image.Width();
  const int height = image.Height();
  const uint64_t row_bytes = ifd.row_bytes;
  const uint32_t rows_per_strip = ifd.rows_per_strip;
  const int bytes_per_pixel = bpp == 24 ? 3 : bpp == 32 ? 4 : 1;
  const bool predictor = ifd.predictor && ifd.compression == 5 && bpp >= 8;
  int rows_read = 0;
  std::vector<uint8_t> strip;
  for (uint32_t i = 0; i < ifd.strip_count && i < ifd.strip_offsets.size(); ++i) {
    uint64_t y0 = uint64_t{i} * rows_per_strip;
    if (y0 >= static_cast<uint64_t>(height)) break;
    uint64_t rows = std::min<uint64_t>(rows_per_strip, height - y0);
    size_t need = static_cast<size_t>(rows * row_bytes);
    const uint8_t* src = file.data() + ifd.strip_offsets[i];
    size_t count = ifd.strip_byte_counts[i];
    size_t have;
    if (ifd.compression == 1) {
      have = std::min(count, need);
      strip.assign(src, src + have);
    } else if (ifd.compression == 5) {
      strip.resize(need);
      have = TLZW::Decompress(src, count, strip.data(), need);
    } else {
      break;  // the own reader takes no other compression
    }
    uint64_t full_rows = have / row_bytes;
    for (uint64_t row = 0; row < full_rows; ++row)
      StoreRow(strip.data() + row * row_bytes, row_bytes, width, bytes_per_pixel, predictor,
               image.ScanLine(static_cast<int>(y0 + row)));
    rows_read += static_cast<int>(full_rows);
  }
  return rows_read;
}

int Luma(const TRGBQuad& q) { return 299 * q.red + 587 * q.green + 114 * q.blue; }

}  // namespace

TTIFFBitMap::TTIFFBitMap() : TBitmap(0, 0, TPixelFormat::pf24bit) {}

void TTIFFBitMap::SetCompress(bool value) {
  compress_ = value;
  if (!value) predict_ = false;
}

void TTIFFBitMap::Warn(const std::string& message, const std::string& caption,
                       TLoadWarning kind) const {
  if (OnWarning) {
    OnWarning(message, caption);
    return;
  }
  // A load with its own receiver tells it; with none the warning is dropped.
  LoadWarning(kind, message);
}

void TTIFFBitMap::LoadFromFile(const std::string& file_name) {
  std::string ext = LowerAscii(ExtensionName(file_name));
  if (ext == "tiff") ext = "tif";
  if (ext != "bmp" && ext != "tif") return;  // other names load nothing
  TFileStream stream(file_name);
  if (ext == "bmp")
    TBitmap::LoadFromStream(stream);
  else
    LoadFromStream(stream);
  Changed();
}

void TTIFFBitMap::SaveToFile(const std::string& file_name) const {
  TAtomicFileStream file(file_name);
  if (LowerAscii(ExtensionName(file_name)) == "bmp")
    SaveBmpToStream(file);
  else
    SaveToStream(file);
  file.Commit();
}

void TTIFFBitMap::LoadFromStream(TStream& stream) {
  int64_t start = stream.Position();
  uint8_t magic[2];
  if (stream.Read(magic, 2) < 2) return;  // too short: nothing loaded
  if (magic[0] == 'B' && magic[1] == 'M') {
    stream.Seek(start);
    TBitmap::LoadFromStream(stream);
    return;
  }
  const bool intel = magic[0] == 'I' && magic[1] == 'I';
  if (!intel && !(magic[0] == 'M' && magic[1] == 'M')) throw EInvalidGraphic(kTiffUnknownFormat);
  stream.Seek(start);
  std::vector<uint8_t> file = stream.ReadRest();
  // The own reader knows Intel files of the classic form; libtiff reads the rest.
  if (intel && file.size() >= 4 && file[2] == 42 && file[3] == 0)
    ReadTiff(file);
  else
    ReadWithLibTiff(file);
}

void TTIFFBitMap::ReadWithLibTiff(const std::vector<uint8_t>& file) {
  static_cast<TBitmap&>(*this) = TBitmap(0, 0, TPixelFormat::pf24bit);
  orientation_ = 1;
  TBitmap image;
  int orientation = 1;
  try {
    tiff::ReadWithLibTiff(
        file, image, orientation,
        [this](const std::string& message, const std::string& caption) { Warn(message, caption); });
  } catch (const EInvalidGraphic& e) {
    // A file libtiff cannot read either is reported like any unreadable picture: a warning
    // and no image. Only the pixel limit ends the load by an error.
    Warn(e.what(), kTiffErrorCaption);
    return;
  }
  static_cast<TBitmap&>(*this) = std::move(image);
  orientation_ = orientation;
}

void TTIFFBitMap::ReadTiff(const std::vector<uint8_t>& file) {
  static_cast<TBitmap&>(*this) = TBitmap(0, 0, TPixelFormat::pf24bit);
  orientation_ = 1;
  TIFD ifd;
  if (!ifd.Read(file)) {
    Warn(kTiffUnexpectedEnd, kTiffLoadingCaption);
    return;
  }
  if (!OwnReaderHandles(ifd)) {
    ReadWithLibTiff(file);
    return;
  }
  orientation_ =
      ifd.orientation >= 1 && ifd.orientation <= 8 ? static_cast<int>(ifd.orientation) : 1;
  const uint32_t bpp = ifd.bits_per_pixel;
  const uint32_t photometric = ifd.photometric;
  bool indexed = (bpp == 1 || bpp == 4 || bpp == 8) && ifd.samples_per_pixel == 1;
  bool rgb = (bpp == 24 || bpp == 32) && ifd.bits_per_sample == 8 && photometric == 2 &&
             (ifd.planar_configuration == 1 || ifd.samples_per_pixel == 1);
  bool grey_or_map = photometric <= 1 || photometric == 3;
  // Depths and layouts this reader does not decode are refused as unreadable pictures.
  if (ifd.image_width == 0 || ifd.image_height == 0 || ifd.image_width > INT32_MAX ||
      ifd.image_height > INT32_MAX || !((indexed && grey_or_map) || rgb)) {
    Warn(kTiffReadFailed, kTiffErrorCaption);
    return;
  }
  const int width = static_cast<int>(ifd.image_width);
  const int height = static_cast<int>(ifd.image_height);
  CheckedImageBytes(width, height, static_cast<int>(bpp));
  TPixelFormat format = bpp == 1    ? TPixelFormat::pf1bit
                        : bpp == 4  ? TPixelFormat::pf4bit
                        : bpp == 8  ? TPixelFormat::pf8bit
                        : bpp == 24 ? TPixelFormat::pf24bit
                                    : TPixelFormat::pf32bit;
  TBitmap image(width, height, format);

  bool use_map = false;
  if (indexed) image.SetPalette(TiffPalette(ifd, use_map));
  const int rows_read = ReadStrips(ifd, file, image);
  if (use_map || bpp == 32) image.SetPixelFormat(TPixelFormat::pf24bit);
  static_cast<TBitmap&>(*this) = std::move(image);
  // Strips that end early leave the rows they did not hold blank.
  if (rows_read < height) Warn(kTiffReadFailed, kTiffErrorCaption, TLoadWarning::lwDataRanOut);
}

namespace {

// Palette images: a grey ramp is written as grey levels; any other palette as a colour map,
// so the colours survive. 1-bit images are written WhiteIsZero: invert says whether the
// lighter entry is entry 1, so the bits are flipped.
std::vector<uint16_t> ColourMapOf(const TBitmap& source, int bits, bool& invert) {
  std::vector<uint16_t> map;
  invert = false;
  const auto& palette = source.Palette();
  if (bits == 4 || bits == 8) {
    int entries = 1 << bits;
    if (!IsGreyRamp(palette, entries, bits == 8 ? 1 : 17)) {
      map.assign(3 * entries, 0);
      for (int i = 0; i < entries && i < static_cast<int>(palette.size()); ++i) {
        map[i] = static_cast<uint16_t>(palette[i].red * 257);
        map[entries + i] = static_cast<uint16_t>(palette[i].green * 257);
        map[2 * entries + i] = static_cast<uint16_t>(palette[i].blue * 257);
      }
    }
  } else if (bits == 1) {
    TRGBQuad p0 = palette.size() > 0 ? palette[0] : TRGBQuad{};
    TRGBQuad p1 = palette.size() > 1 ? palette[1] : TRGBQuad{};
    invert = Luma(p1) > Luma(p0);
  }
  return map;
}

// Makes the rows of one strip as the file holds them.
class StripFiller {
 public:
  StripFiller(const TBitmap& source, const TIFD& ifd, int bits, bool invert)
      : source_(source),
        rows_per_strip_(ifd.rows_per_strip),
        r_(ifd.row_bytes),
        bits_(bits),
        invert_(invert),
        differencing_(ifd.predictor),
        step_(bits == 24 ? 3 : 1),
        last_mask_(static_cast<uint8_t>(0xFF << ifd.left_bits)) {}

  void Fill(uint32_t i, std::vector<uint8_t>& strip) const {
    int y0 = static_cast<int>(uint64_t{i} * rows_per_strip_);
    int rows = std::min<int>(static_cast<int>(rows_per_strip_), source_.Height() - y0);
    strip.resize(size_t{r_} * rows);
    for (int row = 0; row < rows; ++row) FillRow(y0 + row, strip.data() + size_t{r_} * row);
  }

 private:
  void FillRow(int y, uint8_t* dst) const {
    const uint8_t* in = source_.ScanLine(y);
    if (bits_ == 24) {
      for (uint32_t k = 0; k < r_; k += 3) {
        dst[k] = in[k + 2];
        dst[k + 1] = in[k + 1];
        dst[k + 2] = in[k];
      }
    } else {
      std::memcpy(dst, in, r_);
      if (invert_)
        for (uint32_t k = 0; k < r_; ++k) dst[k] = static_cast<uint8_t>(~dst[k]);
      if (bits_ < 8) dst[r_ - 1] &= last_mask_;
    }
    if (differencing_) {
      for (uint32_t k = r_; k-- > static_cast<uint32_t>(step_);)
        dst[k] = static_cast<uint8_t>(dst[k] - dst[k - step_]);
    }
  }

  const TBitmap& source_;
  const uint32_t rows_per_strip_;
  const uint32_t r_;
  const int bits_;
  const bool invert_;
  const bool differencing_;
  const int step_;
  const uint8_t last_mask_;
};

// Each strip is compressed on its own: for a large image the second half of the strips on
// another thread, beside the first half. They are appended in order either way, each on an
// even offset, and their positions and sizes noted in ifd.
void AppendCompressedStrips(const StripFiller& filler, TIFD& ifd, size_t image_bytes,
                            std::vector<uint8_t>& out) {
  const uint32_t n = ifd.strip_count;
  std::vector<std::vector<uint8_t>> packed(n);
  auto pack = [&](uint32_t from, uint32_t to) {
    std::vector<uint8_t> strip;
    for (uint32_t i = from; i < to; ++i) {
      filler.Fill(i, strip);
      packed[i] = TLZW::Compress(strip.data(), strip.size());
    }
  };
  const bool split = ConversionThreads() > 1 && n >= 2 && image_bytes >= (size_t{4} << 20);
  const uint32_t half = split ? n / 2 : n;
  std::future<void> second;
  if (half < n) second = std::async(std::launch::async, pack, half, n);
  pack(0, half);
  if (second.valid()) second.get();
  for (uint32_t i = 0; i < n; ++i) {
    ifd.strip_offsets[i] = static_cast<uint32_t>(out.size());
    ifd.strip_byte_counts[i] = static_cast<uint32_t>(packed[i].size());
    out.insert(out.end(), packed[i].begin(), packed[i].end());
    if (out.size() % 2 != 0) out.push_back(0);  // strips start on even offsets
    std::vector<uint8_t>().swap(packed[i]);
  }
}

// The real strip positions: into the arrays at arrays_at, or for one strip into the
// directory.
void PatchStripPositions(TIFD& ifd, size_t arrays_at, std::vector<uint8_t>& out) {
  const uint32_t n = ifd.strip_count;
  if (n >= 2) {
    for (uint32_t i = 0; i < n; ++i) {
      PutLe32(out.data() + arrays_at + 4 * size_t{i}, ifd.strip_offsets[i]);
      PutLe32(out.data() + arrays_at + 4 * size_t{n + i}, ifd.strip_byte_counts[i]);
    }
    return;
  }
  for (auto& e : ifd.entries) {
    if (e.tag == 273) e.value = ifd.strip_offsets[0];
    if (e.tag == 279) e.value = ifd.strip_byte_counts[0];
  }
  std::vector<uint8_t> directory = ifd.Bytes();
  std::copy(directory.begin(), directory.end(), out.begin() + 8);
}

// The whole file of image, strips compressed or not.
std::vector<uint8_t> EncodeTiff(const TBitmap& image, bool compress, bool predict) {
  // 1, 4 and 8 bits keep their depth; everything else (15, 16 and 32 bits too) is widened to
  // 24-bit RGB first.
  const TBitmap* source = &image;
  TBitmap widened;
  const TPixelFormat pf = image.PixelFormat();
  if (pf != TPixelFormat::pf1bit && pf != TPixelFormat::pf4bit && pf != TPixelFormat::pf8bit &&
      pf != TPixelFormat::pf24bit) {
    widened = image;
    widened.SetPixelFormat(TPixelFormat::pf24bit);
    source = &widened;
  }
  const int bits = BitsPerPixel(source->PixelFormat());
  if (bits < 8) predict = false;
  bool invert = false;
  std::vector<uint16_t> map = ColourMapOf(*source, bits, invert);

  TIFD ifd;
  ifd.Build(image.Width(), image.Height(), bits, compress, predict, std::move(map));
  const uint32_t n = ifd.strip_count;
  const size_t image_bytes = size_t{ifd.row_bytes} * static_cast<size_t>(image.Height());

  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  // Room for the worst case (LZW codes of 12 bits per byte); only the pages written are taken,
  // and the file never moves as it grows.
  out.reserve(image_bytes * 3 / 2 + 8 * size_t{n} + 65536);
  std::vector<uint8_t> directory = ifd.Bytes();
  out.insert(out.end(), directory.begin(), directory.end());
  for (uint16_t v : ifd.color_map) AppendLe16(out, v);
  const size_t arrays_at = out.size();
  if (n >= 2) out.resize(out.size() + 8 * size_t{n}, 0);

  const StripFiller filler(*source, ifd, bits, invert);
  if (compress) {
    AppendCompressedStrips(filler, ifd, image_bytes, out);
  } else {
    std::vector<uint8_t> strip;
    for (uint32_t i = 0; i < n; ++i) {
      filler.Fill(i, strip);
      out.insert(out.end(), strip.begin(), strip.end());
    }
  }
  PatchStripPositions(ifd, arrays_at, out);
  return out;
}

}  // namespace

void TTIFFBitMap::SaveToStream(TStream& stream) const {
  if (Empty()) throw EInvalidGraphic(kTiffWriteFailed);
  bool compress = compress_;
  bool predict = predict_;
  if (ask_for_options_ && OnSaveOptions) {
    bool c = compress, p = predict;
    if (OnSaveOptions(c, p)) {
      compress = c;
      predict = c && p;
    }
  }

  std::vector<uint8_t> out = EncodeTiff(*this, compress, predict);
  stream.WriteBuffer(out.data(), out.size());
}

TTiff::TTiff() {
  tiff_map_.OnChange = [this] {
    if (OnChange) OnChange();
  };
}

void TTiff::LoadFromFile(const std::string& path) { tiff_map_.LoadFromFile(path); }

void TTiff::SaveToFile(const std::string& path) const { tiff_map_.SaveToFile(path); }

void SaveTiffFile(const TBitmap& bitmap, const std::string& file_name) {
  // As a TTIFFBitMap holding the bitmap would write it (compressed, predictor as by default),
  // without copying the pixels into one.
  if (bitmap.Empty()) throw EInvalidGraphic(kTiffWriteFailed);
  WriteFileAtomic(file_name, EncodeTiff(bitmap, true, TTIFFBitMap().Predict()));
}

void RegisterTiffGraphic() {
  auto create = [] { return std::make_unique<TTIFFBitMap>(); };
  RegisterFileFormat("tif", "Tag Image Files", "TTIFFBitMap", create);
  RegisterFileFormat("tiff", "Tag Image Files", "TTIFFBitMap", create);
  RegisterFileFormat("bmp", "Bitmaps at Tiff", "TTIFFBitMap", create);
}

}  // namespace pamirune
