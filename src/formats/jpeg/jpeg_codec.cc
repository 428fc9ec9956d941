#include "formats/jpeg/jpeg_codec.h"

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "formats/jpeg/jpeg_image.h"
#include "raster/byte_order.h"
#include "raster/palettes.h"

namespace pamirune::jpeg {

namespace {

// libjpeg is C: a fatal error cannot be thrown through it. Its error_exit jumps back to the
// trap (Trapped below) of the step that called into the library, and the step's caller turns
// the error into an exception once the library's frames are gone. Callbacks of ours that are
// called from inside the library (progress, destination) catch their exceptions, park them
// here and leave the same way.
struct ErrorManager {
  jpeg_error_mgr pub;  // first: libjpeg sees only this part
  std::jmp_buf jump;
  int code = 0;
  std::exception_ptr pending;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  err->code = cinfo->err->msg_code;
  std::longjmp(err->jump, 1);
}

// Warnings and trace messages are dropped.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}
void OutputMessage(j_common_ptr) {}
void ResetErrorManager(j_common_ptr cinfo) {
  cinfo->err->num_warnings = 0;
  cinfo->err->msg_code = 0;
}

// Runs one step under the error trap; false when libjpeg (or a parked callback exception)
// ended it. The jump skips the step's frame, so a step keeps only trivially destructible
// locals: pointers and numbers.
template <typename Step>
bool Trapped(ErrorManager& err, const Step& step) {
  if (setjmp(err.jump) != 0) return false;
  step();
  return true;
}

// At most every 500 ms, skipping the first call; a percentage is reported only when it
// changed.
struct ProgressMonitor {
  jpeg_progress_mgr pub;  // first
  const TProgressEvent* handler = nullptr;
  ErrorManager* err = nullptr;
  bool started = false;
  std::chrono::steady_clock::time_point last{};
  int percent = -1;
};

void ProgressHook(j_common_ptr cinfo) {
  auto* m = reinterpret_cast<ProgressMonitor*>(cinfo->progress);
  const auto now = std::chrono::steady_clock::now();
  if (!m->started) {
    m->started = true;
    m->last = now;
    return;
  }
  if (now - m->last < std::chrono::milliseconds(500)) return;
  m->last = now;
  const jpeg_progress_mgr& p = m->pub;
  const double limit = p.pass_limit > 0 ? static_cast<double>(p.pass_limit) : 1.0;
  const int total = p.total_passes > 0 ? p.total_passes : 1;
  const int percent = static_cast<int>(
      (static_cast<double>(p.pass_counter) / limit + p.completed_passes) * 100 / total);
  if (percent == m->percent) return;
  m->percent = percent;
  bool failed = false;
  try {
    (*m->handler)(TProgressStage::psRunning, percent, std::string());
  } catch (...) {
    m->err->pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(m->err->jump, 1);
}

// The whole encoded file is the source's one buffer; reading past its end gives an end
// marker (with the warning libjpeg expects), so a cut file decodes as far as it goes.
struct MemorySource {
  jpeg_source_mgr pub;   // first
  bool ran_out = false;  // the end marker had to be made up
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
  reinterpret_cast<MemorySource*>(cinfo->src)->ran_out = true;
  WARNMS(cinfo, JWRN_JPEG_EOF);
  cinfo->src->next_input_byte = kEndOfImage;
  cinfo->src->bytes_in_buffer = 2;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  while (count > static_cast<long>(cinfo->src->bytes_in_buffer)) {
    count -= static_cast<long>(cinfo->src->bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  cinfo->src->next_input_byte += count;
  cinfo->src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// The destination grows a vector; its size is trimmed to the bytes written at the end.
struct VectorDestination {
  jpeg_destination_mgr pub;  // first
  std::vector<uint8_t>* out = nullptr;
};
constexpr size_t kDestinationChunk = 64 * 1024;

void Grow(j_compress_ptr cinfo, size_t used, size_t size) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  bool failed = false;
  try {
    d->out->resize(size);
  } catch (...) {
    failed = true;
  }
  if (failed) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  d->pub.next_output_byte = d->out->data() + used;
  d->pub.free_in_buffer = size - used;
}

void InitDestination(j_compress_ptr cinfo) { Grow(cinfo, 0, kDestinationChunk); }

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const size_t used = d->out->size();  // the whole buffer is full
  Grow(cinfo, used, used * 2);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
  d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

std::string ErrorText(int code) {
  char text[32];
  std::snprintf(text, sizeof text, "JPEG ｴﾗｰ #%d", code);
  return text;
}

// What a compression and a decompression share: the error manager and progress monitor.
class Session {
 public:
  explicit Session(const TProgressEvent* progress) : progress_(progress) {
    jpeg_std_error(&err_.pub);
    err_.pub.error_exit = ErrorExit;
    err_.pub.emit_message = EmitMessage;
    err_.pub.output_message = OutputMessage;
    err_.pub.reset_error_mgr = ResetErrorManager;
    monitor_.pub.progress_monitor = ProgressHook;
    monitor_.handler = progress;
    monitor_.err = &err_;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs a step of library calls; a library error is raised here as EJPEG.
  template <typename Step>
  void Run(const Step& step) {
    if (Trapped(err_, step)) return;
    if (err_.pending) std::rethrow_exception(err_.pending);
    throw EJPEG(ErrorText(err_.code));
  }

  void Report(TProgressStage stage, int percent) {
    if (progress_ && *progress_) (*progress_)(stage, percent, std::string());
  }

 protected:
  jpeg_progress_mgr* Monitor() { return progress_ && *progress_ ? &monitor_.pub : nullptr; }
  ErrorManager err_;

 private:
  const TProgressEvent* progress_;
  ProgressMonitor monitor_;
};

class Decompression : public Session {
 public:
  explicit Decompression(const TProgressEvent* progress) : Session(progress) {
    cinfo_.err = &err_.pub;
  }
  ~Decompression() { jpeg_destroy_decompress(&cinfo_); }

  j_decompress_ptr Open(const uint8_t* data, size_t size) {
    j_decompress_ptr c = &cinfo_;
    Run([c] { jpeg_create_decompress(c); });
    source_.pub.init_source = InitSource;
    source_.pub.fill_input_buffer = FillInputBuffer;
    source_.pub.skip_input_data = SkipInputData;
    source_.pub.resync_to_restart = jpeg_resync_to_restart;
    source_.pub.term_source = TermSource;
    source_.pub.next_input_byte = data;
    source_.pub.bytes_in_buffer = size;
    cinfo_.src = &source_.pub;
    cinfo_.progress = Monitor();
    return c;
  }
  bool RanOut() const { return source_.ran_out; }

 private:
  jpeg_decompress_struct cinfo_{};
  MemorySource source_{};
};

class Compression : public Session {
 public:
  explicit Compression(const TProgressEvent* progress) : Session(progress) {
    cinfo_.err = &err_.pub;
  }
  ~Compression() { jpeg_destroy_compress(&cinfo_); }

  j_compress_ptr Open(std::vector<uint8_t>& out) {
    j_compress_ptr c = &cinfo_;
    Run([c] { jpeg_create_compress(c); });
    destination_.pub.init_destination = InitDestination;
    destination_.pub.empty_output_buffer = EmptyOutputBuffer;
    destination_.pub.term_destination = TermDestination;
    destination_.out = &out;
    cinfo_.dest = &destination_.pub;
    cinfo_.progress = Monitor();
    return c;
  }

 private:
  jpeg_compress_struct cinfo_{};
  VectorDestination destination_{};
};

// The raster in blue-green-red rows, top row first, for formats other than 24 bits.
std::vector<uint8_t> BgrRows(const TBitmap& raster) {
  const int w = raster.Width(), h = raster.Height();
  std::vector<uint8_t> out(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  const TPixelFormat format = raster.PixelFormat();
  const int bits = format == TPixelFormat::pf1bit   ? 1
                   : format == TPixelFormat::pf4bit ? 4
                   : format == TPixelFormat::pf8bit ? 8
                                                    : 0;
  TRGBQuad lut[256] = {};  // indices past the palette read black
  const auto& palette = raster.Palette();
  std::copy_n(palette.begin(), std::min<size_t>(palette.size(), 256), lut);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = raster.ScanLine(y);
    uint8_t* to = out.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * 3;
    for (int x = 0; x < w; ++x, to += 3) {
      if (bits != 0) {
        const int bit = x * bits;
        const int index = (row[bit >> 3] >> (8 - bits - (bit & 7))) & ((1 << bits) - 1);
        to[0] = lut[index].blue;
        to[1] = lut[index].green;
        to[2] = lut[index].red;
      } else if (format == TPixelFormat::pf32bit && !raster.HasMasks()) {
        to[0] = row[4 * x];
        to[1] = row[4 * x + 1];
        to[2] = row[4 * x + 2];
      } else {
        const TColor c = raster.Pixel(x, y);
        to[0] = GetBValue(c);
        to[1] = GetGValue(c);
        to[2] = GetRValue(c);
      }
    }
  }
  return out;
}

// CMYK as the library delivers it to RGB in the raster's blue-green-red order. Adobe files
// store every ink inverted (0 = full ink); others store the ink itself.
void CmykRowToBgr(const uint8_t* cmyk, int width, bool inverted, uint8_t* bgr) {
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const int k = inverted ? cmyk[3] : 255 - cmyk[3];  // what the black ink leaves of the light
    for (int i = 0; i < 3; ++i) {
      const int ink = inverted ? 255 - cmyk[i] : cmyk[i];
      const int t = ink * k + 128;
      bgr[2 - i] = static_cast<uint8_t>(k - (((t >> 8) + t) >> 8));  // k * (255 - ink) / 255
    }
  }
}

}  // namespace

int ExifOrientation(const uint8_t* data, size_t size) {
  static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (size < 6 + 8 || std::memcmp(data, kExif, 6) != 0) return 1;
  const uint8_t* tiff = data + 6;
  const size_t n = size - 6;
  bool little;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    little = true;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    little = false;
  else
    return 1;
  auto u16 = [&](size_t at) -> uint32_t {
    return little ? GetLe16(tiff + at) : GetBe16(tiff + at);
  };
  auto u32 = [&](size_t at) -> uint32_t {
    return little ? GetLe32(tiff + at) : GetBe32(tiff + at);
  };
  if (u16(2) != 42) return 1;
  const uint32_t ifd = u32(4);
  if (ifd > n || n - ifd < 2) return 1;
  const uint32_t count = u16(ifd);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = ifd + 2 + size_t{12} * i;
    if (entry + 12 > n) return 1;
    if (u16(entry) != 0x0112) continue;
    // SHORT, one value, held in the entry itself.
    if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 1;
    const uint32_t value = u16(entry + 8);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

HeaderInfo ReadHeader(const uint8_t* data, size_t size) {
  Decompression session(nullptr);
  j_decompress_ptr c = session.Open(data, size);
  bool progressive = false;
  session.Run([c, &progressive] {
    jpeg_save_markers(c, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(c, TRUE);
    progressive = jpeg_has_multiple_scans(c);
  });
  HeaderInfo info;
  for (jpeg_saved_marker_ptr m = c->marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1) continue;
    const int orientation = ExifOrientation(m->data, m->data_length);
    if (orientation != 1 || (m->data_length >= 4 && std::memcmp(m->data, "Exif", 4) == 0)) {
      info.orientation = orientation;
      break;  // the first Exif segment speaks
    }
  }
  info.width = static_cast<int>(c->image_width);
  info.height = static_cast<int>(c->image_height);
  info.grayscale = c->jpeg_color_space == JCS_GRAYSCALE;
  info.progressive = progressive;
  CheckedImageBytes(info.width, info.height, 24);
  return info;
}

std::vector<uint8_t> Compress(const TBitmap& raster, const CompressOptions& options,
                              const TProgressEvent& progress) {
  const int w = raster.Width(), h = raster.Height();
  if (w <= 0 || h <= 0) return {};
  std::vector<uint8_t> converted;
  std::vector<JSAMPROW> rows(static_cast<size_t>(h));
  const TPixelFormat format = raster.PixelFormat();
  if (format == TPixelFormat::pf24bit || format == TPixelFormat::pfDevice) {
    for (int y = 0; y < h; ++y)
      rows[static_cast<size_t>(y)] = const_cast<JSAMPROW>(raster.ScanLine(y));
  } else {
    converted = BgrRows(raster);
    for (int y = 0; y < h; ++y)
      rows[static_cast<size_t>(y)] = converted.data() + static_cast<size_t>(y) * w * 3;
  }

  std::vector<uint8_t> out;
  Compression session(&progress);
  j_compress_ptr c = session.Open(out);
  c->image_width = static_cast<JDIMENSION>(w);
  c->image_height = static_cast<JDIMENSION>(h);
  c->input_components = 3;
  c->in_color_space = JCS_EXT_BGR;  // the raster's own byte order
  const int quality = options.quality;
  const bool grayscale = options.grayscale, progressive = options.progressive;
  session.Run([c, quality, grayscale, progressive] {
    jpeg_set_defaults(c);
    jpeg_set_quality(c, quality, TRUE);
    if (grayscale) jpeg_set_colorspace(c, JCS_GRAYSCALE);
    if (progressive) jpeg_simple_progression(c);
  });
  session.Report(TProgressStage::psStarting, 0);
  JSAMPARRAY row_table = rows.data();
  session.Run([c, row_table] {
    jpeg_start_compress(c, TRUE);
    while (c->next_scanline < c->image_height)
      jpeg_write_scanlines(c, row_table + c->next_scanline, 1);
    jpeg_finish_compress(c);
  });
  session.Report(TProgressStage::psEnding, 100);
  return out;
}

namespace {

// Four-component files: the library turns YCCK into CMYK, the inks become RGB here. Always a
// full-colour raster, decoded in one pass.
bool DecompressCmyk(Decompression& session, j_decompress_ptr c, const DecompressOptions& options,
                    TBitmap& out) {
  c->scale_num = 1;
  c->scale_denom = 1u << std::clamp(options.scale, 0, 3);
  c->do_block_smoothing = options.smoothing ? TRUE : FALSE;
  c->out_color_space = JCS_CMYK;
  if (options.best_speed) c->dct_method = JDCT_IFAST;
  session.Run([c] { jpeg_calc_output_dimensions(c); });
  const int width = static_cast<int>(c->output_width), height = static_cast<int>(c->output_height);
  CheckedImageBytes(width, height, 32);
  session.Report(TProgressStage::psStarting, 0);
  session.Run([c] { jpeg_start_decompress(c); });
  std::vector<uint8_t> inks(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  std::vector<JSAMPROW> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] = inks.data() + static_cast<size_t>(y) * width * 4;
  JSAMPARRAY row_table = rows.data();
  session.Run([c, row_table] {
    while (c->output_scanline < c->output_height)
      jpeg_read_scanlines(c, row_table + c->output_scanline, 1);
  });
  const bool complete = !session.RanOut();
  session.Run([c] { jpeg_finish_decompress(c); });
  TBitmap image(width, height, TPixelFormat::pf24bit);
  const bool inverted = c->saw_Adobe_marker;
  for (int y = 0; y < height; ++y)
    CmykRowToBgr(rows[static_cast<size_t>(y)], width, inverted, image.ScanLine(y));
  out = std::move(image);
  session.Report(TProgressStage::psEnding, 100);
  return complete;
}

}  // namespace

namespace {

// How the picture is decoded: the settings of the last pass, kept while the scans of a
// progressive file are shown quickly one by one.
struct OutputPlan {
  bool grey = false;
  bool quantize = false;
  bool buffered = false;
  J_DCT_METHOD final_dct = JDCT_ISLOW;
  boolean final_two_pass = FALSE;
  J_DITHER_MODE final_dither = JDITHER_FS;
};

// Sets the output the options ask for: the scale, smoothing, greyscale or 236 quantized
// colours or blue-green-red straight into the raster's rows, and the fast settings.
OutputPlan PlanOutput(j_decompress_ptr c, const DecompressOptions& options, bool multiple_scans) {
  c->scale_num = 1;
  c->scale_denom = 1u << std::clamp(options.scale, 0, 3);
  c->do_block_smoothing = options.smoothing ? TRUE : FALSE;
  if (options.grayscale) c->out_color_space = JCS_GRAYSCALE;
  OutputPlan plan;
  // Greyscale output keeps its 256 levels as they are (with a grey palette); colours are
  // quantized to 236 only for 8-bit output.
  plan.grey = c->out_color_space == JCS_GRAYSCALE;
  plan.quantize = options.eight_bit && !plan.grey;
  if (plan.quantize) {
    c->out_color_space = JCS_RGB;
    c->quantize_colors = TRUE;
    c->desired_number_of_colors = 236;
  } else if (!plan.grey) {
    c->out_color_space = JCS_EXT_BGR;  // straight into the raster's rows
  }
  if (options.best_speed) {
    c->dct_method = JDCT_IFAST;
    c->two_pass_quantize = FALSE;
    c->dither_mode = JDITHER_ORDERED;
  }
  plan.final_dct = c->dct_method;
  plan.final_two_pass = c->two_pass_quantize;
  plan.final_dither = c->dither_mode;
  plan.buffered = options.progressive_display && multiple_scans;
  if (plan.buffered) {
    // Every scan is shown as it arrives, quickly; the last pass uses the settings kept above.
    c->buffered_image = TRUE;
    c->dct_method = JDCT_IFAST;
    if (plan.quantize) {
      c->enable_1pass_quant = TRUE;
      c->enable_2pass_quant = plan.final_two_pass;
      c->two_pass_quantize = FALSE;
      c->dither_mode = JDITHER_ORDERED;
    }
  }
  return plan;
}

// The quantizer's colour map as the image's palette.
void TakeColormap(j_decompress_ptr c, TBitmap& image) {
  std::vector<TRGBQuad> palette(static_cast<size_t>(c->actual_number_of_colors));
  for (size_t i = 0; i < palette.size(); ++i)
    palette[i] = {c->colormap[2][i], c->colormap[1][i], c->colormap[0][i], 0};
  image.SetPalette(std::move(palette));
}

void ReadRows(j_decompress_ptr c, JSAMPARRAY row_table) {
  while (c->output_scanline < c->output_height)
    jpeg_read_scanlines(c, row_table + c->output_scanline, 1);
}

// A progressive file shown scan by scan: out holds each scan's picture in turn, and scan_done
// is called after each but the last, which is decoded with the final settings.
void ReadScans(Decompression& session, j_decompress_ptr c, const OutputPlan& plan,
               JSAMPARRAY row_table, TBitmap& image, TBitmap& out,
               const std::function<void()>& scan_done) {
  for (;;) {
    bool final_pass = false;
    session.Run([c, &final_pass] { final_pass = jpeg_input_complete(c); });
    if (final_pass) {
      c->dct_method = plan.final_dct;
      if (plan.quantize) {
        c->two_pass_quantize = plan.final_two_pass;
        c->dither_mode = plan.final_dither;
        c->colormap = nullptr;  // the kept quantizer makes its own colour map
      }
    }
    session.Run([c] { jpeg_start_output(c, c->input_scan_number); });
    if (plan.quantize) TakeColormap(c, image);
    session.Run([c, row_table] { ReadRows(c, row_table); });
    session.Run([c] { jpeg_finish_output(c); });
    if (final_pass) return;
    out = image;
    if (scan_done) scan_done();
  }
}

}  // namespace

bool Decompress(const uint8_t* data, size_t size, const DecompressOptions& options, TBitmap& out,
                const TProgressEvent& progress, const std::function<void()>& scan_done) {
  Decompression session(&progress);
  j_decompress_ptr c = session.Open(data, size);
  bool multiple_scans = false;
  session.Run([c, &multiple_scans] {
    jpeg_read_header(c, TRUE);
    multiple_scans = jpeg_has_multiple_scans(c);
  });
  // The library's own buffers follow the full size: refuse before any of them is made.
  CheckedImageBytes(static_cast<int>(c->image_width), static_cast<int>(c->image_height), 24);
  if (c->jpeg_color_space == JCS_CMYK || c->jpeg_color_space == JCS_YCCK) {
    return DecompressCmyk(session, c, options, out);
  }

  const OutputPlan plan = PlanOutput(c, options, multiple_scans);
  session.Run([c] { jpeg_calc_output_dimensions(c); });
  const bool eight_bits = plan.grey || plan.quantize;
  const int width = static_cast<int>(c->output_width), height = static_cast<int>(c->output_height);
  CheckedImageBytes(width, height, eight_bits ? 8 : 24);

  session.Report(TProgressStage::psStarting, 0);
  session.Run([c] { jpeg_start_decompress(c); });
  TBitmap image(width, height, eight_bits ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
  if (plan.grey) image.SetPalette(GreyPalette(256));
  std::vector<JSAMPROW> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = image.ScanLine(y);
  JSAMPARRAY row_table = rows.data();

  if (!plan.buffered) {
    if (plan.quantize) TakeColormap(c, image);
    session.Run([c, row_table] { ReadRows(c, row_table); });
  } else {
    ReadScans(session, c, plan, row_table, image, out, scan_done);
  }
  // Running out while only the end marker is still to come costs no pixels.
  const bool complete = !session.RanOut();
  session.Run([c] { jpeg_finish_decompress(c); });
  out = std::move(image);
  session.Report(TProgressStage::psEnding, 100);
  return complete;
}

}  // namespace pamirune::jpeg
