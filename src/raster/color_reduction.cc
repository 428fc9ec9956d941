#include "raster/color_reduction.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

#include "raster/color_dither.h"
#include "raster/errors.h"
#include "raster/octree.h"
#include "raster/palettes.h"

namespace pamirune {

namespace {

constexpr uint8_t kNoCollapse = 4;  // palette-entry flag of the grey palettes

constexpr TRGBQuad Quad(int r, int g, int b, uint8_t flags = 0) {
  return {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), flags};
}

}  // namespace

// ---- Palettes -------------------------------------------------------------------------------

std::vector<TRGBQuad> WebCubePalette216() {
  std::vector<TRGBQuad> p;
  p.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) p.push_back(Quad(r * 51, g * 51, b * 51));
  return p;
}

std::vector<TRGBQuad> GrayPalette256() {
  std::vector<TRGBQuad> p;
  p.reserve(256);
  for (int i = 0; i < 256; ++i) p.push_back(Quad(i, i, i, kNoCollapse));
  return p;
}

std::vector<TRGBQuad> GrayPalette4() {
  return {Quad(0, 0, 0, kNoCollapse), Quad(128, 128, 128, kNoCollapse),
          Quad(192, 192, 192, kNoCollapse), Quad(255, 255, 255, kNoCollapse)};
}

std::vector<TRGBQuad> MonochromePalette2() {
  return {Quad(0, 0, 0, kNoCollapse), Quad(255, 255, 255, kNoCollapse)};
}

