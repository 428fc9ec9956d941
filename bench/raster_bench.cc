// Scaling and colour reduction of photograph-sized images.
//   bench_raster_bench [benchmark flags] [--write-image=FILE.ppm]
// --write-image writes the 4000 x 3000 test image as a binary PPM, so other programs can be
// timed on the very same pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench_image.h"
#include "raster/color_reduction.h"
#include "raster/resample.h"

namespace pamirune {
namespace {

TBitmap Photo(int width, int height) { return BenchPhoto(width, height); }

const TBitmap& Large() {
  static const TBitmap image = Photo(4000, 3000);
  return image;
}

const TBitmap& FullHd() {
  static const TBitmap image = Photo(1920, 1080);
  return image;
}

void Scale(benchmark::State& state, int width, int height, int mode) {
  TBitmap source = Large();
  TBitmap target(width, height, TPixelFormat::pf24bit);
  for (auto _ : state) {
    ResampleBitmap(source, target, mode);
    benchmark::DoNotOptimize(target.Bits().data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{width} * height);
}

void BM_SmoothHalf(benchmark::State& state) { Scale(state, 2000, 1500, kResampleSmooth); }
void BM_SmoothDouble(benchmark::State& state) { Scale(state, 8000, 6000, kResampleSmooth); }
void BM_SmoothTwoThirds(benchmark::State& state) { Scale(state, 2666, 2000, kResampleSmooth); }
void BM_NearestHalf(benchmark::State& state) { Scale(state, 2000, 1500, kResampleNearest); }

void Reduce(benchmark::State& state, PaletteSource source, DiffusionMethod method) {
  const TBitmap& image = FullHd();
  for (auto _ : state) {
    auto result = ReduceRasterColours(image, source, method, nullptr, 8);
    benchmark::DoNotOptimize(result.get());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{image.Width()} * image.Height());
}

void BM_WebCubeNearest(benchmark::State& state) {
  Reduce(state, PaletteSource::WebCube216, DiffusionMethod::NearestOnly);
}
void BM_WebCubeFloydSteinberg(benchmark::State& state) {
  Reduce(state, PaletteSource::WebCube216, DiffusionMethod::FloydSteinberg);
}
void BM_OctreeNearest(benchmark::State& state) {
  Reduce(state, PaletteSource::OctreeOptimal, DiffusionMethod::NearestOnly);
}
void BM_OctreeStucki(benchmark::State& state) {
  Reduce(state, PaletteSource::OctreeOptimal, DiffusionMethod::Stucki);
}

BENCHMARK(BM_SmoothHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothTwoThirds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NearestHalf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebCubeNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebCubeFloydSteinberg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OctreeNearest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OctreeStucki)->Unit(benchmark::kMillisecond);

bool WritePpm(const TBitmap& image, const std::string& file_name) {
  FILE* f = std::fopen(file_name.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", image.Width(), image.Height());
  std::string row(3 * static_cast<size_t>(image.Width()), '\0');
  for (int y = 0; y < image.Height(); ++y) {
    const uint8_t* s = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      row[3 * x] = static_cast<char>(s[3 * x + 2]);
      row[3 * x + 1] = static_cast<char>(s[3 * x + 1]);
      row[3 * x + 2] = static_cast<char>(s[3 * x]);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace
}  // namespace pamirune

int main(int argc, char** argv) {
  const char kWrite[] = "--write-image=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kWrite, sizeof(kWrite) - 1) == 0) {
      const std::string file = argv[i] + sizeof(kWrite) - 1;
      if (!pamirune::WritePpm(pamirune::Large(), file)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
      }
      return 0;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
