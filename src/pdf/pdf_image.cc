#include "pdf/pdf_image.h"

#include <cstring>

#include "raster/palettes.h"
#include "raster/zlib_writer.h"

namespace pamirune {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendHex(std::string& out, uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 15];
}

// The Indexed colour space: base DeviceRGB, highest index 255, and a hex string of 256
// entries (RRGGBB and a blank each). Entries past the image's own palette are black.
std::unique_ptr<TPdfArray> IndexedColorSpace(const std::vector<TRGBQuad>& palette) {
  std::string lookup = "<";
  lookup.reserve(1 + 256 * 7 + 1);
  for (size_t i = 0; i < 256; ++i) {
    TRGBQuad q = i < palette.size() ? palette[i] : TRGBQuad{};
    AppendHex(lookup, q.red);
    AppendHex(lookup, q.green);
    AppendHex(lookup, q.blue);
    lookup += ' ';
  }
  lookup += '>';
  auto space = std::make_unique<TPdfArray>();
  space->Add(PdfName("Indexed"));
  space->Add(PdfName("DeviceRGB"));
  space->Add(PdfNumber(255));
  space->Add(std::make_unique<TPdfBinary>(std::move(lookup)));
  return space;
}

// One row of the image stream: palette indices, one byte each, or red, green, blue bytes.
void IndexedRow(const uint8_t* row, int bits, int width, uint8_t* out) {
  switch (bits) {
    case 1:
      for (int x = 0; x < width; ++x) out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      break;
    case 4:
      for (int x = 0; x < width; ++x) out[x] = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
      break;
    default:
      std::memcpy(out, row, static_cast<size_t>(width));
      break;
  }
}

void RgbRow(const TBitmap& bitmap, int y, uint8_t* out) {
  const int width = bitmap.Width();
  const TPixelFormat format = bitmap.PixelFormat();
  const uint8_t* row = bitmap.ScanLine(y);
  if (format == TPixelFormat::pf24bit || format == TPixelFormat::pfDevice) {
    for (int x = 0; x < width; ++x, row += 3, out += 3) {
      out[0] = row[2];
      out[1] = row[1];
      out[2] = row[0];
    }
  } else if (format == TPixelFormat::pf32bit && !bitmap.HasMasks()) {
    for (int x = 0; x < width; ++x, row += 4, out += 3) {
      out[0] = row[2];
      out[1] = row[1];
      out[2] = row[0];
    }
  } else {
    // 15 and 16 bits, and 32 bits with bit fields: the raster decodes the masks.
    TRowReader reader(bitmap);
    std::vector<TColor> colors(static_cast<size_t>(width));
    reader.Read(y, 0, width, colors.data());
    for (int x = 0; x < width; ++x, out += 3) {
      out[0] = GetRValue(colors[x]);
      out[1] = GetGValue(colors[x]);
      out[2] = GetBValue(colors[x]);
    }
  }
}

// The Raster image a graphic stands for: itself, or rendered into holder.
const TBitmap& AsBitmap(const TGraphic& image, TBitmap& holder) {
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&image)) return *bitmap;
  image.ToBitmap(holder);
  return holder;
}

bool Indexed(const TBitmap& bitmap) {
  const int bits = bitmap.BitCount();
  return bits == 1 || bits == 4 || bits == 8;
}

}  // namespace

std::unique_ptr<TPdfImage> BitmapImageObject(const TBitmap& bitmap) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  if (width <= 0 || height <= 0)
    throw EPdfInvalidImageFormat("TPdfBitmapImage --the image is empty.");
  CheckedImageBytes(width, height, 24);

  auto result = std::make_unique<TPdfImage>();
  TPdfDictionary& attributes = result->Attributes();
  if (Indexed(bitmap)) {
    std::vector<TRGBQuad> palette = bitmap.Palette();
    // A 1-bit image without a palette is drawn black and white by the raster.
    if (palette.empty() && bitmap.BitCount() == 1) palette = BlackWhitePalette();
    if (palette.empty()) throw EPdfInvalidImageFormat("failed to get Palette..");
    attributes.AddItem("ColorSpace", IndexedColorSpace(palette));
  } else {
    attributes.AddItem("ColorSpace", PdfName("DeviceRGB"));
  }
  attributes.AddItem("Width", PdfNumber(width));
  attributes.AddItem("Height", PdfNumber(height));
  attributes.AddItem("BitsPerComponent", PdfNumber(8));
  result->Filter().Add(PdfName("FlateDecode"));
  return result;
}

std::vector<uint8_t> DeflateBitmapImageData(const TBitmap& bitmap) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const int bits = bitmap.BitCount();
  const bool indexed = Indexed(bitmap);
  // Deflated row by row as they are made, so the uncompressed data never wait in memory whole.
  const size_t row_bytes = static_cast<size_t>(width) * (indexed ? 1 : 3);
  std::vector<uint8_t> deflated;
  // Room for the worst case; only the pages written are taken, and the data never move.
  deflated.reserve(row_bytes * static_cast<size_t>(height) * 101 / 100 + 64 * 1024);
  ZlibWriter zlib(
      9, [&](const uint8_t* p, size_t n) { deflated.insert(deflated.end(), p, p + n); },
      row_bytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = zlib.Reserve(row_bytes);
    if (indexed)
      IndexedRow(bitmap.ScanLine(y), bits, width, row);
    else
      RgbRow(bitmap, y, row);
    zlib.Commit(row_bytes);
  }
  zlib.Finish();
  return deflated;
}

std::unique_ptr<TPdfImage> TPdfBitmapImage::CreateImage(const TGraphic& image) {
  // A Raster image is read where it is; other kinds are rendered first.
  TBitmap rendered;
  const TBitmap& bitmap = AsBitmap(image, rendered);
  auto result = BitmapImageObject(bitmap);
  result->SetDeflated(DeflateBitmapImageData(bitmap));
  return result;
}

}  // namespace pamirune
