// TGraphic: the interface every image format implements, and the small shared types
// (colour values, rectangles, progress notifications).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "raster/stream.h"

namespace pamirune {

// Colour value: red in the lowest byte, then green, then blue. With bit 24 set the lowest
// byte is a palette index instead.
using TColor = uint32_t;
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }
constexpr TColor kClBlack = 0x000000;
constexpr TColor kClWhite = 0xFFFFFF;
constexpr TColor kPaletteIndexFlag = 0x01000000;

// A palette or colour-table entry in the layout of a BMP colour table.
struct TRGBQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};
inline TRGBQuad QuadFromColor(TColor c) { return {GetBValue(c), GetGValue(c), GetRValue(c), 0}; }
inline TColor ColorFromQuad(const TRGBQuad& q) { return RGB(q.red, q.green, q.blue); }

struct TRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

enum class TProgressStage { psStarting, psRunning, psEnding };
// stage, percent done (0..100), message.
using TProgressEvent = std::function<void(TProgressStage, int, const std::string&)>;
using TNotifyEvent = std::function<void()>;

// What a reader says about a file it could read only in part. The load still succeeds with
// what was read; the caller decides what the user hears (and never disposes of such a file).
enum class TLoadWarning {
  lwDataRanOut,  // the image data ended before the picture did: the rest stays blank
  lwNotDecoded,  // a part of the picture the reader cannot decode stays blank
};
// warning, the reader's own detail text (may be empty).
using TLoadWarningEvent = std::function<void(TLoadWarning, const std::string&)>;

class TBitmap;

class TGraphic {
 public:
  TGraphic() = default;
  // Copies take the image, never the notification handlers: a copy must not call back into
  // the container or window that hooked the original.
  TGraphic(const TGraphic& other) : transparent_(other.transparent_) {}
  TGraphic& operator=(const TGraphic& other) {
    transparent_ = other.transparent_;
    return *this;
  }
  virtual ~TGraphic() = default;

  // Virtual constructor: a new, empty graphic of the same kind.
  virtual std::unique_ptr<TGraphic> NewOfSameKind() const = 0;
  // A full copy of this graphic.
  virtual std::unique_ptr<TGraphic> Clone() const;

  // Assign from another graphic. The default asks source.AssignTo(*this) and otherwise raises
  // EInvalidGraphicOperation ("Cannot assign a X to a Y").
  virtual void Assign(const TGraphic& source);
  // Assign this graphic to dest when this kind knows how; returns false otherwise. Every kind
  // can at least assign itself to a TBitmap.
  virtual bool AssignTo(TGraphic& dest) const;
  // Render into a Raster image (every kind implements this).
  virtual void ToBitmap(TBitmap& dest) const = 0;
  // dest.Assign(*this) for a graphic that is not needed afterwards: a kind that holds its
  // pixels as a Raster image may hand them over instead of copying them, and is then empty.
  virtual void MoveToBitmap(TBitmap& dest);

  virtual bool Empty() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int width);
  virtual void SetHeight(int height);
  // The orientation (1 to 8, raster/orientation.h) in which the file says the stored picture is
  // meant to be shown; 1: as stored. Readers only report it; the conversion applies it.
  virtual int Orientation() const { return 1; }
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool value) { transparent_ = value; }

  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) const = 0;
  // Open the file and call the stream operations. Saving goes through a temporary file that is
  // renamed over the target, so a failure never leaves half a file.
  virtual void LoadFromFile(const std::string& file_name);
  virtual void SaveToFile(const std::string& file_name) const;

  // Draw this graphic stretched into rect of the target (plain nearest-neighbour stretch).
  virtual void Draw(TBitmap& target, const TRect& rect) const;

  virtual const char* ClassName() const = 0;

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;
  // Readers report here what they could not read; also kinds that decode on first use (the
  // JPEG image decodes when it is first drawn or assigned).
  TLoadWarningEvent OnLoadWarning;

 protected:
  void LoadWarning(TLoadWarning warning, const std::string& detail = {}) const {
    if (OnLoadWarning) OnLoadWarning(warning, detail);
  }
  void Changed() {
    if (OnChange) OnChange();
  }
  void Progress(TProgressStage stage, int percent, const std::string& message) {
    if (OnProgress) OnProgress(stage, percent, message);
  }
  bool transparent_ = false;
};

}  // namespace pamirune
