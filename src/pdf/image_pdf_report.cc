#include "pdf/image_pdf_report.h"

#include <filesystem>
#include <future>
#include <utility>

#include "pdf/pdf_image.h"
#include "raster/threads.h"

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

std::unique_ptr<TPdfImage> ImagePdfReport::KeptJpeg(const TBitmap& image,
                                                    const PdfJpegSource* jpeg) {
  if (!jpeg || !jpeg->bytes || image.PixelFormat() != TPixelFormat::pf24bit) return nullptr;
  auto layout = PdfJpegPassThroughLayout(jpeg->bytes.get(), jpeg->size);
  if (!layout || layout->width != image.Width() || layout->height != image.Height()) return nullptr;
  return JpegImageObject(*jpeg, *layout);
}

void ImagePdfReport::PrintPage(const TBitmap& image, const std::string& item_name,
                               std::unique_ptr<TPdfImage> prepared) {
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
  if (prepared) item.SetPreparedImage(std::move(prepared));
  report_.Print(page_);
  if (TPdfDoc* doc = report_.PdfDoc()) last_image_ = doc->GetXObject(item_name);
}

void ImagePdfReport::SetAside(TPdfStream* last) {
  if (!last) return;
  last->Settle();
  if (!spill_tried_) {
    spill_tried_ = true;
    // Beside the file it will be written to, on the same disk.
    spill_ = TPdfSpill::Create(std::filesystem::path(FileName()).parent_path().string());
  }
  last->Spill(spill_);
}

void ImagePdfReport::Forget() {
  last_image_ = nullptr;
  spill_.reset();
  spill_tried_ = false;
}

void ImagePdfReport::AddImagePage(const TBitmap& image, const std::string& item_name,
                                  const PdfJpegSource* jpeg) {
  SetAside(std::exchange(last_image_, nullptr));
  PrintPage(image, item_name, KeptJpeg(image, jpeg));
}

void ImagePdfReport::AddImagePage(TBitmap&& image, const std::string& item_name,
                                  const PdfJpegSource* jpeg) {
  auto prepared = KeptJpeg(image, jpeg);
  if (prepared || ConversionThreads() < 2 || image.Empty() || !report_.Active() ||
      (report_.PdfDoc() && report_.PdfDoc()->GetXObject(item_name))) {
    SetAside(std::exchange(last_image_, nullptr));
    PrintPage(image, item_name, std::move(prepared));
    return;
  }
  // This page is deflated beside the last one, which is waited for once this one has
  // started: two pages at most are in the making, and the caller reads the next image while
  // this one is deflated.
  TPdfStream* before = std::exchange(last_image_, nullptr);
  // The object is made now (its errors come now); its data follow from the other thread,
  // which owns the pixels until it is done.
  auto owned = std::make_shared<const TBitmap>(std::move(image));
  prepared = BitmapImageObject(*owned);
  TPdfImage* object = prepared.get();
  object->SetDeflatedLater(
      std::async(std::launch::async, [owned] { return DeflateBitmapImageData(*owned); }));
  PrintPage(*owned, item_name, std::move(prepared));
  SetAside(before);
}

void ImagePdfReport::EndDoc() {
  // The last page's data are written from memory; an error of their making is raised here.
  if (TPdfStream* last = std::exchange(last_image_, nullptr)) last->Settle();
  if (TPdfDoc* doc = report_.PdfDoc())
    doc->Info().SetCreationDate(clock_ ? clock_() : PdfLocalNow());
  report_.EndDoc();
  Forget();
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
