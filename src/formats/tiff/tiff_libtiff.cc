#include "formats/tiff/tiff_libtiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "formats/tiff/tiff.h"
#include "raster/errors.h"

namespace pamirune::tiff {

namespace {

// One read: the file in memory and what libtiff said about it. libtiff is handed this as the
// client data of its handle and of its message handlers, so two reads never share anything.
struct Session {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  uint64_t position = 0;
  std::string first_error;
  std::vector<std::string> warnings;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
  auto* s = static_cast<Session*>(handle);
  if (count <= 0 || s->position >= s->size) return 0;
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(count), s->size - s->position);
  std::memcpy(buffer, s->data + s->position, static_cast<size_t>(n));
  s->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }  // opened for reading only

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* s = static_cast<Session*>(handle);
  uint64_t base = whence == SEEK_CUR ? s->position : whence == SEEK_END ? s->size : 0;
  // Offsets arrive unsigned; a backward move wraps around and must come back below the base.
  const uint64_t target = base + offset;
  if (whence != SEEK_SET && static_cast<int64_t>(offset) < 0 && target > base)
    return static_cast<toff_t>(-1);
  s->position = target;  // past the end is allowed; reads there give nothing
  return s->position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<Session*>(handle)->size; }
// libtiff maps files read-only (files opened for reading are mapped without write access), so
// handing it the buffer itself is safe; it checks every offset against the size given.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  auto* s = static_cast<Session*>(handle);
  *base = const_cast<uint8_t*>(s->data);
  *size = s->size;
  return 1;
}
void UnmapProc(thandle_t, void*, toff_t) {}

std::string Format(const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  std::string message = text;
  if (module && *module) message = std::string(module) + ": " + message;
  return message;
}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* s = static_cast<Session*>(user);
  if (s->first_error.empty()) s->first_error = Format(module, format, args);
  return 1;  // handled: nothing for the process-wide handlers
}

int OnWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* s = static_cast<Session*>(user);
  std::string message = Format(module, format, args);
  // Tags this program does not know are ignored, as its own reader always has: no news.
  if (message.find("Unknown field with tag") != std::string::npos) return 1;
  if (std::find(s->warnings.begin(), s->warnings.end(), message) == s->warnings.end())
    s->warnings.push_back(std::move(message));
  return 1;
}

// Messages libtiff sends without a handle (there should be none while reading) are dropped
// rather than printed.
void SilenceProcessHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

struct Closer {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

std::string Detail(const Session& s, const char* fallback) {
  return std::string(kTiffReadFailed) + " (" + (s.first_error.empty() ? fallback : s.first_error) +
         ")";
}

}  // namespace

void ReadWithLibTiff(const std::vector<uint8_t>& file, TBitmap& image, int& orientation,
                     const std::function<void(const std::string&, const std::string&)>& warn) {
  SilenceProcessHandlers();
  Session session;
  session.data = file.data();
  session.size = file.size();
  std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) throw EInvalidGraphic(kTiffReadFailed);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &session);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &session);
  // No single buffer of libtiff's (a strip, a tile) may be larger than a whole image at the
  // pixel limit could need, 64-bit samples included; a tile may outgrow a small image.
  TIFFOpenOptionsSetMaxSingleMemAlloc(
      options.get(), static_cast<tmsize_t>(std::max<int64_t>(PixelLimit() * 8, int64_t{64} << 20)));
  std::unique_ptr<TIFF, Closer> tif(TIFFClientOpenExt("TIFF", "r", &session, ReadProc, WriteProc,
                                                      SeekProc, CloseProc, SizeProc, MapProc,
                                                      UnmapProc, options.get()));
  if (!tif) throw EInvalidGraphic(Detail(session, "not a TIFF file"));

  uint32_t width = 0, height = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
    throw EInvalidGraphic(Detail(session, "no image size"));
  CheckedImageBytes(static_cast<int>(width), static_cast<int>(height), 32);

  uint16_t stored_orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &stored_orientation);
  orientation = stored_orientation >= 1 && stored_orientation <= 8 ? stored_orientation : 1;

  // Unassociated alpha would be multiplied into the colours; it is dropped anyway, so libtiff
  // is told the colours are final as they stand.
  uint16_t extra_count = 0;
  uint16_t* extra = nullptr;
  if (TIFFGetField(tif.get(), TIFFTAG_EXTRASAMPLES, &extra_count, &extra) && extra_count > 0) {
    std::vector<uint16_t> kinds(extra, extra + extra_count);
    for (uint16_t& k : kinds)
      if (k == EXTRASAMPLE_UNASSALPHA) k = EXTRASAMPLE_ASSOCALPHA;
    TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, extra_count, kinds.data());
  }

  // A compression libtiff has no decoder for gives no picture at all, not a black one.
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
  if (!TIFFIsCODECConfigured(compression))
    throw EInvalidGraphic(std::string(kTiffReadFailed) + " (compression " +
                          std::to_string(compression) + ")");

  char message[1024] = "";
  if (!TIFFRGBAImageOK(tif.get(), message))
    throw EInvalidGraphic(std::string(kTiffReadFailed) + " (" + message + ")");
  TIFFRGBAImage reader{};
  if (!TIFFRGBAImageBegin(&reader, tif.get(), 0, message))
    throw EInvalidGraphic(std::string(kTiffReadFailed) + " (" + message + ")");
  // Asking for the file's own orientation turns nothing: rows come as stored, top row first.
  reader.req_orientation = static_cast<uint16_t>(orientation);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFF000000u);
  const int ok = TIFFRGBAImageGet(&reader, pixels.data(), width, height);
  TIFFRGBAImageEnd(&reader);

  TBitmap out(static_cast<int>(width), static_cast<int>(height), TPixelFormat::pf24bit);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* in = pixels.data() + static_cast<size_t>(y) * width;
    uint8_t* row = out.ScanLine(static_cast<int>(y));
    for (uint32_t x = 0; x < width; ++x, row += 3) {
      row[0] = static_cast<uint8_t>(TIFFGetB(in[x]));
      row[1] = static_cast<uint8_t>(TIFFGetG(in[x]));
      row[2] = static_cast<uint8_t>(TIFFGetR(in[x]));
    }
  }
  image = std::move(out);
  for (const std::string& w : session.warnings) warn(w, kTiffLoadingCaption);
  // A damaged file: what could be read stays, as with the program's own reader.
  if (!ok || !session.first_error.empty())
    warn(Detail(session, "damaged image data"), kTiffErrorCaption);
}

}  // namespace pamirune::tiff
