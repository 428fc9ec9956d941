#include "pdf/image_pdf_report.h"

namespace pamirune {

ImagePdfReport::ImagePdfReport() {
  report_.SetCompressionMethod(TPdfCompressionMethod::cmFlateDecode);
  page_.SetName("PRPage1");
  page_.SetMarginTop(0);
  page_.SetMarginLeft(0);
  page_.SetMarginRight(0);
  page_.SetMarginBottom(0);
  panel_.SetName("PRLayoutPanel1");
  panel_.SetParent(&page_);
  panel_.SetAlign(TPRAlign::alClient);
}

void ImagePdfReport::AddImagePage(const TBitmap& image, const std::string& item_name,
                                  const PdfJpegSource* jpeg) {
  // A page of no size is no page: refuse it rather than write a broken document.
  if (image.Empty()) throw EPdfInvalidImageFormat("AddImagePage --the image is empty.");
  page_.SetWidth(image.Width());
  page_.SetHeight(image.Height());
  TPRImage item;
  item.SetName(item_name);
  item.SetParent(&panel_);
  item.SetStretch(true);
  item.SetBounds(0, 0, image.Width(), image.Height());
  item.SetPictureInPlace(&image);  // the item lives only while this page is made
  if (jpeg && jpeg->bytes && image.PixelFormat() == TPixelFormat::pf24bit) {
    auto layout = PdfJpegPassThroughLayout(jpeg->bytes.get(), jpeg->size);
    if (layout && layout->width == image.Width() && layout->height == image.Height())
      item.SetPreparedImage(JpegImageObject(*jpeg, *layout));
  }
  report_.Print(page_);
}

void ImagePdfReport::EndDoc() {
  if (TPdfDoc* doc = report_.PdfDoc())
    doc->Info().SetCreationDate(clock_ ? clock_() : PdfLocalNow());
  report_.EndDoc();
}

void ImagePdfReport::WriteSingle(const TBitmap& image, const std::string& item_name,
                                 const std::string& file_name, const PdfJpegSource* jpeg) {
  SetFileName(file_name);
  BeginDoc();
  try {
    AddImagePage(image, item_name, jpeg);
    EndDoc();
  } catch (...) {
    Abort();
    throw;
  }
}

}  // namespace pamirune
