// The GIF image: reads GIF87a and GIF89a files of one or many frames and writes them again.
// A TGIFImage holds a header (logical screen and global colour map) and a list of frames
// (TGIFSubImage), each with its descriptor, local colour map, extensions and one colour index
// per pixel. The converter renders frame 0 as a Raster image when reading, and builds
// single-frame and looping animated files from Raster images when writing (gif_frames.h).
//
// Public surface in short:
//   TGIFImage gif;                          // empty, no frames
//   int i = gif.Add(bitmap);                // a frame from a Raster image (or any graphic)
//   gif.Images()[i].Extensions().Add(...);  // loop, graphic control, comment... extensions
//   gif.SaveToFile(path);                   // atomic save
//   gif.LoadFromFile(path); bitmap.Assign(gif);  // frame 0 as a Raster image
//   gif.Images().Count();                   // how many images it holds
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/color_reduction.h"
#include "raster/errors.h"
#include "raster/registry.h"

namespace pamirune {

// Every error of the GIF image carries one of its fixed English texts.
class EGIFError : public Exception {
 public:
  using Exception::Exception;
};

enum class TGIFVersion { gvUnknown, gv87a, gv89a };
enum class TGIFSeverity { gsInfo, gsWarning, gsError };
using TGIFWarningEvent = std::function<void(TGIFSeverity, const std::string&)>;
// 0 = LZW, 1 = the run-length encoder (a stream any LZW decoder reads).
enum class TGIFCompression { gcLZW = 0, gcRLE = 1 };

inline constexpr uint8_t kGifExtensionIntroducer = 0x21;
inline constexpr uint8_t kGifImageSeparator = 0x2C;
inline constexpr uint8_t kGifTrailer = 0x3B;
inline constexpr uint8_t kGifLabelGraphicControl = 0xF9;
inline constexpr uint8_t kGifLabelText = 0x01;
inline constexpr uint8_t kGifLabelComment = 0xFE;
inline constexpr uint8_t kGifLabelApplication = 0xFF;

// The error and warning texts.
namespace gif_msg {
inline constexpr char kInvalidSignature[] = "Invalid GIF signature";
inline constexpr char kUnknownExtension[] = "Unknown extension type";
inline constexpr char kAppExtBlockSize[] = "Unsupported Application Extension block size";
inline constexpr char kInvalidData[] = "Invalid GIF data";
inline constexpr char kCircularEntry[] = "Circular decoder table entry";
inline constexpr char kColorNotInTable[] = "Color not in color table";
inline constexpr char kColorTableOverflow[] = "Color table overflow";
inline constexpr char kColorTableEmpty[] = "Color table is empty";
inline constexpr char kInvalidColorIndex[] = "Invalid color index";
inline constexpr char kInvalidPixel[] = "Invalid pixel coordinates";
inline constexpr char kUnsupportedVersion[] = "Unsupported GIF version";
inline constexpr char kUnsupportedObject[] = "Object type not supported for operation";
inline constexpr char kPrematureEnd[] = "Premature end of data";
inline constexpr char kExtensionMismatch[] =
    "Internal error: Extension Instance does not match Extension Label";
inline constexpr char kInvalidStreamOperation[] = "Invalid stream operation";
inline constexpr char kUnknownBlock[] = "Unknown GIF block type";
inline constexpr char kInvalidIntroducer[] = "Invalid extension introducer";
inline constexpr char kExceedsScreen[] = "Image exceeds Logical Screen size";
inline constexpr char kWidthTooSmall[] = "Image width too small for contained frames";
inline constexpr char kHeightTooSmall[] = "Image height too small for contained frames";
inline constexpr char kBitBufferUnderrun[] = "Decoder bit buffer under-run";
inline constexpr char kInvalidTrailer[] = "Invalid Image trailer";
inline constexpr char kLoading[] = "Loading...";
inline constexpr char kSaving[] = "Saving...";
inline constexpr char kConverting[] = "Converting...";
inline constexpr char kOptimizing[] = "Optimizing...";
}  // namespace gif_msg

struct TGIFColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const TGIFColor&) const = default;
};

class TGIFImage;
class TGIFSubImage;
class TGIFGraphicControlExtension;

// Up to 256 RGB triples with a count, a capacity and the sorted flag.
class TGIFColorMap {
 public:
  static constexpr int kMaxColors = 256;
  virtual ~TGIFColorMap() = default;

