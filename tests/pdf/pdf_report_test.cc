// The report layer: properties, begin/print/end/abort, pages, panels, image items, the image
// objects, and the converter's whole one-page file byte for byte.
#include "pdf/pdf_report.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "pdf/image_pdf_report.h"
#include "pdf/pdf_image.h"
#include "support/expect_error.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using testing::ExpectError;

namespace fs = std::filesystem;

TPdfDateTime FixedNow() { return {2024, 1, 2, 3, 4, 5}; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Inflate(const std::vector<uint8_t>& data) {
  std::string out(1 << 20, '\0');
  uLongf size = out.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size, data.data(), data.size()),
            Z_OK);
  out.resize(size);
  return out;
}

std::string Text(TPdfObject& object) {
  TMemoryStream s;
  object.WriteValueToStream(s);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

// A 3 x 2 full-colour image: red, green, blue / white, black, (10, 20, 30).
TBitmap SmallRgb() {
  TBitmap b(3, 2, TPixelFormat::pf24bit);
  b.SetPixel(0, 0, RGB(255, 0, 0));
  b.SetPixel(1, 0, RGB(0, 255, 0));
  b.SetPixel(2, 0, RGB(0, 0, 255));
  b.SetPixel(0, 1, RGB(255, 255, 255));
  b.SetPixel(1, 1, RGB(0, 0, 0));
  b.SetPixel(2, 1, RGB(10, 20, 30));
  return b;
}

class TempDir : public ::testing::Test {
 protected:
  pamirune::testing::TempDir temp_;
  fs::path dir_ = temp_.path();
};

using ConverterPdfTest = TempDir;

TEST_F(ConverterPdfTest, OnePageFileMatchesTheHandBuiltOne) {
  ImagePdfReport pdf;
  pdf.SetClock(FixedNow);
  fs::path out = dir_ / "cat.pdf";
  pdf.WriteSingle(SmallRgb(), "PDF0", out.string());
  EXPECT_FALSE(pdf.Active());
  std::string expected = ReadFile(fs::path(PAMIRUNE_TEST_DATA_DIR) / "golden" / "one_page.pdf");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ReadFile(out), expected);
}

TEST_F(ConverterPdfTest, APageIsTheImagesSizeAndTheImageFillsIt) {
  ImagePdfReport pdf;
  pdf.SetFileName((dir_ / "a.pdf").string());
  pdf.BeginDoc();
  pdf.AddImagePage(TBitmap(640, 480, TPixelFormat::pf8bit), "PDF3");
  TPdfDoc& doc = *pdf.Report().PdfDoc();
  TPdfCanvas& canvas = doc.Canvas();
  EXPECT_EQ(canvas.Page().ValueByName("MediaBox")->ToString(), "[0 0 640 480 ]");
  std::string ops(canvas.Contents().Data().begin(), canvas.Contents().Data().end());
  EXPECT_EQ(ops, "/F0 10 Tf\nq\n640 0 0 480 0 0 cm\n/PDF3 Do\nQ\n");
  EXPECT_TRUE(canvas.Contents().Filter().HasName("FlateDecode"));
  EXPECT_EQ(canvas.Page().DictionaryByName("Resources")->DictionaryByName("XObject")->ToString(),
            "<<\r\n/PDF3 7 0 R\r\n>>");
  // The item is freed after its page: the panel holds no image item any more.
  EXPECT_EQ(pdf.LayoutPanel().ControlCount(), 0u);
  pdf.Abort();
  EXPECT_FALSE(fs::exists(dir_ / "a.pdf"));
}

TEST_F(ConverterPdfTest, BatchPagesGetTheirOwnImagesAndTheLastFileName) {
  ImagePdfReport pdf;
  pdf.SetClock(FixedNow);
  pdf.BeginDoc();
  TBitmap one = SmallRgb();
  TBitmap two(5, 7, TPixelFormat::pf24bit);
  pdf.SetFileName((dir_ / "one.pdf").string());
  pdf.AddImagePage(one, "PDF0");
  pdf.SetFileName((dir_ / "two.pdf").string());
  pdf.AddImagePage(two, "PDF1");
  EXPECT_EQ(pdf.PageCount(), 2);
  TPdfDoc& doc = *pdf.Report().PdfDoc();
  // 1-3 skeleton, 4-5 first page, 6 font, 7 image, 8-9 second page, 10 its image.
  EXPECT_EQ(doc.GetXObject("PDF0")->ObjectNumber(), 7);
  EXPECT_EQ(doc.GetXObject("PDF1")->ObjectNumber(), 10);
  EXPECT_EQ(doc.Canvas().Page().ValueByName("MediaBox")->ToString(), "[0 0 5 7 ]");
  pdf.EndDoc();
  EXPECT_FALSE(fs::exists(dir_ / "one.pdf"));
  std::string file = ReadFile(dir_ / "two.pdf");
  EXPECT_NE(file.find("/Kids [4 0 R 8 0 R ]\r\n/Count 2"), std::string::npos);
}

