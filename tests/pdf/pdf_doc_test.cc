// The document: skeleton and numbering, fonts, canvas operators, images, outlines, errors.
#include "pdf/pdf_doc.h"

#include <gtest/gtest.h>

#include "pdf/pdf_canvas.h"
#include "pdf/pdf_image.h"
#include "support/expect_error.h"

namespace pamirune {
namespace {

using testing::ExpectError;

TPdfDateTime FixedNow() { return {2024, 1, 2, 3, 4, 5}; }

std::string Saved(TPdfDoc& doc) {
  TMemoryStream out;
  doc.SaveToStream(out);
  return std::string(out.Bytes().begin(), out.Bytes().end());
}

std::string ContentsOf(TPdfDoc& doc) {
  auto& data = doc.Canvas().Contents().Data();
  return std::string(data.begin(), data.end());
}

class PdfDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc_.SetClock(FixedNow);
    doc_.NewDoc();
  }
  TPdfDoc doc_;
};

TEST(PdfDocClosedTest, EveryOperationNeedingADocumentSaysSo) {
  TPdfDoc doc;
  TMemoryStream out;
  ExpectError<EPdfInvalidOperation>([&] { doc.Canvas(); }, "GetCanvas --Document is null");
  ExpectError<EPdfInvalidOperation>([&] { doc.Info(); },
                                    "GetInfo --this method can not use this state..");
  ExpectError<EPdfInvalidOperation>([&] { doc.Root(); },
                                    "GetRoot --this method can not use this state..");
  ExpectError<EPdfInvalidOperation>([&] { doc.OutlineRoot(); },
                                    "GetOutlineRoot --document is null..");
  ExpectError<EPdfInvalidOperation>([&] { doc.GetFont("Arial"); }, "GetFont --document is null.");
  ExpectError<EPdfInvalidOperation>([&] { doc.AddPage(); }, "AddPage --current pages null.");
  ExpectError<EPdfInvalidOperation>([&] { doc.SaveToStream(out); },
                                    "SaveToStream --there is no document to save.");
}

TEST_F(PdfDocTest, ADocumentWithoutPagesIsNotSaved) {
  TMemoryStream out;
  ExpectError<EPdfInvalidOperation>([&] { doc_.SaveToStream(out); },
                                    "SaveToStream --there is no document to save.");
  EXPECT_EQ(out.Size(), 0);
}

TEST_F(PdfDocTest, OutlineRootNeedsOutlineMode) {
  ExpectError<EPdfInvalidOperation>([&] { doc_.OutlineRoot(); },
                                    "GetOutlineRoot --not use outline mode..");
  ExpectError<EPdfInvalidValue>([&] { doc_.CreateOutlineEntry(nullptr); },
                                "CreateEntry --invalid parent.");
}

TEST_F(PdfDocTest, SkeletonNumberingAndFirstPage) {
  doc_.AddPage();
  EXPECT_EQ(doc_.Root().Data().ObjectNumber(), 1);
  EXPECT_EQ(doc_.Info().Data().ObjectNumber(), 2);
  EXPECT_EQ(doc_.CurrentPages()->ObjectNumber(), 3);
  EXPECT_EQ(doc_.Canvas().Page().ObjectNumber(), 4);
  EXPECT_EQ(doc_.Canvas().Contents().ObjectNumber(), 5);
  EXPECT_EQ(doc_.GetFont("Arial")->Data().ObjectNumber(), 6);
  EXPECT_EQ(doc_.Xref().ItemCount(), 7u);

  EXPECT_EQ(doc_.Canvas().Page().ToString(), "4 0 R");
  TMemoryStream page;
  doc_.Canvas().Page().WriteValueToStream(page);
  EXPECT_EQ(std::string(page.Bytes().begin(), page.Bytes().end()),
            "<<\r\n/Type /Page\r\n/Parent 3 0 R\r\n/MediaBox [0 0 596 842 ]\r\n"
            "/Resources <<\r\n/Font <<\r\n/F0 6 0 R\r\n>>\r\n/XObject <<\r\n>>\r\n"
            "/ProcSet [/PDF /Text /ImageC ]\r\n>>\r\n/Contents 5 0 R\r\n>>");
  // Every page starts with the font selection; uncompressed content has an empty filter.
  EXPECT_EQ(ContentsOf(doc_), "/F0 10 Tf\n");
  EXPECT_EQ(doc_.Canvas().Contents().Filter().ItemCount(), 0u);
}