  int Count() const { return count_; }
  // Grows to 16 for requests up to 16, else to the request rounded up to 32, at most 256.
  int Capacity() const { return capacity_; }
  // The sorted flag (entries ordered by importance).
  bool Optimized() const { return optimized_; }
  void SetOptimized(bool value) { optimized_ = value; }

  // Entry access; an index outside 0..Count()-1 raises "Invalid color index".
  TGIFColor Colors(int index) const;
  TColor Color(int index) const;
  const TGIFColor* Data() const { return colors_.data(); }

  // Appends an entry and returns its index; a full map raises "Color table overflow".
  int Add(TColor color);
  int Add(TGIFColor color);
  // Removes an entry; a bad index raises "Invalid color index".
  void Delete(int index);
  // Index of the exact colour, or -1.
  int IndexOf(TColor color) const;
  // Index of the nearest colour (squared RGB distance, lowest index on ties);
  // an empty map raises "Color table is empty".
  int Nearest(TColor color) const;
  void Clear();
  void Assign(const TGIFColorMap& source);

  // Smallest b >= 1 with 2^b >= Count(); 0 for an empty map.
  int BitsPerPixel() const;
  // BitsPerPixel() - 1 (-1 for an empty map).
  int ColorResolution() const { return BitsPerPixel() - 1; }

  std::vector<TRGBQuad> ToPalette() const;
  void FromPalette(const std::vector<TRGBQuad>& palette);

  // Reads count triples ("Premature end of data" when the stream holds fewer).
  void LoadFromStream(TStream& stream, int count);
  // Writes the entries, then zero triples up to 2^bits entries.
  void SaveToStream(TStream& stream, int bits) const;

 private:
  void Grow(int request);

  std::array<TGIFColor, kMaxColors> colors_{};
  int count_ = 0;
  int capacity_ = 0;
  bool optimized_ = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {};
class TGIFLocalColorMap : public TGIFColorMap {};

// A part of a GIF file that knows the image it belongs to.
class TGIFItem {
 public:
  explicit TGIFItem(TGIFImage* image) : image_(image) {}
  virtual ~TGIFItem() = default;
  TGIFItem(const TGIFItem&) = delete;
  TGIFItem& operator=(const TGIFItem&) = delete;

  TGIFImage* Image() const { return image_; }
  // The file version this item needs.
  virtual TGIFVersion Version() const { return TGIFVersion::gv87a; }
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) const = 0;

 protected:
  void Warning(TGIFSeverity severity, const std::string& message) const;
  TGIFImage* image_;
};

// A list that owns its items.
template <class T>
class TGIFList {
 public:
  explicit TGIFList(TGIFImage* image) : image_(image) {}
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  T& operator[](int index) { return *items_.at(static_cast<size_t>(index)); }
  const T& operator[](int index) const { return *items_.at(static_cast<size_t>(index)); }
  int Add(std::unique_ptr<T> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
  }
  void Insert(int index, std::unique_ptr<T> item) {
    items_.insert(items_.begin() + index, std::move(item));
  }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  void Clear() { items_.clear(); }
  int IndexOf(const T* item) const {
    for (int i = 0; i < Count(); ++i)
      if (items_[static_cast<size_t>(i)].get() == item) return i;
    return -1;
  }
  TGIFImage* Image() const { return image_; }

 protected:
  TGIFImage* image_;
  std::vector<std::unique_ptr<T>> items_;
};

// The 6-byte signature and version, the logical screen descriptor and the global colour map.
class TGIFHeader : public TGIFItem {
 public:
  explicit TGIFHeader(TGIFImage* image) : TGIFItem(image) {}
  // Tries the signature at the current position and, failing that, 4 bytes further on.
  void LoadFromStream(TStream& stream) override;
  // Writes "GIF", the image's version, the logical screen descriptor with its packed byte
  // computed afresh, and the global colour table.
  void SaveToStream(TStream& stream) const override;
  void Clear();

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int value) { width_ = static_cast<uint16_t>(value); }
  void SetHeight(int value) { height_ = static_cast<uint16_t>(value); }
  uint8_t Packed() const { return packed_; }
  // The version text as read ("87a", "89a" or anything else a file holds).
  const std::string& VersionText() const { return version_text_; }
  TGIFGlobalColorMap& ColorMap() { return color_map_; }
  const TGIFGlobalColorMap& ColorMap() const { return color_map_; }

 private:
  friend class TGIFImage;
  uint16_t width_ = 0;
  uint16_t height_ = 0;
  mutable uint8_t packed_ = 0;  // recomputed by every save
  uint8_t background_index_ = 0;
  uint8_t aspect_ratio_ = 0;
  std::string version_text_;
  TGIFGlobalColorMap color_map_;
};

