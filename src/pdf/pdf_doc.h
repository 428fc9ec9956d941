// The PDF document: catalog, info, page tree and pages, fonts, image objects, outlines, and
// saving the whole file (header, body in object-number order, cross-reference table,
// trailer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/pdf_fonts.h"
#include "pdf/pdf_objects.h"
#include "raster/graphic.h"

namespace pamirune {

class TPdfCanvas;
class TPdfDoc;

enum class TPdfCompressionMethod { cmNone, cmFlateDecode };
enum class TPdfPageLayout { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum class TPdfPageMode { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum class TPdfViewerPreference {
  vpHideToolbar,
  vpHideMenubar,
  vpHideWindowUI,
  vpFitWindow,
  vpCenterWindow
};

// A set of viewer preferences.
class TPdfViewerPreferences {
 public:
  TPdfViewerPreferences() = default;
  TPdfViewerPreferences(std::initializer_list<TPdfViewerPreference> items) {
    for (auto item : items) Include(item);
  }
  void Include(TPdfViewerPreference item) { bits_ |= Bit(item); }
  void Exclude(TPdfViewerPreference item) { bits_ &= ~Bit(item); }
  bool Contains(TPdfViewerPreference item) const { return (bits_ & Bit(item)) != 0; }
  bool Empty() const { return bits_ == 0; }
  bool operator==(const TPdfViewerPreferences&) const = default;

 private:
  static unsigned Bit(TPdfViewerPreference item) { return 1u << static_cast<unsigned>(item); }
  unsigned bits_ = 0;
};

const char* PdfPageLayoutName(TPdfPageLayout layout);
const char* PdfPageModeName(TPdfPageMode mode);

enum class TPdfDestinationType { dtXYZ, dtFit, dtFitH, dtFitV, dtFitR, dtFitB, dtFitBH, dtFitBV };

// A destination: a page, a fit type and its numbers. A number below -100 stands for "keep the
// current value" and is written as null.
class TPdfDestination {
 public:
  explicit TPdfDestination(const TPdfDictionary* page) : page_(page) {}
  TPdfDestinationType Type() const { return type_; }
  void SetType(TPdfDestinationType type) { type_ = type; }
  double Left() const { return left_; }
  double Top() const { return top_; }
  double Right() const { return right_; }
  double Bottom() const { return bottom_; }
  double Zoom() const { return zoom_; }
  void SetLeft(double v) { left_ = v; }
  void SetTop(double v) { top_ = v; }
  void SetRight(double v) { right_ = v; }
  void SetBottom(double v) { bottom_ = v; }
  void SetZoom(double v) { zoom_ = v; }
  // The destination array: page reference, fit-type name, the numbers of the type.
  std::unique_ptr<TPdfArray> GetValue() const;

 private:
  const TPdfDictionary* page_;
  TPdfDestinationType type_ = TPdfDestinationType::dtXYZ;
  double left_ = -101, top_ = -101, right_ = -101, bottom_ = -101, zoom_ = -101;
};

class TPdfCatalog : public TPdfDictionaryWrapper {
 public:
  explicit TPdfCatalog(TPdfDictionary* data) : TPdfDictionaryWrapper(data) {}

  TPdfPageLayout PageLayout() const { return page_layout_; }
  void SetPageLayout(TPdfPageLayout value);
  TPdfPageMode PageMode() const { return page_mode_; }
  void SetPageMode(TPdfPageMode value);
  // Kept in the ViewerPreferences dictionary; pmUseNone and pmFullScreen remove the entry.
  TPdfPageMode NonFullScreenPageMode() const { return non_full_screen_page_mode_; }
  void SetNonFullScreenPageMode(TPdfPageMode value);
  TPdfViewerPreferences ViewerPreference() const { return viewer_preference_; }
  void SetViewerPreference(TPdfViewerPreferences value);
  // The open action: a destination owned by the document, or nullptr for none.
  TPdfDestination* OpenAction() const { return open_action_; }
  void SetOpenAction(TPdfDestination* value) { open_action_ = value; }
  TPdfDictionary* Pages() const { return pages_; }
  void SetPages(TPdfDictionary* pages);

