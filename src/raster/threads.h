// How many threads one conversion may use for work that splits into independent pieces
// (deflate blocks of large images, TIFF strips). The pieces are cut the same way whatever the
// number, so the files written never depend on it.
#pragma once

#include <functional>

namespace pamirune {

// The number set by SetConversionThreads, else PAMIRUNE_THREADS from the environment, else
// the machine's cores; at most 2.
int ConversionThreads();
// 0: as many as the machine has (at most 2). For tests and benchmarks.
void SetConversionThreads(int threads);

// Runs work(begin, end) over the items [0, count): in two halves on two threads when the
// conversion may use two and count is at least min_count, else at once on this thread. The
// work must give the same result whichever way the items are cut.
void ForHalves(int count, int min_count, const std::function<void(int begin, int end)>& work);

}  // namespace pamirune
