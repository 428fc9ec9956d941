#include "raster/octree.h"

#include <algorithm>

#include "raster/bitmap.h"
#include "raster/color_reduction.h"
#include "raster/palettes.h"

namespace pamirune {
namespace colour_reduction {

TColorQuantizer::TColorQuantizer(int max_colours, int colour_bits)
    : max_colours_(std::max(1, max_colours)), colour_bits_(std::clamp(colour_bits, 1, 8)) {
  reducible_.fill(kNone);
}

int32_t TColorQuantizer::NewNode(int depth) {
  int32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    index = static_cast<int32_t>(nodes_.size());
    nodes_.emplace_back();
  }
  TOctreeNode& n = nodes_[static_cast<size_t>(index)];
  n = TOctreeNode{};
  n.child.fill(kNone);
  if (depth == colour_bits_) {
    n.leaf = true;
    ++leaf_count_;
  } else {
    n.next_reducible = reducible_[static_cast<size_t>(depth)];
    reducible_[static_cast<size_t>(depth)] = index;
  }
  return index;
}

void TColorQuantizer::FreeSubtree(int32_t node) {
  for (int32_t c : nodes_[static_cast<size_t>(node)].child)
    if (c != kNone) FreeSubtree(c);
  free_.push_back(node);
}

void TColorQuantizer::AddColour(uint8_t red, uint8_t green, uint8_t blue) {
  const uint32_t colour = red | (green << 8) | (static_cast<uint32_t>(blue) << 16);
  if (last_leaf_ != kNone && colour == last_colour_) {
    // Same colour as the pixel before and no reduction since: the same leaf takes it.
    TOctreeNode& n = nodes_[static_cast<size_t>(last_leaf_)];
    ++n.pixel_count;
    n.red_sum += red;
    n.green_sum += green;
    n.blue_sum += blue;
    return;
  }
  if (root_ == kNone) root_ = NewNode(0);
  int32_t node = root_;
  for (int depth = 0;; ++depth) {
    if (nodes_[static_cast<size_t>(node)].leaf) {
      TOctreeNode& n = nodes_[static_cast<size_t>(node)];
      ++n.pixel_count;
      n.red_sum += red;
      n.green_sum += green;
      n.blue_sum += blue;
      break;
    }
    const int mask = 0x80 >> depth;
    const int shift = 7 - depth;
    const int index = (((red & mask) >> shift) << 2) | (((green & mask) >> shift) << 1) |
                      ((blue & mask) >> shift);
    int32_t child = nodes_[static_cast<size_t>(node)].child[static_cast<size_t>(index)];
    if (child == kNone) {
      child = NewNode(depth + 1);  // may move the pool: index again afterwards
      nodes_[static_cast<size_t>(node)].child[static_cast<size_t>(index)] = child;
    }
    node = child;
  }
  last_leaf_ = node;
  last_colour_ = colour;
  while (leaf_count_ > max_colours_) {
    last_leaf_ = kNone;
    if (!ReduceTree()) break;
  }
}

bool TColorQuantizer::ReduceTree() {
  int depth = colour_bits_ - 1;
  while (depth > 0 && reducible_[static_cast<size_t>(depth)] == kNone) --depth;
  const int32_t node = reducible_[static_cast<size_t>(depth)];
  if (node == kNone) return false;
  TOctreeNode& n = nodes_[static_cast<size_t>(node)];
  reducible_[static_cast<size_t>(depth)] = n.next_reducible;
  n.next_reducible = kNone;
  int children = 0;
  for (int32_t& c : n.child) {
    if (c == kNone) continue;
    const TOctreeNode& k = nodes_[static_cast<size_t>(c)];
    n.pixel_count += k.pixel_count;
    n.red_sum += k.red_sum;
    n.green_sum += k.green_sum;
    n.blue_sum += k.blue_sum;
    FreeSubtree(c);
    c = kNone;
    ++children;
  }
  n.leaf = true;
  leaf_count_ += 1 - children;
  return true;
}

std::vector<TRGBQuad> TColorQuantizer::Colours() const {
  std::vector<TRGBQuad> out;
  if (root_ == kNone) return out;
  std::vector<int32_t> stack{root_};
  while (!stack.empty()) {
    const int32_t index = stack.back();
    stack.pop_back();
    const TOctreeNode& n = nodes_[static_cast<size_t>(index)];
    if (n.leaf) {
      TRGBQuad q;
      if (n.pixel_count != 0) {
        q.red = static_cast<uint8_t>(n.red_sum / n.pixel_count);
        q.green = static_cast<uint8_t>(n.green_sum / n.pixel_count);
        q.blue = static_cast<uint8_t>(n.blue_sum / n.pixel_count);
      }
      out.push_back(q);
      continue;
    }
    for (int c = 7; c >= 0; --c)  // pushed backwards so child 0 comes out first
      if (n.child[static_cast<size_t>(c)] != kNone)
        stack.push_back(n.child[static_cast<size_t>(c)]);
  }
  return out;
}

}  // namespace colour_reduction

std::vector<TRGBQuad> BuildOctreePalette(const TBitmap& image, int max_colours, int colour_bits,
                                         bool with_system_colours) {
  constexpr int kSystemFirst = 10;
  const int colours = with_system_colours ? 236 : std::clamp(max_colours, 1, 256);
  TBitmap converted;
  const TBitmap* pixels = &image;
  if (!image.Empty() && image.BitCount() != 24) {
    converted = image;
    converted.SetPixelFormat(TPixelFormat::pf24bit);
    pixels = &converted;
  }
  colour_reduction::TColorQuantizer quantizer(colours, colour_bits);
  for (int y = 0; y < pixels->Height(); ++y) {
    const uint8_t* p = pixels->ScanLine(y);
    for (int x = 0; x < pixels->Width(); ++x, p += 3) quantizer.AddColour(p[2], p[1], p[0]);
  }
  const std::vector<TRGBQuad> leaves = quantizer.Colours();
  std::vector<TRGBQuad> palette(with_system_colours ? 256 : static_cast<size_t>(colours));
  size_t first = 0;
  if (with_system_colours) {
    const auto& system = SystemPalette20();
    for (int i = 0; i < 10; ++i) {
      palette[static_cast<size_t>(i)] = system[static_cast<size_t>(i)];
      palette[static_cast<size_t>(246 + i)] = system[static_cast<size_t>(10 + i)];
    }
    first = kSystemFirst;
  }
  for (size_t i = 0; i < leaves.size() && i < static_cast<size_t>(colours); ++i)
    palette[first + i] = leaves[i];
  return palette;
}

}  // namespace pamirune
