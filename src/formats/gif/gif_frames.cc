#include "formats/gif/gif_frames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace pamirune {

namespace {

constexpr int kDefaultDelay = 30;

// The frame's graphic control extension: the one a transparent source brought along, or a
// new one (a frame holds at most one).
TGIFGraphicControlExtension& ControlOf(TGIFSubImage& frame) {
  if (TGIFGraphicControlExtension* existing = frame.GraphicControlExtension()) return *existing;
  auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
  TGIFGraphicControlExtension& ref = *control;
  frame.Extensions().Add(std::move(control));
  return ref;
}

TGIFSubImage& AddFrame(TGIFImage& gif, const TBitmap& bitmap, int delay,
                       TGIFGraphicControlExtension*& control) {
  const int index = gif.Add(bitmap);
  TGIFSubImage& frame = gif.Images()[index];
  if (index == 0) {
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&frame);
    loop->SetLoops(0);
    frame.Extensions().Insert(0, std::move(loop));  // ahead of any other extension
  }
  control = &ControlOf(frame);
  control->SetDisposal(0);
  control->SetDelay(delay);
  return frame;
}

// The index at the picked point, scaled to the frame when the picker showed another size.
int IndexAt(const TGIFSubImage& frame, const GifTransparentPick& pick) {
  int x = 0, y = 0;
  if (pick.per_image) {
    x = pick.x;
    y = pick.y;
    if (pick.source_width > 0 && pick.source_width != frame.Width())
      x = static_cast<int>(static_cast<int64_t>(x) * frame.Width() / pick.source_width);
    if (pick.source_height > 0 && pick.source_height != frame.Height())
      y = static_cast<int>(static_cast<int64_t>(y) * frame.Height() / pick.source_height);
  }
  return frame.Pixels(x, y);  // "Invalid pixel coordinates" outside the frame
}

bool HasPixels(const TGIFSubImage& frame) { return frame.Width() > 0 && frame.Height() > 0; }

}  // namespace

int GifDelayFromText(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin == end) return kDefaultDelay;
  const std::string digits = text.substr(begin, end - begin);
  errno = 0;
  char* stop = nullptr;
  const long long value = std::strtoll(digits.c_str(), &stop, 10);
  if (stop != digits.c_str() + digits.size() || errno == ERANGE)
    throw Exception("'" + text + "' is not a valid integer value");
  // The field is 16 bits wide; larger values are held at its limits instead of wrapping.
  return static_cast<int>(std::clamp<long long>(value, 0, 65535));
}

int AddGifFrame(TGIFImage& gif, const TBitmap& dib_as_bitmap, bool transparent,
                const std::string& delay_text, const GifTransparentPick& pick) {
  const int delay = GifDelayFromText(delay_text);
  TGIFGraphicControlExtension* control = nullptr;
  TGIFSubImage& frame = AddFrame(gif, dib_as_bitmap, delay, control);
  // An empty image has no pixel to take the colour from; it stays opaque.
  if (transparent && HasPixels(frame)) {
    const int index = IndexAt(frame, pick);
    control->SetTransparent(true);
    control->SetTransparentColorIndex(index);
  }
  return gif.Images().IndexOf(&frame);
}

int AddClipGifFrame(TGIFImage& gif, const TBitmap& dib_as_bitmap, bool transparent,
                    const GifTransparentPick& pick) {
  TGIFGraphicControlExtension* control = nullptr;
  TGIFSubImage& frame = AddFrame(gif, dib_as_bitmap, kDefaultDelay, control);
  if (!transparent) return gif.Images().IndexOf(&frame);
  if (pick.per_image) {
    control->SetTransparent(true);
    const TGIFColorMap& map = frame.ActiveColorMap();
    if (map.IndexOf(pick.colour) < 0 && map.Count() >= TGIFColorMap::kMaxColors)
      control->SetTransparentColorIndex(map.Nearest(pick.colour));  // no room to append it
    else
      control->SetTransparentColor(pick.colour);
  } else if (HasPixels(frame)) {
    control->SetTransparent(true);
    control->SetTransparentColorIndex(frame.Pixels(0, 0));
  }
  return gif.Images().IndexOf(&frame);
}

}  // namespace pamirune