  // At save time: writes OpenAction or removes it.
  void SaveOpenAction();

 private:
  TPdfDictionary& ViewerPreferencesDictionary();
  TPdfPageLayout page_layout_ = TPdfPageLayout::plSinglePage;
  TPdfPageMode page_mode_ = TPdfPageMode::pmUseNone;
  TPdfPageMode non_full_screen_page_mode_ = TPdfPageMode::pmUseNone;
  TPdfViewerPreferences viewer_preference_;
  TPdfDestination* open_action_ = nullptr;
  TPdfDictionary* pages_ = nullptr;
};

class TPdfInfo : public TPdfDictionaryWrapper {
 public:
  explicit TPdfInfo(TPdfDictionary* data) : TPdfDictionaryWrapper(data) {}
  // Each setter (re)sets its key, which moves the key to the end of the dictionary.
  void SetAuthor(const std::string& value) { SetText("Author", value); }
  void SetCreationDate(const TPdfDateTime& value) { SetText("CreationDate", FormatPdfDate(value)); }
  void SetModDate(const TPdfDateTime& value) { SetText("ModDate", FormatPdfDate(value)); }
  void SetCreator(const std::string& value) { SetText("Creator", value); }
  void SetProducer(const std::string& value) { SetText("Producer", value); }
  void SetTitle(const std::string& value) { SetText("Title", value); }
  void SetSubject(const std::string& value) { SetText("Subject", value); }
  void SetKeywords(const std::string& value) { SetText("Keywords", value); }
  // The text of key ("" when unset); dates in their written form D:yyyymmddhhnnss.
  std::string Text(const std::string& key) const;

 private:
  void SetText(const std::string& key, const std::string& value);
};

class TPdfOutlineEntry;

// Common part of the outline root and its entries.
class TPdfOutlineItem : public TPdfDictionaryWrapper {
 public:
  ~TPdfOutlineItem() override;
  TPdfOutlineEntry* AddChild();
  size_t ChildCount() const { return children_.size(); }
  TPdfOutlineEntry* Child(size_t index) const { return children_.at(index).get(); }
  TPdfOutlineItem* Parent() const { return parent_; }
  bool Opened() const { return opened_; }
  void SetOpened(bool value) { opened_ = value; }
  // Writes this item's keys and those of its children.
  virtual void Save();

 protected:
  TPdfOutlineItem(TPdfDoc* doc, TPdfOutlineItem* parent, TPdfDictionary* data);
  // Entries shown below this item when it is open (open children count their own).
  int VisibleDescendants() const;
  void SaveChildLinks();

 private:
  friend class TPdfDoc;
  TPdfDoc* doc_;
  TPdfOutlineItem* parent_;
  std::vector<std::unique_ptr<TPdfOutlineEntry>> children_;
  bool opened_;
};

class TPdfOutlineRoot : public TPdfOutlineItem {
 public:
  TPdfOutlineRoot(TPdfDoc* doc, TPdfDictionary* data);
  // Count (negative when closed), First, Last.
  void Save() override;
};

class TPdfOutlineEntry : public TPdfOutlineItem {
 public:
  TPdfOutlineEntry(TPdfDoc* doc, TPdfOutlineItem* parent, TPdfDictionary* data);
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& value) { title_ = value; }
  TPdfDestination* Dest() const { return dest_; }
  void SetDest(TPdfDestination* value) { dest_ = value; }
  // Parent, Count, Title, Dest, First, Last, Prev, Next.
  void Save() override;

 private:
  std::string title_;
  TPdfDestination* dest_ = nullptr;
};

// An image XObject: a stream with Type /XObject and Subtype /Image.
class TPdfImage : public TPdfStream {
 public:
  TPdfImage();
};

// Makes the image object of a picture. The creators are registered by name.
class TPdfImageCreator {
 public:
  virtual ~TPdfImageCreator() = default;
  virtual std::unique_ptr<TPdfImage> CreateImage(const TGraphic& image) = 0;
};
using TPdfImageCreatorFactory = std::unique_ptr<TPdfImageCreator> (*)();
// "Pdf-Bitmap" is registered from the start.
void RegisterPdfImageCreator(const std::string& name, TPdfImageCreatorFactory factory);
// Raises "AddImage --InvalidImageClassName:" with the name when none is registered under it.
std::unique_ptr<TPdfImage> CreatePdfImage(const std::string& creator_name, const TGraphic& image);

class TPdfDoc {
 public:
  TPdfDoc();
  ~TPdfDoc();
  TPdfDoc(const TPdfDoc&) = delete;
  TPdfDoc& operator=(const TPdfDoc&) = delete;

