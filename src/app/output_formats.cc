// The output-format table: each format's signature and writer, then the rows.
#include "app/output_formats.h"

#include <algorithm>
#include <cstring>

#include "app/output_writer.h"
#include "app/settings_io.h"
#include "formats/ico/ico.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/mag/mag_image.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff.h"
#include "pdf/pdf_jpeg.h"
#include "raster/byte_order.h"
#include "raster/dib_bmp.h"
#include "raster/resample.h"

namespace pamirune {
namespace {

bool BytesAre(const FileHeader& h, size_t offset, const char* text) {
  return std::memcmp(h.data() + offset, text, std::strlen(text)) == 0;
}

bool BmpSignature(const FileHeader& h) { return BytesAre(h, 0, "BM"); }

// A start-of-image marker followed by any marker: JFIF, Exif, Adobe or none at all.
bool JpegSignature(const FileHeader& h) {
  return (h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) || BytesAre(h, 6, "JFIF") ||
         BytesAre(h, 6, "Exif");
}

bool PngSignature(const FileHeader& h) { return BytesAre(h, 1, "PNG"); }

bool MagSignature(const FileHeader& h) { return BytesAre(h, 0, "MAKI"); }

// An icon directory: reserved 0, type 1 (icon, not cursor), at least one entry, and a first
// entry that can describe an image: 0 or 1 plane, a bit count an icon can have, a size, and
// image data that starts after the directory.
bool IconSignature(const FileHeader& h) {
  if (GetLe16(h, 0) != 0 || GetLe16(h, 2) != 1) return false;
  const uint32_t count = GetLe16(h, 4);
  if (count == 0) return false;
  if (GetLe16(h, 10) > 1) return false;
  const uint32_t bits = GetLe16(h, 12);
  if (bits != 0 && bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
      bits != 32)
    return false;
  return GetLe32(h, 14) != 0 && GetLe32(h, 18) >= 6 + 16 * count;
}

bool GifSignature(const FileHeader& h) { return BytesAre(h, 0, "GIF"); }

// Intel and Motorola byte order, classic (42) and 64-bit (43) directories.
bool TiffSignature(const FileHeader& h) {
  static const uint8_t kTiff[][4] = {
      {'I', 'I', 42, 0}, {'M', 'M', 0, 42}, {'I', 'I', 43, 0}, {'M', 'M', 0, 43}};
  for (const auto& magic : kTiff)
    if (std::memcmp(h.data(), magic, 4) == 0) return true;
  return false;
}

// The writers, one per format (see app/output_writer.h).

// The BMP file is written from the DIB image itself, in the chosen colour depth. When its
// pixels have moved on to the bitmap, the file is written from there under the DIB image's
// header and colour table, kept at preparation: no second copy of the picture.
class BmpWriter : public OutputWriter {
 public:
  void Prepare(OutputJob& job) override {
    layout_.header = job.dib.Data().header;
    layout_.colors = job.dib.Data().colors;
  }
  void Write(OutputJob& job, const std::string& path) override {
    if (!job.dib.Empty()) {
      job.dib.SaveToFile(path);
      return;
    }
    TAtomicFileStream file(path);
    WriteBmpDib(layout_, job.bitmap.Bits(), file);
    file.Commit();
  }

 private:
  DibData layout_;  // header and colour table, no pixels
};

// Encoded from the working image, before colour reduction.
class JpegWriter : public OutputWriter {
 public:
  void Prepare(OutputJob& job) override {
    jpeg_.SetCompressionQuality(job.settings.level * 10);
    jpeg_.CompressFrom(job.working);
  }
  void Write(OutputJob&, const std::string& path) override { jpeg_.SaveToFile(path); }

 private:
  TJPEGImage jpeg_;
};

// Written from the DIB image's bitmap: the PNG image holds only the options.
class PngWriter : public OutputWriter {
 public:
  void Prepare(OutputJob& job) override {
    if (job.settings.transparency) png_.SetTransparentColor(job.transparent);
    png_.SetCompressionLevel(PngCompressionLevelForQuality(job.settings.level));
  }
  void Write(OutputJob& job, const std::string& path) override {
    png_.SaveRasterToFile(job.bitmap, path);
  }

 private:
  PngImage png_;
};

// The MAG file always has a palette: a full-colour image is reduced on a copy.
class MagWriter : public OutputWriter {
 public:
  void Prepare(OutputJob& job) override {
    DibImage eight = job.dib;
    eight.SetPixelFormat(DibPixelFormat::k8Bit);
    TBitmap eight_bitmap;
    eight.MoveToBitmap(eight_bitmap);
    mag_ = std::make_unique<TMAGImage>();
    mag_->Assign(eight_bitmap);
  }
  void Write(OutputJob&, const std::string& path) override {
    mag_->SaveToFile(path);
    mag_.reset();  // not needed by a later format
  }