TEST_F(ConverterPdfTest, ItemsWithTheSameNameShareOneImage) {
  ImagePdfReport pdf;
  pdf.BeginDoc();
  pdf.AddImagePage(SmallRgb(), "PDFCLIP");
  pdf.AddImagePage(TBitmap(4, 4, TPixelFormat::pf24bit), "PDFCLIP");
  TPdfDoc& doc = *pdf.Report().PdfDoc();
  EXPECT_EQ(doc.XObjectCount(), 1u);
  std::string ops(doc.Canvas().Contents().Data().begin(), doc.Canvas().Contents().Data().end());
  EXPECT_EQ(ops, "/F0 10 Tf\nq\n4 0 0 4 0 0 cm\n/PDFCLIP Do\nQ\n");
  EXPECT_EQ(doc.Canvas()
                .Page()
                .DictionaryByName("Resources")
                ->DictionaryByName("XObject")
                ->ValueByName("PDFCLIP")
                ->ToString(),
            "7 0 R");
}

TEST_F(ConverterPdfTest, AnEmptyImageIsRefused) {
  ImagePdfReport pdf;
  EXPECT_THROW(
      pdf.WriteSingle(TBitmap(0, 5, TPixelFormat::pf24bit), "PDF0", (dir_ / "e.pdf").string()),
      EPdfInvalidImageFormat);
  EXPECT_FALSE(pdf.Active());
  EXPECT_FALSE(fs::exists(dir_ / "e.pdf"));
}

TEST_F(ConverterPdfTest, AFailedWriteLeavesWhatWasThereAlone) {
  // The target name is taken by a folder, which no file can replace.
  fs::path target = dir_ / "keep.pdf";
  fs::create_directories(target);
  { std::ofstream(target / "inside") << "old"; }
  ImagePdfReport pdf;
  EXPECT_THROW(pdf.WriteSingle(SmallRgb(), "PDF0", target.string()), EOSError);
  EXPECT_FALSE(pdf.Active());
  EXPECT_EQ(ReadFile(target / "inside"), "old");
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // In a batch the document stays open after a failed write, so it can be written elsewhere.
  pdf.SetFileName(target.string());
  pdf.BeginDoc();
  pdf.AddImagePage(SmallRgb(), "PDF0");
  EXPECT_THROW(pdf.EndDoc(), EOSError);
  ASSERT_TRUE(pdf.Active());
  pdf.SetFileName((dir_ / "other.pdf").string());
  pdf.EndDoc();
  EXPECT_TRUE(fs::exists(dir_ / "other.pdf"));
}

using ReportTest = TempDir;