class TGIFTrailer : public TGIFItem {
 public:
  using TGIFItem::TGIFItem;
  // A byte other than 0x3B gives the warning "Invalid Image trailer".
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
};

// Extensions: 0x21, the label, then the payload. Every extension needs version 89a.
class TGIFExtension : public TGIFItem {
 public:
  explicit TGIFExtension(TGIFSubImage* sub_image);
  virtual uint8_t ExtensionType() const = 0;
  TGIFVersion Version() const override { return TGIFVersion::gv89a; }
  // The stream stands after the introducer: reads the label (which must be this kind's,
  // else "Internal error: Extension Instance does not match Extension Label") and the payload.
  void LoadFromStream(TStream& stream) override;
  // Writes the introducer, the label and the payload.
  void SaveToStream(TStream& stream) const override;
  // A copy belonging to another frame.
  virtual std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const = 0;

 protected:
  virtual void LoadPayload(TStream& stream) = 0;
  virtual void SavePayload(TStream& stream) const = 0;
  TGIFSubImage* sub_image_;
};

class TGIFExtensionList : public TGIFList<TGIFExtension> {
 public:
  TGIFExtensionList(TGIFImage* image, TGIFSubImage* sub_image)
      : TGIFList(image), sub_image_(sub_image) {}
  // Reads one extension; the stream stands after the introducer. An unknown label raises
  // "Unknown extension type".
  TGIFExtension& LoadExtension(TStream& stream);
  // The first extension of the kind, or nullptr.
  template <class E>
  E* Find() const {
    for (const auto& item : items_)
      if (auto* e = dynamic_cast<E*>(item.get())) return e;
    return nullptr;
  }

 private:
  TGIFSubImage* sub_image_;
};

class TGIFGraphicControlExtension : public TGIFExtension {
 public:
  // Block size 4, packed, delay, index and terminator 0. The first one created for a frame
  // becomes that frame's graphic control extension.
  explicit TGIFGraphicControlExtension(TGIFSubImage* sub_image);
  ~TGIFGraphicControlExtension() override;
  uint8_t ExtensionType() const override { return kGifLabelGraphicControl; }
  std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const override;

  int Disposal() const { return (packed_ >> 2) & 7; }
  void SetDisposal(int value);
  bool Transparent() const { return (packed_ & 1) != 0; }
  // Also sets the frame's transparent flag.
  void SetTransparent(bool value);
  int TransparentColorIndex() const { return transparent_index_; }
  // An index at or beyond the count of a non-empty active map becomes 0 after the warning
  // "Invalid color index".
  void SetTransparentColorIndex(int index);
  // The colour's index in the frame's active map; the colour is appended when absent.
  void SetTransparentColor(TColor color);
  TColor TransparentColor() const;
  // Hundredths of a second.
  int Delay() const { return delay_; }
  void SetDelay(int value) { delay_ = static_cast<uint16_t>(value); }
  uint8_t Packed() const { return packed_; }

 protected:
  void LoadPayload(TStream& stream) override;
  void SavePayload(TStream& stream) const override;

 private:
  uint8_t packed_ = 0;
  uint16_t delay_ = 0;
  uint8_t transparent_index_ = 0;
};

// Text that a frame shows in a character grid; kept as lines.
class TGIFTextExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t ExtensionType() const override { return kGifLabelText; }
  std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const override;

  uint16_t left = 0, top = 0, grid_width = 0, grid_height = 0;
  uint8_t cell_width = 0, cell_height = 0, foreground_index = 0, background_index = 0;
  std::vector<std::string> lines;

 protected:
  void LoadPayload(TStream& stream) override;
  void SavePayload(TStream& stream) const override;
};

class TGIFCommentExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t ExtensionType() const override { return kGifLabelComment; }
  std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const override;

  std::vector<std::string> lines;

 protected:
  void LoadPayload(TStream& stream) override;
  void SavePayload(TStream& stream) const override;
};

