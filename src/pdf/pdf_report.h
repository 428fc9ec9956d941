// The report layer: a report (TPReport) turns pages (TPRPage) holding panels and items into
// the pages of one PDF document; an image item (TPRImage) becomes an image object drawn by a
// few operators. The converter's own arrangement of these is ImagePdfReport
// (pdf/image_pdf_report.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pdf/pdf_canvas.h"
#include "pdf/pdf_doc.h"
#include "raster/bitmap.h"

namespace pamirune {

class TPRContainer;
class TPRPage;
class TPRPanel;
class TPRChildPanel;
class TPRGridPanel;

// Carries the PDF canvas of the open document to the items while a page prints.
class TPRCanvas {
 public:
  TPdfCanvas* PdfCanvas() const { return pdf_canvas_; }
  void SetPdfCanvas(TPdfCanvas* canvas) { pdf_canvas_ = canvas; }
  double PageHeight() const { return pdf_canvas_ ? pdf_canvas_->PageHeight() : 0; }

 private:
  TPdfCanvas* pdf_canvas_ = nullptr;
};

enum class TPRAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Base of pages, panels and items: a name, bounds relative to the parent, an alignment.
// Controls do not own each other: a control leaves its parent when destroyed, and a parent
// being destroyed leaves its children without a parent.
class TPRControl {
 public:
  TPRControl(const TPRControl&) = delete;
  TPRControl& operator=(const TPRControl&) = delete;
  virtual ~TPRControl();

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  virtual const char* ClassName() const = 0;

  TPRContainer* Parent() const { return parent_; }
  // Places the control on parent (nullptr takes it off); each kind refuses some parents.
  virtual void SetParent(TPRContainer* parent) = 0;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int value) { left_ = value; }
  void SetTop(int value) { top_ = value; }
  virtual void SetWidth(int value) { width_ = value; }
  virtual void SetHeight(int value) { height_ = value; }
  void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

  TPRAlign Align() const { return align_; }
  void SetAlign(TPRAlign value) { align_ = value; }

 protected:
  TPRControl(int width, int height) : width_(width), height_(height) {}
  // Moves the control to parent's list of children.
  void AttachTo(TPRContainer* parent);

 private:
  friend class TPRContainer;
  friend class TPRGridPanel;
  std::string name_;
  TPRContainer* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_;
  int height_;
  TPRAlign align_ = TPRAlign::alNone;
};

class TPRContainer : public TPRControl {
 public:
  ~TPRContainer() override;
  size_t ControlCount() const { return controls_.size(); }
  TPRControl* Controls(size_t index) const { return controls_.at(index); }
  // Where each child lies, relative to this control, after aligned children were laid out in
  // the client area (alTop, alBottom, alLeft, alRight, then alClient, each in child order).
  std::vector<TRect> ChildBounds() const;

 protected:
  using TPRControl::TPRControl;
  // The area aligned children share, relative to this control.
  virtual TRect ClientArea() const { return {0, 0, Width(), Height()}; }

 private:
  friend class TPRControl;
  std::vector<TPRControl*> controls_;
};

using TPRPrintPageEvent = std::function<void(TPRPage& sender, TPRCanvas& canvas)>;
using TPRPrintPanelEvent =
    std::function<void(TPRPanel& sender, TPRCanvas& canvas, const TRect& rect)>;
using TPRPrintChildPanelEvent =
    std::function<void(TPRGridPanel& sender, TPRChildPanel& child, TPRCanvas& canvas, int col,
                       int row, const TRect& rect)>;

// A page: its size becomes the media box; its panels print into it.
class TPRPage : public TPRContainer {
 public:
  TPRPage() : TPRContainer(596, 842) {}
  const char* ClassName() const override { return "TPRPage"; }
  // A page is never placed on anything.
  void SetParent(TPRContainer* parent) override;

  // A margin setter ignores a negative value and any value not below half the page width.
  int MarginTop() const { return margin_top_; }
  int MarginLeft() const { return margin_left_; }
  int MarginRight() const { return margin_right_; }
  int MarginBottom() const { return margin_bottom_; }
  void SetMarginTop(int value) { SetMargin(margin_top_, value); }
  void SetMarginLeft(int value) { SetMargin(margin_left_, value); }
  void SetMarginRight(int value) { SetMargin(margin_right_, value); }
  void SetMarginBottom(int value) { SetMargin(margin_bottom_, value); }

  TPRPrintPageEvent OnPrintPage;

