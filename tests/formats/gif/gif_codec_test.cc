// The GIF image: colour maps, writing, reading (damaged files included), frames from Raster
// images, rendering of frame 0 and registration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "formats/gif/gif.h"
#include "gif_test_util.h"

namespace pamirune {
namespace {

using gif_test::Attach;
using gif_test::CodeWriter;
using gif_test::Contains;
using gif_test::FileWith;
using gif_test::Indexed;
using gif_test::Load;
using gif_test::Save;
using gif_test::TrueColour;
using gif_test::Warnings;

template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "";
}

// --------------------------------------------------------------------------------------------
// Colour maps

TEST(GifColorMapTest, CapacityBitsAndErrors) {
  TGIFColorMap map;
  EXPECT_EQ(map.BitsPerPixel(), 0);
  EXPECT_EQ(ErrorOf([&] { map.Nearest(kClWhite); }), "Color table is empty");
  EXPECT_EQ(ErrorOf([&] { map.Delete(0); }), "Invalid color index");
  const std::vector<std::pair<int, int>> capacity_and_bits = {{16, 1}, {16, 4}, {32, 5}, {256, 8}};
  const int counts[] = {1, 16, 17, 250};
  for (size_t i = 0; i < 4; ++i) {
    while (map.Count() < counts[i]) map.Add(RGB(map.Count(), 0, 0));
    EXPECT_EQ(map.Capacity(), capacity_and_bits[i].first) << counts[i];
    EXPECT_EQ(map.BitsPerPixel(), capacity_and_bits[i].second) << counts[i];
  }
  while (map.Count() < 256) map.Add(kClWhite);
  EXPECT_EQ(ErrorOf([&] { map.Add(kClWhite); }), "Color table overflow");
  map.Delete(0);
  EXPECT_EQ(map.Color(0), RGB(1, 0, 0));
  EXPECT_EQ(map.IndexOf(kClWhite), 249);
  EXPECT_EQ(map.Nearest(RGB(250, 250, 250)), 249);
}

// --------------------------------------------------------------------------------------------
// Writing

TEST(GifWriteTest, TwoColourFileIsExactlyTheExpectedBytes) {
  TGIFImage gif;
  TBitmap bitmap(2, 2, TPixelFormat::pf1bit);
  bitmap.SetPalette({QuadFromColor(kClBlack), QuadFromColor(kClWhite)});
  bitmap.SetRawPixel(1, 0, 1);
  bitmap.SetRawPixel(0, 1, 1);
  EXPECT_EQ(gif.Add(bitmap), 0);
  const std::vector<uint8_t> expected = {
      'G',  'I',  'F',  '8',  '7',  'a',  2, 0, 2, 0,    0x00, 0, 0,  // screen: no global table
      0x2C, 0,    0,    0,    0,    2,    0, 2, 0, 0x80,  // descriptor: 2-entry local table
      0,    0,    0,    0xFF, 0xFF, 0xFF,                 // black, white
      0x02, 0x03, 0x44, 0x02, 0x05, 0x00,                 // minimum code size 2, codes
      0x3B};
  EXPECT_EQ(Save(gif), expected);
}

TEST(GifWriteTest, ThreeColourFrameGetsAFourEntryTableEndingInBlack) {
  TGIFImage gif;
  gif.Add(Indexed(3, 1, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}, {0, 1, 2}));
  const auto bytes = Save(gif);
  EXPECT_EQ(bytes[10], 0x11);  // resolution 1, size field 1
  EXPECT_EQ(bytes[22], 0x81);  // local table of 2^2 entries
  const std::vector<uint8_t> table(bytes.begin() + 23, bytes.begin() + 35);
  EXPECT_EQ(table, (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}));
  EXPECT_EQ(bytes[35], 2);  // minimum code size
}

TEST(GifWriteTest, FullColourFrameOf216ColoursGetsA256EntryTable) {
  std::vector<TColor> colours;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) colours.push_back(RGB(r * 51, g * 51, b * 51));
  TGIFImage gif;
  gif.Add(TrueColour(216, 1, colours));
  const auto bytes = Save(gif);
  EXPECT_EQ(bytes[22], 0x87);
  const size_t table = 23;
  for (int i = 216; i < 256; ++i)
    for (int c = 0; c < 3; ++c) ASSERT_EQ(bytes[table + 3 * i + c], 0) << i;
  EXPECT_EQ(bytes[table + 768], 8);  // minimum code size
  // Every colour of the cube is kept exactly.
  TGIFImage back;
  Load(back, bytes);
  TBitmap frame0;
  frame0.Assign(back);
  for (int x = 0; x < 216; ++x) ASSERT_EQ(frame0.Pixel(x, 0), colours[x]) << x;
}

