// The canvas of a document: writes drawing operators into the current page's content stream,
// one operator per line ended by LF, and keeps the text state of each page.
#pragma once

#include <string>
#include <string_view>

#include "pdf/pdf_objects.h"

namespace pamirune {

class TPdfDoc;
class TPdfFont;
class TPdfStream;

struct TPdfCanvasAttribute {
  TPdfFont* font = nullptr;
  double font_size = 0;
  double word_space = 0;
  double char_space = 0;
  double horizontal_scaling = 100;
  double leading = 0;
};

class TPdfCanvas {
 public:
  explicit TPdfCanvas(TPdfDoc* doc) : doc_(doc) {}

  // Switches to page: the text state of the page left is kept in hidden entries of its
  // dictionary and restored on return; a page without such state selects "Arial" at size 10.
  void SetPage(TPdfDictionary* page);
  // The current page; none raises "GetPage --the Page is nil".
  TPdfDictionary& Page() const;
  bool HasPage() const { return page_ != nullptr; }
  TPdfStream& Contents() const;
  TPdfDoc& Doc() const { return *doc_; }
  const TPdfCanvasAttribute& Attribute() const { return attr_; }

  // The media box of the current page.
  double PageWidth() const;
  double PageHeight() const;
  void SetPageWidth(double value);
  void SetPageHeight(double value);

  // Graphics state and paths.
  void GSave();                                                             // q
  void GRestore();                                                          // Q
  void Concat(double a, double b, double c, double d, double e, double f);  // cm
  void Rectangle(double x, double y, double width, double height);          // re
  void MoveTo(double x, double y);                                          // m
  void LineTo(double x, double y);                                          // l
  void Stroke();                                                            // S
  void Fill();                                                              // f
  void Clip();                                                              // W
  void NewPath();                                                           // n
  void SetLineWidth(double width);                                          // w
  void SetRGBFillColor(double r, double g, double b);                       // rg
  void SetRGBStrokeColor(double r, double g, double b);                     // RG

  // Text state. Out-of-range values raise EPdfInvalidValue.
  void SetFont(const std::string& name, double size);  // /F<n> size Tf
  void SetFontSize(double size);
  void SetWordSpace(double value);          // >= 0, Tw
  void SetCharSpace(double value);          // -30..300, Tc
  void SetHorizontalScaling(double value);  // 10..300 percent, Tz
  void SetLeading(double value);            // 0..300, TL

  // Text objects. Text is UTF-8 and is drawn in WinAnsiEncoding; characters the encoding
  // lacks become "?".
  void BeginText();                        // BT
  void EndText();                          // ET
  void MoveTextPoint(double x, double y);  // Td
  void ShowText(std::string_view text);    // Tj
  void TextOut(double x, double y, std::string_view text);
  // Width of text in the current font and text state, in text space units.
  double TextWidth(std::string_view text) const;

  // Draws the image object of that name: "/" and its Name value, then Do.
  void DrawXObject(const std::string& name);
  // Draws it scaled into x, y, width, height and clipped to the clip rectangle.
  void DrawXObjectEx(double x, double y, double width, double height, double clip_x, double clip_y,
                     double clip_width, double clip_height, const std::string& name);

  // Forgets the page (the document is freed or started anew).
  void Reset();

 private:
  void WriteString(std::string_view text);
  void StoreState();
  bool RestoreState();
  std::string FontResource(const std::string& name);
  TPdfArray& MediaBox(const char* error) const;

  TPdfDoc* doc_;
  TPdfDictionary* page_ = nullptr;
  TPdfStream* contents_ = nullptr;
  TPdfCanvasAttribute attr_;
};

// UTF-8 text in WinAnsiEncoding (code page 1252); characters it lacks become "?".
std::string PdfWinAnsiText(std::string_view utf8);

}  // namespace pamirune
