// How many threads one conversion may use for work that splits into independent pieces
// (deflate blocks of large images, TIFF strips). The pieces are cut the same way whatever the
// number, so the files written never depend on it.
#pragma once

namespace pamirune {

// The number set by SetConversionThreads, else PAMIRUNE_THREADS from the environment, else
// the machine's cores; at most 2.
int ConversionThreads();
// 0: as many as the machine has (at most 2). For tests and benchmarks.
void SetConversionThreads(int threads);

}  // namespace pamirune