TEST(GifWriteTest, VersionFollowsWhatTheFramesNeed) {
  TGIFImage gif;
  TMemoryStream out;
  out.WriteBytes({1, 2, 3});
  EXPECT_EQ(ErrorOf([&] { gif.SaveToStream(out); }), "Unsupported GIF version");
  EXPECT_EQ(out.Size(), 3) << "a failed save writes nothing";

  auto version_text = [&] {
    const auto bytes = Save(gif);
    return std::string(bytes.begin(), bytes.begin() + 6);
  };
  gif.Add(Indexed(1, 1, {kClWhite}, {0}));
  EXPECT_EQ(gif.Version(), TGIFVersion::gv87a);
  EXPECT_EQ(version_text(), "GIF87a");
  gif.Add(Indexed(1, 1, {kClWhite}, {0}));
  Attach<TGIFCommentExtension>(gif.Images()[1]).lines = {"made here"};
  EXPECT_EQ(version_text(), "GIF89a");
  gif.Images()[1].Extensions().Clear();
  gif.Images()[0].ColorMap().SetOptimized(true);
  const auto bytes = Save(gif);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(bytes[22] & 0x20, 0x20) << "sorted flag of the local table";
}

TEST(GifWriteTest, GlobalTableHoldsAsManyEntriesAsTheHeaderAnnounces) {
  // A global map of 2 colours while a frame's local map needs 8 bits: the size field covers
  // the frames too, so the global table is padded to 256 entries to match it.
  TGIFImage gif;
  gif.GlobalColorMap().Add(kClBlack);
  gif.GlobalColorMap().Add(kClWhite);
  std::vector<TColor> palette;
  for (int i = 0; i < 200; ++i) palette.push_back(RGB(i, 0, 0));
  gif.Add(Indexed(2, 1, palette, {0, 199}));
  gif.Add(Indexed(2, 1, {kClWhite}, {0, 0}));
  gif.Images()[1].ColorMap().Clear();  // uses the global map
  gif.Images()[1].Data() = {1, 0};
  const auto bytes = Save(gif);
  EXPECT_EQ(bytes[10], 0xF7);
  TGIFImage back;
  Warnings warnings(back);
  Load(back, bytes);
  EXPECT_TRUE(warnings.texts.empty());
  ASSERT_EQ(back.Images().Count(), 2);
  EXPECT_EQ(back.GlobalColorMap().Count(), 256);
  EXPECT_EQ(back.GlobalColorMap().Color(1), kClWhite);
  EXPECT_EQ(back.Images()[1].Data(), (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(back.Images()[0].Pixels(1, 0), 199);
}

TEST(GifWriteTest, ExtensionsAreWrittenInListOrderAndReadBack) {
  TGIFImage gif;
  gif.Add(Indexed(2, 1, {kClBlack, kClWhite}, {0, 1}));
  TGIFSubImage& frame = gif.Images()[0];
  Attach<TGIFAppExtNSLoop>(frame).SetLoops(7);
  Attach<TGIFAppExtNSLoop>(frame).SetBufferSize(0x01020304);
  Attach<TGIFCommentExtension>(frame).lines = {std::string(300, 'c'), "", "last"};
  auto& text = Attach<TGIFTextExtension>(frame);
  text.grid_width = 40;
  text.lines = {"hello"};
  auto& other = Attach<TGIFUnknownAppExtension>(frame);
  other.SetIdentifier("XMP DataXMP");
  other.blocks = {{{1, 2, 3}}, {std::vector<uint8_t>(255, 7)}};
  auto& control = Attach<TGIFGraphicControlExtension>(frame);
  control.SetDisposal(2);
  control.SetDelay(500);
  control.SetTransparent(true);
  control.SetTransparentColorIndex(1);

  const auto bytes = Save(gif);
  std::vector<uint8_t> loop_bytes = {0x21, 0xFF, 0x0B};
  for (char c : std::string("NETSCAPE2.0")) loop_bytes.push_back(static_cast<uint8_t>(c));
  std::vector<uint8_t> with_buffer = loop_bytes;
  loop_bytes.insert(loop_bytes.end(), {3, 1, 7, 0, 0});
  with_buffer.insert(with_buffer.end(), {3, 1, 0, 0, 5, 2, 4, 3, 2, 1, 0});
  EXPECT_TRUE(Contains(bytes, loop_bytes));
  EXPECT_TRUE(Contains(bytes, with_buffer));
  EXPECT_TRUE(Contains(bytes, {0x21, 0xF9, 4, 0x09, 0xF4, 0x01, 1, 0}));

  TGIFImage back;
  Load(back, bytes);
  ASSERT_EQ(back.Images().Count(), 1);
  const TGIFExtensionList& list = back.Images()[0].Extensions();
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(dynamic_cast<const TGIFAppExtNSLoop&>(list[0]).Loops(), 7);
  EXPECT_EQ(dynamic_cast<const TGIFAppExtNSLoop&>(list[1]).BufferSize(), 0x01020304u);
  EXPECT_EQ(dynamic_cast<const TGIFCommentExtension&>(list[2]).lines,
            (std::vector<std::string>{std::string(300, 'c'), "", "last"}));
  EXPECT_EQ(dynamic_cast<const TGIFTextExtension&>(list[3]).grid_width, 40);
  EXPECT_EQ(dynamic_cast<const TGIFUnknownAppExtension&>(list[4]).blocks.size(), 2u);
  EXPECT_TRUE(back.Images()[0].Transparent());
  EXPECT_EQ(back.Images()[0].GraphicControlExtension(), &list[5]);
  EXPECT_EQ(Save(back), bytes) << "a file we wrote is written back unchanged";
}

// --------------------------------------------------------------------------------------------
// Reading

std::vector<uint8_t> SmallFile() {
  TGIFImage gif;
  gif.Add(Indexed(3, 2, {kClBlack, kClWhite, RGB(255, 0, 0)}, {0, 1, 2, 2, 1, 0}));
  return Save(gif);
}

TEST(GifReadTest, SignatureMayFollowFourOtherBytesAndBeLowerCase) {
  auto bytes = SmallFile();
  bytes.insert(bytes.begin(), {'M', 'a', 'c', '!'});
  TGIFImage gif;
  Load(gif, bytes);
  ASSERT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(gif.Images()[0].Data(), (std::vector<uint8_t>{0, 1, 2, 2, 1, 0}));

  auto lower = SmallFile();
  lower[0] = 'g';
  lower[1] = 'i';
  lower[2] = 'f';
  TGIFImage gif2;
  Load(gif2, lower);
  EXPECT_EQ(gif2.Images().Count(), 1);
  EXPECT_EQ(gif2.Header().VersionText(), "87a");
}

TEST(GifReadTest, FailedLoadLeavesTheStreamWhereItBeganAndTheImageEmpty) {
  auto bytes = SmallFile();
  bytes[4] = 'X';                                // version text is not checked...
  bytes.insert(bytes.begin(), {1, 2, 3, 4, 5});  // ...but five bytes before the signature are
  TMemoryStream in(bytes);
  in.Seek(0);
  TGIFImage gif;
  gif.Add(Indexed(1, 1, {kClWhite}, {0}));
  EXPECT_EQ(ErrorOf([&] { gif.LoadFromStream(in); }), "Invalid GIF signature");
  EXPECT_EQ(in.Position(), 0);
  EXPECT_TRUE(gif.Empty());
  in.Seek(5);
  EXPECT_NO_THROW(gif.LoadFromStream(in));
}

TEST(GifReadTest, TruncatedFileKeepsTheInitialIndexForMissingPixels) {
  std::vector<uint8_t> indices(64 * 64);
  for (size_t i = 0; i < indices.size(); ++i)
    indices[i] = static_cast<uint8_t>((i * 7 + i / 64) % 16);
  std::vector<TColor> palette;
  for (int i = 0; i < 16; ++i) palette.push_back(RGB(i * 16, 0, 0));
  for (bool transparent : {false, true}) {
    TGIFImage gif;
    gif.Add(Indexed(64, 64, palette, indices));
    if (transparent) {
      auto& control = Attach<TGIFGraphicControlExtension>(gif.Images()[0]);
      control.SetTransparent(true);
      control.SetTransparentColorIndex(15);
    }
    auto bytes = Save(gif);
    bytes.resize(bytes.size() / 2);
    TGIFImage back;
    Warnings warnings(back);
    Load(back, bytes);
    ASSERT_EQ(back.Images().Count(), 1);
    const auto& data = back.Images()[0].Data();
    EXPECT_EQ(data[0], indices[0]);
    EXPECT_EQ(data.back(), transparent ? 15 : 0);
    size_t decoded = 0;
    while (decoded < data.size() && data[decoded] == indices[decoded]) ++decoded;
    EXPECT_GT(decoded, 100u);
    for (size_t i = decoded + 64; i < data.size(); ++i)
      ASSERT_EQ(data[i], transparent ? 15 : 0) << i;
    EXPECT_TRUE(warnings.Has("Premature end of data"));
    EXPECT_TRUE(warnings.Has("Decoder bit buffer under-run"));
    EXPECT_TRUE(warnings.Has("Invalid Image trailer"));
  }
}

std::vector<uint8_t> WithBlocks(const std::vector<uint8_t>& blocks) {
  // A 1x1 file whose frame follows the given bytes.
  std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  f.insert(f.end(), blocks.begin(), blocks.end());
  // 2-entry local table, minimum code size 2, codes clear 0 end.
  f.insert(f.end(),
           {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 9, 9, 9, 0, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
  return f;
}

std::vector<uint8_t> AppHeader(uint8_t block_size, const std::string& id) {
  std::vector<uint8_t> b = {0x21, 0xFF, block_size};
  for (char c : id) b.push_back(static_cast<uint8_t>(c));
  return b;
}

TEST(GifReadTest, ExtensionRulesAndTheirErrors) {
  TGIFImage gif;
  Warnings warnings(gif);
  EXPECT_EQ(ErrorOf([&] { Load(gif, WithBlocks({0x21, 0x42, 0})); }), "Unknown extension type");
  EXPECT_EQ(ErrorOf([&] {
              Load(gif, WithBlocks({0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
            }),
            "Unsupported Application Extension block size");
  auto short_loop = AppHeader(11, "NETSCAPE2.0");
  short_loop.insert(short_loop.end(), {2, 1, 5, 0});
  EXPECT_EQ(ErrorOf([&] { Load(gif, WithBlocks(short_loop)); }), "Invalid GIF data");
  auto short_buffer = AppHeader(11, "ANIMEXTS1.0");
  short_buffer.insert(short_buffer.end(), {4, 2, 1, 2, 3, 0});
  EXPECT_EQ(ErrorOf([&] { Load(gif, WithBlocks(short_buffer)); }), "Invalid GIF data");

  // Block size 10: ten identifier bytes; the eleventh byte read is the first sub-block length.
  auto ten = AppHeader(10, "NETSCAPE2.");
  ten.insert(ten.end(), {3, 1, 4, 0, 0});
  Load(gif, WithBlocks(ten));
  ASSERT_EQ(gif.Images().Count(), 1);
  const auto* unknown = gif.Images()[0].Extensions().Find<TGIFUnknownAppExtension>();
  ASSERT_NE(unknown, nullptr);
  ASSERT_EQ(unknown->blocks.size(), 1u);
  EXPECT_EQ(unknown->blocks[0].data, (std::vector<uint8_t>{1, 4, 0}));

  // Block size above 11: the excess is skipped; other loop sub-blocks are stepped over.
  auto long_header = AppHeader(13, "ANIMEXTS1.0");
  long_header.insert(long_header.end(), {0xEE, 0xEE, 2, 9, 9, 4, 1, 0x10, 0x00, 0xFF, 0});
  Load(gif, WithBlocks(long_header));
  const auto* loop = gif.Images()[0].Extensions().Find<TGIFAppExtNSLoop>();
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->Loops(), 16);
  EXPECT_EQ(loop->Identifier(), "ANIMEXTS1.0");
  EXPECT_TRUE(warnings.texts.empty());
}

TEST(GifReadTest, GraphicControlExtensionOfAnotherSizeIsSteppedOver) {
  TGIFImage gif;
  Warnings warnings(gif);
  Load(gif, WithBlocks({0x21, 0xF9, 5, 0x01, 10, 0, 0, 0x77, 0}));
  ASSERT_EQ(gif.Images().Count(), 1);
  const auto* control = gif.Images()[0].GraphicControlExtension();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->Delay(), 10);
  EXPECT_TRUE(gif.Images()[0].Transparent());
  EXPECT_EQ(gif.Images()[0].Data(), (std::vector<uint8_t>{0}));
  EXPECT_TRUE(Contains(Save(gif), {0x21, 0xF9, 4, 0x01, 10, 0, 0, 0}));

  // Cut short by the end of the file: a warning, not an error.
  Load(gif, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4, 1});
  EXPECT_TRUE(warnings.Has("Premature end of data"));
  EXPECT_FALSE(gif.Images()[0].HasImage());
}

TEST(GifReadTest, StrayBytesGiveWarningsAndEndReading) {
  auto bytes = SmallFile();
  bytes.pop_back();  // trailer
  bytes.insert(bytes.end(), {0, 0, 0x99, 0x3B});
  TGIFImage gif;
  Warnings warnings(gif);
  Load(gif, bytes);
  EXPECT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(warnings.texts,
            (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));

  // Extensions followed by something that is no image.
  auto odd = SmallFile();
  odd.pop_back();
  odd.insert(odd.end(), {0x21, 0xFE, 1, 'x', 0, 0x77});
  TGIFImage gif2;
  Warnings warnings2(gif2);
  Load(gif2, odd);
  EXPECT_EQ(gif2.Images().Count(), 2);
  EXPECT_TRUE(warnings2.Has("Invalid extension introducer"));
  EXPECT_TRUE(warnings2.Has("Unknown GIF block type"));
}

TEST(GifReadTest, FrameOfZeroSizeTakesTheLogicalScreenSize) {
  CodeWriter w;
  w.Put(4, 3);
  w.Put(1, 3);
  w.Put(5, 3);
  auto file = FileWith(0, 0, 1, w.ImageData(2));
  file[6] = 3;  // screen 3 x 2, frame 0 x 0
  file[8] = 2;
  TGIFImage gif;
  Warnings warnings(gif);
  Load(gif, file);
  ASSERT_EQ(gif.Images().Count(), 1);
  EXPECT_EQ(gif.Images()[0].Width(), 3);
  EXPECT_EQ(gif.Images()[0].Height(), 2);
  EXPECT_EQ(gif.Images()[0].Pixels(0, 0), 1);
  EXPECT_TRUE(warnings.Has("Image exceeds Logical Screen size"));
}

TEST(GifReadTest, FramesShareThePixelLimit) {
  // Three frames of 2,000 x 2,000 with next to no data: refused once they pass the limit.
  std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', 0xD0, 0x07, 0xD0, 0x07, 0, 0, 0};
  for (int i = 0; i < 3; ++i)
    f.insert(f.end(),
             {0x2C, 0, 0, 0, 0, 0xD0, 0x07, 0xD0, 0x07, 0x80, 0, 0, 0, 9, 9, 9, 2, 1, 0x05, 0});
  f.push_back(0x3B);
  TGIFImage gif;
  gif.SetPixelLimit(9'000'000);
  EXPECT_THROW(Load(gif, f), EImageTooLarge);
  EXPECT_TRUE(gif.Empty());
  gif.SetPixelLimit(12'000'000);
  Load(gif, f);
  EXPECT_EQ(gif.Images().Count(), 3);
}

// --------------------------------------------------------------------------------------------
// Frames

TEST(GifFrameTest, PixelAccessIsBounded) {
  TGIFImage gif;
  gif.Add(Indexed(20, 5, {kClWhite}, std::vector<uint8_t>(100, 0)));
  const TGIFSubImage& frame = gif.Images()[0];
  EXPECT_EQ(ErrorOf([&] { frame.Pixels(20, 0); }), "Invalid pixel coordinates");
  EXPECT_EQ(ErrorOf([&] { frame.Pixels(0, -1); }), "Invalid pixel coordinates");
  EXPECT_THROW(gif.Images()[0].SetBounds(0, 0, 70000, 1), EImageTooLarge);
}

TEST(GifFrameTest, TransparentIndexIsCheckedAndColoursAreAppended) {
  TGIFImage gif;
  Warnings warnings(gif);
  gif.Add(Indexed(2, 1, {kClBlack, kClWhite}, {0, 1}));
  TGIFSubImage& frame = gif.Images()[0];
  TGIFGraphicControlExtension control(&frame);
  EXPECT_EQ(frame.GraphicControlExtension(), &control);
  control.SetTransparentColorIndex(2);
  EXPECT_EQ(control.TransparentColorIndex(), 0);
  EXPECT_EQ(warnings.texts, (std::vector<std::string>{"Invalid color index"}));
  control.SetTransparentColor(kClWhite);
  EXPECT_EQ(control.TransparentColorIndex(), 1);
  control.SetTransparentColor(RGB(1, 2, 3));
  EXPECT_EQ(control.TransparentColorIndex(), 2);
  EXPECT_EQ(frame.ColorMap().Count(), 3);
  control.SetTransparent(true);
  EXPECT_TRUE(frame.Transparent());
}

TEST(GifFrameTest, TransparentSourceGetsAnOptimisedMapAndABlackEntry) {
  // Palette: red (3 pixels), green (unused), blue (4 pixels), white (1 pixel, transparent).
  TBitmap source = Indexed(4, 2, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), kClWhite},
                           {0, 2, 2, 0, 2, 3, 0, 2});
  source.SetTransparent(true);
  source.SetTransparentColor(kClWhite);
  TGIFImage gif;
  gif.Add(source);
  const TGIFSubImage& frame = gif.Images()[0];
  const TGIFColorMap& map = frame.ColorMap();
  ASSERT_EQ(map.Count(), 4);
  EXPECT_EQ(map.Color(0), RGB(0, 0, 255));
  EXPECT_EQ(map.Color(1), RGB(255, 0, 0));
  EXPECT_EQ(map.Color(3), kClBlack);
  EXPECT_TRUE(map.Optimized());
  EXPECT_EQ(frame.Data(), (std::vector<uint8_t>{1, 0, 0, 1, 0, 3, 1, 0}));
  ASSERT_NE(frame.GraphicControlExtension(), nullptr);
  EXPECT_TRUE(frame.GraphicControlExtension()->Transparent());
  EXPECT_EQ(frame.GraphicControlExtension()->TransparentColorIndex(), 3);
  EXPECT_EQ(gif.Version(), TGIFVersion::gv89a);

  // No pixel of the transparent colour: the black entry goes again, no control extension.
  TBitmap opaque = Indexed(2, 1, {RGB(255, 0, 0), RGB(0, 0, 255)}, {1, 1});
  opaque.SetTransparent(true);
  opaque.SetTransparentColor(kClWhite);
  TGIFImage gif2;
  gif2.Add(opaque);
  EXPECT_EQ(gif2.Images()[0].ColorMap().Count(), 1);
  EXPECT_EQ(gif2.Images()[0].GraphicControlExtension(), nullptr);
}

TEST(GifFrameTest, KeptTrueColourAppendsColoursInTheOrderMet) {
  TGIFImage gif;
  gif.SetColorReduction(PaletteSource::KeepTrueColour);
  const TColor a = RGB(10, 20, 30), b = RGB(40, 50, 60), c = RGB(70, 80, 90);
  gif.Add(TrueColour(4, 2, {b, b, a, b, c, a, a, b}));
  const TGIFSubImage& frame = gif.Images()[0];
  ASSERT_EQ(frame.ColorMap().Count(), 3);
  EXPECT_EQ(frame.ColorMap().Color(0), b);
  EXPECT_EQ(frame.ColorMap().Color(1), a);
  EXPECT_EQ(frame.ColorMap().Color(2), c);
  EXPECT_EQ(frame.Data(), (std::vector<uint8_t>{0, 0, 1, 0, 2, 1, 1, 0}));

  std::vector<TColor> many;
  for (int i = 0; i < 257; ++i) many.push_back(RGB(i & 0xFF, i >> 8, 0));
  EXPECT_EQ(ErrorOf([&] { gif.Add(TrueColour(257, 1, many)); }), "Color table overflow");
  EXPECT_EQ(gif.Images().Count(), 1);
}

// --------------------------------------------------------------------------------------------
// The image as a graphic kind

TEST(GifImageTest, FrameZeroIsRenderedOnTheLogicalScreen) {
  TGIFImage gif;
  gif.Add(Indexed(2, 2, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}, {0, 1, 2, 0}));
  TBitmap plain;
  plain.Assign(gif);
  EXPECT_EQ(plain.Width(), 2);
  EXPECT_EQ(plain.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(plain.Palette().size(), 4u);
  EXPECT_EQ(plain.Pixel(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(plain.Pixel(0, 1), RGB(0, 0, 255));

  // Moved into a larger screen, transparent index 2: the rest of the screen takes index 2.
  gif.Images()[0].SetBounds(1, 1, 2, 2);
  gif.Images()[0].Data() = {0, 1, 2, 0};
  gif.Header().SetWidth(4);
  gif.Header().SetHeight(3);
  auto& control = Attach<TGIFGraphicControlExtension>(gif.Images()[0]);
  control.SetTransparent(true);
  control.SetTransparentColorIndex(2);
  TBitmap screen;
  screen.Assign(gif);
  ASSERT_EQ(screen.Width(), 4);
  ASSERT_EQ(screen.Height(), 3);
  EXPECT_EQ(screen.RawPixel(0, 0), 2u);
  EXPECT_EQ(screen.RawPixel(1, 1), 0u);
  EXPECT_EQ(screen.RawPixel(2, 1), 1u);
  EXPECT_EQ(screen.RawPixel(1, 2), 2u);
  EXPECT_EQ(screen.RawPixel(3, 2), 2u);
  EXPECT_TRUE(screen.Transparent());
  EXPECT_EQ(screen.TransparentColor(), RGB(0, 0, 255));

  TGIFImage empty;
  TBitmap nothing(3, 3, TPixelFormat::pf24bit);
  nothing.Assign(empty);
  EXPECT_TRUE(nothing.Empty());
  EXPECT_EQ(empty.Bitmap(), nullptr);
}

TEST(GifImageTest, CloneCopiesEveryFrameAndExtension) {
  TGIFImage gif;
  gif.GlobalColorMap().Add(kClBlack);
  gif.GlobalColorMap().Add(kClWhite);
  gif.Add(Indexed(2, 1, {RGB(1, 1, 1), RGB(2, 2, 2)}, {0, 1}));
  Attach<TGIFGraphicControlExtension>(gif.Images()[0]).SetDelay(12);
  gif.Add(Indexed(3, 1, {kClWhite}, {0, 0, 0}));
  auto copy = gif.Clone();
  auto& other = dynamic_cast<TGIFImage&>(*copy);
  gif.Images()[0].Data()[0] = 1;
  gif.Images()[0].GraphicControlExtension()->SetDelay(99);
  ASSERT_EQ(other.Images().Count(), 2);
  EXPECT_EQ(other.Images()[0].Data()[0], 0);
  ASSERT_NE(other.Images()[0].GraphicControlExtension(), nullptr);
  EXPECT_EQ(other.Images()[0].GraphicControlExtension()->Delay(), 12);
  EXPECT_EQ(other.GlobalColorMap().Count(), 2);
  EXPECT_EQ(other.Width(), 3);

  // A frame of another image that used that image's global map takes the colours along.
  TGIFImage third;
  gif.Images()[1].ColorMap().Clear();
  third.Add(gif.Images()[1]);
  EXPECT_EQ(third.Images()[0].ColorMap().Count(), 2);
}

TEST(GifImageTest, GraphicsThatCannotBeDrawnAreRefused) {
  TGIFImage gif;
  TPicture picture;
  EXPECT_EQ(ErrorOf([&] { gif.Add(picture); }), "Object type not supported for operation");
  TGIFImage source;
  source.Add(Indexed(2, 2, {kClWhite, kClBlack}, {0, 1, 1, 0}));
  EXPECT_EQ(gif.Add(static_cast<const TGraphic&>(source)), 0);
  EXPECT_EQ(gif.Images()[0].Data(), (std::vector<uint8_t>{0, 1, 1, 0}));
}

}  // namespace
}  // namespace pamirune
