// Finding where the blocks of a raw deflate stream begin and end, without inflating it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pamirune {

// Walks the blocks of data (a raw deflate stream) without producing its output: last_start is
// the bit where its last block begins, end_bit the bit after its end. Any data, valid or not,
// are walked within their bytes; false when they are not a complete deflate stream.
bool WalkDeflateBlocks(const uint8_t* data, size_t size, uint64_t& last_start, uint64_t& end_bit);

}  // namespace pamirune
