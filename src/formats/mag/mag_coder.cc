#include "formats/mag/mag_coder.h"

#include <algorithm>
#include <cstring>

#include "formats/mag/mag_image.h"
#include "raster/byte_order.h"

namespace pamirune::mag {

namespace {

// Offsets inside the MAG header.
constexpr size_t kScreenMode = 3;
constexpr size_t kStartX = 4, kStartY = 6, kEndX = 8, kEndY = 10;
constexpr size_t kFlagAOffset = 12, kFlagBOffset = 16, kFlagBSize = 20;
constexpr size_t kPixelOffset = 24, kPixelSize = 28;
constexpr uint8_t kMode256 = 0x80, kMode200Lines = 0x01;

size_t PaletteBytes(bool colors256) { return colors256 ? 768 : 48; }

bool Inside(int k, int y, int x) {
  return kCopyVectors[k].lines_up <= y && kCopyVectors[k].words_left <= x;
}

}  // namespace

std::array<uint8_t, kBlockBytes> FreshHeaderBlock() {
  std::array<uint8_t, kBlockBytes> block;
  block.fill(' ');
  std::memcpy(block.data(), kSignature, 8);
  std::memcpy(block.data() + 8, "zorP", 4);
  return block;
}

namespace {

// Reads the header block, the comment and the MAG header into file; returns where the MAG
// header starts (the offsets of the streams count from there).
size_t ReadHeaders(const uint8_t* data, size_t size, MagFile& file) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) throw EMagError("is not MAG.");
  if (size < kBlockBytes) throw EMagError("the file ends inside its header.");
  std::memcpy(file.header_block.data(), data, kBlockBytes);
  file.user_name.assign(reinterpret_cast<const char*>(data) + kUserNameOffset, kUserNameBytes);

  const void* mark = std::memchr(data + kBlockBytes, kCommentEnd, size - kBlockBytes);
  if (!mark) throw EMagError("the comment has no end mark.");
  const size_t h = static_cast<size_t>(static_cast<const uint8_t*>(mark) - data) + 1;
  file.comment.assign(reinterpret_cast<const char*>(data) + kBlockBytes, h - 1 - kBlockBytes);
  if (size - h < kMagHeaderBytes) throw EMagError("the file ends inside the MAG header.");
  const uint8_t* header = data + h;
  std::memcpy(file.mag_header.data(), header, kMagHeaderBytes);

  file.colors256 = (header[kScreenMode] & kMode256) != 0;
  file.line200 = (header[kScreenMode] & kMode200Lines) != 0;
  const int a = Alignment(file.colors256);
  const int start_x = GetLe16(header + kStartX), end_x = GetLe16(header + kEndX);
  const int start_y = GetLe16(header + kStartY), end_y = GetLe16(header + kEndY);
  file.start_x = static_cast<uint16_t>(start_x - start_x % a);
  file.start_y = static_cast<uint16_t>(start_y);
  // The decoded image keeps the alignment padding on both sides.
  const int width = (end_x - end_x % a + a) - file.start_x;
  const int height = end_y - start_y + 1;
  if (width <= 0 || height <= 0) throw EMagError("the image size is not valid.");
  file.width = width;
  file.height = height;
  CheckedImageBytes(width, height, file.colors256 ? 8 : 4);
  return h;
}

// Where the three streams start in the file.
struct Streams {
  size_t flag_a = 0;
  size_t flag_b = 0;
  size_t pixels = 0;
};

// Offsets are taken as they are, but nothing may lie past the loaded bytes; each of the three
// streams may run on up to the end of the file.
Streams LocateStreams(const uint8_t* data, size_t size, size_t h, const MagFile& file) {
  const uint8_t* header = data + h;
  if (size - h - kMagHeaderBytes < PaletteBytes(file.colors256))
    throw EMagError("the palette is cut short.");
  const uint64_t flag_a = h + uint64_t{GetLe32(header + kFlagAOffset)};
  const uint64_t flag_b = h + uint64_t{GetLe32(header + kFlagBOffset)};
  const uint64_t pixels = h + uint64_t{GetLe32(header + kPixelOffset)};
  if (flag_a > size || flag_b > size || pixels > size)
    throw EMagError("a data offset lies outside the file.");
  const int f = file.width / Alignment(file.colors256);  // flag bytes per line
  if (uint64_t{static_cast<uint32_t>(f)} * static_cast<uint32_t>(file.height) > (size - flag_a) * 8)
    throw EMagError("flag A is cut short.");
  return {static_cast<size_t>(flag_a), static_cast<size_t>(flag_b), static_cast<size_t>(pixels)};
}

// The palette after the MAG header: green, red, blue for each entry.
std::vector<TRGBQuad> ReadPalette(const uint8_t* triple, bool colors256) {
  std::vector<TRGBQuad> palette(PaletteBytes(colors256) / 3);
  for (auto& entry : palette) {
    entry.green = triple[0];
    entry.red = triple[1];
    entry.blue = triple[2];
    triple += 3;
  }
  return palette;
}

