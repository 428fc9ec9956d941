// The octree colour quantizer behind the optimised palettes of the colour reducer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster/graphic.h"

namespace pamirune::colour_reduction {

// A tree colour_bits deep whose leaves are the palette colours. Colours are added one pixel at
// a time; whenever the leaves outnumber max_colours, the most recently created node of the
// deepest level that still has inner nodes is folded into a leaf.
class TColorQuantizer {
 public:
  TColorQuantizer(int max_colours, int colour_bits);
  void AddColour(uint8_t red, uint8_t green, uint8_t blue);
  // The leaves' average colours, depth first, children in index order.
  std::vector<TRGBQuad> Colours() const;

 private:
  static constexpr int32_t kNone = -1;
  struct TOctreeNode {
    bool leaf = false;
    uint32_t pixel_count = 0;
    // Kept at 64 bits: a large single-coloured area would overflow 32-bit sums.
    uint64_t red_sum = 0, green_sum = 0, blue_sum = 0;
    std::array<int32_t, 8> child;
    int32_t next_reducible = kNone;
  };

  int32_t NewNode(int depth);
  void FreeSubtree(int32_t node);
  // Folds one inner node into a leaf; false when none is left.
  bool ReduceTree();

  int max_colours_;
  int colour_bits_;
  int leaf_count_ = 0;
  int32_t root_ = kNone;
  std::array<int32_t, 8> reducible_;
  // Nodes live in one pool addressed by index; freed nodes are reused.
  std::vector<TOctreeNode> nodes_;
  std::vector<int32_t> free_;
  // The leaf the previous colour went to, while no reduction has changed the tree's leaves.
  int32_t last_leaf_ = kNone;
  uint32_t last_colour_ = 0;
};

}  // namespace pamirune::colour_reduction
