#include "raster/zlib_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "raster/threads.h"

namespace pamirune {

namespace {

std::atomic<size_t> g_block_size{0};

// A last block smaller than this is deflated by zlib itself.
constexpr size_t kSmallFinalBlock = 64 * 1024;

// The largest stored block.
constexpr size_t kStoredMax = 65535;

void Stored(const uint8_t* data, size_t size, bool final_block, std::vector<uint8_t>& out) {
  size_t pos = 0;
  do {
    const size_t n = std::min(kStoredMax, size - pos);
    const bool last = final_block && pos + n == size;
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(~n));
    out.push_back(static_cast<uint8_t>(~n >> 8));
    out.insert(out.end(), data + pos, data + pos + n);
    pos += n;
  } while (pos < size);
}

// The whole-buffer deflater ends its data with a final block. A block that others follow
// loses that flag and ends on a byte boundary with an empty stored block, as after a flush.
// The last block's header is found by walking the blocks with an inflater that stops at
// every block boundary.
void MakeNonFinal(std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  z.next_in = out.data();
  z.avail_in = static_cast<uInt>(out.size());
  uint8_t discard[1 << 15];
  uint64_t last_start = 0;
  uint64_t end_bit = 0;
  for (;;) {
    z.next_out = discard;
    z.avail_out = sizeof discard;
    const int rc = inflate(&z, Z_BLOCK);
    if (rc != Z_OK) {
      inflateEnd(&z);
      throw std::runtime_error("deflate block walk");
    }
    if (z.data_type & 128) {
      // At a block boundary; bit 64 tells that the block just ended was the last one.
      const uint64_t bit = uint64_t{z.total_in} * 8 - static_cast<uint64_t>(z.data_type & 7);
      if (z.data_type & 64) {
        end_bit = bit;
        break;
      }
      last_start = bit;
    }
  }
  inflateEnd(&z);
  out[last_start / 8] &= static_cast<uint8_t>(~(1u << (last_start % 8)));
  // Three zero bits (not final, stored), padding to the byte, then LEN 0 and NLEN 0xFFFF.
  const size_t bytes = static_cast<size_t>((end_bit + 3 + 7) / 8);
  out.resize(bytes, 0);
  if (end_bit % 8) out[end_bit / 8] &= static_cast<uint8_t>((1u << (end_bit % 8)) - 1);
  for (size_t i = (end_bit + 7) / 8; i < bytes; ++i) out[i] = 0;
  const uint8_t empty_stored[4] = {0x00, 0x00, 0xFF, 0xFF};
  out.insert(out.end(), empty_stored, empty_stored + 4);
}

struct CompressorCache {
  libdeflate_compressor* compressor = nullptr;
  int level = -1;
  ~CompressorCache() {
    if (compressor) libdeflate_free_compressor(compressor);
  }
  libdeflate_compressor* Get(int wanted) {
    if (compressor && level != wanted) {
      libdeflate_free_compressor(compressor);
      compressor = nullptr;
    }
    if (!compressor) {
      compressor = libdeflate_alloc_compressor(wanted);
      if (!compressor) throw std::bad_alloc();
      level = wanted;
    }
    return compressor;
  }
};

// The whole-buffer deflater's level for each zlib level 1..9: the fastest one whose output is
// no larger than zlib's at that level (by more than a fraction of a percent) on photographs and
// on 8-bit palette images.
constexpr int kLibdeflateLevel[10] = {0, 2, 2, 3, 4, 5, 7, 7, 7, 7};

// One block as raw deflate data; a non-final block ends on a byte boundary.
std::vector<uint8_t> DeflateBlock(std::vector<uint8_t> input, int level, bool final_block) {
  std::vector<uint8_t> out;
  if (level == 0) {
    out.reserve(input.size() + (input.size() / kStoredMax + 1) * 5);
    if (!input.empty() || final_block) Stored(input.data(), input.size(), final_block, out);
    return out;
  }
  if (final_block && input.size() < kSmallFinalBlock) {
    // Little data: zlib's own deflater, whose fixed-code blocks beat the whole-buffer one here.
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::runtime_error("deflateInit2");
    out.resize(deflateBound(&z, static_cast<uLong>(input.size())) + 16);
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
  }
  thread_local CompressorCache cache;
  libdeflate_compressor* c = cache.Get(kLibdeflateLevel[level]);
  out.resize(libdeflate_deflate_compress_bound(c, input.size()));
  const size_t n =
      libdeflate_deflate_compress(c, input.data(), input.size(), out.data(), out.size());
  if (n == 0) throw std::runtime_error("deflate");
  out.resize(n);
  std::vector<uint8_t>().swap(input);  // the input goes before the walk needs its buffer
  if (!final_block) MakeNonFinal(out);
  return out;
}

}  // namespace

