#include "raster/zlib_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "raster/deflate_walk.h"
#include "raster/threads.h"

namespace pamirune {

struct ZlibWriter::Block {
  std::unique_ptr<uint8_t[]> in;
  size_t in_capacity = 0;
  size_t in_size = 0;
  std::unique_ptr<uint8_t[]> out;
  size_t out_capacity = 0;
  size_t out_size = 0;
  bool final_block = false;
  bool done = false;  // under the helper's lock when a helper exists
  std::exception_ptr error;
};

namespace {

std::atomic<size_t> g_block_size{0};

// A last block smaller than this is deflated by zlib itself.
constexpr size_t kSmallFinalBlock = 64 * 1024;

// The largest stored block.
constexpr size_t kStoredMax = 65535;

// Bytes written after a deflater's bound at most: the empty stored block that ends a block
// others follow, and its padding.
constexpr size_t kTailRoom = 16;

void Grow(std::unique_ptr<uint8_t[]>& buffer, size_t& capacity, size_t wanted, size_t keep) {
  if (wanted <= capacity) return;
  std::unique_ptr<uint8_t[]> bigger(new uint8_t[wanted]);
  if (keep) std::memcpy(bigger.get(), buffer.get(), keep);
  buffer = std::move(bigger);
  capacity = wanted;
}

size_t Stored(const uint8_t* data, size_t size, bool final_block, uint8_t* out) {
  uint8_t* o = out;
  size_t pos = 0;
  do {
    const size_t n = std::min(kStoredMax, size - pos);
    const bool last = final_block && pos + n == size;
    *o++ = last ? 1 : 0;
    *o++ = static_cast<uint8_t>(n);
    *o++ = static_cast<uint8_t>(n >> 8);
    *o++ = static_cast<uint8_t>(~n);
    *o++ = static_cast<uint8_t>(~n >> 8);
    if (n) std::memcpy(o, data + pos, n);
    o += n;
    pos += n;
  } while (pos < size);
  return static_cast<size_t>(o - out);
}

// The whole-buffer deflater ends its data with a final block. A block that others follow
// loses that flag and ends on a byte boundary with an empty stored block, as after a flush.
// out holds size bytes and room for kTailRoom more; returns the new size.
size_t MakeNonFinal(uint8_t* out, size_t size) {
  uint64_t last_start = 0, end_bit = 0;
  if (!WalkDeflateBlocks(out, size, last_start, end_bit) || (end_bit + 7) / 8 != size)
    throw std::runtime_error("deflate block walk");
  out[last_start / 8] &= static_cast<uint8_t>(~(1u << (last_start % 8)));
  // Three zero bits (not final, stored), padding to the byte, then LEN 0 and NLEN 0xFFFF.
  const size_t bytes = static_cast<size_t>((end_bit + 3 + 7) / 8);
  if (end_bit % 8) out[end_bit / 8] &= static_cast<uint8_t>((1u << (end_bit % 8)) - 1);
  for (size_t i = (end_bit + 7) / 8; i < bytes; ++i) out[i] = 0;
  const uint8_t empty_stored[4] = {0x00, 0x00, 0xFF, 0xFF};
  std::memcpy(out + bytes, empty_stored, 4);
  return bytes + 4;
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

// Deflates one block's input into its output as raw deflate data; a block that others follow
// ends on a byte boundary.
void DeflateBlock(ZlibWriter::Block& b, int level) {
  const uint8_t* in = b.in.get();
  const size_t size = b.in_size;
  if (level == 0) {
    Grow(b.out, b.out_capacity, size + (size / kStoredMax + 1) * 5, 0);
    b.out_size = size || b.final_block ? Stored(in, size, b.final_block, b.out.get()) : 0;
    return;
  }
  if (b.final_block && size < kSmallFinalBlock) {
    // Little data: zlib's own deflater, whose fixed-code blocks beat the whole-buffer one here.
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::runtime_error("deflateInit2");
    const size_t bound = deflateBound(&z, static_cast<uLong>(size)) + 16;
    Grow(b.out, b.out_capacity, bound, 0);
    z.next_in = const_cast<uint8_t*>(in);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = b.out.get();
    z.avail_out = static_cast<uInt>(bound);
    const int rc = deflate(&z, Z_FINISH);
    b.out_size = bound - z.avail_out;
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
    return;
  }
  thread_local CompressorCache cache;
  libdeflate_compressor* c = cache.Get(kLibdeflateLevel[level]);
  const size_t bound = libdeflate_deflate_compress_bound(c, size);
  Grow(b.out, b.out_capacity, bound + kTailRoom, 0);
  const size_t n = libdeflate_deflate_compress(c, in, size, b.out.get(), bound);
  if (n == 0) throw std::runtime_error("deflate");
  b.out_size = b.final_block ? n : MakeNonFinal(b.out.get(), n);
}

void RunBlock(ZlibWriter::Block& b, int level) {
  try {
    DeflateBlock(b, level);
  } catch (...) {
    b.error = std::current_exception();
  }
}

}  // namespace

// The second thread: deflates the blocks queued for it, oldest first.
struct ZlibWriter::Helper {
  explicit Helper(int level) : thread([this, level] { Loop(level); }) {}
  ~Helper() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
      queue.clear();
    }
    changed.notify_all();
    thread.join();
  }

