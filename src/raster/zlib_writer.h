// ZlibWriter: deflates data handed over in pieces into one zlib stream (RFC 1950), as the PNG
// writer's image data and the PDF writer's image streams need it.
//
// The data are cut into blocks that are deflated each on their own, as after a full flush (no
// match reaches back into an earlier block), with the whole-buffer deflater; large data are
// deflated on two threads, block by block (the caller's thread and one helper). The block size
// depends only on the expected size, so the bytes written never depend on the number of
// threads, and the sink is always called on the caller's thread, in order.
//
//   ZlibWriter z(6, [&](const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); },
//                expected_size);
//   z.Write(row, row_size);  ...  z.Finish();
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace pamirune {

class ZlibWriter {
 public:
  using Sink = std::function<void(const uint8_t* data, size_t size)>;

  // Data of one block at most. Data expected to span more than two blocks are cut into an even
  // number of blocks of equal size (the last one may be shorter), so that two threads share
  // the work evenly.
  static constexpr size_t kBlockSize = size_t{4} << 20;

  // level: 0 stores the data uncompressed, 1..9 as zlib's levels, anything else is zlib's
  // default level 6. expected_size: the number of bytes the caller means to write (0 when not
  // known); blocks are deflated on two threads only when it spans more than two blocks.
  ZlibWriter(int level, Sink sink, size_t expected_size = 0);
  ~ZlibWriter();
  ZlibWriter(const ZlibWriter&) = delete;
  ZlibWriter& operator=(const ZlibWriter&) = delete;

  void Write(const uint8_t* data, size_t size);
  // Room for the next size bytes (at most the block size), to be filled by the caller and then
  // handed over with Commit(size).
  uint8_t* Reserve(size_t size);
  void Commit(size_t size);
  // Ends the stream (the last block and the checksum). Nothing may be written after it.
  void Finish();

  // The largest block size of writers made from now on (0: kBlockSize); for tests.
  static void SetBlockSize(size_t bytes);

  struct Block;

 private:
  struct Helper;

  void Room(size_t size);
  void Submit(bool final_block);
  // Hands blocks to the sink until no more than keep are in flight.
  void Drain(size_t keep);

  int level_;
  Sink sink_;
  size_t block_size_;
  size_t first_capacity_;
  int threads_;
  bool header_written_ = false;
  bool finished_ = false;
  uint32_t adler_ = 1;
  std::unique_ptr<Block> block_;  // the block being filled
  std::vector<uint8_t> spill_;    // a reserved piece that straddles two blocks
  bool spilled_ = false;
  size_t reserved_at_ = 0;
  std::deque<std::unique_ptr<Block>> pending_;  // deflated or being deflated, in order
  std::vector<std::unique_ptr<Block>> spare_;   // emitted blocks whose buffers are reused
  std::unique_ptr<Helper> helper_;
};

// One zlib stream of the whole buffer, as ZlibWriter writes it.
std::vector<uint8_t> ZlibCompress(const uint8_t* data, size_t size, int level);

}  // namespace pamirune
