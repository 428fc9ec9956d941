// TIFD: reading a directory from a file and building one for writing.
#include <algorithm>

#include "formats/tiff/tiff.h"
#include "raster/byte_order.h"

namespace pamirune {

namespace {

enum : uint16_t {
  kNewSubfileType = 254,
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfiguration = 284,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileOffsets = 324,
  kSampleFormat = 339,
};
constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

int TypeSize(uint16_t type) {
  switch (type) {
    case kTypeByte:
    case 2:  // ASCII
    case 6:
    case 7:
      return 1;
    case kTypeShort:
    case 8:
      return 2;
    case kTypeLong:
    case 9:
    case 11:
      return 4;
    default:
      return 8;
  }
}

}  // namespace

namespace {

using Entry = TIFD::Entry;

bool Inside(const std::vector<uint8_t>& file, uint64_t at, uint64_t length) {
  const uint64_t size = file.size();
  return at <= size && length <= size - at;
}

// The entries of the directory whose offset is at byte 4, and the offset of the next one.
bool ReadEntries(const std::vector<uint8_t>& file, std::vector<Entry>& entries,
                 uint32_t& next_ifd) {
  if (!Inside(file, 4, 4)) return false;
  uint64_t ifd = GetLe32(file, 4);
  if (!Inside(file, ifd, 2)) return false;
  uint32_t count = GetLe16(file, ifd);
  if (!Inside(file, ifd + 2, uint64_t{count} * 12 + 4)) return false;
  entries.clear();
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = ifd + 2 + uint64_t{i} * 12;
    entries.push_back(
        {GetLe16(file, at), GetLe16(file, at + 2), GetLe32(file, at + 4), GetLe32(file, at + 8)});
  }
  next_ifd = GetLe32(file, ifd + 2 + uint64_t{count} * 12);
  return true;
}

// The values of an entry as numbers: inline when they fit in 4 bytes, else at the offset.
// BYTE, SHORT and LONG arrays are all understood (strip arrays come in either width).
bool EntryValues(const std::vector<uint8_t>& file, const Entry& e, std::vector<uint32_t>& out) {
  int unit = TypeSize(e.type);
  uint64_t total = uint64_t{e.count} * unit;
  uint64_t at = total <= 4 ? 0 : e.value;
  if (total > 4 && !Inside(file, at, total)) return false;
  std::vector<uint8_t> inline_bytes;
  if (total <= 4) {
    for (int k = 0; k < 4; ++k) inline_bytes.push_back(static_cast<uint8_t>(e.value >> (8 * k)));
  }
  const std::vector<uint8_t>& src = total <= 4 ? inline_bytes : file;
  out.resize(e.count);
  for (uint32_t k = 0; k < e.count; ++k) {
    uint64_t p = at + uint64_t{k} * unit;
    switch (e.type) {
      case kTypeByte:
        out[k] = src[p];
        break;
      case kTypeShort:
        out[k] = GetLe16(src, p);
        break;
      default:
        out[k] = unit >= 4 ? GetLe32(src, p) : src[p];
        break;
    }
  }
  return true;
}

// The first value of an entry; out is left alone when the entry has none.
bool FirstValue(const std::vector<uint8_t>& file, const Entry& e, uint32_t& out) {
  if (e.count == 0) return true;
  Entry one = e;
  one.count = 1;
  if (uint64_t{e.count} * TypeSize(e.type) > 4) {
    // Several values stored elsewhere: the first one is at the offset.
    if (!Inside(file, e.value, TypeSize(e.type))) return false;
    if (e.type == kTypeByte) {
      one.value = file[e.value];
    } else {
      one.value = e.type == kTypeShort ? GetLe16(file, e.value) : GetLe32(file, e.value);
      one.type = e.type == kTypeShort ? kTypeShort : kTypeLong;
    }
  }
  std::vector<uint32_t> v;
  if (!EntryValues(file, one, v)) return false;
  out = v[0];
  return true;
}

// Takes the fields this reader uses from the entries.
bool ApplyEntries(const std::vector<uint8_t>& file, TIFD& d, bool& have_rows_per_strip,
                  bool& have_byte_counts) {
  auto first = [&](const Entry& e, uint32_t& out) { return FirstValue(file, e, out); };
  for (const Entry& e : d.entries) {
    bool ok = true;
    switch (e.tag) {
      case kImageWidth:
        ok = first(e, d.image_width);
        break;
      case kImageLength:
        ok = first(e, d.image_height);
        break;
      case kBitsPerSample:
        ok = first(e, d.bits_per_sample);
        break;
      case kCompression:
        ok = first(e, d.compression);
        break;
      case kPhotometric:
        ok = first(e, d.photometric);
        break;
      case kFillOrder:
        ok = first(e, d.fill_order);
        break;
      case kOrientation:
        ok = first(e, d.orientation);
        break;
      case kSamplesPerPixel:
        ok = first(e, d.samples_per_pixel);
        break;
      case kPlanarConfiguration:
        ok = first(e, d.planar_configuration);
        break;
      case kPredictor:
        ok = first(e, d.predictor_value);
        break;
      case kSampleFormat:
        ok = first(e, d.sample_format);
        break;
      case kTileWidth:
      case kTileOffsets:
        d.tiled = true;
        break;
      case kRowsPerStrip:
        ok = first(e, d.rows_per_strip);
        have_rows_per_strip = true;
        break;
      case kStripOffsets:
        d.strip_count = e.count;
        d.strip_offset_value = e.value;
        ok = EntryValues(file, e, d.strip_offsets);
        break;
      case kStripByteCounts:
        d.strip_byte_count_value = e.value;
        ok = EntryValues(file, e, d.strip_byte_counts);
        have_byte_counts = true;
        break;
      case kColorMap: {
        std::vector<uint32_t> v;
        d.color_map_offset = e.value;
        ok = EntryValues(file, e, v);
        if (ok) {
          d.color_map.assign(v.begin(), v.end());
          d.color_map_count = e.count;
          d.color_map_loaded = true;
        }
        break;
      }
      default:
        break;
    }
    if (!ok) return false;
  }
  return true;
}

// The strip and row layout that follows from the fields; false when a strip lies outside file.
bool FinishLayout(const std::vector<uint8_t>& file, TIFD& d, bool have_rows_per_strip,
                  bool have_byte_counts) {
  const uint64_t size = file.size();
  d.predictor = d.predictor_value == 2;
  d.bits_per_pixel = d.samples_per_pixel * d.bits_per_sample;
  // No RowsPerStrip means the whole image is one strip.
  if (!have_rows_per_strip || d.rows_per_strip == 0 || d.rows_per_strip > d.image_height)
    d.rows_per_strip = d.image_height;
  // No byte counts: each strip reaches the end of the file.
  if (!have_byte_counts) {
    d.strip_byte_counts.clear();
    for (uint32_t off : d.strip_offsets)
      d.strip_byte_counts.push_back(off <= size ? static_cast<uint32_t>(size - off) : 0);
  }
  if (d.strip_byte_counts.size() < d.strip_offsets.size()) return false;
  for (size_t i = 0; i < d.strip_offsets.size(); ++i)
    if (!Inside(file, d.strip_offsets[i], d.strip_byte_counts[i])) return false;
  uint64_t row = (uint64_t{d.image_width} * d.bits_per_pixel + 7) / 8;
  d.row_bytes = static_cast<uint32_t>(std::min<uint64_t>(row, UINT32_MAX));
  d.left_bits = static_cast<uint32_t>(row * 8 - uint64_t{d.image_width} * d.bits_per_pixel);
  return true;
}

}  // namespace

