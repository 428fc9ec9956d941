#include "pdf/pdf_report.h"

#include <algorithm>
#include <random>

namespace pamirune {

namespace {

const char kImageCreator[] = "Pdf-Bitmap";

TRect Offset(const TRect& r, int dx, int dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

// The first free number for a non-shared image name: a random start in 0..65533.
int RandomStart() {
  static std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, 65533)(generator);
}

}  // namespace

// ---- TPRControl ----

TPRControl::~TPRControl() { AttachTo(nullptr); }

void TPRControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  SetWidth(width);
  SetHeight(height);
}

void TPRControl::AttachTo(TPRContainer* parent) {
  if (parent_ == parent) return;
  if (parent_) std::erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
}

// ---- TPRContainer ----

TPRContainer::~TPRContainer() {
  for (TPRControl* child : controls_) child->parent_ = nullptr;
  controls_.clear();
}

std::vector<TRect> TPRContainer::ChildBounds() const {
  std::vector<TRect> bounds;
  for (const TPRControl* child : controls_) bounds.push_back(child->BoundsRect());
  TRect area = ClientArea();
  for (TPRAlign pass : {TPRAlign::alTop, TPRAlign::alBottom, TPRAlign::alLeft, TPRAlign::alRight,
                        TPRAlign::alClient}) {
    for (size_t i = 0; i < controls_.size(); ++i) {
      const TPRControl& c = *controls_[i];
      if (c.Align() != pass) continue;
      TRect& r = bounds[i];
      switch (pass) {
        case TPRAlign::alTop:
          r = {area.left, area.top, area.right, area.top + c.Height()};
          area.top = std::min(area.bottom, r.bottom);
          break;
        case TPRAlign::alBottom:
          r = {area.left, area.bottom - c.Height(), area.right, area.bottom};
          area.bottom = std::max(area.top, r.top);
          break;
        case TPRAlign::alLeft:
          r = {area.left, area.top, area.left + c.Width(), area.bottom};
          area.left = std::min(area.right, r.right);
          break;
        case TPRAlign::alRight:
          r = {area.right - c.Width(), area.top, area.right, area.bottom};
          area.right = std::max(area.left, r.left);
          break;
        case TPRAlign::alClient:
          r = area;
          break;
        case TPRAlign::alNone:
          break;
      }
    }
  }
  return bounds;
}

// ---- TPRPage ----

void TPRPage::SetParent(TPRContainer* parent) {
  if (parent)
    throw EPdfInvalidOperation(std::string("TPRPage can not set on ") + parent->ClassName());
}

void TPRPage::SetMargin(int& margin, int value) {
  if (value < 0 || value >= Width() / 2.0) return;
  margin = value;
}

TRect TPRPage::ClientArea() const {
  return {margin_left_, margin_top_, Width() - margin_right_, Height() - margin_bottom_};
}

void TPRPage::Print(TPRCanvas& canvas) {
  TPdfCanvas* pdf = canvas.PdfCanvas();
  if (!pdf) throw EPdfInvalidOperation("GetCanvas --Document is null");
  pdf->SetPageHeight(Height());
  pdf->SetPageWidth(Width());
  if (OnPrintPage) OnPrintPage(*this, canvas);
  std::vector<TRect> bounds = ChildBounds();
  for (size_t i = 0; i < ControlCount(); ++i)
    if (auto* panel = dynamic_cast<TPRPanel*>(Controls(i))) panel->Print(canvas, bounds[i]);
}

// ---- Panels ----

void TPRPanel::SetParent(TPRContainer* parent) {
  if (auto* grid = dynamic_cast<TPRGridPanel*>(parent)) parent = &grid->ChildPanel();
  if (parent && parent != this && !dynamic_cast<TPRPage*>(parent) &&
      !dynamic_cast<TPRPanel*>(parent))
    throw EPdfInvalidOperation(std::string(ClassName()) + " can not set on " + parent->ClassName());
  // A panel never holds itself or one of its own ancestors.
  for (TPRContainer* p = parent; p; p = p->Parent())
    if (p == this)
      throw EPdfInvalidOperation(std::string(ClassName()) + " can not set on " +
                                 parent->ClassName());
  AttachTo(parent);
}

void TPRPanel::PrintChildren(TPRCanvas& canvas, const TRect& rect) {
  std::vector<TRect> bounds = ChildBounds();
  // Copy: an event may change the list of children while they print.
  std::vector<TPRControl*> children;
  for (size_t i = 0; i < ControlCount(); ++i) children.push_back(Controls(i));
  for (size_t i = 0; i < children.size(); ++i) {
    TRect r = Offset(bounds[i], rect.left, rect.top);
    if (auto* panel = dynamic_cast<TPRPanel*>(children[i])) {
      panel->Print(canvas, r);
    } else if (auto* item = dynamic_cast<TPRItem*>(children[i])) {
      if (item->Printable()) item->Print(canvas, r);
    }
  }
}