  // Sets the PDF page's height and width, calls OnPrintPage, prints the panels.
  void Print(TPRCanvas& canvas);

 protected:
  TRect ClientArea() const override;

 private:
  void SetMargin(int& margin, int value);
  int margin_top_ = 32;
  int margin_left_ = 32;
  int margin_right_ = 32;
  int margin_bottom_ = 32;
};

// A panel: lies on a page or another panel and holds panels and items.
class TPRPanel : public TPRContainer {
 public:
  const char* ClassName() const override { return "TPRPanel"; }
  void SetParent(TPRContainer* parent) override;
  // Prints the children, each with its bounds moved by rect (page coordinates).
  virtual void Print(TPRCanvas& canvas, const TRect& rect);

 protected:
  TPRPanel() : TPRContainer(100, 100) {}
  void PrintChildren(TPRCanvas& canvas, const TRect& rect);
};

class TPRLayoutPanel : public TPRPanel {
 public:
  TPRLayoutPanel() = default;
  const char* ClassName() const override { return "TPRLayoutPanel"; }
  TPRPrintPanelEvent BeforePrint;
  TPRPrintPanelEvent AfterPrint;
  void Print(TPRCanvas& canvas, const TRect& rect) override;
};

// The panel a grid panel prints once per cell.
class TPRChildPanel : public TPRPanel {
 public:
  TPRChildPanel() = default;
  const char* ClassName() const override { return "TPRChildPanel"; }
};

enum class TPrintDirection { pdHorz, pdVert };

class TPRGridPanel : public TPRPanel {
 public:
  TPRGridPanel();
  const char* ClassName() const override { return "TPRGridPanel"; }

  int ColCount() const { return col_count_; }
  int RowCount() const { return row_count_; }
  // At least 1, leaving at least 10 units per cell; else "invalid colcount" / "invalid rowcount".
  void SetColCount(int value);
  void SetRowCount(int value);
  TPrintDirection PrintDirection() const { return direction_; }
  void SetPrintDirection(TPrintDirection value) { direction_ = value; }
  TPRChildPanel& ChildPanel() { return *child_panel_; }

  TPRPrintChildPanelEvent BeforePrintChild;
  TPRPrintChildPanelEvent AfterPrintChild;

  // Prints the child panel once per cell, row by row (pdHorz) or column by column (pdVert).
  void Print(TPRCanvas& canvas, const TRect& rect) override;

 private:
  std::unique_ptr<TPRChildPanel> child_panel_;
  int col_count_ = 1;
  int row_count_ = 1;
  TPrintDirection direction_ = TPrintDirection::pdHorz;
};

// Something drawn on a panel.
class TPRItem : public TPRControl {
 public:
  // Items lie on panels only ("this component must set on TPRPanel"); an item placed on a
  // grid panel goes to its child panel.
  void SetParent(TPRContainer* parent) override;
  bool Printable() const { return printable_; }
  void SetPrintable(bool value) { printable_ = value; }
  // Draws the item into rect (page coordinates, y downwards).
  virtual void Print(TPRCanvas& canvas, const TRect& rect) = 0;

 protected:
  TPRItem() : TPRControl(100, 30) {}

 private:
  bool printable_ = true;
};

class TPRImage : public TPRItem {
 public:
  TPRImage() = default;
  const char* ClassName() const override { return "TPRImage"; }

  // Only a Raster image is accepted ("only bitmap image is allowed."); a copy is kept.
  // nullptr empties the picture.
  void SetPicture(const TGraphic* picture);
  // Uses picture where it is, without a copy: it must outlive the item's printing.
  void SetPictureInPlace(const TBitmap* picture);
  const TBitmap* Picture() const { return picture_ ? picture_.get() : borrowed_; }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value) { stretch_ = value; }
  // Shared: the image object is named after the item and reused by every later page of the
  // document; otherwise each print makes a new object under a free name.
  bool SharedImage() const { return shared_image_; }
  void SetSharedImage(bool value) { shared_image_ = value; }
  // An image object made by the caller for the picture (a JPEG file kept as it is, or data
  // deflated on another thread): the next print adds it instead of having the creator make
  // one. The picture is still needed and gives the sizes.
  void SetPreparedImage(std::unique_ptr<TPdfImage> image) { prepared_ = std::move(image); }

  void Print(TPRCanvas& canvas, const TRect& rect) override;

 private:
  std::string ImageName(TPdfDoc& doc) const;
  std::unique_ptr<TPdfImage> prepared_;
  std::unique_ptr<TBitmap> picture_;
  const TBitmap* borrowed_ = nullptr;
  bool stretch_ = true;
  bool shared_image_ = true;
};