TEST(PdfDocOutlineTest, OutlineRootIsObjectTwoAndTheRestMoveUp) {
  TPdfDoc doc;
  doc.SetUseOutlines(true);
  doc.NewDoc();
  doc.AddPage();
  EXPECT_EQ(doc.OutlineRoot().Data().ObjectNumber(), 2);
  EXPECT_EQ(doc.Info().Data().ObjectNumber(), 3);
  EXPECT_EQ(doc.CurrentPages()->ObjectNumber(), 4);
  EXPECT_EQ(doc.Canvas().Page().ObjectNumber(), 5);
  TMemoryStream catalog;
  doc.Root().Data().WriteValueToStream(catalog);
  EXPECT_EQ(std::string(catalog.Bytes().begin(), catalog.Bytes().end()),
            "<<\r\n/Type /Catalog\r\n/Outlines 2 0 R\r\n/Pages 4 0 R\r\n>>");
}

TEST_F(PdfDocTest, WholeFileFraming) {
  doc_.AddPage();
  std::string file = Saved(doc_);
  EXPECT_EQ(file.rfind("%PDF-1.2 \r\n1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n>>\r\n"
                       "endobj\r\n2 0 obj\r\n<<\r\n/Producer (Hanabi version 0.9)\r\n"
                       "/CreationDate (D:20240102030405)\r\n/ModDate (D:20240102030405)\r\n"
                       ">>\r\nendobj\r\n3 0 obj\r\n<<\r\n/Type /Pages\r\n/Kids [4 0 R ]\r\n"
                       "/Count 1\r\n>>\r\nendobj\r\n",
                       0),
            0u);
  size_t xref = file.find("xref\r\n0 7\r\n0000000000 65535 f\r\n0000000011 00000 n\r\n");
  ASSERT_NE(xref, std::string::npos);
  EXPECT_NE(file.find("trailer\r\n<<\r\n/Size 7\r\n/Root 1 0 R\r\n/Info 2 0 R\r\n>>\r\n"
                      "startxref\r\n" +
                      std::to_string(xref) + "\r\n%%EOF\r\n"),
            std::string::npos);
  // Every offset in the table points at its object.
  for (int n = 1; n < 7; ++n) {
    size_t line = xref + 11 + 20 * n;
    size_t offset = std::stoul(file.substr(line, 10));
    EXPECT_EQ(file.compare(offset, std::to_string(n).size() + 6, std::to_string(n) + " 0 obj"), 0)
        << n;
  }
  // Saving twice gives the same file (the document stays open).
  EXPECT_EQ(Saved(doc_), file);
}

TEST_F(PdfDocTest, InfoKeysMoveToTheEndWhenSetAgain) {
  doc_.Info().SetAuthor("me");
  doc_.Info().SetTitle("T");
  doc_.Info().SetAuthor("you");
  TMemoryStream out;
  doc_.Info().Data().WriteValueToStream(out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()),
            "<<\r\n/Producer (Hanabi version 0.9)\r\n/CreationDate (D:20240102030405)\r\n"
            "/Title (T)\r\n/Author (you)\r\n>>");
  EXPECT_EQ(doc_.Info().Text("Author"), "you");
}

