#include "raster/threads.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <future>
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

void ForHalves(int count, int min_count, const std::function<void(int begin, int end)>& work) {
  if (count < std::max(min_count, 2) || ConversionThreads() < 2) {
    work(0, count);
    return;
  }
  const int half = count / 2;
  std::future<void> second = std::async(std::launch::async, work, half, count);
  try {
    work(0, half);
  } catch (...) {
    second.wait();
    throw;
  }
  second.get();
}

}  // namespace pamirune