void TPRPanel::Print(TPRCanvas& canvas, const TRect& rect) { PrintChildren(canvas, rect); }

void TPRLayoutPanel::Print(TPRCanvas& canvas, const TRect& rect) {
  if (BeforePrint) BeforePrint(*this, canvas, rect);
  PrintChildren(canvas, rect);
  if (AfterPrint) AfterPrint(*this, canvas, rect);
}

TPRGridPanel::TPRGridPanel() : child_panel_(std::make_unique<TPRChildPanel>()) {
  child_panel_->AttachTo(this);
  child_panel_->SetBounds(0, 0, Width(), Height());
}

void TPRGridPanel::SetColCount(int value) {
  if (value < 1 || Width() / value < 10) throw EPdfInvalidValue("invalid colcount");
  col_count_ = value;
}

void TPRGridPanel::SetRowCount(int value) {
  if (value < 1 || Height() / value < 10) throw EPdfInvalidValue("invalid rowcount");
  row_count_ = value;
}

void TPRGridPanel::Print(TPRCanvas& canvas, const TRect& rect) {
  const int cell_width = rect.Width() / col_count_;
  const int cell_height = rect.Height() / row_count_;
  child_panel_->SetBounds(0, 0, cell_width, cell_height);
  const int cells = col_count_ * row_count_;
  for (int n = 0; n < cells; ++n) {
    int col = direction_ == TPrintDirection::pdHorz ? n % col_count_ : n / row_count_;
    int row = direction_ == TPrintDirection::pdHorz ? n / col_count_ : n % row_count_;
    TRect cell{rect.left + col * cell_width, rect.top + row * cell_height,
               rect.left + (col + 1) * cell_width, rect.top + (row + 1) * cell_height};
    if (BeforePrintChild) BeforePrintChild(*this, *child_panel_, canvas, col, row, cell);
    child_panel_->Print(canvas, cell);
    if (AfterPrintChild) AfterPrintChild(*this, *child_panel_, canvas, col, row, cell);
  }
}

// ---- Items ----

void TPRItem::SetParent(TPRContainer* parent) {
  if (auto* grid = dynamic_cast<TPRGridPanel*>(parent)) parent = &grid->ChildPanel();
  if (parent && !dynamic_cast<TPRPanel*>(parent))
    throw EPdfInvalidOperation("this component must set on TPRPanel");
  AttachTo(parent);
}

void TPRImage::SetPicture(const TGraphic* picture) {
  borrowed_ = nullptr;
  if (!picture) {
    picture_.reset();
    return;
  }
  auto* bitmap = dynamic_cast<const TBitmap*>(picture);
  if (!bitmap) throw EPdfInvalidImageFormat("only bitmap image is allowed.");
  picture_ = std::make_unique<TBitmap>(*bitmap);
}

void TPRImage::SetPictureInPlace(const TBitmap* picture) {
  picture_.reset();
  borrowed_ = picture;
}

std::string TPRImage::ImageName(TPdfDoc& doc) const {
  if (shared_image_) return Name();
  int number = RandomStart();
  for (int tries = 0; tries < 65535; ++tries) {
    std::string candidate = Name() + std::to_string(number);
    if (!doc.GetXObject(candidate)) return candidate;
    number = number >= 65534 ? 0 : number + 1;
  }
  throw EPdfInvalidValue("image count over max value..");
}

void TPRImage::Print(TPRCanvas& canvas, const TRect& rect) {
  const TBitmap* picture = Picture();
  if (!picture || picture->Empty()) return;
  TPdfCanvas* pdf = canvas.PdfCanvas();
  if (!pdf) throw EPdfInvalidOperation("GetCanvas --Document is null");
  TPdfDoc& doc = pdf->Doc();

  std::string name = ImageName(doc);
  if (!doc.GetXObject(name)) {
    if (prepared_)
      doc.AddImage(name, std::move(prepared_));
    else
      doc.AddImage(name, *picture, kImageCreator);
  }

  TPdfDictionary* resources = pdf->Page().DictionaryByName("Resources");
  TPdfDictionary* xobjects = resources ? resources->DictionaryByName("XObject") : nullptr;
  if (xobjects && !xobjects->ValueByName(name)) xobjects->AddReference(name, *doc.GetXObject(name));

  const double page_height = pdf->PageHeight();
  pdf->GSave();
  if (stretch_) {
    pdf->Concat(Width(), 0, 0, Height(), rect.left, page_height - rect.bottom);
  } else {
    pdf->Rectangle(rect.left, page_height - rect.top - Height(), Width(), Height());
    pdf->Clip();
    pdf->NewPath();
    pdf->Concat(picture->Width(), 0, 0, picture->Height(), rect.left,
                page_height - rect.top - picture->Height());
  }
  pdf->DrawXObject(name);
  pdf->GRestore();
}

