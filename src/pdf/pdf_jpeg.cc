#include "pdf/pdf_jpeg.h"

#include <cstring>

namespace pamirune {

namespace {

constexpr uint8_t kSof0 = 0xC0;  // baseline
constexpr uint8_t kSof1 = 0xC1;  // extended sequential, Huffman
constexpr uint8_t kSof2 = 0xC2;  // progressive, Huffman

int ReadU16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

}  // namespace

std::optional<PdfJpegLayout> PdfJpegPassThroughLayout(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
  bool adobe = false;
  int adobe_transform = -1;
  size_t pos = 2;
  // The segments before the frame header; the frame header decides.
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return std::nullopt;
    uint8_t marker = data[pos + 1];
    if (marker == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    // Markers without a length have no place before the frame header.
    if (marker == 0xD8 || marker == 0xD9 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
      return std::nullopt;
    const size_t length = static_cast<size_t>(ReadU16(data + pos + 2));
    if (length < 2 || pos + 2 + length > size) return std::nullopt;
    const uint8_t* segment = data + pos + 4;
    const size_t segment_size = length - 2;
    if (marker == 0xEE && segment_size >= 12 && std::memcmp(segment, "Adobe", 5) == 0) {
      adobe = true;
      adobe_transform = segment[11];
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (marker != kSof0 && marker != kSof1 && marker != kSof2) return std::nullopt;
      if (segment_size < 6 || segment[0] != 8) return std::nullopt;
      PdfJpegLayout layout;
      layout.height = ReadU16(segment + 1);
      layout.width = ReadU16(segment + 3);
      const int components = segment[5];
      if (layout.width == 0 || layout.height == 0) return std::nullopt;  // height in a DNL
      if (segment_size < 6 + 3 * static_cast<size_t>(components)) return std::nullopt;
      if (components == 1) {
        layout.gray = true;
        return layout;
      }
      if (components != 3) return std::nullopt;
      // Three components are YCbCr for the decoder and for a reader alike, unless an Adobe
      // segment or the component ids ('R', 'G', 'B') make them RGB, which the two may read
      // differently.
      if (adobe && adobe_transform != 1) return std::nullopt;
      const uint8_t* ids = segment + 6;
      if (ids[0] == 'R' && ids[3] == 'G' && ids[6] == 'B') return std::nullopt;
      return layout;
    }
    if (marker == 0xDA) return std::nullopt;  // a scan before any frame header
    pos += 2 + length;
  }
  return std::nullopt;
}

std::unique_ptr<TPdfImage> JpegImageObject(const PdfJpegSource& jpeg, const PdfJpegLayout& layout) {
  auto result = std::make_unique<TPdfImage>();
  TPdfDictionary& attributes = result->Attributes();
  attributes.AddItem("ColorSpace", PdfName(layout.gray ? "DeviceGray" : "DeviceRGB"));
  attributes.AddItem("Width", PdfNumber(layout.width));
  attributes.AddItem("Height", PdfNumber(layout.height));
  attributes.AddItem("BitsPerComponent", PdfNumber(8));
  result->Filter().Add(PdfName("DCTDecode"));
  result->SetEncoded(jpeg.bytes, jpeg.size);
  return result;
}

}  // namespace pamirune