TEST_F(ReportTest, DefaultsAndSetterErrorsWhileOpen) {
  TPReport r;
  EXPECT_EQ(r.FileName(), "default.pdf");
  EXPECT_EQ(r.CompressionMethod(), TPdfCompressionMethod::cmNone);
  EXPECT_EQ(r.ModDate(), TPdfDateTime{});
  r.SetNonFullScreenPageMode(TPdfPageMode::pmFullScreen);
  EXPECT_EQ(r.NonFullScreenPageMode(), TPdfPageMode::pmUseNone);
  r.SetNonFullScreenPageMode(TPdfPageMode::pmUseThumbs);
  EXPECT_EQ(r.NonFullScreenPageMode(), TPdfPageMode::pmUseThumbs);

  r.BeginDoc();
  const std::pair<std::function<void()>, const char*> kSetters[] = {
      {[&] { r.SetAuthor("a"); }, "SetAuthor --invalid operation."},
      {[&] { r.SetCreationDate({}); }, "SetCreationDate --invalid operation."},
      {[&] { r.SetCreator("a"); }, "SetCreator --invalid operation."},
      {[&] { r.SetKeywords("a"); }, "SetKeyWords --invalid operation."},
      {[&] { r.SetModDate({}); }, "SetModDate --invalid operation."},
      {[&] { r.SetSubject("a"); }, "SetSubject --invalid operation."},
      {[&] { r.SetTitle("a"); }, "SetTitle --invalid operation."},
      {[&] { r.SetPageLayout(TPdfPageLayout::plOneColumn); }, "SetPageLayout --invalid operation."},
      {[&] { r.SetPageMode(TPdfPageMode::pmUseThumbs); }, "SetPageMode --invalid operation."},
      {[&] { r.SetNonFullScreenPageMode(TPdfPageMode::pmUseNone); },
       "SetNonFullScreenPageMode --invalid operation."},
      {[&] { r.SetUseOutlines(true); }, "SetUseOutlines --invalid operation."},
      {[&] { r.SetViewerPreference({}); }, "SetViewerPreference --invalid operation."},
  };
  for (const auto& [setter, text] : kSetters) ExpectError<EPdfInvalidOperation>(setter, text);
  // The properties stay as they were; the file name may change at any time.
  EXPECT_EQ(r.Author(), "");
  r.SetFileName("x.pdf");
  r.Abort();
  r.SetAuthor("b");
  EXPECT_EQ(r.Author(), "b");
}

TEST_F(ReportTest, BeginDocCarriesThePropertiesIntoTheDocument) {
  TPReport r;
  r.SetClock(FixedNow);
  r.SetAuthor("au");
  r.SetTitle("\xE7\x8C\xAB");
  r.SetCreationDate({2002, 11, 25, 10, 4, 37});
  r.SetPageMode(TPdfPageMode::pmUseThumbs);
  r.SetPageLayout(TPdfPageLayout::plOneColumn);
  r.SetNonFullScreenPageMode(TPdfPageMode::pmUseOutlines);
  r.SetViewerPreference({TPdfViewerPreference::vpHideMenubar});
  r.BeginDoc();
  TPdfDoc& doc = *r.PdfDoc();
  EXPECT_EQ(Text(doc.Root().Data()),
            "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseThumbs\r\n"
            "/PageLayout /OneColumn\r\n/ViewerPreferences <<\r\n"
            "/NonFullScreenPageMode /UseOutlines\r\n/HideMenubar true\r\n>>\r\n>>");
  EXPECT_EQ(Text(doc.Info().Data()),
            "<<\r\n/Producer (Hanabi version 0.9)\r\n/Author (au)\r\n"
            "/CreationDate (D:20021125100437)\r\n/Creator ()\r\n/Keywords ()\r\n"
            "/ModDate (D:18991230000000)\r\n/Subject ()\r\n/Title <FEFF001B656E001B732B>\r\n>>");
}

TEST_F(ReportTest, EndingTwiceAndPrintingWithoutADocumentFail) {
  TPReport r;
  TPRPage page;
  r.SetFileName((dir_ / "x.pdf").string());
  ExpectError<EPdfInvalidOperation>([&] { r.Print(page); }, "document is null..");
  r.BeginDoc();
  r.Print(page);
  EXPECT_EQ(r.PageCount(), 1);
  r.EndDoc();
  EXPECT_TRUE(fs::exists(dir_ / "x.pdf"));
  ExpectError<EPdfInvalidOperation>([&] { r.EndDoc(); }, "document is null..");
}

TEST_F(ReportTest, AnAbandonedDocumentIsNeverWritten) {
  TPReport r;
  TPRPage page;
  r.SetFileName((dir_ / "first.pdf").string());
  r.BeginDoc();
  r.Print(page);
  r.BeginDoc();  // abandons the first
  EXPECT_EQ(r.PageCount(), 0);
  ExpectError<EPdfInvalidOperation>([&] { r.EndDoc(); },
                                    "SaveToStream --there is no document to save.");
  r.Abort();
  EXPECT_FALSE(r.Active());
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ReportTest, AnEmptyPageOnTheDefaultA4Size) {
  TPReport r;
  TPRPage page;
  r.BeginDoc();
  r.Print(page);
  TPdfCanvas& c = r.PdfDoc()->Canvas();
  EXPECT_EQ(c.Page().ValueByName("MediaBox")->ToString(), "[0 0 596 842 ]");
  EXPECT_EQ(std::string(c.Contents().Data().begin(), c.Contents().Data().end()), "/F0 10 Tf\n");
}

