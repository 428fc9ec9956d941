// How freed image buffers go back to the system.
#pragma once

namespace pamirune {

// Every buffer of 256 KiB or more is handed straight back to the system when it is freed.
// (By default the C library raises that bound to the size of the last big buffer freed and
// then keeps image-sized buffers in the process, where they add to the peak of the next step.)
void ReturnLargeBuffersWhenFreed();

}  // namespace pamirune