 private:
  std::unique_ptr<TMAGImage> mag_;
};

class IconWriter : public OutputWriter {
 public:
  void Prepare(OutputJob&) override {}
  void Write(OutputJob& job, const std::string& path) override {
    // Only the width is compared: a 32 x 48 image stays 32 x 48 at icon size 32.
    TBitmap icon;
    if (job.bitmap.Width() == job.icon_size) {
      icon = job.bitmap;
    } else if (job.bitmap.PixelFormat() == TPixelFormat::pf24bit) {
      // Already 24 bits: read where it is, no copy of the whole image.
      icon = TBitmap(job.icon_size, job.icon_size, TPixelFormat::pf24bit);
      ResizeNearest(job.bitmap, icon, {});
    } else {
      TBitmap copy = job.bitmap;
      icon = TBitmap(job.icon_size, job.icon_size, TPixelFormat::pf24bit);
      ResampleBitmap(copy, icon, kResampleNearest);
    }
    if (job.settings.transparency)
      SaveTransparentIcon(icon, path, job.icon_size);
    else
      SaveOpaqueIcon(icon, path);
  }
  // On the clipboard path the icon's token counts only once the icon is written.
  bool CountsBeforeWriting(const OutputJob& job) const override { return !job.clipboard; }
};

// True when a ticked format written after format reads the pipeline's bitmap.
bool LaterFormatReadsBitmap(const ConversionSettings& settings, OutputFormat format) {
  bool later = false;
  for (const auto& row : OutputFormats()) {
    if (later && settings.*row.ticked && row.writer_source == WriterSource::kBitmap) return true;
    later = later || row.format == format;
  }
  return false;
}

// A page of a PDF batch goes into the batch's document; the file is written (under the
// overwrite rule) at the end of the batch. Otherwise the image is a document of its own.
class PdfWriter : public OutputWriter {
 public:
  void Prepare(OutputJob&) override {}
  void Write(OutputJob& job, const std::string& path) override {
    ImagePdfReport& pdf = job.batch.pdf;
    std::string item = job.clipboard ? "PDFCLIP" : "PDF" + std::to_string(job.index);
    PdfJpegSource jpeg;
    if (job.pdf_jpeg)  // the document shares the bytes with the source's data
      jpeg = {std::shared_ptr<const uint8_t>(job.pdf_jpeg, job.pdf_jpeg->stream.data()),
              job.pdf_jpeg->stream.size()};
    job.pdf_jpeg.reset();
    const PdfJpegSource* kept = jpeg.bytes ? &jpeg : nullptr;
    pdf.SetFileName(path);
    if (job.settings.pdf_batch && pdf.Active()) {
      if (!job.clipboard) pdf.SetFileName(job.batch_file_base + "pdf");
      // Where no later format reads the image, the page takes it and may deflate it beside
      // the next image's reading.
      if (job.clipboard || LaterFormatReadsBitmap(job.settings, OutputFormat::kPdf))
        pdf.AddImagePage(job.bitmap, item, kept);
      else
        pdf.AddImagePage(std::move(job.bitmap), item, kept);
    } else {
      pdf.WriteSingle(job.bitmap, item, path, kept);
    }
  }
  Delivery DeliveryOf(const OutputJob& job) const override {
    return job.settings.pdf_batch && !job.clipboard ? Delivery::kBatchPage : Delivery::kOwnFile;
  }
};

// Every image gets a GIF of its own, except in an animation, whose frames the batch gathers
// and writes at its end.
class GifWriter : public OutputWriter {
 public:
  void Prepare(OutputJob& job) override {
    ConversionSettings& s = job.settings;
    if (job.clipboard) {
      AddClipGifFrame(own_, job.bitmap, s.transparency, job.gif_pick);
      return;
    }
    if (s.delay_text.empty()) s.delay_text = "30";
    // The edit shows the delay with thousands separators.
    int delay = 30;
    std::string delay_text = s.delay_text;
    if (ParseDelayText(s.delay_text, &delay)) delay_text = std::to_string(delay);
    AddGifFrame(s.gif_anime ? *job.batch.gif : own_, job.bitmap, s.transparency, delay_text,
                job.gif_pick);
  }
  void Write(OutputJob&, const std::string& path) override { own_.SaveToFile(path); }
  Delivery DeliveryOf(const OutputJob& job) const override {
    return job.settings.gif_anime && !job.clipboard ? Delivery::kBatchFrame : Delivery::kOwnFile;
  }