// Decodes the pixel words of every line: flag A says which flags of the line change, flag B
// holds their new values, and each half of a flag either takes the next pixel word or copies
// one from above or to the left.
void DecodePixels(const uint8_t* data, size_t size, Streams at, int f, TBitmap& out) {
  const int height = out.Height();
  std::vector<uint8_t*> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[static_cast<size_t>(y)] = out.ScanLine(y);
  std::vector<uint8_t> flag_line(static_cast<size_t>(f), 0);  // carried from line to line
  const uint8_t* flag_a_bytes = data + at.flag_a;
  size_t flag_a_bit = 0;  // one continuous bit stream over the whole image
  size_t flag_b_pos = at.flag_b;
  size_t pixel_pos = at.pixels;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rows[static_cast<size_t>(y)];
    for (int i = 0; i < f; ++i) {
      if (flag_a_bytes[flag_a_bit >> 3] & (0x80u >> (flag_a_bit & 7))) {
        if (flag_b_pos >= size) throw EMagError("flag B runs out.");
        flag_line[static_cast<size_t>(i)] ^= data[flag_b_pos++];
      }
      ++flag_a_bit;
      const uint8_t flag = flag_line[static_cast<size_t>(i)];
      for (int half = 0; half < 2; ++half) {
        const int k = half ? flag & 0x0F : flag >> 4;
        const int x = 2 * i + half;  // word index in the line
        uint8_t* word = row + 2 * x;
        if (k == 0) {
          if (size - pixel_pos < 2) throw EMagError("the pixel data runs out.");
          word[0] = data[pixel_pos];
          word[1] = data[pixel_pos + 1];
          pixel_pos += 2;
        } else {
          if (!Inside(k, y, x)) throw EMagError("a copy vector points outside the image.");
          const CopyVector& v = kCopyVectors[static_cast<size_t>(k)];
          const uint8_t* from = rows[static_cast<size_t>(y - v.lines_up)] + 2 * (x - v.words_left);
          word[0] = from[0];
          word[1] = from[1];
        }
      }
    }
  }
}

}  // namespace

void DecodeMag(const uint8_t* data, size_t size, MagFile& file, TBitmap& raster) {
  const size_t h = ReadHeaders(data, size, file);
  const Streams streams = LocateStreams(data, size, h, file);
  TBitmap out(file.width, file.height,
              file.colors256 ? TPixelFormat::pf8bit : TPixelFormat::pf4bit);
  out.SetPalette(ReadPalette(data + h + kMagHeaderBytes, file.colors256));
  DecodePixels(data, size, streams, file.width / Alignment(file.colors256), out);
  raster = std::move(out);
}

