#include "pdf/pdf_canvas.h"

#include "pdf/pdf_doc.h"

namespace pamirune {

namespace {

std::string N(double value) { return FormatPdfCanvasNumber(value); }

double NumberValue(const TPdfObject* object, double fallback) {
  if (auto* n = dynamic_cast<const TPdfNumber*>(object)) return n->Value();
  if (auto* r = dynamic_cast<const TPdfReal*>(object)) return r->Value();
  return fallback;
}

}  // namespace

std::string PdfWinAnsiText(std::string_view utf8) {
  // Code page 1252 at 0x80..0x9F; 0 marks the codes it leaves unused.
  static const uint16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string out;
  for (uint32_t cp : PdfDecodeUtf8(utf8)) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i)
      if (kHigh[i] != 0 && kHigh[i] == cp) mapped = static_cast<char>(0x80 + i);
    out += mapped;
  }
  return out;
}

void TPdfCanvas::Reset() {
  page_ = nullptr;
  contents_ = nullptr;
  attr_ = {};
}

void TPdfCanvas::SetPage(TPdfDictionary* page) {
  if (page_) StoreState();
  page_ = page;
  contents_ = nullptr;
  if (!page_) return;
  if (auto* ref = page_->ValueByName("Contents"))
    contents_ = dynamic_cast<TPdfStream*>(doc_->Xref().GetObject(ref->ObjectNumber()));
  if (!RestoreState()) {
    attr_ = {};
    SetFont("Arial", 10);
    attr_.char_space = 0;
    attr_.word_space = 0;
    attr_.horizontal_scaling = 100;
    attr_.leading = 0;
  }
}

void TPdfCanvas::StoreState() {
  page_->AddInternalItem("_Font", PdfName(attr_.font ? attr_.font->Name() : std::string()));
  page_->AddInternalItem("_Font_Size", PdfReal(attr_.font_size));
  page_->AddInternalItem("_Word_Space", PdfReal(attr_.word_space));
  page_->AddInternalItem("_Char_Space", PdfReal(attr_.char_space));
  page_->AddInternalItem("_HScalling", PdfReal(attr_.horizontal_scaling));
  page_->AddInternalItem("_Leading", PdfReal(attr_.leading));
}

bool TPdfCanvas::RestoreState() {
  auto* font = dynamic_cast<TPdfName*>(page_->ValueByName("_Font"));
  if (!font) return false;
  attr_.font = font->Value().empty() ? nullptr : doc_->GetFont(font->Value());
  attr_.font_size = NumberValue(page_->ValueByName("_Font_Size"), 0);
  attr_.word_space = NumberValue(page_->ValueByName("_Word_Space"), 0);
  attr_.char_space = NumberValue(page_->ValueByName("_Char_Space"), 0);
  attr_.horizontal_scaling = NumberValue(page_->ValueByName("_HScalling"), 100);
  attr_.leading = NumberValue(page_->ValueByName("_Leading"), 0);
  return true;
}

TPdfDictionary& TPdfCanvas::Page() const {
  if (!page_) throw EPdfInvalidOperation("GetPage --the Page is nil");
  return *page_;
}

TPdfStream& TPdfCanvas::Contents() const {
  Page();
  if (!contents_) throw EPdfInvalidOperation("GetPage --the Page is nil");
  return *contents_;
}

void TPdfCanvas::WriteString(std::string_view text) { Contents().Append(text); }

TPdfArray& TPdfCanvas::MediaBox(const char* error) const {
  TPdfArray* box = Page().ArrayByName("MediaBox");
  if (!box || box->ItemCount() < 4) throw EPdfInvalidOperation(error);
  return *box;
}

double TPdfCanvas::PageWidth() const {
  return NumberValue(MediaBox("Can not chenge width of this page..").Items(2), 0);
}

double TPdfCanvas::PageHeight() const {
  return NumberValue(MediaBox("Can not chenge height of this page..").Items(3), 0);
}

void TPdfCanvas::SetPageWidth(double value) {
  MediaBox("Can not chenge width of this page..").SetItem(2, PdfReal(value));
}

void TPdfCanvas::SetPageHeight(double value) {
  MediaBox("Can not chenge height of this page..").SetItem(3, PdfReal(value));
}

void TPdfCanvas::GSave() { WriteString("q\n"); }
void TPdfCanvas::GRestore() { WriteString("Q\n"); }

void TPdfCanvas::Concat(double a, double b, double c, double d, double e, double f) {
  WriteString(N(a) + " " + N(b) + " " + N(c) + " " + N(d) + " " + N(e) + " " + N(f) + " cm\n");
}

void TPdfCanvas::Rectangle(double x, double y, double width, double height) {
  WriteString(N(x) + " " + N(y) + " " + N(width) + " " + N(height) + " re\n");
}

