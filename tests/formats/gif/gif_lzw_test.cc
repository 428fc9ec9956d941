// The image data coders: sub-block writer, dictionary, LZW and run-length encoders, decoder.
#include "formats/gif/gif_lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "formats/gif/gif.h"
#include "gif_test_util.h"

namespace pamirune {
namespace {

using gif_test::CodeWriter;

std::vector<uint8_t> Encode(TGIFEncoder& encoder, const std::vector<uint8_t>& pixels, int width,
                            int height, int bits, bool interlaced = false) {
  TMemoryStream out;
  encoder.Compress(out, pixels.empty() ? nullptr : pixels.data(), width, height, interlaced, bits);
  return out.Bytes();
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& data, int width, int height,
                            bool interlaced = false, std::vector<std::string>* warnings = nullptr,
                            uint8_t initial = 0) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, initial);
  TMemoryStream in(data);
  DecodeGifImageData(in, pixels.data(), width, height, interlaced, [&](const std::string& w) {
    if (warnings) warnings->push_back(w);
  });
  EXPECT_EQ(in.Position(), in.Size()) << "the decoder stops after the block terminator";
  return pixels;
}

// Reads the code stream of image data the way a decoder sizes its codes, recording every code
// and, for each clear code after the first, the next free code it interrupted.
struct CodeTrace {
  std::vector<int> codes;
  std::vector<int> next_at_clear;
  int max_size = 0;
};

CodeTrace TraceCodes(const std::vector<uint8_t>& data) {
  CodeTrace trace;
  const int m = data[0];
  std::vector<uint8_t> bytes;
  for (size_t at = 1; at < data.size() && data[at] != 0; at += data[at] + 1u)
    bytes.insert(bytes.end(), data.begin() + at + 1, data.begin() + at + 1 + data[at]);
  const int clear = 1 << m, end = clear + 1;
  int size = m + 1, next = clear + 2;
  bool first = true;
  size_t bit = 0;
  while (bit + size <= bytes.size() * 8) {
    int code = 0;
    for (int i = 0; i < size; ++i, ++bit) code |= ((bytes[bit / 8] >> (bit % 8)) & 1) << i;
    trace.codes.push_back(code);
    trace.max_size = std::max(trace.max_size, size);
    if (code == clear) {
      if (trace.codes.size() > 1) trace.next_at_clear.push_back(next);
      size = m + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (code == end) break;
    if (!first && next < 4096) {
      ++next;
      if (next == (1 << size) && size < 12) ++size;
    }
    first = false;
  }
  return trace;
}

TEST(GifWriterTest, CutsDataIntoSubBlocksOfAtMost255Bytes) {
  TMemoryStream target;
  {
    TGIFWriter writer(target);
    std::vector<uint8_t> data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    writer.Write(data.data(), data.size());
    writer.Flush();
    writer.Flush();  // nothing held: no empty sub-block
    EXPECT_EQ(writer.Position(), 600);
    EXPECT_THROW(writer.Seek(0), EGIFError);  // a writer only writes
  }
  const auto& b = target.Bytes();
  ASSERT_EQ(b.size(), 603u);
  EXPECT_EQ(b[0], 255);
  EXPECT_EQ(b[256], 255);
  EXPECT_EQ(b[512], 90);
  EXPECT_EQ(b[1], 0);
  EXPECT_EQ(b[257], 255);  // data byte 255
  EXPECT_EQ(b[602], static_cast<uint8_t>(599));
}

TEST(HashTableTest, FindsEveryKeyEvenWhenAllStartInOneProbeCycle) {
  // Doubling modulo 8,009 only reaches half of the slots from any start. Keys that all start in
  // that half would fill it; the table must still take them all and find them again.
  std::set<int> cycle;
  for (int h = 1; cycle.insert(h).second;) h = (2 * h) % THashTable::kSize;
  ASSERT_EQ(cycle.size(), 4004u);
  THashTable table;
  std::vector<uint32_t> keys;
  for (uint32_t key = 0; keys.size() < 4089 && key < (1u << 20); ++key)
    if (cycle.count(static_cast<int>((key ^ (key >> 4)) % THashTable::kSize))) keys.push_back(key);
  ASSERT_EQ(keys.size(), 4089u);
  for (size_t i = 0; i < keys.size(); ++i) table.Insert(keys[i], static_cast<int>(i % 4096));
  for (size_t i = 0; i < keys.size(); ++i)
    ASSERT_EQ(table.Lookup(keys[i]), static_cast<int>(i % 4096)) << i;
  EXPECT_EQ(table.Lookup(0xFFFFF), -1);
  table.Clear();
  EXPECT_EQ(table.Lookup(keys[0]), -1);
}

TEST(LzwEncoderTest, EmptyFrameGetsTheEndCodeAlone) {
  TLZWEncoder encoder;
  // m = 2: end code 5 in 3 bits.
  EXPECT_EQ(Encode(encoder, {}, 0, 5, 1), (std::vector<uint8_t>{0x02, 0x01, 0x05, 0x00}));
}

TEST(LzwEncoderTest, IndexBeyondTheColourCountIsRefused) {
  TLZWEncoder encoder;
  try {
    Encode(encoder, {0, 1, 2, 1}, 2, 2, 1);
    FAIL();
  } catch (const EGIFError& e) {
    EXPECT_STREQ(e.what(), "Color not in color table");
  }
}

TEST(LzwEncoderTest, RoundTripsThroughTheDecoderAtEveryDepth) {
  std::mt19937 random(7);
  for (int bits = 1; bits <= 8; ++bits) {
    for (bool interlaced : {false, true}) {
      const int width = 37, height = 23;
      std::vector<uint8_t> pixels(width * height);
      for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i % 11 < 6 ? i / 13 : random()) % (1u << bits));
      TLZWEncoder encoder;
      const auto data = Encode(encoder, pixels, width, height, bits, interlaced);
      EXPECT_EQ(data[0], std::max(bits, 2));
      std::vector<std::string> warnings;
      EXPECT_EQ(Decode(data, width, height, interlaced, &warnings), pixels) << bits;
      EXPECT_TRUE(warnings.empty());
    }
  }
}

