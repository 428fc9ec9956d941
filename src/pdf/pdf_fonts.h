// The twelve standard fonts. Each is created on first use by its registered name and written
// as one font dictionary; its hidden Widths table measures text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/pdf_objects.h"

namespace pamirune {

class TPdfFont : public TPdfDictionaryWrapper {
 public:
  // The registered name ("Arial") and the resource name ("F0").
  const std::string& Name() const { return name_; }
  const std::string& ResourceName() const { return resource_name_; }

  // Advance width of one code in thousandths of the font size; 0 outside the font's table.
  virtual int CharWidth(uint8_t code) const = 0;
  // Sum of the advance widths of the bytes of text, in thousandths of the font size.
  int64_t TextWidth(std::string_view text) const;

 protected:
  TPdfFont(TPdfDictionary* data, std::string name, std::string resource_name)
      : TPdfDictionaryWrapper(data),
        name_(std::move(name)),
        resource_name_(std::move(resource_name)) {}

 private:
  std::string name_;
  std::string resource_name_;
};

class TPdfType1Font : public TPdfFont {
 public:
  // Registers the font dictionary in xref: Type, Subtype, Encoding, FirstChar 32,
  // LastChar 255, BaseFont, Name, and the hidden Widths table of codes 32..255.
  TPdfType1Font(TPdfXref& xref, std::string name, std::string resource_name,
                const std::string& base_font, const std::array<int16_t, 224>& widths);
  int CharWidth(uint8_t code) const override;

 private:
  const TPdfArray* widths_;
};

#define PAMIRUNE_PDF_STANDARD_FONT(ClassName)             \
  class ClassName : public TPdfType1Font {                \
   public:                                                \
    ClassName(TPdfXref& xref, std::string resource_name); \
  };
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidth)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthBold)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthItalic)
PAMIRUNE_PDF_STANDARD_FONT(TPdfFixedWidthBoldItalic)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArial)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialBold)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialItalic)
PAMIRUNE_PDF_STANDARD_FONT(TPdfArialBoldItalic)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesRoman)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesBold)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesItalic)
PAMIRUNE_PDF_STANDARD_FONT(TPdfTimesBoldItalic)
#undef PAMIRUNE_PDF_STANDARD_FONT

// Creates the standard font registered as name, with the resource name "F<index>".
// An unknown name raises "CreateFont --InvalidFontName:" followed by the name.
std::unique_ptr<TPdfFont> CreatePdfFont(const std::string& name, TPdfXref& xref, int index);

}  // namespace pamirune