  void Loop(int level) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stop || !queue.empty(); });
      if (queue.empty()) return;
      Block* b = queue.front();
      queue.pop_front();
      lock.unlock();
      RunBlock(*b, level);
      lock.lock();
      b->done = true;
      changed.notify_all();
    }
  }

  std::mutex mutex;
  std::condition_variable changed;  // a block queued, a block done, or the end
  std::deque<Block*> queue;         // not yet started
  bool stop = false;
  std::thread thread;
};

void ZlibWriter::SetBlockSize(size_t bytes) { g_block_size = bytes; }

namespace {

// Blocks of at most max bytes; data expected to need more than two are cut into an even
// number of equal blocks.
size_t BlockSizeFor(size_t max, size_t expected) {
  if (expected <= 2 * max) return max;
  size_t blocks = (expected + max - 1) / max;
  blocks += blocks % 2;
  return (expected + blocks - 1) / blocks;
}

}  // namespace

ZlibWriter::ZlibWriter(int level, Sink sink, size_t expected_size)
    : level_(level >= 0 && level <= 9 ? level : 6),
      sink_(std::move(sink)),
      block_size_(
          BlockSizeFor(g_block_size.load() ? g_block_size.load() : kBlockSize, expected_size)),
      first_capacity_(std::min(block_size_, std::max(expected_size, size_t{1} << 16))),
      threads_(expected_size > 2 * block_size_ ? ConversionThreads() : 1) {}

ZlibWriter::~ZlibWriter() {
  // Blocks still being deflated (after an error) are waited for and dropped.
  helper_.reset();
}

void ZlibWriter::Room(size_t size) {
  if (!block_) {
    if (!spare_.empty()) {
      block_ = std::move(spare_.back());
      spare_.pop_back();
    } else {
      block_ = std::make_unique<Block>();
    }
    block_->in_size = 0;
    block_->out_size = 0;
    block_->done = false;
    block_->final_block = false;
    block_->error = nullptr;
  }
  const size_t need = block_->in_size + size;
  if (need > block_->in_capacity)
    Grow(block_->in, block_->in_capacity,
         std::min(block_size_, std::max({need, 2 * block_->in_capacity, first_capacity_})),
         block_->in_size);
}

void ZlibWriter::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (block_ && block_->in_size == block_size_) Submit(false);
    const size_t n = std::min(size, block_size_ - (block_ ? block_->in_size : 0));
    Room(n);
    std::memcpy(block_->in.get() + block_->in_size, data, n);
    block_->in_size += n;
    data += n;
    size -= n;
  }
}

uint8_t* ZlibWriter::Reserve(size_t size) {
  if (size > block_size_) {
    // Larger than a block (a small expected size): filled beside and copied in.
    spill_.resize(size);
    spilled_ = true;
    return spill_.data();
  }
  if (block_ && block_->in_size + size > block_size_) {
    // The piece straddles two blocks: filled beside and copied in.
    spill_.resize(size);
    spilled_ = true;
    return spill_.data();
  }
  spilled_ = false;
  Room(size);
  reserved_at_ = block_->in_size;
  block_->in_size += size;
  return block_->in.get() + reserved_at_;
}

void ZlibWriter::Commit(size_t size) {
  if (spilled_) {
    Write(spill_.data(), std::min(size, spill_.size()));
    return;
  }
  block_->in_size = std::min(block_->in_size, reserved_at_ + size);
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
  Room(0);
  std::unique_ptr<Block> b = std::move(block_);
  adler_ = libdeflate_adler32(adler_, b->in.get(), b->in_size);
  b->final_block = final_block;
  Block* raw = b.get();
  pending_.push_back(std::move(b));
  if (threads_ > 1) {
    if (!helper_) helper_ = std::make_unique<Helper>(level_);
    {
      std::lock_guard<std::mutex> lock(helper_->mutex);
      helper_->queue.push_back(raw);
    }
    helper_->changed.notify_all();
    Drain(static_cast<size_t>(threads_));
  } else {
    DeflateBlock(*raw, level_);
    raw->done = true;
    Drain(0);
  }
}

void ZlibWriter::Drain(size_t keep) {
  while (pending_.size() > keep) {
    Block& front = *pending_.front();
    if (helper_) {
      std::unique_lock<std::mutex> lock(helper_->mutex);
      if (!front.done) {
        if (!helper_->queue.empty()) {
          // Deflate the newest block waiting here rather than idle.
          Block* b = helper_->queue.back();
          helper_->queue.pop_back();
          lock.unlock();
          RunBlock(*b, level_);
          lock.lock();
          b->done = true;
          continue;
        }
        helper_->changed.wait(lock, [&front] { return front.done; });
      }
    }
    std::unique_ptr<Block> b = std::move(pending_.front());
    pending_.pop_front();
    if (b->error) std::rethrow_exception(b->error);
    if (b->out_size) sink_(b->out.get(), b->out_size);
    spare_.push_back(std::move(b));
  }
}

void ZlibWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  Submit(true);
  Drain(0);
  const uint8_t tail[4] = {static_cast<uint8_t>(adler_ >> 24), static_cast<uint8_t>(adler_ >> 16),
                           static_cast<uint8_t>(adler_ >> 8), static_cast<uint8_t>(adler_)};
  sink_(tail, 4);
  helper_.reset();
  spare_.clear();
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