// An 11-byte identifier and authentication code, then data of the application's own.
class TGIFApplicationExtension : public TGIFExtension {
 public:
  using TGIFExtension::TGIFExtension;
  uint8_t ExtensionType() const override { return kGifLabelApplication; }
  // Identifier (8 bytes) followed by the authentication code (3 bytes).
  const std::string& Identifier() const { return identifier_; }
  void SetIdentifier(const std::string& identifier);

  // Reads the block size and the identifier of an application extension; the stream stands
  // after the label. Block sizes below 10 raise "Unsupported Application Extension block size".
  static std::string ReadIdentifier(TStream& stream);

 protected:
  void LoadPayload(TStream& stream) override;
  void SavePayload(TStream& stream) const override;
  virtual void LoadData(TStream& stream) = 0;
  virtual void SaveData(TStream& stream) const = 0;
  std::string identifier_ = std::string(11, '\0');
};

// The looping extension ("NETSCAPE2.0" or "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
 public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* sub_image);
  std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const override;
  // 0 = for ever.
  int Loops() const { return loops_; }
  void SetLoops(int value) { loops_ = static_cast<uint16_t>(value); }
  uint32_t BufferSize() const { return buffer_size_; }
  void SetBufferSize(uint32_t value) { buffer_size_ = value; }

 protected:
  void LoadData(TStream& stream) override;
  void SaveData(TStream& stream) const override;

 private:
  uint16_t loops_ = 0;
  uint32_t buffer_size_ = 0;
};

// One raw data sub-block.
struct TGIFBlock {
  std::vector<uint8_t> data;
};

// Any other application extension, kept as its raw sub-blocks.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
 public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  std::unique_ptr<TGIFExtension> CloneFor(TGIFSubImage* sub_image) const override;
  std::vector<TGIFBlock> blocks;

 protected:
  void LoadData(TStream& stream) override;
  void SaveData(TStream& stream) const override;
};

// A frame: image descriptor, local colour map, extensions and one colour index per pixel.
class TGIFSubImage : public TGIFItem {
 public:
  explicit TGIFSubImage(TGIFImage* image);
  ~TGIFSubImage() override;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
  // Moves and resizes the frame. A new size reallocates the pixels (zeroed). The logical screen
  // grows to hold the frame, with warnings when it had a size already. Sizes beyond 65535 or
  // the pixel limit are refused (EImageTooLarge).
  void SetBounds(int left, int top, int width, int height);

  bool Interlaced() const { return (packed_ & 0x40) != 0; }
  void SetInterlaced(bool value);
  uint8_t Packed() const { return packed_; }

  TGIFLocalColorMap& ColorMap() { return color_map_; }
  const TGIFLocalColorMap& ColorMap() const { return color_map_; }
  // The local map if it has entries, else the global map if it has entries, else the local map.
  const TGIFColorMap& ActiveColorMap() const;
  TGIFColorMap& ActiveColorMap();
  TGIFExtensionList& Extensions() { return extensions_; }
  const TGIFExtensionList& Extensions() const { return extensions_; }

  // False for a frame read from extensions that no image descriptor followed.
  bool HasImage() const { return has_image_; }
  // Colour index at (x, y); outside the frame "Invalid pixel coordinates".
  uint8_t Pixels(int x, int y) const;
  // The indices of row y (top row 0).
  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;
  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data();

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value) { transparent_ = value; }
  // The first graphic control extension created for this frame, or nullptr.
  TGIFGraphicControlExtension* GraphicControlExtension() const { return graphic_control_; }

  // Bits per pixel of the active colour map.
  int BitsPerPixel() const { return ActiveColorMap().BitsPerPixel(); }
  // 89a when the local map is sorted or any extension needs it.
  TGIFVersion Version() const override;

  // Takes a Raster image as this frame (size, colour map, indices, transparency mask).
  void Assign(const TBitmap& source);
  // Copies another frame, its colours (as a local map when it used its image's global map)
  // and extensions.
  void Assign(const TGIFSubImage& source);
  // Renders the frame as an 8-bit Raster image of its own size.
  void RenderTo(TBitmap& dest) const;

  // Extensions, then (unless the next byte is the trailer or 0) the descriptor, the local
  // table and the image data.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 private:
  friend class TGIFGraphicControlExtension;
  void Touch();
  void ReadImage(TStream& stream);
  void WriteImage(TStream& stream) const;
  void ApplyMask(const std::vector<uint8_t>& mask);

  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  mutable uint8_t packed_ = 0;  // recomputed by every save, the interlace bit kept
  bool has_image_ = true;
  bool transparent_ = false;
  TGIFLocalColorMap color_map_;
  TGIFExtensionList extensions_;
  std::vector<uint8_t> data_;
  TGIFGraphicControlExtension* graphic_control_ = nullptr;
};