TEST(PRPageTest, MarginsBelowHalfTheWidthOnly) {
  TPRPage page;
  EXPECT_EQ(page.MarginLeft(), 32);
  page.SetMarginLeft(300);
  EXPECT_EQ(page.MarginLeft(), 32);
  page.SetMarginLeft(297);
  EXPECT_EQ(page.MarginLeft(), 297);
  page.SetMarginBottom(-1);
  EXPECT_EQ(page.MarginBottom(), 32);
  page.SetMarginTop(0);
  EXPECT_EQ(page.MarginTop(), 0);
  page.SetMarginTop(298);  // the height is not what counts: 298 is half of 596
  EXPECT_EQ(page.MarginTop(), 0);
}

TEST(PRPlacementTest, ItemsGoOnPanelsAndPanelsOnPagesOrPanels) {
  TPRPage page;
  TPRLayoutPanel panel;
  TPRGridPanel grid;
  TPRImage image;
  ExpectError<EPdfInvalidOperation>([&] { image.SetParent(&page); },
                                    "this component must set on TPRPanel");
  panel.SetParent(&page);
  image.SetParent(&panel);
  EXPECT_EQ(image.Parent(), &panel);
  image.SetParent(&grid);
  EXPECT_EQ(image.Parent(), &grid.ChildPanel());
  EXPECT_EQ(panel.ControlCount(), 0u);
  ExpectError<EPdfInvalidOperation>([&] { panel.SetParent(&panel); },
                                    "TPRLayoutPanel can not set on TPRLayoutPanel");
  {
    TPRLayoutPanel inner;
    inner.SetParent(&panel);
    EXPECT_EQ(panel.ControlCount(), 1u);
  }
  EXPECT_EQ(panel.ControlCount(), 0u);  // a destroyed child leaves its parent
  ExpectError<EPdfInvalidImageFormat>(
      [&] {
        TPRImage i;
        class Other : public TGraphic {
         public:
          std::unique_ptr<TGraphic> NewOfSameKind() const override { return nullptr; }
          void ToBitmap(TBitmap&) const override {}
          bool Empty() const override { return true; }
          int Width() const override { return 0; }
          int Height() const override { return 0; }
          void LoadFromStream(TStream&) override {}
          void SaveToStream(TStream&) const override {}
          const char* ClassName() const override { return "Other"; }
        } other;
        i.SetPicture(&other);
      },
      "only bitmap image is allowed.");
}

TEST(PRGridTest, CountsLeaveTenUnitsPerCellAndCellsPrintInOrder) {
  TPRGridPanel grid;
  grid.SetBounds(0, 0, 100, 40);
  ExpectError<EPdfInvalidValue>([&] { grid.SetColCount(0); }, "invalid colcount");
  ExpectError<EPdfInvalidValue>([&] { grid.SetColCount(11); }, "invalid colcount");
  ExpectError<EPdfInvalidValue>([&] { grid.SetRowCount(5); }, "invalid rowcount");
  grid.SetColCount(10);
  grid.SetColCount(2);
  grid.SetRowCount(2);

  TPReport r;
  TPRPage page;
  page.SetMarginLeft(0);
  page.SetMarginTop(0);
  grid.SetParent(&page);
  std::vector<std::string> order;
  grid.BeforePrintChild = [&](TPRGridPanel&, TPRChildPanel&, TPRCanvas&, int col, int row,
                              const TRect& rect) {
    order.push_back(std::to_string(col) + "," + std::to_string(row) + "@" +
                    std::to_string(rect.left) + "," + std::to_string(rect.top));
  };
  r.BeginDoc();
  r.Print(page);
  EXPECT_EQ(order, (std::vector<std::string>{"0,0@0,0", "1,0@50,0", "0,1@0,20", "1,1@50,20"}));
  order.clear();
  grid.SetPrintDirection(TPrintDirection::pdVert);
  r.Print(page);
  EXPECT_EQ(order, (std::vector<std::string>{"0,0@0,0", "0,1@0,20", "1,0@50,0", "1,1@50,20"}));
}

