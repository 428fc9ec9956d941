#include "pdf/pdf_fonts.h"

#include "pdf/pdf_font_widths.h"

namespace pamirune {

int64_t TPdfFont::TextWidth(std::string_view text) const {
  int64_t width = 0;
  for (char c : text) width += CharWidth(static_cast<uint8_t>(c));
  return width;
}

TPdfType1Font::TPdfType1Font(TPdfXref& xref, std::string name, std::string resource_name,
                             const std::string& base_font, const std::array<int16_t, 224>& widths)
    : TPdfFont(xref.Add(std::make_unique<TPdfDictionary>()), std::move(name),
               std::move(resource_name)) {
  TPdfDictionary& d = Data();
  d.AddItem("Type", PdfName("Font"));
  d.AddItem("Subtype", PdfName("Type1"));
  d.AddItem("Encoding", PdfName("WinAnsiEncoding"));
  d.AddItem("FirstChar", PdfNumber(32));
  d.AddItem("LastChar", PdfNumber(255));
  d.AddItem("BaseFont", PdfName(base_font));
  d.AddItem("Name", PdfName(ResourceName()));
  auto table = std::make_unique<TPdfArray>();
  for (int16_t w : widths) table->Add(PdfNumber(w));
  widths_ = table.get();
  d.AddInternalItem("Widths", std::move(table));
}

int TPdfType1Font::CharWidth(uint8_t code) const {
  if (code < 32) return 0;
  size_t index = code - 32;
  if (index >= widths_->ItemCount()) return 0;
  auto* number = dynamic_cast<const TPdfNumber*>(widths_->Items(index));
  return number ? number->Value() : 0;
}

#define PAMIRUNE_PDF_STANDARD_FONT(ClassName, Registered, BaseFont, Widths) \
  ClassName::ClassName(TPdfXref& xref, std::string resource_name)           \
      : TPdfType1Font(xref, Registered, std::move(resource_name), BaseFont, Widths) {}
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidth, "FixedWidth", "Courier", kCourierWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthBold, "FixedWidth-Bold", "Courier-Bold", kCourierWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthItalic, "FixedWidth-Italic", "Courier-Oblique",
                           kCourierWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthBoldItalic, "FixedWidth-BoldItalic", "Courier-BoldOblique",
                           kCourierWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArial, "Arial", "Helvetica", kHelveticaWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialBold, "Arial-Bold", "Helvetica-Bold", kHelveticaBoldWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialItalic, "Arial-Italic", "Helvetica-Oblique",
                           kHelveticaObliqueWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialBoldItalic, "Arial-BoldItalic", "Helvetica-BoldOblique",
                           kHelveticaBoldObliqueWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesRoman, "Times-Roman", "Times-Roman", kTimesRomanWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesBold, "Times-Bold", "Times-Bold", kTimesBoldWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesItalic, "Times-Italic", "Times-Italic", kTimesItalicWidths)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesBoldItalic, "Times-BoldItalic", "Times-BoldItalic",
                           kTimesBoldItalicWidths)
#undef PAMIRUNE_PDF_STANDARD_FONT

namespace {

template <class T>
std::unique_ptr<TPdfFont> Make(TPdfXref& xref, std::string resource_name) {
  return std::make_unique<T>(xref, std::move(resource_name));
}

struct FontClass {
  const char* name;
  std::unique_ptr<TPdfFont> (*create)(TPdfXref&, std::string);
};

const FontClass kFontClasses[] = {
    {"FixedWidth", Make<TPdfFixedWidth>},
    {"FixedWidth-Bold", Make<TPdfFixedWidthBold>},
    {"FixedWidth-Italic", Make<TPdfFixedWidthItalic>},
    {"FixedWidth-BoldItalic", Make<TPdfFixedWidthBoldItalic>},
    {"Arial", Make<TPdfArial>},
    {"Arial-Bold", Make<TPdfArialBold>},
    {"Arial-Italic", Make<TPdfArialItalic>},
    {"Arial-BoldItalic", Make<TPdfArialBoldItalic>},
    {"Times-Roman", Make<TPdfTimesRoman>},
    {"Times-Bold", Make<TPdfTimesBold>},
    {"Times-Italic", Make<TPdfTimesItalic>},
    {"Times-BoldItalic", Make<TPdfTimesBoldItalic>},
};

}  // namespace

std::unique_ptr<TPdfFont> CreatePdfFont(const std::string& name, TPdfXref& xref, int index) {
  for (const auto& font_class : kFontClasses)
    if (name == font_class.name) return font_class.create(xref, "F" + std::to_string(index));
  throw EPdfInvalidValue("CreateFont --InvalidFontName:" + name);
}

}  // namespace pamirune