// ---- Outlines ----

TPdfOutlineEntry* TPROutlineRoot::AddEntry(const std::string& title) {
  TPdfOutlineEntry* entry = doc_->OutlineRoot().AddChild();
  entry->SetTitle(title);
  TPdfDestination* dest = doc_->CreateDestination();
  dest->SetType(TPdfDestinationType::dtFit);
  entry->SetDest(dest);
  return entry;
}

// ---- TPReport ----

TPReport::TPReport() : creation_date_(PdfLocalNow()) {}

TPReport::~TPReport() = default;

void TPReport::CheckClosed(const char* message) const {
  if (doc_) throw EPdfInvalidOperation(message);
}

void TPReport::SetCreationDate(const TPdfDateTime& value) {
  CheckClosed("SetCreationDate --invalid operation.");
  creation_date_ = value;
}

void TPReport::SetModDate(const TPdfDateTime& value) {
  CheckClosed("SetModDate --invalid operation.");
  mod_date_ = value;
}

void TPReport::SetAuthor(const std::string& value) {
  CheckClosed("SetAuthor --invalid operation.");
  author_ = value;
}

void TPReport::SetCreator(const std::string& value) {
  CheckClosed("SetCreator --invalid operation.");
  creator_ = value;
}

void TPReport::SetKeywords(const std::string& value) {
  CheckClosed("SetKeyWords --invalid operation.");
  keywords_ = value;
}

void TPReport::SetSubject(const std::string& value) {
  CheckClosed("SetSubject --invalid operation.");
  subject_ = value;
}

void TPReport::SetTitle(const std::string& value) {
  CheckClosed("SetTitle --invalid operation.");
  title_ = value;
}

void TPReport::SetUseOutlines(bool value) {
  CheckClosed("SetUseOutlines --invalid operation.");
  use_outlines_ = value;
}

void TPReport::SetPageLayout(TPdfPageLayout value) {
  CheckClosed("SetPageLayout --invalid operation.");
  page_layout_ = value;
}

void TPReport::SetPageMode(TPdfPageMode value) {
  CheckClosed("SetPageMode --invalid operation.");
  page_mode_ = value;
}

void TPReport::SetNonFullScreenPageMode(TPdfPageMode value) {
  CheckClosed("SetNonFullScreenPageMode --invalid operation.");
  non_full_screen_page_mode_ =
      value == TPdfPageMode::pmFullScreen ? TPdfPageMode::pmUseNone : value;
}

void TPReport::SetViewerPreference(TPdfViewerPreferences value) {
  CheckClosed("SetViewerPreference --invalid operation.");
  viewer_preference_ = value;
}

void TPReport::BeginDoc() {
  Abort();
  auto doc = std::make_unique<TPdfDoc>();
  doc->SetUseOutlines(use_outlines_);
  doc->SetCompressionMethod(compression_method_);
  doc->SetClock(clock_);
  doc->NewDoc();

  TPdfCatalog& catalog = doc->Root();
  catalog.SetPageMode(page_mode_);
  catalog.SetPageLayout(page_layout_);
  if (non_full_screen_page_mode_ != TPdfPageMode::pmUseNone)
    catalog.SetNonFullScreenPageMode(non_full_screen_page_mode_);
  if (!viewer_preference_.Empty()) catalog.SetViewerPreference(viewer_preference_);

  TPdfInfo& info = doc->Info();
  info.SetAuthor(author_);
  info.SetCreationDate(creation_date_);
  info.SetCreator(creator_);
  info.SetKeywords(keywords_);
  info.SetModDate(mod_date_);
  info.SetSubject(subject_);
  info.SetTitle(title_);

  doc_ = std::move(doc);
  page_count_ = 0;
  if (use_outlines_) outline_root_ = std::make_unique<TPROutlineRoot>(doc_.get());
}

void TPReport::Print(TPRPage& page) {
  if (!doc_) throw EPdfInvalidOperation("document is null..");
  doc_->AddPage();
  ++page_count_;
  canvas_.SetPdfCanvas(&doc_->Canvas());
  page.Print(canvas_);
}

void TPReport::EndDoc() {
  if (!doc_) throw EPdfInvalidOperation("document is null..");
  // Written into the file as it is made: the image data are never copied whole.
  WriteFileAtomic(file_name_, [&](TStream& stream) { doc_->SaveToStream(stream); });
  Abort();
}

void TPReport::Abort() {
  canvas_.SetPdfCanvas(nullptr);
  outline_root_.reset();
  doc_.reset();
}

}  // namespace pamirune
