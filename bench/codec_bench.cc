// Encoding and decoding a 1920 x 1080 photograph-like image with each codec, and the DIB
// image's 24 -> 8 bit reduction that comes before the 256-colour writers.
//   bench_codec_bench [benchmark flags]
// Every case reports pixels per second and, as the counter "bytes", the size of the encoded
// file, so speed and compression can be read side by side.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "bench_image.h"
#include "formats/gif/gif.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/mag/mag_image.h"
#include "formats/png/png_image.h"
#include "raster/dib_image.h"
#include "raster/stream.h"

namespace pamirune {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

TBitmap Photo(int width, int height) { return BenchPhoto(width, height); }

const TBitmap& FullColour() {
  static const TBitmap image = Photo(kWidth, kHeight);
  return image;
}

// The same picture brought to 256 colours the way the converter does before the 8-bit writers.
const TBitmap& Indexed() {
  static const TBitmap image = [] {
    DibImage dib;
    dib.Assign(FullColour());
    dib.SetPixelFormat(DibPixelFormat::k8Bit);
    TBitmap bitmap;
    bitmap.Assign(dib);
    return bitmap;
  }();
  return image;
}

std::vector<uint8_t> Encode(const TGraphic& graphic) {
  TMemoryStream stream;
  graphic.SaveToStream(stream);
  return std::move(stream.Bytes());
}

void Finish(benchmark::State& state, size_t encoded_size) {
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  state.counters["bytes"] = static_cast<double>(encoded_size);
}

// PNG

void PngEncode(benchmark::State& state, const TBitmap& source) {
  size_t size = 0;
  for (auto _ : state) {
    PngImage png;
    png.Assign(source);
    png.SetCompressionLevel(static_cast<int>(state.range(0)));
    size = Encode(png).size();
  }
  Finish(state, size);
}
void BM_PngEncode24(benchmark::State& state) { PngEncode(state, FullColour()); }
void BM_PngEncode8(benchmark::State& state) { PngEncode(state, Indexed()); }

void PngDecode(benchmark::State& state, const TBitmap& source) {
  PngImage original;
  original.Assign(source);
  original.SetCompressionLevel(6);
  const std::vector<uint8_t> file = Encode(original);
  for (auto _ : state) {
    TBufferStream stream(file.data(), file.size());
    PngImage png;
    png.LoadFromStream(stream);
    benchmark::DoNotOptimize(png.Bitmap().Bits().data());
  }
  Finish(state, file.size());
}
void BM_PngDecode24(benchmark::State& state) { PngDecode(state, FullColour()); }
void BM_PngDecode8(benchmark::State& state) { PngDecode(state, Indexed()); }

// JPEG

void BM_JpegEncode(benchmark::State& state) {
  size_t size = 0;
  for (auto _ : state) {
    TJPEGImage jpeg;
    jpeg.Assign(FullColour());
    jpeg.SetCompressionQuality(static_cast<int>(state.range(0)));
    jpeg.Compress();
    size = jpeg.Data().stream.size();
  }
  Finish(state, size);
}

void BM_JpegDecode(benchmark::State& state) {
  TJPEGImage original;
  original.Assign(FullColour());
  original.SetCompressionQuality(90);
  const std::vector<uint8_t> file = Encode(original);
  for (auto _ : state) {
    TBufferStream stream(file.data(), file.size());
    TJPEGImage jpeg;
    jpeg.LoadFromStream(stream);
    jpeg.DIBNeeded();
    benchmark::DoNotOptimize(jpeg.Raster());
  }
  Finish(state, file.size());
}

// GIF: from the 8-bit image (what the converter hands over) and from full colour, where the
// image reduces the colours itself.

void GifEncode(benchmark::State& state, const TBitmap& source) {
  size_t size = 0;
  for (auto _ : state) {
    TGIFImage gif;
    gif.Add(source);
    size = Encode(gif).size();
  }
  Finish(state, size);
}
void BM_GifEncode8(benchmark::State& state) { GifEncode(state, Indexed()); }
void BM_GifEncode24(benchmark::State& state) { GifEncode(state, FullColour()); }

void BM_GifDecode(benchmark::State& state) {
  TGIFImage original;
  original.Add(Indexed());
  const std::vector<uint8_t> file = Encode(original);
  for (auto _ : state) {
    TBufferStream stream(file.data(), file.size());
    TGIFImage gif;
    gif.LoadFromStream(stream);
    TBitmap frame;
    frame.Assign(gif);
    benchmark::DoNotOptimize(frame.Bits().data());
  }
  Finish(state, file.size());
}

// MAG (256 colours)

void BM_MagEncode(benchmark::State& state) {
  size_t size = 0;
  for (auto _ : state) {
    TMAGImage mag;
    mag.Assign(Indexed());
    size = Encode(mag).size();
  }
  Finish(state, size);
}

void BM_MagDecode(benchmark::State& state) {
  TMAGImage original;
  original.Assign(Indexed());
  const std::vector<uint8_t> file = Encode(original);
  for (auto _ : state) {
    TBufferStream stream(file.data(), file.size());
    TMAGImage mag;
    mag.LoadFromStream(stream);
    benchmark::DoNotOptimize(mag.Raster());
  }
  Finish(state, file.size());
}

// DIB image: 24 -> 8 bits in both convert modes, and the BMP file of the result.

void BM_Dib24To8(benchmark::State& state) {
  for (auto _ : state) {
    DibImage dib;
    dib.Assign(FullColour());
    dib.SetConvertMode(static_cast<int>(state.range(0)));
    dib.SetPixelFormat(DibPixelFormat::k8Bit);
    benchmark::DoNotOptimize(dib.Data().bits.data());
  }
  Finish(state, 0);
}

void BM_DibBmpEncode8(benchmark::State& state) {
  DibImage dib;
  dib.Assign(Indexed());
  size_t size = 0;
  for (auto _ : state) size = Encode(dib).size();
  Finish(state, size);
}

BENCHMARK(BM_PngEncode24)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncode8)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncode)->Arg(75)->Arg(90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifEncode8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifEncode24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MagEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MagDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dib24To8)
    ->Arg(DibImage::kConvertNormal)
    ->Arg(DibImage::kConvertFine)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DibBmpEncode8)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pamirune

BENCHMARK_MAIN();