TEST(PRImageTest, StretchAndClippedPlacementOperators) {
  TPReport r;
  TPRPage page;  // 596 x 842, margins 32
  TPRLayoutPanel panel;
  panel.SetParent(&page);
  panel.SetBounds(10, 20, 300, 300);
  TPRImage image;
  image.SetName("Img");
  image.SetParent(&panel);
  image.SetBounds(5, 6, 40, 30);
  TBitmap pic(8, 4, TPixelFormat::pf24bit);
  image.SetPicture(&pic);
  std::vector<std::string> events;
  panel.BeforePrint = [&](TPRPanel&, TPRCanvas&, const TRect& rect) {
    events.push_back("before " + std::to_string(rect.left) + "," + std::to_string(rect.top));
  };
  panel.AfterPrint = [&](TPRPanel&, TPRCanvas&, const TRect&) { events.push_back("after"); };
  page.OnPrintPage = [&](TPRPage&, TPRCanvas&) { events.push_back("page"); };

  r.BeginDoc();
  r.Print(page);
  TPdfCanvas& c = r.PdfDoc()->Canvas();
  auto ops = [&] { return std::string(c.Contents().Data().begin(), c.Contents().Data().end()); };
  // Item rect: left 15, top 26, bottom 56; y = 842 - 56.
  EXPECT_EQ(ops(), "/F0 10 Tf\nq\n40 0 0 30 15 786 cm\n/Img Do\nQ\n");
  EXPECT_EQ(events, (std::vector<std::string>{"page", "before 10,20", "after"}));

  image.SetStretch(false);
  r.Print(page);
  // Clip to the item, draw at the picture's own size from the item's top-left corner.
  EXPECT_EQ(ops(), "/F0 10 Tf\nq\n15 786 40 30 re\nW\nn\n8 0 0 4 15 812 cm\n/Img Do\nQ\n");

  image.SetPrintable(false);
  r.Print(page);
  EXPECT_EQ(ops(), "/F0 10 Tf\n");
  EXPECT_EQ(r.PdfDoc()->XObjectCount(), 1u);  // shared by name across the pages
}

TEST(PRImageTest, AlignedPanelsShareThePageInsideTheMargins) {
  TPReport r;
  TPRPage page;
  page.SetWidth(200);
  page.SetHeight(100);
  TPRLayoutPanel top, client;
  top.SetParent(&page);
  client.SetParent(&page);
  top.SetAlign(TPRAlign::alTop);
  top.SetHeight(10);
  client.SetAlign(TPRAlign::alClient);
  std::vector<TRect> rects;
  auto record = [&](TPRPanel&, TPRCanvas&, const TRect& rect) { rects.push_back(rect); };
  top.BeforePrint = record;
  client.BeforePrint = record;
  r.BeginDoc();
  r.Print(page);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].left, 32);
  EXPECT_EQ(rects[0].top, 32);
  EXPECT_EQ(rects[0].right, 168);
  EXPECT_EQ(rects[0].bottom, 42);
  EXPECT_EQ(rects[1].top, 42);
  EXPECT_EQ(rects[1].bottom, 68);
}

TEST(PRImageTest, UnsharedImagesGetFreeNumberedNames) {
  TPReport r;
  TPRPage page;
  TPRLayoutPanel panel;
  panel.SetParent(&page);
  TPRImage image;
  image.SetName("Pic");
  image.SetParent(&panel);
  image.SetSharedImage(false);
  TBitmap pic(2, 2, TPixelFormat::pf24bit);
  image.SetPicture(&pic);
  r.BeginDoc();
  r.Print(page);
  r.Print(page);
  TPdfDoc& doc = *r.PdfDoc();
  ASSERT_EQ(doc.XObjectCount(), 2u);
  EXPECT_EQ(doc.GetXObject("Pic"), nullptr);
  std::string ops(doc.Canvas().Contents().Data().begin(), doc.Canvas().Contents().Data().end());
  size_t at = ops.find("/Pic");
  ASSERT_NE(at, std::string::npos);
  int number = std::stoi(ops.substr(at + 4));
  EXPECT_GE(number, 0);
  EXPECT_LE(number, 65534);
  EXPECT_NE(doc.GetXObject("Pic" + std::to_string(number)), nullptr);
}

// ---- The image objects ----

std::unique_ptr<TPdfImage> MakeImage(const TBitmap& b) { return TPdfBitmapImage().CreateImage(b); }