bool TIFD::Read(const std::vector<uint8_t>& file) {
  error = true;
  if (!ReadEntries(file, entries, next_ifd)) return false;
  bool have_rows_per_strip = false;
  bool have_byte_counts = false;
  if (!ApplyEntries(file, *this, have_rows_per_strip, have_byte_counts)) return false;
  if (!FinishLayout(file, *this, have_rows_per_strip, have_byte_counts)) return false;
  error = false;
  return true;
}

void TIFD::Build(int width, int height, int bits, bool compress, bool predict,
                 std::vector<uint16_t> map) {
  image_width = static_cast<uint32_t>(width);
  image_height = static_cast<uint32_t>(height);
  bits_per_pixel = static_cast<uint32_t>(bits);
  bool rgb = bits == 24;
  samples_per_pixel = rgb ? 3 : 1;
  bits_per_sample = rgb ? 8 : static_cast<uint32_t>(bits);
  compression = compress ? 5 : 1;
  predictor = compress && predict;
  color_map = std::move(map);
  color_map_count = static_cast<uint32_t>(color_map.size());
  color_map_loaded = !color_map.empty();
  photometric = bits == 1 ? 0 : rgb ? 2 : color_map_loaded ? 3 : 1;
  fill_order = orientation = planar_configuration = 1;

  uint64_t r = (uint64_t{image_width} * bits_per_pixel + 7) / 8;
  left_bits = static_cast<uint32_t>(r * 8 - uint64_t{image_width} * bits_per_pixel);
  uint64_t total = r * image_height;
  uint64_t s = r * (32768 / r);
  s = std::clamp<uint64_t>(s, r, total);
  row_bytes = static_cast<uint32_t>(r);
  strip_size = static_cast<uint32_t>(s);
  rows_per_strip = static_cast<uint32_t>(std::min<uint64_t>(s / r, image_height));
  strip_count = static_cast<uint32_t>((total + s - 1) / s);

  // Entries first with placeholders, so DataStart() knows their number.
  entries.assign(color_map_loaded ? 15 : 14, Entry{});
  uint32_t n = strip_count;
  uint64_t base = DataStart() + 2 * uint64_t{color_map_count};
  color_map_offset = color_map_loaded ? DataStart() : 0;
  uint64_t data = base + (n >= 2 ? 8 * uint64_t{n} : 0);
  strip_offsets.resize(n);
  strip_byte_counts.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    strip_offsets[i] = static_cast<uint32_t>(data + s * i);
    strip_byte_counts[i] = static_cast<uint32_t>(i + 1 < n ? s : total - s * (n - 1));
  }
  strip_offset_value = n >= 2 ? static_cast<uint32_t>(base) : strip_offsets[0];
  strip_byte_count_value =
      n >= 2 ? static_cast<uint32_t>(base + 4 * uint64_t{n}) : strip_byte_counts[0];

  // Sizes past 65535 cannot be SHORT values; they are written as LONG.
  auto size_type = [](uint32_t v) { return v > 0xFFFF ? kTypeLong : kTypeShort; };
  entries = {
      {kNewSubfileType, kTypeLong, 1, 0},
      {kImageWidth, size_type(image_width), 1, image_width},
      {kImageLength, size_type(image_height), 1, image_height},
      {kBitsPerSample, kTypeShort, 1, bits_per_sample},
      {kCompression, kTypeShort, 1, compression},
      {kPhotometric, kTypeShort, 1, photometric},
      {kFillOrder, kTypeShort, 1, 1},
      {kStripOffsets, kTypeLong, n, strip_offset_value},
      {kOrientation, kTypeShort, 1, 1},
      {kSamplesPerPixel, kTypeShort, 1, samples_per_pixel},
      {kRowsPerStrip, size_type(rows_per_strip), 1, rows_per_strip},
      {kStripByteCounts, kTypeLong, n, strip_byte_count_value},
      {kPlanarConfiguration, kTypeShort, 1, 1},
      {kPredictor, kTypeShort, 1, predictor ? 2u : 1u},
  };
  if (color_map_loaded)
    entries.push_back({kColorMap, kTypeShort, color_map_count, color_map_offset});
}

uint32_t TIFD::DataStart() const { return 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4; }

std::vector<uint8_t> TIFD::Bytes() const {
  std::vector<uint8_t> out;
  AppendLe16(out, static_cast<uint32_t>(entries.size()));
  for (const Entry& e : entries) {
    AppendLe16(out, e.tag);
    AppendLe16(out, e.type);
    AppendLe32(out, e.count);
    // A SHORT value sits in the first two bytes of the field.
    if (e.type == kTypeShort && e.count == 1) {
      AppendLe16(out, e.value);
      AppendLe16(out, 0);
    } else {
      AppendLe32(out, e.value);
    }
  }
  AppendLe32(out, next_ifd);
  return out;
}

}  // namespace pamirune
