#include "pdf/pdf_doc.h"

#include <map>

#include "pdf/pdf_canvas.h"
#include "pdf/pdf_image.h"

namespace pamirune {

namespace {

const char kProducer[] = "Hanabi version 0.9";

// Sets the number of key in place, so the key keeps its position.
void SetNumberInPlace(TPdfDictionary& dict, const std::string& key, int32_t value) {
  if (auto* number = dynamic_cast<TPdfNumber*>(dict.ValueByName(key)))
    number->SetValue(value);
  else
    dict.AddItem(key, PdfNumber(value));
}

}  // namespace

const char* PdfPageLayoutName(TPdfPageLayout layout) {
  switch (layout) {
    case TPdfPageLayout::plSinglePage:
      return "SinglePage";
    case TPdfPageLayout::plOneColumn:
      return "OneColumn";
    case TPdfPageLayout::plTwoColumnLeft:
      return "TwoColumnLeft";
    case TPdfPageLayout::plTwoColumnRight:
      return "TwoColumnRight";
  }
  return "SinglePage";
}

const char* PdfPageModeName(TPdfPageMode mode) {
  switch (mode) {
    case TPdfPageMode::pmUseNone:
      return "UseNone";
    case TPdfPageMode::pmUseOutlines:
      return "UseOutlines";
    case TPdfPageMode::pmUseThumbs:
      return "UseThumbs";
    case TPdfPageMode::pmFullScreen:
      return "FullScreen";
  }
  return "UseNone";
}

// ---- TPdfDestination ----

std::unique_ptr<TPdfArray> TPdfDestination::GetValue() const {
  static const char* const kTypeNames[] = {"XYZ",  "Fit",  "FitH",  "FitV",
                                           "FitR", "FitB", "FitBH", "FitBV"};
  auto array = std::make_unique<TPdfArray>();
  if (page_) array->AddReference(*page_);
  array->Add(PdfName(kTypeNames[static_cast<int>(type_)]));
  auto add = [&](double v) {
    if (v < -100)
      array->Add(std::make_unique<TPdfNull>());
    else
      array->Add(PdfReal(v));
  };
  switch (type_) {
    case TPdfDestinationType::dtXYZ:
      add(left_);
      add(top_);
      add(zoom_);
      break;
    case TPdfDestinationType::dtFit:
    case TPdfDestinationType::dtFitB:
      break;
    case TPdfDestinationType::dtFitH:
    case TPdfDestinationType::dtFitBH:
      add(top_);
      break;
    case TPdfDestinationType::dtFitV:
    case TPdfDestinationType::dtFitBV:
      add(left_);
      break;
    case TPdfDestinationType::dtFitR:
      add(left_);
      add(bottom_);
      add(right_);
      add(top_);
      break;
  }
  return array;
}

// ---- TPdfCatalog ----

void TPdfCatalog::SetPageLayout(TPdfPageLayout value) {
  page_layout_ = value;
  data_->AddItem("PageLayout", PdfName(PdfPageLayoutName(value)));
}

void TPdfCatalog::SetPageMode(TPdfPageMode value) {
  page_mode_ = value;
  data_->AddItem("PageMode", PdfName(PdfPageModeName(value)));
}

TPdfDictionary& TPdfCatalog::ViewerPreferencesDictionary() {
  if (auto* vp = data_->DictionaryByName("ViewerPreferences")) return *vp;
  auto vp = std::make_unique<TPdfDictionary>();
  auto* raw = vp.get();
  data_->AddItem("ViewerPreferences", std::move(vp));
  return *raw;
}

void TPdfCatalog::SetNonFullScreenPageMode(TPdfPageMode value) {
  non_full_screen_page_mode_ = value;
  if (value == TPdfPageMode::pmUseNone || value == TPdfPageMode::pmFullScreen) {
    if (auto* vp = data_->DictionaryByName("ViewerPreferences"))
      vp->RemoveItem("NonFullScreenPageMode");
    return;
  }
  ViewerPreferencesDictionary().AddItem("NonFullScreenPageMode", PdfName(PdfPageModeName(value)));
}

void TPdfCatalog::SetViewerPreference(TPdfViewerPreferences value) {
  viewer_preference_ = value;
  static const struct {
    TPdfViewerPreference item;
    const char* key;
  } kKeys[] = {{TPdfViewerPreference::vpHideToolbar, "HideToolbar"},
               {TPdfViewerPreference::vpHideMenubar, "HideMenubar"},
               {TPdfViewerPreference::vpHideWindowUI, "HideWindowUI"},
               {TPdfViewerPreference::vpFitWindow, "FitWindow"},
               {TPdfViewerPreference::vpCenterWindow, "CenterWindow"}};
  if (value.Empty() && !data_->DictionaryByName("ViewerPreferences")) return;
  TPdfDictionary& vp = ViewerPreferencesDictionary();
  for (const auto& k : kKeys) {
    if (value.Contains(k.item))
      vp.AddItem(k.key, PdfBoolean(true));
    else
      vp.RemoveItem(k.key);
  }
}

void TPdfCatalog::SetPages(TPdfDictionary* pages) {
  pages_ = pages;
  data_->AddReference("Pages", *pages);
}

void TPdfCatalog::SaveOpenAction() {
  if (open_action_)
    data_->AddItem("OpenAction", open_action_->GetValue());
  else
    data_->RemoveItem("OpenAction");
}

// ---- TPdfInfo ----

void TPdfInfo::SetText(const std::string& key, const std::string& value) {
  data_->AddItem(key, PdfText(value));
}

std::string TPdfInfo::Text(const std::string& key) const {
  auto* text = dynamic_cast<TPdfText*>(data_->ValueByName(key));
  return text ? text->Value() : std::string();
}

// ---- Outlines ----

TPdfOutlineItem::TPdfOutlineItem(TPdfDoc* doc, TPdfOutlineItem* parent, TPdfDictionary* data)
    : TPdfDictionaryWrapper(data), doc_(doc), parent_(parent), opened_(parent == nullptr) {}

TPdfOutlineItem::~TPdfOutlineItem() = default;

TPdfOutlineEntry* TPdfOutlineItem::AddChild() { return doc_->CreateOutlineEntry(this); }

int TPdfOutlineItem::VisibleDescendants() const {
  int count = 0;
  for (const auto& child : children_)
    count += 1 + (child->Opened() ? child->VisibleDescendants() : 0);
  return count;
}

void TPdfOutlineItem::SaveChildLinks() {
  if (children_.empty()) {
    data_->RemoveItem("First");
    data_->RemoveItem("Last");
    return;
  }
  data_->AddReference("First", children_.front()->Data());
  data_->AddReference("Last", children_.back()->Data());
}

void TPdfOutlineItem::Save() {
  for (auto& child : children_) child->Save();
}

TPdfOutlineRoot::TPdfOutlineRoot(TPdfDoc* doc, TPdfDictionary* data)
    : TPdfOutlineItem(doc, nullptr, data) {
  data_->AddItem("Type", PdfName("Outlines"));
}

void TPdfOutlineRoot::Save() {
  int count = VisibleDescendants();
  data_->AddItem("Count", PdfNumber(Opened() ? count : -count));
  SaveChildLinks();
  TPdfOutlineItem::Save();
}

TPdfOutlineEntry::TPdfOutlineEntry(TPdfDoc* doc, TPdfOutlineItem* parent, TPdfDictionary* data)
    : TPdfOutlineItem(doc, parent, data) {}

void TPdfOutlineEntry::Save() {
  TPdfOutlineItem* parent = Parent();
  // Readers find an entry's place through Parent, which the format requires of every entry.
  data_->AddReference("Parent", parent->Data());
  int count = VisibleDescendants();
  data_->AddItem("Count", PdfNumber(Opened() ? count : -count));
  data_->AddItem("Title", PdfText(title_));
  if (dest_)
    data_->AddItem("Dest", dest_->GetValue());
  else
    data_->RemoveItem("Dest");
  SaveChildLinks();
  size_t index = 0;
  while (index < parent->ChildCount() && parent->Child(index) != this) ++index;
  if (index > 0)
    data_->AddReference("Prev", parent->Child(index - 1)->Data());
  else
    data_->RemoveItem("Prev");
  if (index + 1 < parent->ChildCount())
    data_->AddReference("Next", parent->Child(index + 1)->Data());
  else
    data_->RemoveItem("Next");
  TPdfOutlineItem::Save();
}

// ---- Images ----

TPdfImage::TPdfImage() {
  Attributes().AddItem("Type", PdfName("XObject"));
  Attributes().AddItem("Subtype", PdfName("Image"));
}

namespace {

std::map<std::string, TPdfImageCreatorFactory>& ImageCreators() {
  static std::map<std::string, TPdfImageCreatorFactory> creators = {
      {"Pdf-Bitmap",
       []() -> std::unique_ptr<TPdfImageCreator> { return std::make_unique<TPdfBitmapImage>(); }},
  };
  return creators;
}

}  // namespace

void RegisterPdfImageCreator(const std::string& name, TPdfImageCreatorFactory factory) {
  ImageCreators()[name] = factory;
}

std::unique_ptr<TPdfImage> CreatePdfImage(const std::string& creator_name, const TGraphic& image) {
  auto it = ImageCreators().find(creator_name);
  if (it == ImageCreators().end())
    throw EPdfInvalidImageFormat("AddImage --InvalidImageClassName:" + creator_name);
  return it->second()->CreateImage(image);
}

// ---- TPdfDoc ----

TPdfDoc::TPdfDoc() = default;

TPdfDoc::~TPdfDoc() { FreeDoc(); }

void TPdfDoc::FreeDoc() {
  canvas_.reset();
  outline_root_.reset();
  destinations_.clear();
  xobjects_.clear();
  xobject_array_.reset();
  fonts_.clear();
  info_.reset();
  root_.reset();
  trailer_.reset();
  current_pages_ = nullptr;
  xref_.reset();
  has_doc_ = false;
}

void TPdfDoc::NewDoc() {
  FreeDoc();
  xref_ = std::make_unique<TPdfXref>();
  trailer_ = std::make_unique<TPdfTrailer>();
  xobject_array_ = std::make_unique<TPdfArray>();

  auto* catalog = xref_->Add(std::make_unique<TPdfDictionary>());
  catalog->AddItem("Type", PdfName("Catalog"));
  root_ = std::make_unique<TPdfCatalog>(catalog);

  if (use_outlines_) {
    auto* outlines = xref_->Add(std::make_unique<TPdfDictionary>());
    outline_root_ = std::make_unique<TPdfOutlineRoot>(this, outlines);
    catalog->AddReference("Outlines", *outlines);
  }

  auto* info = xref_->Add(std::make_unique<TPdfDictionary>());
  info_ = std::make_unique<TPdfInfo>(info);
  info_->SetProducer(kProducer);
  info_->SetCreationDate(Now());

  auto* pages = xref_->Add(std::make_unique<TPdfDictionary>());
  pages->AddItem("Type", PdfName("Pages"));
  pages->AddItem("Kids", std::make_unique<TPdfArray>());
  pages->AddItem("Count", PdfNumber(0));
  current_pages_ = pages;
  root_->SetPages(pages);

  trailer_->Attributes().AddReference("Root", *catalog);
  trailer_->Attributes().AddReference("Info", *info);

  canvas_ = std::make_unique<TPdfCanvas>(this);
  has_doc_ = true;
}

int TPdfDoc::PageCount() const {
  if (!current_pages_) return 0;
  return static_cast<int>(current_pages_->ArrayByName("Kids")->ItemCount());
}

void TPdfDoc::AddPage() {
  if (!has_doc_ || !current_pages_) throw EPdfInvalidOperation("AddPage --current pages null.");
  auto* page = xref_->Add(std::make_unique<TPdfDictionary>());
  TPdfArray* kids = current_pages_->ArrayByName("Kids");
  kids->AddReference(*page);
  SetNumberInPlace(*current_pages_, "Count", static_cast<int32_t>(kids->ItemCount()));

  page->AddItem("Type", PdfName("Page"));
  page->AddReference("Parent", *current_pages_);
  auto media_box = std::make_unique<TPdfArray>();
  media_box->Add(PdfNumber(0));
  media_box->Add(PdfNumber(0));
  media_box->Add(PdfReal(default_page_width_));
  media_box->Add(PdfReal(default_page_height_));
  page->AddItem("MediaBox", std::move(media_box));

  auto resources = std::make_unique<TPdfDictionary>();
  resources->AddItem("Font", std::make_unique<TPdfDictionary>());
  resources->AddItem("XObject", std::make_unique<TPdfDictionary>());
  auto proc_set = std::make_unique<TPdfArray>();
  proc_set->Add(PdfName("PDF"));
  proc_set->Add(PdfName("Text"));
  proc_set->Add(PdfName("ImageC"));
  resources->AddItem("ProcSet", std::move(proc_set));
  page->AddItem("Resources", std::move(resources));

  auto* contents = xref_->Add(std::make_unique<TPdfStream>());
  if (compression_method_ == TPdfCompressionMethod::cmFlateDecode)
    contents->Filter().Add(PdfName("FlateDecode"));
  page->AddReference("Contents", *contents);

  canvas_->SetPage(page);
}

TPdfFont* TPdfDoc::GetFont(const std::string& name) {
  if (!has_doc_) throw EPdfInvalidOperation("GetFont --document is null.");
  for (const auto& font : fonts_)
    if (font->Name() == name) return font.get();
  fonts_.push_back(CreatePdfFont(name, *xref_, static_cast<int>(fonts_.size())));
  return fonts_.back().get();
}

TPdfImage* TPdfDoc::GetXObject(const std::string& name) const {
  for (TPdfImage* image : xobjects_)
    if (image->Attributes().NameValue("Name") == name) return image;
  return nullptr;
}

void TPdfDoc::AddImage(const std::string& name, std::unique_ptr<TPdfObject> image) {
  if (!has_doc_) throw EPdfInvalidOperation("AddImage --document is null.");
  if (GetXObject(name))
    throw EPdfInvalidValue("AddImage --the image named " + name + " is already exists..");
  if (!dynamic_cast<TPdfImage*>(image.get()))
    throw EPdfInvalidValue("AddImage --the image is not valid TPdfImage..");
  RegisterXObject(xref_->AddObject(std::move(image)), name);
}

void TPdfDoc::AddImage(const std::string& name, const TGraphic& image,
                       const std::string& creator_name) {
  AddImage(name, CreatePdfImage(creator_name, image));
}

void TPdfDoc::RegisterXObject(TPdfObject* object, const std::string& name) {
  if (!object) throw EPdfInvalidValue("RegisterXObject --AObject is null");
  auto* image = dynamic_cast<TPdfImage*>(object);
  if (!image || image->Attributes().NameValue("Type") != "XObject")
    throw EPdfInvalidValue("RegisterXObject --not XObject");
  if (GetXObject(name)) throw EPdfInvalidValue("RegisterXObject --dupulicate name: " + name);
  image->Attributes().AddItem("Name", PdfName(name));
  xobject_array_->AddReference(*image);
  xobjects_.push_back(image);
}

TPdfInfo& TPdfDoc::Info() {
  if (!has_doc_) throw EPdfInvalidOperation("GetInfo --this method can not use this state..");
  return *info_;
}

TPdfCatalog& TPdfDoc::Root() {
  if (!has_doc_) throw EPdfInvalidOperation("GetRoot --this method can not use this state..");
  return *root_;
}

TPdfOutlineRoot& TPdfDoc::OutlineRoot() {
  if (!has_doc_) throw EPdfInvalidOperation("GetOutlineRoot --document is null..");
  if (!outline_root_) throw EPdfInvalidOperation("GetOutlineRoot --not use outline mode..");
  return *outline_root_;
}

TPdfCanvas& TPdfDoc::Canvas() {
  if (!has_doc_) throw EPdfInvalidOperation("GetCanvas --Document is null");
  return *canvas_;
}

TPdfDestination* TPdfDoc::CreateDestination() {
  destinations_.push_back(std::make_unique<TPdfDestination>(&Canvas().Page()));
  return destinations_.back().get();
}

TPdfOutlineEntry* TPdfDoc::CreateOutlineEntry(TPdfOutlineItem* parent) {
  if (!parent) throw EPdfInvalidValue("CreateEntry --invalid parent.");
  if (!has_doc_ || parent->doc_ != this)
    throw EPdfInvalidOperation("CreateEntry --invalid parent.");
  auto* data = xref_->Add(std::make_unique<TPdfDictionary>());
  parent->children_.push_back(std::make_unique<TPdfOutlineEntry>(this, parent, data));
  return parent->children_.back().get();
}

void TPdfDoc::SaveToStream(TStream& stream) {
  if (!has_doc_ || !canvas_ || !canvas_->HasPage())
    throw EPdfInvalidOperation("SaveToStream --there is no document to save.");
  info_->SetModDate(Now());
  root_->SaveOpenAction();
  if (outline_root_) outline_root_->Save();

  stream.Seek(0);
  header_.WriteToStream(stream);
  xref_->WriteBody(stream);
  int64_t xref_address = stream.Position();
  xref_->WriteTable(stream);
  SetNumberInPlace(trailer_->Attributes(), "Size", static_cast<int32_t>(xref_->ItemCount()));
  trailer_->SetXrefAddress(xref_address);
  trailer_->WriteToStream(stream);
}

}  // namespace pamirune