TEST(LzwEncoderTest, WritesAClearCodeOnceCode4094IsAssigned) {
  std::mt19937 random(11);
  const int width = 300, height = 200;
  std::vector<uint8_t> pixels(width * height);
  for (auto& p : pixels) p = static_cast<uint8_t>(random() & 0xFF);
  TLZWEncoder encoder;
  const auto data = Encode(encoder, pixels, width, height, 8);
  const CodeTrace trace = TraceCodes(data);
  ASSERT_FALSE(trace.next_at_clear.empty());
  // Every clear comes right after code 4,094 was assigned, never later, never earlier.
  for (int next : trace.next_at_clear) EXPECT_EQ(next, 4095);
  EXPECT_EQ(trace.max_size, 12);
  EXPECT_EQ(trace.codes.front(), 256);
  EXPECT_EQ(trace.codes.back(), 257);
  // After each clear the codes are 9 bits wide again; the decoder agrees.
  EXPECT_EQ(Decode(data, width, height), pixels);
}

TEST(RleEncoderTest, RoundTripsAndKeepsItsCodeSizeFixed) {
  std::mt19937 random(3);
  for (int bits : {1, 2, 4, 8}) {
    const int width = 64, height = 40;
    std::vector<uint8_t> pixels(width * height);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = static_cast<uint8_t>(((i / 50) % 3 == 0 ? random() : i / 97) % (1u << bits));
    TRLEEncoder encoder;
    const auto data = Encode(encoder, pixels, width, height, bits, bits == 4);
    EXPECT_EQ(Decode(data, width, height, bits == 4), pixels) << bits;
    EXPECT_EQ(TraceCodes(data).max_size, std::max(bits, 2) + 1);
  }
  // Long runs take run codes: single-index codes would need 5,000 codes of 9 bits.
  std::vector<uint8_t> run(5000, 3);
  TRLEEncoder encoder;
  const auto data = Encode(encoder, run, 100, 50, 8);
  EXPECT_EQ(Decode(data, 100, 50), run);
  EXPECT_LT(data.size(), 1000u);
}

TEST(GifDecoderTest, MissingDataLeavesPixelsAtTheirInitialValue) {
  // Codes for 4 of 6 pixels filling two bytes exactly, then the data ends without an end code.
  CodeWriter w;
  w.Put(4, 3);
  w.Put(1, 3);
  w.Put(2, 3);
  w.Put(3, 3);
  w.Put(1, 4);
  std::vector<std::string> warnings;
  const auto pixels = Decode(w.ImageData(2), 3, 2, false, &warnings, 9);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3, 1, 9, 9}));
  EXPECT_EQ(warnings, (std::vector<std::string>{"Decoder bit buffer under-run"}));
}

TEST(GifDecoderTest, ShortSubBlockWarnsAndUsesWhatIsThere) {
  CodeWriter w;
  w.Put(4, 3);
  w.Put(1, 3);
  w.Put(1, 3);
  w.Put(1, 3);
  w.Put(5, 4);
  auto data = w.ImageData(2, false);
  data[1] = 40;  // claims more bytes than follow
  std::vector<std::string> warnings;
  const auto pixels = Decode(data, 2, 2, false, &warnings);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 1, 1, 0}));
  ASSERT_FALSE(warnings.empty());
  EXPECT_EQ(warnings[0], "Premature end of data");
}

TEST(GifDecoderTest, SkipsWhatFollowsTheEndCode) {
  CodeWriter w;
  w.Put(4, 3);
  w.Put(2, 3);
  w.Put(5, 3);
  auto data = w.ImageData(2, false);
  data.insert(data.end(), {3, 0xAA, 0xBB, 0xCC, 0});
  EXPECT_EQ(Decode(data, 1, 1), (std::vector<uint8_t>{2}));
}

TEST(GifDecoderTest, SelfReferencingEntryIsRefused) {
  // clear, 0, 7 (beyond the table: taken as the entry being made), 8 (likewise; the new entry 7
  // now points to itself), then 7 again.
  CodeWriter w;
  w.Put(4, 3);
  w.Put(0, 3);
  w.Put(7, 3);
  w.Put(8, 3);
  w.Put(7, 4);
  w.Put(5, 4);
  try {
    Decode(w.ImageData(2), 16, 16);
    FAIL();
  } catch (const EGIFError& e) {
    EXPECT_STREQ(e.what(), "Circular decoder table entry");
  }
}

TEST(GifDecoderTest, MinimumCodeSizeAboveEightIsRefused) {
  const std::vector<uint8_t> data{9, 1, 0, 0};
  std::vector<uint8_t> pixels(4);
  TMemoryStream in(data);
  try {
    DecodeGifImageData(in, pixels.data(), 2, 2, false, [](const std::string&) {});
    FAIL();
  } catch (const EGIFError& e) {
    EXPECT_STREQ(e.what(), "Invalid GIF data");
  }
}

}  // namespace
}  // namespace pamirune