// The outline tree of a report in outline mode.
class TPROutlineRoot {
 public:
  explicit TPROutlineRoot(TPdfDoc* doc) : doc_(doc) {}
  // A top-level entry showing the current page whole.
  TPdfOutlineEntry* AddEntry(const std::string& title);
  TPdfOutlineRoot& Root() { return doc_->OutlineRoot(); }

 private:
  TPdfDoc* doc_;
};

class TPReport {
 public:
  TPReport();
  ~TPReport();
  TPReport(const TPReport&) = delete;
  TPReport& operator=(const TPReport&) = delete;

  // The file EndDoc writes; may change while a document is open.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& value) { file_name_ = value; }

  // The setters below fail while a document is open ("Set... --invalid operation.").
  const TPdfDateTime& CreationDate() const { return creation_date_; }
  void SetCreationDate(const TPdfDateTime& value);
  const TPdfDateTime& ModDate() const { return mod_date_; }
  void SetModDate(const TPdfDateTime& value);
  const std::string& Author() const { return author_; }
  void SetAuthor(const std::string& value);
  const std::string& Creator() const { return creator_; }
  void SetCreator(const std::string& value);
  const std::string& Keywords() const { return keywords_; }
  void SetKeywords(const std::string& value);
  const std::string& Subject() const { return subject_; }
  void SetSubject(const std::string& value);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value);
  bool UseOutlines() const { return use_outlines_; }
  void SetUseOutlines(bool value);
  TPdfPageLayout PageLayout() const { return page_layout_; }
  void SetPageLayout(TPdfPageLayout value);
  TPdfPageMode PageMode() const { return page_mode_; }
  void SetPageMode(TPdfPageMode value);
  // pmFullScreen is stored as pmUseNone.
  TPdfPageMode NonFullScreenPageMode() const { return non_full_screen_page_mode_; }
  void SetNonFullScreenPageMode(TPdfPageMode value);
  TPdfViewerPreferences ViewerPreference() const { return viewer_preference_; }
  void SetViewerPreference(TPdfViewerPreferences value);
  // Taken by the next BeginDoc.
  TPdfCompressionMethod CompressionMethod() const { return compression_method_; }
  void SetCompressionMethod(TPdfCompressionMethod value) { compression_method_ = value; }

  // The clock of the documents' "now" (CreationDate at start-up of a document and ModDate at
  // saving); the local time unless set.
  void SetClock(TPdfClock clock) { clock_ = std::move(clock); }

  // Abandons any open document and starts a new one from the properties.
  void BeginDoc();
  // Adds a PDF page and lets page print itself into it. Needs an open document.
  void Print(TPRPage& page);
  // Writes the open document to FileName (through a temporary file renamed over it) and
  // frees it; with none open fails with "document is null..". When writing fails the error
  // passes on and the document stays open (Abort discards it).
  void EndDoc();
  // Frees the open document without writing anything.
  void Abort();

  bool Active() const { return doc_ != nullptr; }
  int PageCount() const { return page_count_; }
  TPdfDoc* PdfDoc() const { return doc_.get(); }
  TPRCanvas& Canvas() { return canvas_; }
  // The outline tree in outline mode, else nullptr.
  TPROutlineRoot* OutlineRoot() const { return outline_root_.get(); }

 private:
  void CheckClosed(const char* message) const;

  std::string file_name_ = "default.pdf";
  TPdfDateTime creation_date_;
  TPdfDateTime mod_date_;
  std::string author_, creator_, keywords_, subject_, title_;
  TPdfCompressionMethod compression_method_ = TPdfCompressionMethod::cmNone;
  bool use_outlines_ = false;
  TPdfPageLayout page_layout_ = TPdfPageLayout::plSinglePage;
  TPdfPageMode page_mode_ = TPdfPageMode::pmUseNone;
  TPdfPageMode non_full_screen_page_mode_ = TPdfPageMode::pmUseNone;
  TPdfViewerPreferences viewer_preference_;
  TPdfClock clock_;

  std::unique_ptr<TPdfDoc> doc_;
  int page_count_ = 0;
  TPRCanvas canvas_;
  std::unique_ptr<TPROutlineRoot> outline_root_;
};

}  // namespace pamirune