void TPdfCanvas::MoveTo(double x, double y) { WriteString(N(x) + " " + N(y) + " m\n"); }
void TPdfCanvas::LineTo(double x, double y) { WriteString(N(x) + " " + N(y) + " l\n"); }
void TPdfCanvas::Stroke() { WriteString("S\n"); }
void TPdfCanvas::Fill() { WriteString("f\n"); }
void TPdfCanvas::Clip() { WriteString("W\n"); }
void TPdfCanvas::NewPath() { WriteString("n\n"); }
void TPdfCanvas::SetLineWidth(double width) { WriteString(N(width) + " w\n"); }

void TPdfCanvas::SetRGBFillColor(double r, double g, double b) {
  WriteString(N(r) + " " + N(g) + " " + N(b) + " rg\n");
}

void TPdfCanvas::SetRGBStrokeColor(double r, double g, double b) {
  WriteString(N(r) + " " + N(g) + " " + N(b) + " RG\n");
}

std::string TPdfCanvas::FontResource(const std::string& name) {
  TPdfFont* font = doc_->GetFont(name);
  TPdfDictionary* resources = Page().DictionaryByName("Resources");
  TPdfDictionary* fonts = resources ? resources->DictionaryByName("Font") : nullptr;
  if (fonts && !fonts->ValueByName(font->ResourceName()))
    fonts->AddReference(font->ResourceName(), font->Data());
  attr_.font = font;
  return font->ResourceName();
}

void TPdfCanvas::SetFont(const std::string& name, double size) {
  if (size < 0 || size > 300) throw EPdfInvalidValue("SetCharSpace --invalid font size");
  Page();
  std::string resource = FontResource(name);
  attr_.font_size = size;
  WriteString("/" + resource + " " + N(size) + " Tf\n");
}

void TPdfCanvas::SetFontSize(double size) {
  if (size < 0 || size > 300) throw EPdfInvalidValue("SetCharSpace --invalid font size");
  SetFont(attr_.font ? attr_.font->Name() : std::string("Arial"), size);
}

void TPdfCanvas::SetWordSpace(double value) {
  if (value < 0) throw EPdfInvalidValue("SetWordSpace --invalid word space");
  if (value == attr_.word_space) return;
  WriteString(N(value) + " Tw\n");
  attr_.word_space = value;
}

void TPdfCanvas::SetCharSpace(double value) {
  if (value < -30 || value > 300) throw EPdfInvalidValue("SetCharSpace --invalid char space");
  if (value == attr_.char_space) return;
  WriteString(N(value) + " Tc\n");
  attr_.char_space = value;
}

void TPdfCanvas::SetHorizontalScaling(double value) {
  if (value < 10 || value > 300) throw EPdfInvalidValue("SetHorizontalScaling --invalid font size");
  if (value == attr_.horizontal_scaling) return;
  WriteString(N(value) + " Tz\n");
  attr_.horizontal_scaling = value;
}

void TPdfCanvas::SetLeading(double value) {
  if (value < 0 || value > 300) throw EPdfInvalidValue("SetLeading --invalid font size");
  if (value == attr_.leading) return;
  WriteString(N(value) + " TL\n");
  attr_.leading = value;
}

void TPdfCanvas::BeginText() { WriteString("BT\n"); }
void TPdfCanvas::EndText() { WriteString("ET\n"); }

void TPdfCanvas::MoveTextPoint(double x, double y) { WriteString(N(x) + " " + N(y) + " Td\n"); }

void TPdfCanvas::ShowText(std::string_view text) {
  WriteString(FormatPdfLiteralBytes(PdfWinAnsiText(text)) + " Tj\n");
}

void TPdfCanvas::TextOut(double x, double y, std::string_view text) {
  BeginText();
  MoveTextPoint(x, y);
  ShowText(text);
  EndText();
}

double TPdfCanvas::TextWidth(std::string_view text) const {
  if (!attr_.font) return 0;
  std::string bytes = PdfWinAnsiText(text);
  double width = static_cast<double>(attr_.font->TextWidth(bytes)) * attr_.font_size / 1000;
  for (char c : bytes) {
    width += attr_.char_space;
    if (c == ' ') width += attr_.word_space;
  }
  return width * attr_.horizontal_scaling / 100;
}

void TPdfCanvas::DrawXObject(const std::string& name) {
  TPdfImage* image = doc_->GetXObject(name);
  if (!image) throw EPdfInvalidValue("DrawXObject --XObject not found: " + name);
  WriteString(FormatPdfName(image->Attributes().NameValue("Name")) + " Do\n");
}

void TPdfCanvas::DrawXObjectEx(double x, double y, double width, double height, double clip_x,
                               double clip_y, double clip_width, double clip_height,
                               const std::string& name) {
  TPdfImage* image = doc_->GetXObject(name);
  if (!image) throw EPdfInvalidValue("DrawXObjectEx --XObject not found: " + name);
  GSave();
  Rectangle(clip_x, clip_y, clip_width, clip_height);
  Clip();
  NewPath();
  Concat(width, 0, 0, height, x, y);
  WriteString(FormatPdfName(image->Attributes().NameValue("Name")) + " Do\n");
  GRestore();
}

}  // namespace pamirune
