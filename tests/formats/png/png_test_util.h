// Helpers of the PNG tests: chunk parsing, hand-built files, encode/decode shortcuts and the
// third-party tools used to cross-check our files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/png/png_image.h"
#include "formats/png/png_types.h"
#include "raster/bitmap.h"

namespace pamirune::png_test {

using Bytes = std::vector<uint8_t>;

struct Chunk {
  std::string type;
  Bytes data;
  uint32_t crc = 0;
  bool crc_ok = false;
};

// Splits a PNG file (signature checked by the caller) into its chunks.
std::vector<Chunk> ParseChunks(const Bytes& file);
std::vector<std::string> ChunkTypes(const Bytes& file);
const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& type);
// The inflated concatenation of all IDAT chunks.
Bytes InflateIdat(const Bytes& file);

// Builds PNG files chunk by chunk (malformed ones included).
class PngBuilder {
 public:
  PngBuilder& Signature();
  PngBuilder& Chunk(const std::string& type, const Bytes& data);
  PngBuilder& Ihdr(uint32_t w, uint32_t h, int depth, int color_type, int interlace = 0,
                   int compression = 0, int filter = 0);
  // Compresses raw (already filtered) scanlines into one IDAT chunk.
  PngBuilder& Idat(const Bytes& raw);
  PngBuilder& Iend() { return Chunk("IEND", {}); }
  PngBuilder& Raw(const Bytes& bytes);
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

Bytes Deflate(const Bytes& raw, int level = 6);

// A fixed clock: 2024-02-29 13:45:07.
PngTime FixedTime();

// Writes image with the given options and a fixed clock.
Bytes Encode(const TBitmap& image, PngOptions options = {}, const TBitmap* alpha = nullptr);
// Reads bytes into a PngImage.
void Decode(const Bytes& file, PngImage& png);

// Deterministic test images.
TBitmap MakeRgb(int w, int h, TPixelFormat format = TPixelFormat::pf24bit, uint32_t seed = 1);
TBitmap MakeIndexed(int w, int h, int bits, uint32_t seed = 1);

// Third-party tools.
bool HavePillow();
bool HaveTool(const std::string& path);
// Runs a shell command; returns its exit status and fills out with its standard output.
int Run(const std::string& command, std::string* out = nullptr);
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace pamirune::png_test
