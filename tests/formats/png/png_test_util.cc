#include "png_test_util.h"

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "formats/png/png_stream.h"
#include "formats/png/png_writer.h"
#include "raster/byte_order.h"
#include "raster/stream.h"
#include "support/run_command.h"

namespace pamirune::png_test {

std::vector<Chunk> ParseChunks(const Bytes& file) {
  std::vector<Chunk> out;
  size_t p = 8;
  while (p + 12 <= file.size()) {
    uint32_t len = GetBe32(&file[p]);
    if (p + 12 + len > file.size()) break;
    Chunk c;
    c.type.assign(reinterpret_cast<const char*>(&file[p + 4]), 4);
    c.data.assign(file.begin() + static_cast<std::ptrdiff_t>(p + 8),
                  file.begin() + static_cast<std::ptrdiff_t>(p + 8 + len));
    c.crc = GetBe32(&file[p + 8 + len]);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, &file[p + 4], 4 + len);
    c.crc_ok = crc == c.crc;
    out.push_back(std::move(c));
    p += 12 + len;
  }
  return out;
}

std::vector<std::string> ChunkTypes(const Bytes& file) {
  std::vector<std::string> types;
  for (const Chunk& c : ParseChunks(file)) types.push_back(c.type);
  return types;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& type) {
  for (const Chunk& c : chunks)
    if (c.type == type) return &c;
  return nullptr;
}

Bytes InflateIdat(const Bytes& file) {
  Bytes z;
  for (const Chunk& c : ParseChunks(file))
    if (c.type == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
  z_stream s{};
  inflateInit(&s);
  Bytes out;
  uint8_t buf[65536];
  s.next_in = z.data();
  s.avail_in = static_cast<uInt>(z.size());
  int rc;
  do {
    s.next_out = buf;
    s.avail_out = sizeof buf;
    rc = inflate(&s, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
  } while (rc == Z_OK);
  inflateEnd(&s);
  if (rc != Z_STREAM_END) throw std::runtime_error("bad zlib stream in IDAT");
  return out;
}

PngBuilder& PngBuilder::Signature() {
  bytes_.insert(bytes_.end(), kPngSignature.begin(), kPngSignature.end());
  return *this;
}

PngBuilder& PngBuilder::Chunk(const std::string& type, const Bytes& data) {
  TMemoryStream mem;
  {
    ImageWriteStream out(mem);
    out.WriteChunk(type.c_str(), data);
    out.Flush();
  }
  bytes_.insert(bytes_.end(), mem.Bytes().begin(), mem.Bytes().end());
  return *this;
}

PngBuilder& PngBuilder::Ihdr(uint32_t w, uint32_t h, int depth, int color_type, int interlace,
                             int compression, int filter) {
  Bytes b;
  AppendBe32(b, w);
  AppendBe32(b, h);
  b.push_back(static_cast<uint8_t>(depth));
  b.push_back(static_cast<uint8_t>(color_type));
  b.push_back(static_cast<uint8_t>(compression));
  b.push_back(static_cast<uint8_t>(filter));
  b.push_back(static_cast<uint8_t>(interlace));
  return Chunk("IHDR", b);
}

PngBuilder& PngBuilder::Idat(const Bytes& raw) { return Chunk("IDAT", Deflate(raw)); }

PngBuilder& PngBuilder::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes Deflate(const Bytes& raw, int level) {
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(n);
  compress2(out.data(), &n, raw.data(), static_cast<uLong>(raw.size()), level);
  out.resize(n);
  return out;
}

PngTime FixedTime() { return {2024, 2, 29, 13, 45, 7}; }

Bytes Encode(const TBitmap& image, PngOptions options, const TBitmap* alpha) {
  TMemoryStream mem;
  PngWriteStream writer(mem, options);
  writer.SetClock(FixedTime);
  writer.SetAlphaMask(alpha);
  writer.Write(image);
  return mem.Bytes();
}

void Decode(const Bytes& file, PngImage& png) {
  TMemoryStream mem(file);
  png.LoadFromStream(mem);
}

namespace {
uint32_t Next(uint32_t& s) {
  s = s * 1103515245u + 12345u;
  return s >> 8;
}
}  // namespace

TBitmap MakeRgb(int w, int h, TPixelFormat format, uint32_t seed) {
  TBitmap b(w, h, format);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    size_t n = static_cast<size_t>(b.Stride());
    for (size_t i = 0; i < n; ++i) {
      // Smooth ramps with some noise: compressible but not trivial.
      row[i] = static_cast<uint8_t>((i * 3 + static_cast<size_t>(y) * 5) + (Next(seed) % 7));
    }
  }
  return b;
}

TBitmap MakeIndexed(int w, int h, int bits, uint32_t seed) {
  TPixelFormat f = bits == 1   ? TPixelFormat::pf1bit
                   : bits == 4 ? TPixelFormat::pf4bit
                               : TPixelFormat::pf8bit;
  TBitmap b(w, h, f);
  int entries = 1 << bits;
  std::vector<TRGBQuad> pal;
  uint32_t s = seed;
  for (int i = 0; i < entries; ++i)
    pal.push_back({static_cast<uint8_t>(Next(s)), static_cast<uint8_t>(Next(s)),
                   static_cast<uint8_t>(Next(s)), 0});
  b.SetPalette(pal);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetRawPixel(x, y, (Next(s) >> 3) % static_cast<uint32_t>(entries));
  return b;
}

bool HaveTool(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

bool HavePillow() {
  static int have = -1;
  if (have < 0)
    have = HaveTool("/usr/bin/python3") && Run("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
  return have == 1;
}

int Run(const std::string& command, std::string* out) { return testing::RunCommand(command, out); }

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) { return ReadWholeFile(path); }

}  // namespace pamirune::png_test