namespace colour_reduction {

// ---- Lookups --------------------------------------------------------------------------------

TFastColorLookup::TFastColorLookup(const std::vector<TRGBQuad>& palette)
    : palette_(palette.begin(), palette.begin() + std::min<size_t>(palette.size(), 256)) {
  count_ = static_cast<int>(palette_.size());
  inverse_.fill(-1);
  // Each entry claims its own key unless a lower index already holds it.
  for (int i = 0; i < count_; ++i) {
    const TRGBQuad& q = palette_[static_cast<size_t>(i)];
    int16_t& slot = inverse_[Key(q.red, q.green, q.blue)];
    if (slot < 0) slot = static_cast<int16_t>(i);
  }
}

int TFastColorLookup::Search(int r, int g, int b) const {
  int best = 0;
  int best_distance = 196608;
  for (int i = 0; i < count_; ++i) {
    const TRGBQuad& q = palette_[static_cast<size_t>(i)];
    int d = std::abs(q.red - r) + std::abs(q.green - g) + std::abs(q.blue - b);
    if (d < best_distance) {  // strictly nearer: ties stay with the lowest index
      best_distance = d;
      best = i;
    }
  }
  return best;
}

// ---- Writer ---------------------------------------------------------------------------------

TDIBWriter::TDIBWriter(TBitmap& target, const std::vector<TRGBQuad>& palette, int width, int height,
                       TPixelFormat format)
    : target_(target), palette_(palette), width_(width), height_(height), format_(format) {
  if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
    throw EInvalidGraphic(kUnsupportedPixelFormat);
  if (width <= 0 || height <= 0) throw EInvalidGraphic(kInvalidImageDimensions);
}

uint8_t* TDIBWriter::ScanLine(int row) {
  if (finished_) throw EInvalidGraphic(kImageHasNoDIB);  // handed over already
  if (!built_) Build();
  if (row < 0 || row >= height_) throw EInvalidGraphicOperation(kScanLineOutOfRange);
  return image_.ScanLine(row);
}

void TDIBWriter::Build() {
  try {
    image_ = TBitmap(width_, height_, format_);
  } catch (const std::bad_alloc&) {
    throw EDIBOutOfMemory(kDIBAllocationFailed);
  }
  if (format_ == TPixelFormat::pf8bit) {
    // 256 colour-table entries: the palette's colours, the unused entries zero.
    std::vector<TRGBQuad> table(256);
    for (size_t i = 0; i < palette_.size() && i < 256; ++i) {
      table[i] = palette_[i];
      table[i].reserved = 0;
    }
    image_.SetPalette(std::move(table));
  }
  built_ = true;
}

void TDIBWriter::Finish() {
  if (finished_) return;
  if (!built_) Build();
  target_ = std::move(image_);
  built_ = false;
  finished_ = true;
}

// ---- Engines --------------------------------------------------------------------------------

namespace {

// Runs one engine over the image: rows top to bottom, serpentine, each pixel's index stored in
// the result row at the same column.
template <class Engine, class Lookup>
void Scan(Engine& engine, Lookup& lookup, const TBitmap& source, TDIBWriter& writer) {
  const int width = source.Width();
  const int height = source.Height();
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = source.ScanLine(y);
    uint8_t* d = writer.ScanLine(y);
    for (int x = engine.Column(); x >= 0 && x < width; x = engine.Column()) {
      const uint8_t* p = s + 3 * x;
      d[x] = engine.DitherPixel(lookup, p[2], p[1], p[0]);
    }
    engine.AdvanceRow();
  }
}

template <class Lookup>
void RunMethod(DiffusionMethod method, Lookup& lookup, const TBitmap& source, TDIBWriter& writer) {
  const int width = source.Width();
  switch (method) {
    case DiffusionMethod::NearestOnly: {
      TDitherEngine e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::FloydSteinberg: {
      TFloydSteinbergDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::Stucki: {
      TStuckiDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::Sierra: {
      TSierraDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::JaJuNi: {
      TJaJuNiDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::SteveArche: {
      TSteveArcheDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
    case DiffusionMethod::Burkes: {
      TBurkesDitherer e(width);
      Scan(e, lookup, source, writer);
      break;
    }
  }
}

bool KnownMethod(DiffusionMethod method) {
  int m = static_cast<int>(method);
  return m >= 0 && m <= static_cast<int>(DiffusionMethod::Burkes);
}

// The palette a source kind reduces to (the optimal ones made from the 24-bit pixels).
std::vector<TRGBQuad> ChoosePalette(PaletteSource source_kind, const TBitmap& pixels,
                                    const std::vector<TRGBQuad>* caller_palette, int bits) {
  std::vector<TRGBQuad> palette;
  switch (source_kind) {
    case PaletteSource::SystemStatic20:
      palette.assign(SystemPalette20().begin(), SystemPalette20().end());
      break;
    case PaletteSource::SystemHalftone256:
      palette.assign(HalftonePalette256().begin(), HalftonePalette256().end());
      break;
    case PaletteSource::SystemGray4:
      palette = GrayPalette4();
      break;
    case PaletteSource::BlackWhite:
      palette = MonochromePalette2();
      break;
    case PaletteSource::Gray256:
      palette = GrayPalette256();
      break;
    case PaletteSource::WebCube216:
      palette = WebCubePalette216();
      break;
    case PaletteSource::OctreeOptimal: {
      const int b = std::clamp(bits, 0, 8);
      palette = BuildOctreePalette(pixels, 1 << b, 8, false);
      break;
    }
    case PaletteSource::OctreeWithSystem:
      palette = BuildOctreePalette(pixels, 256, 8, true);
      break;
    case PaletteSource::CallerPalette:
      if (caller_palette) palette = *caller_palette;
      if (palette.size() > 256) palette.resize(256);
      break;
    case PaletteSource::KeepTrueColour:
      break;
  }
  return palette;
}

// Writes every pixel as its palette entry, through the lookup the source kind calls for.
void MapPixels(PaletteSource source_kind, DiffusionMethod method,
               const std::vector<TRGBQuad>& palette, const TBitmap& pixels, TDIBWriter& writer) {
  switch (source_kind) {
    case PaletteSource::BlackWhite: {
      TMonochromeLookup lookup;
      RunMethod(method, lookup, pixels, writer);
      break;
    }
    case PaletteSource::Gray256: {
      TGrayScaleLookup lookup;
      RunMethod(method, lookup, pixels, writer);
      break;
    }
    case PaletteSource::WebCube216: {
      TNetscapeColorLookup lookup;
      RunMethod(method, lookup, pixels, writer);
      break;
    }
    default: {
      auto lookup = std::make_unique<TFastColorLookup>(palette);
      RunMethod(method, *lookup, pixels, writer);
      break;
    }
  }
}

}  // namespace

}  // namespace colour_reduction

// ---- The reducer ----------------------------------------------------------------------------

std::unique_ptr<TBitmap> ReduceRasterColours(const TBitmap& source, PaletteSource source_kind,
                                             DiffusionMethod method,
                                             const std::vector<TRGBQuad>* caller_palette,
                                             int bits) {
  using namespace colour_reduction;
  auto result = std::make_unique<TBitmap>();
  if (source_kind == PaletteSource::KeepTrueColour) {
    result->Assign(source);
    result->SetPixelFormat(TPixelFormat::pf24bit);
    return result;
  }
  const int kind = static_cast<int>(source_kind);
  if (kind < 0 || kind > static_cast<int>(PaletteSource::CallerPalette)) return nullptr;
  if (!KnownMethod(method)) return nullptr;

  // Large images: the still empty result starts at 1 bit so that nothing large is held before
  // the pixels are written.
  if (static_cast<int64_t>(source.Width()) * source.Height() > kLargeImageThreshold)
    result->SetPixelFormat(TPixelFormat::pf1bit);

  // The pixels are read at 24 bits; the caller's image itself is left as it is.
  TBitmap converted;
  const TBitmap* pixels = &source;
  if (source.BitCount() != 24) {
    converted = source;
    converted.SetPixelFormat(TPixelFormat::pf24bit);
    pixels = &converted;
  }

  std::vector<TRGBQuad> palette = ChoosePalette(source_kind, *pixels, caller_palette, bits);
  if (palette.empty()) return nullptr;  // an unreadable palette gives no image

  TDIBWriter writer(*result, palette, pixels->Width(), pixels->Height(), TPixelFormat::pf8bit);
  MapPixels(source_kind, method, palette, *pixels, writer);
  writer.Finish();
  return result;
}

}  // namespace pamirune