TEST_F(PdfDocTest, CatalogOptions) {
  TPdfCatalog& c = doc_.Root();
  c.SetPageMode(TPdfPageMode::pmUseOutlines);
  c.SetPageLayout(TPdfPageLayout::plTwoColumnRight);
  c.SetNonFullScreenPageMode(TPdfPageMode::pmUseThumbs);
  c.SetViewerPreference({TPdfViewerPreference::vpHideToolbar, TPdfViewerPreference::vpFitWindow});
  EXPECT_EQ(c.Data().ToString(), "1 0 R");
  TMemoryStream out;
  c.Data().WriteValueToStream(out);
  EXPECT_EQ(
      std::string(out.Bytes().begin(), out.Bytes().end()),
      "<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseOutlines\r\n"
      "/PageLayout /TwoColumnRight\r\n/ViewerPreferences <<\r\n"
      "/NonFullScreenPageMode /UseThumbs\r\n/HideToolbar true\r\n/FitWindow true\r\n>>\r\n>>");
  // pmFullScreen and pmUseNone remove the entry; dropped flags go too.
  c.SetNonFullScreenPageMode(TPdfPageMode::pmFullScreen);
  c.SetViewerPreference({TPdfViewerPreference::vpCenterWindow});
  TPdfDictionary* vp = c.Data().DictionaryByName("ViewerPreferences");
  ASSERT_NE(vp, nullptr);
  EXPECT_EQ(vp->ItemCount(), 1u);
  EXPECT_EQ(vp->Items(0).key, "CenterWindow");
}

TEST_F(PdfDocTest, OpenActionIsWrittenAtSaveTimeOrRemoved) {
  doc_.AddPage();
  TPdfDestination* dest = doc_.CreateDestination();
  dest->SetType(TPdfDestinationType::dtXYZ);
  dest->SetLeft(10);
  dest->SetTop(-200);  // below -100: null
  dest->SetZoom(1.5);
  doc_.Root().SetOpenAction(dest);
  std::string file = Saved(doc_);
  EXPECT_NE(file.find("/OpenAction [4 0 R /XYZ 10 null 1.5 ]"), std::string::npos);
  doc_.Root().SetOpenAction(nullptr);
  EXPECT_EQ(Saved(doc_).find("/OpenAction"), std::string::npos);

  dest->SetType(TPdfDestinationType::dtFitR);
  dest->SetRight(30);
  dest->SetBottom(5);
  dest->SetTop(40);
  EXPECT_EQ(dest->GetValue()->ToString(), "[4 0 R /FitR 10 5 30 40 ]");
  dest->SetType(TPdfDestinationType::dtFitBV);
  EXPECT_EQ(dest->GetValue()->ToString(), "[4 0 R /FitBV 10 ]");
  dest->SetType(TPdfDestinationType::dtFit);
  EXPECT_EQ(dest->GetValue()->ToString(), "[4 0 R /Fit ]");
}

TEST_F(PdfDocTest, FontsAreNumberedInOrderOfFirstUse) {
  doc_.AddPage();
  TPdfFont* times = doc_.GetFont("Times-Bold");
  EXPECT_EQ(times->ResourceName(), "F1");
  EXPECT_EQ(doc_.GetFont("Times-Bold"), times);
  EXPECT_EQ(doc_.GetFont("Arial")->ResourceName(), "F0");
  TMemoryStream out;
  times->Data().WriteValueToStream(out);
  EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()),
            "<<\r\n/Type /Font\r\n/Subtype /Type1\r\n/Encoding /WinAnsiEncoding\r\n"
            "/FirstChar 32\r\n/LastChar 255\r\n/BaseFont /Times-Bold\r\n/Name /F1\r\n>>");
  ExpectError<EPdfInvalidValue>([&] { doc_.GetFont("Comic"); },
                                "CreateFont --InvalidFontName:Comic");
}

