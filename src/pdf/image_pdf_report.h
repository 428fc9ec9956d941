// The PDF output of the converter: a report holding the values the converter stores for it
// (compressed pages; the creation date is the time the file is written), one hidden page without
// margins and one layout panel filling it. Each image becomes one page exactly the size of the
// image (one pixel per point) with the image filling it.
//
//   ImagePdfReport pdf;
//   pdf.SetFileName(base + "pdf");   // may change before every page; EndDoc uses the last
//   pdf.BeginDoc();                  // abandons a document left open
//   pdf.AddImagePage(image, "PDF0"); // per image: 8-bit (with palette) or 24-bit raster
//   pdf.EndDoc();                    // writes the file atomically; or pdf.Abort()
//
// WriteSingle() does the three steps for a one-page file.
#pragma once

#include <string>

#include "pdf/pdf_jpeg.h"
#include "pdf/pdf_report.h"

namespace pamirune {

class ImagePdfReport {
 public:
  ImagePdfReport();

  TPReport& Report() { return report_; }
  TPRPage& Page() { return page_; }
  TPRLayoutPanel& LayoutPanel() { return panel_; }

  void SetFileName(const std::string& file_name) { report_.SetFileName(file_name); }
  const std::string& FileName() const { return report_.FileName(); }
  // The clock of the save time (CreationDate and ModDate); tests fix it.
  void SetClock(TPdfClock clock) {
    clock_ = clock;
    report_.SetClock(std::move(clock));
  }

  void BeginDoc() { report_.BeginDoc(); }
  // Sizes the page and an image item named item_name ("PDF" and the batch index, or "PDFCLIP")
  // to the image, gives the item a copy of the image and prints the page into the open
  // document. The item is freed afterwards.
  // jpeg: the JPEG file the image was decoded from, when nothing changed its pixels since. If
  // the image is 24-bit, of the file's size, and the file is one PdfJpegPassThroughLayout
  // accepts, the page holds the file as it is (DCTDecode) instead of the deflated pixels.
  void AddImagePage(const TBitmap& image, const std::string& item_name,
                    const PdfJpegSource* jpeg = nullptr);
  // Writes the file; it is created now.
  void EndDoc();
  void Abort() { report_.Abort(); }
  bool Active() const { return report_.Active(); }
  int PageCount() const { return report_.PageCount(); }

  // A one-page file: begin, add the page, end. On failure nothing is written and no document
  // stays open.
  void WriteSingle(const TBitmap& image, const std::string& item_name, const std::string& file_name,
                   const PdfJpegSource* jpeg = nullptr);

 private:
  TPdfClock clock_;
  TPReport report_;
  TPRPage page_;
  TPRLayoutPanel panel_;
};

}  // namespace pamirune
