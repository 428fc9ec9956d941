// JPEG files kept as they are in a PDF (DCTDecode): which files a reader shows with the pixels
// our own decoder gives, and the image object that holds such a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "pdf/pdf_doc.h"

namespace pamirune {

// The bytes of a JPEG file, shared with their owner (the loaded picture) rather than copied.
struct PdfJpegSource {
  std::shared_ptr<const uint8_t> bytes;
  size_t size = 0;
};

struct PdfJpegLayout {
  int width = 0;
  int height = 0;
  bool gray = false;  // one component; otherwise three in YCbCr
};

// The layout of a JPEG file that may be embedded as it is: 8-bit Huffman-coded baseline,
// extended or progressive, with one grey component or three YCbCr ones (as both the decoder and
// a PDF reader take them). Arithmetic coding, lossless and hierarchical files, other
// precisions, CMYK/YCCK, RGB-coded files and files whose markers do not parse give nullopt.
std::optional<PdfJpegLayout> PdfJpegPassThroughLayout(const uint8_t* data, size_t size);

// The image object of such a file: ColorSpace /DeviceGray or /DeviceRGB, Width, Height,
// BitsPerComponent 8 and /DCTDecode, the file's bytes as the data.
std::unique_ptr<TPdfImage> JpegImageObject(const PdfJpegSource& jpeg, const PdfJpegLayout& layout);

}  // namespace pamirune