  // Taken by the next NewDoc.
  bool UseOutlines() const { return use_outlines_; }
  void SetUseOutlines(bool value) { use_outlines_ = value; }
  TPdfCompressionMethod CompressionMethod() const { return compression_method_; }
  void SetCompressionMethod(TPdfCompressionMethod value) { compression_method_ = value; }
  double DefaultPageWidth() const { return default_page_width_; }
  double DefaultPageHeight() const { return default_page_height_; }
  void SetDefaultPageWidth(double value) { default_page_width_ = value; }
  void SetDefaultPageHeight(double value) { default_page_height_ = value; }
  // The clock giving CreationDate and ModDate; the local time unless set.
  void SetClock(TPdfClock clock) { clock_ = std::move(clock); }

  // Discards any open document and starts a new one: 1 catalog, (2 outline root,) then info
  // with Producer and CreationDate, then the page-tree root.
  void NewDoc();
  // Frees the open document and everything in it.
  void FreeDoc();
  bool HasDoc() const { return has_doc_; }

  // Adds a page with its content stream and makes it the canvas's current page.
  void AddPage();
  // The document's font of that registered name, created on first use.
  TPdfFont* GetFont(const std::string& name);
  // Registers an image object under a name that must be new; it gets a Name entry.
  void AddImage(const std::string& name, std::unique_ptr<TPdfObject> image);
  // Makes the image object with the creator of that name, then adds it.
  void AddImage(const std::string& name, const TGraphic& image, const std::string& creator_name);
  // The image object of that name or nullptr.
  TPdfImage* GetXObject(const std::string& name) const;
  size_t XObjectCount() const { return xobjects_.size(); }

  TPdfInfo& Info();
  TPdfCatalog& Root();
  TPdfOutlineRoot& OutlineRoot();
  TPdfCanvas& Canvas();
  // A destination on the canvas's current page, owned by the document.
  TPdfDestination* CreateDestination();
  // A new outline entry below parent (nullptr raises "CreateEntry --invalid parent.").
  TPdfOutlineEntry* CreateOutlineEntry(TPdfOutlineItem* parent);

  // Writes the whole file from the start of the stream. The document stays open.
  void SaveToStream(TStream& stream);

  TPdfXref& Xref() { return *xref_; }
  // Number of pages added.
  int PageCount() const;
  // The page-tree root (the only node of the tree).
  TPdfDictionary* CurrentPages() const { return current_pages_; }

 private:
  void RegisterXObject(TPdfObject* object, const std::string& name);
  TPdfDateTime Now() const { return clock_ ? clock_() : PdfLocalNow(); }

  bool has_doc_ = false;
  bool use_outlines_ = false;
  TPdfCompressionMethod compression_method_ = TPdfCompressionMethod::cmNone;
  double default_page_width_ = 596;
  double default_page_height_ = 842;
  TPdfClock clock_;

  std::unique_ptr<TPdfXref> xref_;
  TPdfHeader header_;
  std::unique_ptr<TPdfTrailer> trailer_;
  std::unique_ptr<TPdfCatalog> root_;
  std::unique_ptr<TPdfInfo> info_;
  std::unique_ptr<TPdfOutlineRoot> outline_root_;
  TPdfDictionary* current_pages_ = nullptr;
  std::vector<std::unique_ptr<TPdfFont>> fonts_;
  std::unique_ptr<TPdfArray> xobject_array_;
  std::vector<TPdfImage*> xobjects_;
  std::vector<std::unique_ptr<TPdfDestination>> destinations_;
  std::unique_ptr<TPdfCanvas> canvas_;
};

}  // namespace pamirune