TEST(PdfBitmapImageTest, FullColourIsRgbTopRowFirst) {
  auto image = MakeImage(SmallRgb());
  EXPECT_EQ(Text(image->Attributes()),
            "<<\r\n/Length 21\r\n/Filter [/FlateDecode ]\r\n/Type /XObject\r\n/Subtype /Image\r\n"
            "/ColorSpace /DeviceRGB\r\n/Width 3\r\n/Height 2\r\n/BitsPerComponent 8\r\n>>");
  TMemoryStream out;
  image->WriteValueToStream(out);
  std::string text(out.Bytes().begin(), out.Bytes().end());
  size_t at = text.find("stream\r\n") + 8;
  std::vector<uint8_t> packed(text.begin() + at, text.end() - 10);
  EXPECT_EQ(Inflate(packed),
            std::string("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF\0\0\0\x0A\x14\x1E", 18));
}

TEST(PdfBitmapImageTest, PaletteImagesBecomeEightBitIndexed) {
  // 1 bit: rows of 9 pixels cross a byte boundary; the palette is blue / yellow.
  TBitmap one(9, 2, TPixelFormat::pf1bit);
  one.SetPalette({QuadFromColor(RGB(0, 0, 255)), QuadFromColor(RGB(255, 255, 0))});
  for (int x = 0; x < 9; x += 2) one.SetRawPixel(x, 0, 1);
  one.SetRawPixel(8, 1, 1);
  auto image = MakeImage(one);
  TPdfArray* space = image->Attributes().ArrayByName("ColorSpace");
  ASSERT_NE(space, nullptr);
  std::string written = space->ToString();
  std::string lookup = "<0000FF FFFF00 ";
  for (int i = 2; i < 256; ++i) lookup += "000000 ";
  lookup += ">";
  EXPECT_EQ(written, "[/Indexed /DeviceRGB 255 " + lookup + " ]");
  TMemoryStream out;
  image->WriteValueToStream(out);
  std::string text(out.Bytes().begin(), out.Bytes().end());
  size_t at = text.find("stream\r\n") + 8;
  std::vector<uint8_t> packed(text.begin() + at, text.end() - 10);
  EXPECT_EQ(Inflate(packed), std::string("\1\0\1\0\1\0\1\0\1"
                                         "\0\0\0\0\0\0\0\0\1",
                                         18));

  TBitmap four(3, 1, TPixelFormat::pf4bit);
  four.SetRawPixel(0, 0, 15);
  four.SetRawPixel(1, 0, 7);
  four.SetRawPixel(2, 0, 1);
  auto image4 = MakeImage(four);
  TMemoryStream out4;
  image4->WriteValueToStream(out4);
  std::string text4(out4.Bytes().begin(), out4.Bytes().end());
  size_t at4 = text4.find("stream\r\n") + 8;
  EXPECT_EQ(Inflate(std::vector<uint8_t>(text4.begin() + at4, text4.end() - 10)),
            std::string("\x0F\x07\x01", 3));
}

TEST(PdfBitmapImageTest, MissingPalettes) {
  TBitmap one(2, 1, TPixelFormat::pf1bit);
  one.SetPalette({});
  auto image = MakeImage(one);  // drawn black and white, as the raster does
  EXPECT_NE(image->Attributes().ValueByName("ColorSpace")->ToString().find("<000000 FFFFFF 000000"),
            std::string::npos);
  TBitmap eight(2, 1, TPixelFormat::pf8bit);
  eight.SetPalette({});
  ExpectError<EPdfInvalidImageFormat>([&] { MakeImage(eight); }, "failed to get Palette..");
}

TEST(PdfBitmapImageTest, OtherDepthsBecomeRgb) {
  for (TPixelFormat format :
       {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
    TBitmap b(2, 1, format);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    b.SetPixel(1, 0, RGB(0, 0, 255));
    auto image = MakeImage(b);
    EXPECT_EQ(image->Attributes().ValueByName("ColorSpace")->ToString(), "/DeviceRGB");
    TMemoryStream out;
    image->WriteValueToStream(out);
    std::string text(out.Bytes().begin(), out.Bytes().end());
    size_t at = text.find("stream\r\n") + 8;
    EXPECT_EQ(Inflate(std::vector<uint8_t>(text.begin() + at, text.end() - 10)),
              std::string("\xFF\0\0\0\0\xFF", 6));
  }
}

}  // namespace
}  // namespace pamirune
