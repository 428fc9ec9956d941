#include "raster/threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

namespace pamirune {

namespace {
std::atomic<int> g_threads{0};
}  // namespace

int ConversionThreads() {
  const int n = g_threads.load();
  if (n > 0) return n;
  // The environment may fix the number for a run (PAMIRUNE_THREADS=1: one core).
  if (const char* env = std::getenv("PAMIRUNE_THREADS"); env && std::atoi(env) > 0)
    return std::min(std::atoi(env), 2);
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 2);
}

void SetConversionThreads(int threads) { g_threads = std::max(0, threads); }

}  // namespace pamirune