void ZlibWriter::SetBlockSize(size_t bytes) { g_block_size = bytes; }

ZlibWriter::ZlibWriter(int level, Sink sink, size_t expected_size)
    : level_(level >= 0 && level <= 9 ? level : 6),
      sink_(std::move(sink)),
      block_size_(g_block_size.load() ? g_block_size.load() : kBlockSize),
      threads_(expected_size > 2 * block_size_ ? ConversionThreads() : 1) {
  block_.reserve(std::min(block_size_, expected_size > 0 ? expected_size : size_t{1} << 16));
}

ZlibWriter::~ZlibWriter() {
  // Blocks still being deflated (after an error) are waited for and dropped.
  pending_.clear();
}

void ZlibWriter::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (block_.size() == block_size_) Submit(false);
    const size_t n = std::min(size, block_size_ - block_.size());
    block_.insert(block_.end(), data, data + n);
    data += n;
    size -= n;
  }
}

uint8_t* ZlibWriter::Reserve(size_t size) {
  if (size > block_size_) throw std::length_error("ZlibWriter::Reserve");
  if (block_.size() + size > block_size_) {
    // The piece straddles two blocks: filled beside and copied in.
    spill_.resize(size);
    spilled_ = true;
    return spill_.data();
  }
  spilled_ = false;
  reserved_at_ = block_.size();
  block_.resize(reserved_at_ + size);
  return block_.data() + reserved_at_;
}

void ZlibWriter::Commit(size_t size) {
  if (spilled_) {
    Write(spill_.data(), std::min(size, spill_.size()));
    return;
  }
  block_.resize(std::min(block_.size(), reserved_at_ + size));
}

void ZlibWriter::Submit(bool final_block) {
  if (!header_written_) {
    // The zlib header as zlib writes it: 32 KiB window, the level class in FLEVEL.
    const unsigned flevel = level_ < 2 ? 0 : level_ < 6 ? 1 : level_ == 6 ? 2 : 3;
    unsigned header = (0x78u << 8) | (flevel << 6);
    header += 31 - header % 31;
    const uint8_t bytes[2] = {static_cast<uint8_t>(header >> 8), static_cast<uint8_t>(header)};
    sink_(bytes, 2);
    header_written_ = true;
  }
  adler_ = libdeflate_adler32(adler_, block_.data(), block_.size());
  std::vector<uint8_t> input;
  input.swap(block_);
  if (!final_block) block_.reserve(block_size_);
  if (threads_ > 1) {
    pending_.push_back(
        std::async(std::launch::async, DeflateBlock, std::move(input), level_, final_block));
    while (pending_.size() >= static_cast<size_t>(threads_)) EmitOldest();
  } else {
    Emit(DeflateBlock(std::move(input), level_, final_block));
  }
}

void ZlibWriter::EmitOldest() {
  std::vector<uint8_t> bytes = pending_.front().get();
  pending_.pop_front();
  Emit(bytes);
}

void ZlibWriter::Emit(const std::vector<uint8_t>& bytes) {
  if (!bytes.empty()) sink_(bytes.data(), bytes.size());
}

void ZlibWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  Submit(true);
  while (!pending_.empty()) EmitOldest();
  const uint8_t tail[4] = {static_cast<uint8_t>(adler_ >> 24), static_cast<uint8_t>(adler_ >> 16),
                           static_cast<uint8_t>(adler_ >> 8), static_cast<uint8_t>(adler_)};
  sink_(tail, 4);
}

std::vector<uint8_t> ZlibCompress(const uint8_t* data, size_t size, int level) {
  std::vector<uint8_t> out;
  out.reserve(size / 2 + 64);
  ZlibWriter z(
      level, [&out](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }, size);
  z.Write(data, size);
  z.Finish();
  out.shrink_to_fit();
  return out;
}

}  // namespace pamirune