TEST_F(PdfDocTest, TwelveStandardFontsAndTheirWidths) {
  const std::pair<const char*, const char*> kFonts[] = {
      {"FixedWidth", "Courier"},
      {"FixedWidth-Bold", "Courier-Bold"},
      {"FixedWidth-Italic", "Courier-Oblique"},
      {"FixedWidth-BoldItalic", "Courier-BoldOblique"},
      {"Arial", "Helvetica"},
      {"Arial-Bold", "Helvetica-Bold"},
      {"Arial-Italic", "Helvetica-Oblique"},
      {"Arial-BoldItalic", "Helvetica-BoldOblique"},
      {"Times-Roman", "Times-Roman"},
      {"Times-Bold", "Times-Bold"},
      {"Times-Italic", "Times-Italic"},
      {"Times-BoldItalic", "Times-BoldItalic"}};
  for (const auto& [name, base] : kFonts) {
    TPdfFont* font = doc_.GetFont(name);
    EXPECT_EQ(font->Data().NameValue("BaseFont"), base);
    EXPECT_EQ(font->CharWidth(31), 0) << name;  // outside the table
    EXPECT_GT(font->CharWidth('W'), 0) << name;
  }
  EXPECT_EQ(doc_.GetFont("FixedWidth-Bold")->TextWidth("iW \xE9"), 2400);
  // The published metrics of the sans-serif and serif faces.
  TPdfFont* arial = doc_.GetFont("Arial");
  EXPECT_EQ(arial->CharWidth(' '), 278);
  EXPECT_EQ(arial->CharWidth('A'), 667);
  EXPECT_EQ(arial->CharWidth('i'), 222);
  EXPECT_EQ(arial->CharWidth('W'), 944);
  EXPECT_EQ(arial->CharWidth(0x80), 556);  // euro
  EXPECT_EQ(doc_.GetFont("Arial-Bold")->CharWidth('i'), 278);
  EXPECT_EQ(doc_.GetFont("Times-Roman")->CharWidth('A'), 722);
  EXPECT_EQ(doc_.GetFont("Times-Roman")->CharWidth('a'), 444);
  EXPECT_EQ(doc_.GetFont("Times-Italic")->CharWidth('A'), 611);
  EXPECT_EQ(doc_.GetFont("Times-BoldItalic")->CharWidth('A'), 667);
}

TEST_F(PdfDocTest, CanvasOperatorsOneLineEach) {
  doc_.AddPage();
  TPdfCanvas& c = doc_.Canvas();
  c.GSave();
  c.Concat(640, 0, 0, 480, 0, 0);
  c.Rectangle(1.006, 2.5, 3, 4.444);
  c.Clip();
  c.NewPath();
  c.SetFont("Times-Roman", 12.5);
  c.GRestore();
  EXPECT_EQ(ContentsOf(doc_),
            "/F0 10 Tf\nq\n640 0 0 480 0 0 cm\n1.01 2.5 3 4.44 re\nW\nn\n/F1 12.5 Tf\nQ\n");
  TPdfDictionary* fonts = c.Page().DictionaryByName("Resources")->DictionaryByName("Font");
  EXPECT_EQ(fonts->ItemCount(), 2u);
  EXPECT_EQ(fonts->ValueByName("F1")->ToString(), "7 0 R");
}

TEST_F(PdfDocTest, TextStateRangesAndNoOutputForUnchangedValues) {
  doc_.AddPage();
  TPdfCanvas& c = doc_.Canvas();
  ExpectError<EPdfInvalidValue>([&] { c.SetWordSpace(-0.1); }, "SetWordSpace --invalid word space");
  ExpectError<EPdfInvalidValue>([&] { c.SetCharSpace(-31); }, "SetCharSpace --invalid char space");
  ExpectError<EPdfInvalidValue>([&] { c.SetCharSpace(301); }, "SetCharSpace --invalid char space");
  ExpectError<EPdfInvalidValue>([&] { c.SetFontSize(301); }, "SetCharSpace --invalid font size");
  ExpectError<EPdfInvalidValue>([&] { c.SetFont("Arial", -1); },
                                "SetCharSpace --invalid font size");
  ExpectError<EPdfInvalidValue>([&] { c.SetHorizontalScaling(9); },
                                "SetHorizontalScaling --invalid font size");
  ExpectError<EPdfInvalidValue>([&] { c.SetLeading(300.5); }, "SetLeading --invalid font size");
  c.SetCharSpace(0);
  c.SetHorizontalScaling(100);
  c.SetCharSpace(-30);
  c.SetWordSpace(2);
  c.SetHorizontalScaling(50);
  c.SetLeading(14);
  EXPECT_EQ(ContentsOf(doc_), "/F0 10 Tf\n-30 Tc\n2 Tw\n50 Tz\n14 TL\n");
}

