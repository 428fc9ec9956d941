#include "raster/memory.h"

#include <malloc.h>

namespace pamirune {

void ReturnLargeBuffersWhenFreed() {
#ifdef M_MMAP_THRESHOLD
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
}

}  // namespace pamirune