class TGIFImageList : public TGIFList<TGIFSubImage> {
 public:
  using TGIFList::TGIFList;
};

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  std::unique_ptr<TGraphic> NewOfSameKind() const override { return std::make_unique<TGIFImage>(); }
  // A GIF image is copied whole; any other graphic becomes the only frame.
  void Assign(const TGraphic& source) override;
  // The rendering of frame 0 (an empty Raster image when there are no frames).
  void ToBitmap(TBitmap& dest) const override;
  const char* ClassName() const override { return "TGIFImage"; }

  bool Empty() const override { return images_.Count() == 0; }
  int Width() const override { return header_.Width(); }
  int Height() const override { return header_.Height(); }

  // A failed load puts the stream back where it began and leaves the image empty.
  void LoadFromStream(TStream& stream) override;
  // "Unsupported GIF version" for an image without frames.
  void SaveToStream(TStream& stream) const override;
  void Clear();

  TGIFHeader& Header() { return header_; }
  const TGIFHeader& Header() const { return header_; }
  TGIFGlobalColorMap& GlobalColorMap() { return header_.ColorMap(); }
  const TGIFGlobalColorMap& GlobalColorMap() const { return header_.ColorMap(); }
  TGIFImageList& Images() { return images_; }
  const TGIFImageList& Images() const { return images_; }

  // Adds a frame and returns its index: from a Raster image or any other graphic (drawn onto a
  // Raster image first), from a picture's graphic, or a copy of another image's frame.
  // Anything that cannot be drawn raises "Object type not supported for operation".
  int Add(const TGraphic& source);
  int Add(const TPicture& source);
  int Add(const TGIFSubImage& source);

  // The highest version over the frames; gvUnknown without frames.
  TGIFVersion Version() const;
  // Largest bits per pixel and colour resolution over the global map and all frames.
  int BitsPerPixel() const;
  int ColorResolution() const;
  // The cached rendering of frame 0; nullptr without frames.
  const TBitmap* Bitmap() const;

  // Per-image settings for frames deeper than 8 bits and for compression.
  PaletteSource ColorReduction() const { return color_reduction_; }
  void SetColorReduction(PaletteSource value) { color_reduction_ = value; }
  int ReductionBits() const { return reduction_bits_; }
  DiffusionMethod DitherMode() const { return dither_mode_; }
  TGIFCompression Compression() const { return compression_; }
  void SetCompression(TGIFCompression value) { compression_ = value; }
  // The most pixels the frames of one image may hold together (default: the pixel limit in force).
  int64_t PixelLimit() const { return pixel_limit_; }
  void SetPixelLimit(int64_t value) { pixel_limit_ = value; }

  // Warnings go here; without a callback they are ignored.
  TGIFWarningEvent OnWarning;
  void Warning(TGIFSeverity severity, const std::string& message) const;
  void ReportProgress(TProgressStage stage, int percent, const std::string& message) const;

  // Grows the logical screen to hold a frame (with the warnings of a too small screen).
  void FitScreenTo(const TGIFSubImage& frame);
  // Books a frame's change of pixel count against the pixel limit; false (nothing booked)
  // when the frames would pass it.
  bool ReservePixels(int64_t old_pixels, int64_t new_pixels);
  void DropBitmapCache() { bitmap_.reset(); }

 private:
  TGIFHeader header_;
  TGIFImageList images_;
  mutable std::unique_ptr<TBitmap> bitmap_;
  PaletteSource color_reduction_ = PaletteSource::WebCube216;
  int reduction_bits_ = 8;
  DiffusionMethod dither_mode_ = DiffusionMethod::NearestOnly;
  TGIFCompression compression_ = TGIFCompression::gcLZW;
  int64_t pixel_limit_ = pamirune::PixelLimit();
  int64_t pixels_held_ = 0;  // pixels of all frames together
};

// Registers the kind for the extension "gif" under the description "GIF Image".
void RegisterGifGraphic();

}  // namespace pamirune