TEST_F(PdfDocTest, TextIsDrawnInWinAnsiAndMeasured) {
  doc_.AddPage();
  TPdfCanvas& c = doc_.Canvas();
  c.TextOut(10, 20, "(Caf\xC3\xA9 \xE2\x82\xAC \xE3\x81\x82)");
  EXPECT_EQ(ContentsOf(doc_), "/F0 10 Tf\nBT\n10 20 Td\n(\\(Caf\xE9 \x80 ?\\)) Tj\nET\n");
  // Helvetica at 10: A = 6.67, i = 2.22; character spacing adds per character.
  EXPECT_DOUBLE_EQ(c.TextWidth("Ai"), 8.89);
  c.SetCharSpace(1);
  c.SetWordSpace(2);
  EXPECT_DOUBLE_EQ(c.TextWidth("A i"), 6.67 + 2.78 + 2.22 + 3 + 2);
  EXPECT_EQ(PdfWinAnsiText("\xC5\x93\xE2\x84\xA2"), "\x9C\x99");
}

TEST_F(PdfDocTest, TextStateIsKeptPerPage) {
  doc_.AddPage();
  TPdfCanvas& c = doc_.Canvas();
  TPdfDictionary* first = &c.Page();
  c.SetFont("FixedWidth", 20);
  c.SetLeading(12);
  doc_.AddPage();
  EXPECT_EQ(c.Attribute().font->Name(), "Arial");
  EXPECT_EQ(c.Attribute().leading, 0);
  EXPECT_EQ(ContentsOf(doc_), "/F0 10 Tf\n");
  c.SetPage(first);
  EXPECT_EQ(c.Attribute().font->Name(), "FixedWidth");
  EXPECT_EQ(c.Attribute().font_size, 20);
  EXPECT_EQ(c.Attribute().leading, 12);
  // The state lives in hidden entries, which the file never shows.
  ASSERT_NE(first->ValueByName("_HScalling"), nullptr);
  EXPECT_EQ(Saved(doc_).find("_Font"), std::string::npos);
}

TEST_F(PdfDocTest, PageSizeChangesTheMediaBox) {
  doc_.AddPage();
  TPdfCanvas& c = doc_.Canvas();
  c.SetPageHeight(480);
  c.SetPageWidth(640.5);
  EXPECT_EQ(c.Page().ValueByName("MediaBox")->ToString(), "[0 0 640.5 480 ]");
  EXPECT_EQ(c.PageWidth(), 640.5);
  c.Page().RemoveItem("MediaBox");
  ExpectError<EPdfInvalidOperation>([&] { c.SetPageWidth(1); },
                                    "Can not chenge width of this page..");
}

TEST_F(PdfDocTest, CanvasWithoutPage) {
  ExpectError<EPdfInvalidOperation>([&] { doc_.Canvas().GSave(); }, "GetPage --the Page is nil");
}

