// PngRowEncoder: the image data of a PNG file. Each row of the Raster image is converted to
// the file's layout, picked apart into the Adam7 passes when interlaced, filtered as the
// filter mode says and deflated into IDAT chunks. Private to the PNG writer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/png/png_layout.h"
#include "formats/png/png_stream.h"
#include "raster/zlib_writer.h"

namespace pamirune {

class PngRowEncoder {
 public:
  PngRowEncoder(const TBitmap& image, const TBitmap* alpha, const PngLayout& layout,
                const PngOptions& options, ImageWriteStream& out);
  ~PngRowEncoder();
  PngRowEncoder(const PngRowEncoder&) = delete;
  PngRowEncoder& operator=(const PngRowEncoder&) = delete;

  void SetProgress(TProgressEvent progress) { progress_ = std::move(progress); }
  // Every row, then the end of the zlib stream and the last IDAT chunk.
  void WriteImageData();

 private:
  // Image row y in the file's byte order, row_bytes_ bytes at out.
  void ConvertRow(int y, uint8_t* out);
  void ConvertPaletteRow(const uint8_t* src, const uint8_t* mask, uint8_t* out) const;
  void ConvertDeepRow(int y, const uint8_t* mask, uint8_t* out);
  // The pixels of one Adam7 pass out of the converted row full_.
  void ExtractPass(const PngPass& pass, int count, uint8_t* dst) const;
  // Filters one row as the filter mode says and hands it to deflate.
  void FilterAndCompress(const uint8_t* row, size_t len);
  // The adaptive mode's choice among the five filters; the row filtered with it.
  const uint8_t* ChooseFilter(const uint8_t* row, size_t len);
  // The zlib stream goes into IDAT chunks of idat_size bytes, the last one holding the rest.
  void ToIdat(const uint8_t* data, size_t n);
  void WriteInterlaced();
  void WriteProgressive();
  int TotalRows() const;
  void RowDone();

  const TBitmap& image_;
  const TBitmap* alpha_;
  const PngLayout& layout_;
  const PngOptions& options_;
  ImageWriteStream& out_;
  TProgressEvent progress_;
  TRowReader reader_;
  std::vector<TColor> colours_;  // one row of a deep source
  const size_t row_bytes_;
  const int distance_;  // the filters' byte distance
  std::vector<uint8_t> full_;
  std::vector<uint8_t> pass_row_;
  std::vector<uint8_t> prev_;
  std::vector<uint8_t> candidates_;
  std::vector<uint8_t> idat_;
  size_t idat_used_ = 0;
  std::unique_ptr<ZlibWriter> zlib_;
  int total_rows_ = 0;
  int done_rows_ = 0;
};

}  // namespace pamirune
