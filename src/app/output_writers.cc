// One writer per output format (see app/output_writer.h).
#include "app/output_writer.h"
#include "app/settings_io.h"
#include "formats/ico/ico.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/mag/mag_image.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff.h"
#include "pdf/pdf_jpeg.h"
#include "raster/resample.h"

namespace pamirune {
namespace {

// The BMP file is written from the DIB image itself, in the chosen colour depth.
class BmpWriter : public OutputWriter {
 public:
  void Prepare(OutputJob&) override {}
  void Write(OutputJob& job, const std::string& path) override { job.dib.SaveToFile(path); }
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
    eight.ToBitmap(eight_bitmap);
    mag_.Assign(eight_bitmap);
  }
  void Write(OutputJob&, const std::string& path) override { mag_.SaveToFile(path); }

 private:
  TMAGImage mag_;
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
      pdf.AddImagePage(job.bitmap, item, kept);
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

}  // namespace

std::unique_ptr<OutputWriter> MakeBmpWriter() { return Make<BmpWriter>(); }
std::unique_ptr<OutputWriter> MakeJpegWriter() { return Make<JpegWriter>(); }
std::unique_ptr<OutputWriter> MakePngWriter() { return Make<PngWriter>(); }
std::unique_ptr<OutputWriter> MakeMagWriter() { return Make<MagWriter>(); }
std::unique_ptr<OutputWriter> MakeIconWriter() { return Make<IconWriter>(); }
std::unique_ptr<OutputWriter> MakePdfWriter() { return Make<PdfWriter>(); }
std::unique_ptr<OutputWriter> MakeGifWriter() { return Make<GifWriter>(); }
std::unique_ptr<OutputWriter> MakeTiffWriter() { return Make<TiffWriter>(); }

}  // namespace pamirune