TEST_F(PdfDocTest, ImagesAreRegisteredUnderUniqueNames) {
  doc_.AddPage();
  TBitmap bitmap(2, 2, TPixelFormat::pf24bit);
  doc_.AddImage("Pic", bitmap, "Pdf-Bitmap");
  TPdfImage* image = doc_.GetXObject("Pic");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->ObjectNumber(), 7);
  EXPECT_EQ(image->Attributes().NameValue("Name"), "Pic");
  EXPECT_EQ(doc_.GetXObject("pic"), nullptr);

  ExpectError<EPdfInvalidValue>([&] { doc_.AddImage("Pic", bitmap, "Pdf-Bitmap"); },
                                "AddImage --the image named Pic is already exists..");
  ExpectError<EPdfInvalidValue>([&] { doc_.AddImage("X", std::make_unique<TPdfStream>()); },
                                "AddImage --the image is not valid TPdfImage..");
  ExpectError<EPdfInvalidValue>([&] { doc_.AddImage("X", nullptr); },
                                "AddImage --the image is not valid TPdfImage..");
  auto form = std::make_unique<TPdfImage>();
  form->Attributes().AddItem("Type", PdfName("Pattern"));
  ExpectError<EPdfInvalidValue>([&] { doc_.AddImage("Y", std::move(form)); },
                                "RegisterXObject --not XObject");
  ExpectError<EPdfInvalidImageFormat>([&] { doc_.AddImage("Z", bitmap, "Pdf-Jpeg"); },
                                      "AddImage --InvalidImageClassName:Pdf-Jpeg");

  doc_.Canvas().DrawXObject("Pic");
  EXPECT_EQ(ContentsOf(doc_), "/F0 10 Tf\n/Pic Do\n");
  ExpectError<EPdfInvalidValue>([&] { doc_.Canvas().DrawXObject("Nope"); },
                                "DrawXObject --XObject not found: Nope");
  ExpectError<EPdfInvalidValue>(
      [&] { doc_.Canvas().DrawXObjectEx(0, 0, 1, 1, 0, 0, 1, 1, "Nope"); },
      "DrawXObjectEx --XObject not found: Nope");
}

TEST(PdfOutlineTest, EntriesAreLinkedAndCounted) {
  TPdfDoc doc;
  doc.SetUseOutlines(true);
  doc.NewDoc();
  doc.AddPage();
  TPdfOutlineRoot& root = doc.OutlineRoot();
  TPdfOutlineEntry* a = root.AddChild();
  TPdfOutlineEntry* b = root.AddChild();
  TPdfOutlineEntry* b1 = b->AddChild();
  b->AddChild();
  a->SetTitle("A");
  b->SetTitle("B");
  b1->SetTitle("\xE7\x94\xBB");  // non-ASCII title: hex string
  TPdfDestination* dest = doc.CreateDestination();
  dest->SetType(TPdfDestinationType::dtFit);
  a->SetDest(dest);

  TMemoryStream out;
  doc.SaveToStream(out);
  auto text = [](TPdfDictionary& d) {
    TMemoryStream s;
    d.WriteValueToStream(s);
    return std::string(s.Bytes().begin(), s.Bytes().end());
  };
  // Closed entry b hides its two children.
  EXPECT_EQ(text(root.Data()),
            "<<\r\n/Type /Outlines\r\n/Count 2\r\n/First 8 0 R\r\n/Last 9 0 R\r\n>>");
  EXPECT_EQ(text(a->Data()),
            "<<\r\n/Parent 2 0 R\r\n/Count 0\r\n/Title (A)\r\n/Dest [5 0 R /Fit ]\r\n"
            "/Next 9 0 R\r\n>>");
  EXPECT_EQ(text(b->Data()),
            "<<\r\n/Parent 2 0 R\r\n/Count -2\r\n/Title (B)\r\n/First 10 0 R\r\n/Last 11 0 R\r\n"
            "/Prev 8 0 R\r\n>>");
  b->SetOpened(true);
  root.Save();
  EXPECT_EQ(root.Data().ValueByName("Count")->ToString(), "4");
  EXPECT_EQ(b->Data().ValueByName("Count")->ToString(), "2");
  EXPECT_EQ(b1->Data().ValueByName("Title")->ToString(), "<FEFF001B656E001B753B>");
}

TEST(PdfDocLifecycleTest, NewDocDiscardsTheOpenOne) {
  TPdfDoc doc;
  doc.NewDoc();
  doc.AddPage();
  doc.AddPage();
  EXPECT_EQ(doc.PageCount(), 2);
  doc.NewDoc();
  EXPECT_EQ(doc.PageCount(), 0);
  EXPECT_FALSE(doc.Canvas().HasPage());
  doc.FreeDoc();
  EXPECT_FALSE(doc.HasDoc());
  EXPECT_THROW(doc.Canvas(), EPdfInvalidOperation);
}

}  // namespace
}  // namespace pamirune