namespace {

// The flag A bits, the flag B bytes (padded to an even count) and the pixel words of an image
// whose rows are f flag bytes wide.
struct MagStreams {
  std::vector<uint8_t> flag_a;
  std::vector<uint8_t> flag_b;
  std::vector<uint8_t> pixel_data;
};

MagStreams EncodeStreams(const TBitmap& raster, int f, size_t flag_a_size) {
  const int h = raster.Height();
  std::vector<const uint8_t*> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = raster.ScanLine(y);
  auto word_at = [&rows](int y, int x) {
    uint16_t v;
    std::memcpy(&v, rows[static_cast<size_t>(y)] + 2 * x, 2);
    return v;
  };
  auto same_as = [&](int k, int y, int x, uint16_t word) {
    const CopyVector& v = kCopyVectors[static_cast<size_t>(k)];
    return Inside(k, y, x) && word_at(y - v.lines_up, x - v.words_left) == word;
  };

  std::vector<uint8_t> flag_line(static_cast<size_t>(f), 0);
  MagStreams out;
  std::vector<uint8_t>& flag_a = out.flag_a;
  std::vector<uint8_t>& flag_b = out.flag_b;
  std::vector<uint8_t>& pixel_data = out.pixel_data;
  flag_a.assign(flag_a_size, 0);
  size_t bit = 0;
  for (int y = 0; y < h; ++y) {
    for (int i = 0; i < f; ++i) {
      const uint8_t previous = flag_line[static_cast<size_t>(i)];
      int nibbles[2];
      for (int half = 0; half < 2; ++half) {
        const int x = 2 * i + half;
        const uint16_t word = word_at(y, x);
        const int p = half ? previous & 0x0F : previous >> 4;
        int chosen = 0;
        if (p != 0 && same_as(p, y, x, word)) {
          chosen = p;
        } else {
          for (int k = 1; k < 16; ++k) {
            if (same_as(k, y, x, word)) {
              chosen = k;
              break;
            }
          }
        }
        if (chosen == 0) {
          const uint8_t* bytes = rows[static_cast<size_t>(y)] + 2 * x;
          pixel_data.push_back(bytes[0]);
          pixel_data.push_back(bytes[1]);
        }
        nibbles[half] = chosen;
      }
      const uint8_t flag = static_cast<uint8_t>(nibbles[0] * 16 + nibbles[1]);
      const uint8_t change = flag ^ previous;
      flag_line[static_cast<size_t>(i)] = flag;
      if (change != 0) {
        flag_a[bit >> 3] |= static_cast<uint8_t>(0x80u >> (bit & 7));
        flag_b.push_back(change);
      }
      ++bit;
    }
  }
  if (flag_b.size() % 2 != 0) flag_b.push_back(0);
  return out;
}

// The file's bytes: header block, comment and its end mark, MAG header, palette, the streams.
std::vector<uint8_t> AssembleMag(const MagFile& file, const std::vector<TRGBQuad>& palette,
                                 size_t palette_bytes, const MagStreams& streams) {
  const std::vector<uint8_t>& flag_a = streams.flag_a;
  const std::vector<uint8_t>& flag_b = streams.flag_b;
  const std::vector<uint8_t>& pixel_data = streams.pixel_data;
  std::vector<uint8_t> out;
  out.reserve(kBlockBytes + file.comment.size() + 1 + kMagHeaderBytes + palette_bytes +
              flag_a.size() + flag_b.size() + pixel_data.size());
  out.insert(out.end(), file.header_block.begin(), file.header_block.end());
  out.insert(out.end(), file.comment.begin(), file.comment.end());
  out.push_back(kCommentEnd);
  out.insert(out.end(), file.mag_header.begin(), file.mag_header.end());
  for (size_t n = 0; n < palette_bytes / 3; ++n) {
    // Entries the raster does not have are written black.
    TRGBQuad entry = n < palette.size() ? palette[n] : TRGBQuad{};
    out.push_back(entry.green);
    out.push_back(entry.red);
    out.push_back(entry.blue);
  }
  out.insert(out.end(), flag_a.begin(), flag_a.end());
  out.insert(out.end(), flag_b.begin(), flag_b.end());
  out.insert(out.end(), pixel_data.begin(), pixel_data.end());
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeMag(const TBitmap& raster, const EncodeOptions& options, MagFile& file) {
  const TPixelFormat format = raster.PixelFormat();
  const bool colors256 = format == TPixelFormat::pf8bit;
  const int a = Alignment(colors256);
  const int w = raster.Width(), h = raster.Height();
  if ((format != TPixelFormat::pf4bit && !colors256) || w <= 0 || h <= 0 || w % a != 0)
    throw EInvalidGraphic("画像ﾌｫｰﾏｯﾄが不正です");
  // A start X off the alignment would change the decoded width; it is written rounded down,
  // as reading would take it.
  const uint32_t start_x = options.start_x - options.start_x % a;
  const uint32_t start_y = options.start_y;
  // The end coordinates must fit their 16-bit fields.
  if (w + start_x - 1 > 0xFFFF || h + start_y - 1 > 0xFFFF)
    throw EInvalidMagOperation("range over");

  file = MagFile{};
  file.header_block = FreshHeaderBlock();
  std::memcpy(file.header_block.data() + kUserNameOffset, options.user_name.data(),
              std::min(options.user_name.size(), kUserNameBytes));
  file.user_name.assign(reinterpret_cast<const char*>(file.header_block.data()) + kUserNameOffset,
                        kUserNameBytes);
  file.colors256 = colors256;
  file.line200 = options.line200;
  file.start_x = static_cast<uint16_t>(start_x);
  file.start_y = static_cast<uint16_t>(start_y);
  file.width = w;
  file.height = h;

  const int f = w / a;
  const uint64_t flag_bits = uint64_t{static_cast<uint32_t>(f)} * static_cast<uint32_t>(h);
  const size_t flag_a_size = static_cast<size_t>((flag_bits + 15) / 16 * 2);  // whole, even
  const size_t palette_bytes = PaletteBytes(colors256);
  const size_t flag_a_offset = kMagHeaderBytes + palette_bytes;
  const size_t flag_b_offset = flag_a_offset + flag_a_size;

  MagStreams streams = EncodeStreams(raster, f, flag_a_size);
  const std::vector<uint8_t>& flag_b = streams.flag_b;
  const std::vector<uint8_t>& pixel_data = streams.pixel_data;

  // The comment cannot hold the end mark; its length is made odd so the MAG header starts at
  // an even offset.
  file.comment = options.comment.substr(0, options.comment.find(static_cast<char>(kCommentEnd)));
  if (file.comment.size() % 2 == 0) file.comment.push_back(' ');

  uint8_t* header = file.mag_header.data();
  header[kScreenMode] =
      static_cast<uint8_t>((colors256 ? kMode256 : 0) | (options.line200 ? kMode200Lines : 0));
  PutLe16(header + kStartX, start_x);
  PutLe16(header + kStartY, start_y);
  PutLe16(header + kEndX, w + start_x - 1);
  PutLe16(header + kEndY, h + start_y - 1);
  PutLe32(header + kFlagAOffset, static_cast<uint32_t>(flag_a_offset));
  PutLe32(header + kFlagBOffset, static_cast<uint32_t>(flag_b_offset));
  PutLe32(header + kFlagBSize, static_cast<uint32_t>(flag_b.size()));
  PutLe32(header + kPixelOffset, static_cast<uint32_t>(flag_b_offset + flag_b.size()));
  PutLe32(header + kPixelSize, static_cast<uint32_t>(pixel_data.size()));

  return AssembleMag(file, raster.Palette(), palette_bytes, streams);
}

}  // namespace pamirune::mag