 private:
  TGIFImage own_;
};

class TiffWriter : public OutputWriter {
 public:
  void Prepare(OutputJob&) override {}
  void Write(OutputJob& job, const std::string& path) override { SaveTiffFile(job.bitmap, path); }
};

template <class Writer>
std::unique_ptr<OutputWriter> Make() {
  return std::make_unique<Writer>();
}

using S = ConversionSettings;
using F = OutputFormat;
using W = WriterSource;

// What follows when a box changes, and what it enables (see app/enabling_rules.h):
//   png, ico, gif enable "透過"; tif runs its rule without enabling it;
//   jpg, png enable the level group; ico the icon size; pdf "Pdf一括";
//   gif enables "Gifｱﾆﾒ" and the delay, and tif runs that rule too.
constexpr unsigned kT = kTransparencyControl, kL = kLevelControl, kI = kIconSizeControl,
                   kP = kPdfBatchControl, kG = kGifAnimeControl;

// clang-format off
const OutputFormatInfo kRows[] = {
  // format  names            INI    settings flag  bar drives   enables  signature      rank source      from dib writer
  {F::kBmp, {"bmp", nullptr}, "bmp", &S::write_bmp, 0, 0,        0,       BmpSignature,  0, W::kDib,     true,  Make<BmpWriter>},
  {F::kJpg, {"jpg", "jpeg"},  "jpg", &S::write_jpg, 1, kL,       kL,      JpegSignature, 2, W::kWorking, false, Make<JpegWriter>},
  {F::kPng, {"png", nullptr}, "png", &S::write_png, 2, kT | kL,  kT | kL, PngSignature,  1, W::kBitmap,  false, Make<PngWriter>},
  {F::kMag, {"mag", nullptr}, "mag", &S::write_mag, 3, 0,        0,       MagSignature,  3, W::kDib,     false, Make<MagWriter>},
  {F::kIco, {"ico", nullptr}, "ico", &S::write_ico, 4, kT | kI,  kT | kI, IconSignature, 4, W::kBitmap,  false, Make<IconWriter>},
  {F::kPdf, {"pdf", nullptr}, "pdf", &S::write_pdf, 7, kP,       kP,      nullptr,       0, W::kBitmap,  false, Make<PdfWriter>},
  {F::kGif, {"gif", nullptr}, "gif", &S::write_gif, 5, kT | kG,  kT | kG, GifSignature,  5, W::kBitmap,  false, Make<GifWriter>},
  {F::kTif, {"tif", "tiff"},  "tif", &S::write_tif, 6, kT | kG,  0,       TiffSignature, 6, W::kBitmap,  false, Make<TiffWriter>},
};
// clang-format on

static_assert(std::size(kRows) == kOutputFormatCount);

}  // namespace

std::span<const OutputFormatInfo> OutputFormats() { return kRows; }

const OutputFormatInfo& FormatInfo(OutputFormat format) {
  return kRows[static_cast<size_t>(format)];
}

const OutputFormatInfo* FindFormatByName(std::string_view name) {
  for (const auto& row : kRows)
    for (const char* n : row.names)
      if (n && name == n) return &row;
  return nullptr;
}

const char* FormatToken(OutputFormat format) { return FormatInfo(format).Token(); }

bool FormatTicked(const ConversionSettings& settings, OutputFormat format) {
  return settings.*FormatInfo(format).ticked;
}

bool& FormatField(ConversionSettings& settings, OutputFormat format) {
  return settings.*FormatInfo(format).ticked;
}

bool AnyTickedEnables(const ConversionSettings& settings, unsigned control) {
  return std::any_of(std::begin(kRows), std::end(kRows), [&](const OutputFormatInfo& row) {
    return (row.enables & control) && settings.*row.ticked;
  });
}

bool ConversionSettings::AnyFormat() const {
  return std::any_of(std::begin(kRows), std::end(kRows),
                     [&](const OutputFormatInfo& row) { return this->*row.ticked; });
}

const std::array<OutputFormat, kOutputFormatCount>& FormatBarOrder() {
  static const std::array<OutputFormat, kOutputFormatCount> order = [] {
    std::array<OutputFormat, kOutputFormatCount> bar{};
    for (const auto& row : kRows) bar[row.bar_position] = row.format;
    return bar;
  }();
  return order;
}

}  // namespace pamirune
