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

#include <memory>
#include <string>

#include "pdf/pdf_jpeg.h"
#include "pdf/pdf_report.h"
#include "pdf/pdf_spill.h"

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

  void BeginDoc() {
    Forget();
    report_.BeginDoc();
  }
  // Sizes the page and an image item named item_name ("PDF" and the batch index, or "PDFCLIP")
  // to the image, gives the item a copy of the image and prints the page into the open
  // document. The item is freed afterwards.
  // jpeg: the JPEG file the image was decoded from, when nothing changed its pixels since. If
  // the image is 24-bit, of the file's size, and the file is one PdfJpegPassThroughLayout
  // accepts, the page holds the file as it is (DCTDecode) instead of the deflated pixels.
  void AddImagePage(const TBitmap& image, const std::string& item_name,
                    const PdfJpegSource* jpeg = nullptr);
  // The same for an image the caller has no more use for. With more than one conversion
  // thread its data are deflated on another thread while the caller goes on with the next
  // image; the page before is waited for then, so at most two pages are in the making. The
  // file written is the same either way. An error of that deflating is raised by the next
  // AddImagePage or by EndDoc.
  void AddImagePage(TBitmap&& image, const std::string& item_name,
                    const PdfJpegSource* jpeg = nullptr);
  // Writes the file; it is created now.
  void EndDoc();
  void Abort() {
    Forget();
    report_.Abort();
  }
  bool Active() const { return report_.Active(); }
  int PageCount() const { return report_.PageCount(); }

  // A one-page file: begin, add the page, end. On failure nothing is written and no document
  // stays open.
  void WriteSingle(const TBitmap& image, const std::string& item_name, const std::string& file_name,
                   const PdfJpegSource* jpeg = nullptr);

 private:
  // The page's image object when it can be made without the creator: the JPEG file as it is.
  static std::unique_ptr<TPdfImage> KeptJpeg(const TBitmap& image, const PdfJpegSource* jpeg);
  // Sizes the page and the item to the image and prints it; prepared (may be empty) is the
  // item's image object.
  void PrintPage(const TBitmap& image, const std::string& item_name,
                 std::unique_ptr<TPdfImage> prepared);
  // Once another page is begun: an earlier page's image data are waited for (when deflated on
  // another thread) and moved out of memory into the spill file, so that a document of many
  // pages holds about one page in memory. A one-page document never spills.
  void SetAside(TPdfStream* page);
  void Forget();

  TPdfClock clock_;
  TPdfStream* last_image_ = nullptr;  // the last page's image object, held by the document
  std::shared_ptr<TPdfSpill> spill_;
  bool spill_tried_ = false;
  TPReport report_;
  TPRPage page_;
  TPRLayoutPanel panel_;
};

}  // namespace pamirune
