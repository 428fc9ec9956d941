// Reader: header checks and their texts, every colour type and depth into the raster table,
// transparency, comments, damaged and hostile files.
#include "formats/png/png_reader.h"

#include <gtest/gtest.h>

#include <chrono>

#include "formats/png/png_stream.h"
#include "png_test_util.h"
#include "raster/palettes.h"

namespace pamirune {
namespace {

using png_test::Bytes;
using png_test::PngBuilder;

struct Loaded {
  TBitmap image;
  TBitmap alpha;
  PngOptions meta;
  int64_t rows = 0;
};

Loaded Load(const Bytes& file, bool decode_15_16 = false) {
  TMemoryStream mem(file);
  PngReadStream reader(mem);
  reader.SetDecode1516(decode_15_16);
  Loaded out;
  reader.Read(out.image, out.alpha, out.meta);
  out.rows = reader.RowsDecoded();
  return out;
}

std::string LoadError(const Bytes& file) {
  try {
    Load(file);
  } catch (const EPngError& e) {
    return e.what();
  }
  return "(no error)";
}

// Unfiltered rows: each row gets filter byte 0.
Bytes Rows(const std::vector<Bytes>& rows) {
  Bytes out;
  for (const Bytes& r : rows) {
    out.push_back(0);
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

Bytes Simple(int depth, int color_type, const Bytes& raw, uint32_t w = 1, uint32_t h = 1) {
  return PngBuilder().Signature().Ihdr(w, h, depth, color_type).Idat(raw).Iend().bytes();
}

TEST(PngReader, SignatureAndHeaderChecksInOrder) {
  EXPECT_EQ(LoadError({}), "PNG LoadStream: Not PNG Format");
  EXPECT_EQ(LoadError(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}),
            "PNG LoadStream: Not PNG Format");
  // A signature followed by nothing a PNG has.
  EXPECT_EQ(LoadError(PngBuilder().Signature().Raw({1, 2, 3, 4, 5, 6, 7, 8, 9}).bytes()),
            "PNG LoadStream: Not PNG Format");
  auto header = [](int depth, int type, int interlace, int compression, int filter) {
    return PngBuilder()
        .Signature()
        .Ihdr(4, 4, depth, type, interlace, compression, filter)
        .Iend()
        .bytes();
  };
  for (int t : {1, 5, 7, 8, 255})
    EXPECT_EQ(LoadError(header(8, t, 0, 0, 0)), "Read Header(PNG): Error ColorType");
  EXPECT_EQ(LoadError(header(8, 2, 0, 2, 0)), "Read Header(PNG): not support Compression");
  EXPECT_EQ(LoadError(header(8, 2, 0, 0, 2)), "Read Header(PNG): not supprt Filter");
  EXPECT_EQ(LoadError(header(8, 2, 2, 0, 0)), "Read Header(PNG): not interlace type");
  // Order: colour type before compression before filter before interlace.
  EXPECT_EQ(LoadError(header(8, 5, 2, 2, 2)), "Read Header(PNG): Error ColorType");
  EXPECT_EQ(LoadError(header(8, 2, 2, 2, 2)), "Read Header(PNG): not support Compression");
  EXPECT_EQ(LoadError(header(8, 2, 2, 0, 2)), "Read Header(PNG): not supprt Filter");
  // Depths are checked when the image data begins.
  EXPECT_EQ(LoadError(Simple(3, 0, Rows({{0}}))), "Read Header(PNG): Error Bitdepth");
  EXPECT_EQ(LoadError(Simple(4, 4, Rows({{0}}))), "Read Header(PNG): not Use AlphaChannel");
  EXPECT_EQ(LoadError(Simple(4, 2, Rows({{0}}))), "Read Header(PNG): Error BitDepth");
  EXPECT_EQ(LoadError(Simple(1, 6, Rows({{0}}))), "Read Header(PNG): Error BitDepth");
  EXPECT_EQ(LoadError(Simple(16, 3, Rows({{0}}))), "Read Header(PNG): Error BitDepth");
  EXPECT_EQ(LoadError(PngBuilder().Signature().Ihdr(1, 1, 8, 0).Ihdr(1, 1, 8, 0).bytes()),
            "Read Header(PNG): appear two IHDR");
}

TEST(PngReader, EveryColourTypeIntoTheRasterTable) {
  // Grey 1: 1 bit, palette 0 and 255.
  Loaded g1 = Load(Simple(1, 0, Rows({{0xA0}}), 3));
  EXPECT_EQ(g1.image.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(g1.image.Pixel(0, 0), kClWhite);
  EXPECT_EQ(g1.image.Pixel(1, 0), kClBlack);
  EXPECT_EQ(g1.image.Pixel(2, 0), kClWhite);
  EXPECT_TRUE(g1.meta.greyscale);
  // Grey 2: 4-bit raster, values 0..3, greys 0, 85, 170, 255.
  Loaded g2 = Load(Simple(2, 0, Rows({{0x1B}}), 4));
  EXPECT_EQ(g2.image.PixelFormat(), TPixelFormat::pf4bit);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(g2.image.RawPixel(x, 0), static_cast<uint32_t>(x));
    EXPECT_EQ(g2.image.Pixel(x, 0), RGB(85 * x, 85 * x, 85 * x));
  }
  // Grey 4: steps of 17.
  Loaded g4 = Load(Simple(4, 0, Rows({{0x3F}}), 2));
  EXPECT_EQ(g4.image.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(g4.image.Pixel(0, 0), RGB(51, 51, 51));
  EXPECT_EQ(g4.image.Pixel(1, 0), kClWhite);
  // Grey 8 and 16 (high byte).
  Loaded g16 = Load(Simple(16, 0, Rows({{0x12, 0xFF, 0xAB, 0x01}}), 2));
  EXPECT_EQ(g16.image.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(g16.image.Pixel(0, 0), RGB(0x12, 0x12, 0x12));
  EXPECT_EQ(g16.image.Pixel(1, 0), RGB(0xAB, 0xAB, 0xAB));
  // Grey with alpha: 8 bits plus the inverted mask; 16 bits by the high bytes.
  Loaded ga = Load(Simple(16, 4, Rows({{0x40, 0, 0x10, 0xFF}})));
  EXPECT_EQ(ga.image.Pixel(0, 0), RGB(0x40, 0x40, 0x40));
  EXPECT_TRUE(ga.meta.alpha_present);
  EXPECT_EQ(ga.alpha.ScanLine(0)[0], 255 - 0x10);
  // Palette 2 bits: 4-bit raster with the PLTE colours.
  Bytes plte = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
  Loaded p2 = Load(PngBuilder()
                       .Signature()
                       .Ihdr(4, 1, 2, 3)
                       .Chunk("PLTE", plte)
                       .Idat(Rows({{0xE4}}))
                       .Iend()
                       .bytes());
  EXPECT_EQ(p2.image.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(p2.image.Pixel(0, 0), RGB(9, 9, 9));
  EXPECT_EQ(p2.image.Pixel(1, 0), RGB(0, 0, 255));
  EXPECT_EQ(p2.image.Pixel(3, 0), RGB(255, 0, 0));
  EXPECT_FALSE(p2.meta.greyscale);
  // RGB 16: 24 bits from the high bytes.
  Loaded rgb16 = Load(Simple(16, 2, Rows({{0x11, 0xEE, 0x22, 0xDD, 0x33, 0xCC}})));
  EXPECT_EQ(rgb16.image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(rgb16.image.Pixel(0, 0), RGB(0x11, 0x22, 0x33));
  // RGBA 8: 24 bits and the mask.
  Loaded rgba = Load(Simple(8, 6, Rows({{1, 2, 3, 0, 4, 5, 6, 255}}), 2));
  EXPECT_EQ(rgba.image.Pixel(1, 0), RGB(4, 5, 6));
  EXPECT_EQ(rgba.alpha.ScanLine(0)[0], 255);
  EXPECT_EQ(rgba.alpha.ScanLine(0)[1], 0);
  EXPECT_EQ(rgba.alpha.Palette(), GreyPalette(256));
  // RGB with sBIT 5,6,5 and the 15/16-bit option: a 16-bit raster.
  Bytes f565 = PngBuilder()
                   .Signature()
                   .Ihdr(1, 1, 8, 2)
                   .Chunk("sBIT", {5, 6, 5})
                   .Idat(Rows({{0xF8, 0xFC, 0x08}}))
                   .Iend()
                   .bytes();
  EXPECT_EQ(Load(f565).image.PixelFormat(), TPixelFormat::pf24bit);
  Loaded d565 = Load(f565, true);
  EXPECT_EQ(d565.image.PixelFormat(), TPixelFormat::pf16bit);
  EXPECT_EQ(d565.image.RawPixel(0, 0), (31u << 11) | (63u << 5) | 1u);
  EXPECT_EQ(d565.meta.significant_bits, 0x050605u);
}

TEST(PngReader, FiltersAndInterlaceIntoFinalPositions) {
  // Our writer's output with every filter, interlaced or not, reads back pixel for pixel.
  for (int bits : {1, 4, 8}) {
    TBitmap src = png_test::MakeIndexed(13, 11, bits, 3);
    for (int interlace : {0, 1})
      for (int filter : {0, 1, 2, 3, 4, 5}) {
        PngOptions o;
        o.interlace = interlace;
        o.filter_mode = filter;
        Loaded l = Load(png_test::Encode(src, o));
        ASSERT_EQ(l.image.PixelFormat(), src.PixelFormat());
        EXPECT_EQ(l.meta.interlace, interlace);
        for (int y = 0; y < 11; ++y)
          for (int x = 0; x < 13; ++x)
            ASSERT_EQ(l.image.RawPixel(x, y), src.RawPixel(x, y)) << bits << interlace << filter;
      }
  }
  TBitmap rgb = png_test::MakeRgb(9, 10);
  TBitmap alpha = png_test::MakeIndexed(9, 10, 8, 4);
  for (int interlace : {0, 1}) {
    PngOptions o;
    o.interlace = interlace;
    o.filter_mode = 0;
    Loaded l = Load(png_test::Encode(rgb, o, &alpha));
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 9; ++x) {
        ASSERT_EQ(l.image.Pixel(x, y), rgb.Pixel(x, y));
        ASSERT_EQ(l.alpha.ScanLine(y)[x], alpha.ScanLine(y)[x]);
      }
  }
  // An unknown filter type is a read error.
  EXPECT_EQ(LoadError(Simple(8, 0, Bytes{5, 0})), "Read Image (PNG): Read Error");
}

TEST(PngReader, PaletteTransparency) {
  Bytes plte;
  for (int i = 0; i < 4; ++i) plte.insert(plte.end(), {static_cast<uint8_t>(i * 60), 7, 7});
  auto file = [&](const Bytes& trns) {
    return PngBuilder()
        .Signature()
        .Ihdr(4, 1, 8, 3)
        .Chunk("PLTE", plte)
        .Chunk("tRNS", trns)
        .Idat(Rows({{0, 1, 2, 3}}))
        .Iend()
        .bytes();
  };
  // Exactly one zero, the rest opaque: a transparent colour, no mask.
  Loaded one = Load(file({255, 255, 0}));
  EXPECT_EQ(one.meta.transparent_color, kPaletteIndexFlag | 2);
  EXPECT_FALSE(one.meta.alpha_present);
  EXPECT_TRUE(one.alpha.Empty());
  EXPECT_TRUE(one.image.Transparent());
  EXPECT_EQ(one.image.TransparentColor(), RGB(120, 7, 7));
  // A partial value: an alpha mask from each pixel's index.
  Loaded partial = Load(file({255, 0, 128}));
  EXPECT_TRUE(partial.meta.alpha_present);
  EXPECT_EQ(partial.meta.transparent_color, kPngNoColor);
  EXPECT_EQ(Bytes(partial.alpha.ScanLine(0), partial.alpha.ScanLine(0) + 4),
            (Bytes{0, 255, 127, 0}));
  // Two zeros: a mask too. All opaque: an all-opaque mask.
  EXPECT_TRUE(Load(file({0, 0})).meta.alpha_present);
  Loaded opaque = Load(file({255}));
  EXPECT_TRUE(opaque.meta.alpha_present);
  EXPECT_EQ(Bytes(opaque.alpha.ScanLine(0), opaque.alpha.ScanLine(0) + 4), (Bytes{0, 0, 0, 0}));
  // More bytes than palette entries: only as many as the palette has are read.
  Loaded longer = Load(file({255, 255, 255, 255, 0}));
  EXPECT_EQ(longer.meta.transparent_color, kPngNoColor);
  // tRNS after the image data is ignored.
  Bytes after = PngBuilder()
                    .Signature()
                    .Ihdr(4, 1, 8, 3)
                    .Chunk("PLTE", plte)
                    .Idat(Rows({{0, 1, 2, 3}}))
                    .Chunk("tRNS", {0})
                    .Iend()
                    .bytes();
  EXPECT_EQ(Load(after).meta.transparent_color, kPngNoColor);
}

TEST(PngReader, GreyAndRgbTransparencyAndBackground) {
  Loaded g = Load(PngBuilder()
                      .Signature()
                      .Ihdr(2, 1, 8, 0)
                      .Chunk("tRNS", {0, 77})
                      .Chunk("bKGD", {0, 9})
                      .Idat(Rows({{77, 1}}))
                      .Iend()
                      .bytes());
  EXPECT_EQ(g.meta.transparent_color, RGB(77, 77, 77));
  EXPECT_EQ(g.meta.background_color, RGB(9, 9, 9));
  EXPECT_TRUE(g.image.Transparent());
  EXPECT_EQ(g.image.TransparentColor(), RGB(77, 77, 77));
  // A 2-bit level is the grey it shows.
  EXPECT_EQ(Load(PngBuilder()
                     .Signature()
                     .Ihdr(4, 1, 2, 0)
                     .Chunk("tRNS", {0, 2})
                     .Idat(Rows({{0}}))
                     .Iend()
                     .bytes())
                .meta.transparent_color,
            RGB(170, 170, 170));
  // 16-bit samples by their high byte.
  Loaded rgb = Load(PngBuilder()
                        .Signature()
                        .Ihdr(1, 1, 16, 2)
                        .Chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC})
                        .Chunk("bKGD", {0xFF, 0, 0x80, 0, 0, 0})
                        .Idat(Rows({Bytes(6, 0)}))
                        .Iend()
                        .bytes());
  EXPECT_EQ(rgb.meta.transparent_color, RGB(0x12, 0x56, 0x9A));
  EXPECT_EQ(rgb.meta.background_color, RGB(0xFF, 0x80, 0));
  // Palette background: the index with bit 24.
  Loaded p = Load(PngBuilder()
                      .Signature()
                      .Ihdr(1, 1, 8, 3)
                      .Chunk("PLTE", {1, 2, 3, 4, 5, 6})
                      .Chunk("bKGD", {1})
                      .Idat(Rows({{1}}))
                      .Iend()
                      .bytes());
  EXPECT_EQ(p.meta.background_color, kPaletteIndexFlag | 1);
  // With an alpha channel tRNS is ignored.
  EXPECT_EQ(Load(PngBuilder()
                     .Signature()
                     .Ihdr(1, 1, 8, 6)
                     .Chunk("tRNS", {0, 1, 0, 2, 0, 3})
                     .Idat(Rows({{1, 2, 3, 4}}))
                     .Iend()
                     .bytes())
                .meta.transparent_color,
            kPngNoColor);
}

TEST(PngReader, TextTimeAndMetadataChunks) {
  auto text = [](const std::string& key, const std::string& value) {
    Bytes b(key.begin(), key.end());
    b.push_back(0);
    b.insert(b.end(), value.begin(), value.end());
    return b;
  };
  Bytes file = PngBuilder()
                   .Signature()
                   .Chunk("tIME", {0x07, 0xE8, 2, 29, 13, 45, 7})
                   .Ihdr(1, 1, 8, 0)
                   .Chunk("tEXt", text("Comment", "A"))
                   .Chunk("tEXt", text("Title", "x"))
                   .Chunk("tEXt", text("Comment", "B"))
                   .Chunk("gAMA", {0, 0, 0xB1, 0x8F})
                   .Chunk("pHYs", {0, 0, 0x0B, 0x12, 0, 0, 0x0B, 0x13, 1})
                   .Chunk("cHRM", Bytes(32, 1))
                   .Chunk("gIFg", {1, 2, 3, 4})
                   .Idat(Rows({{0}}))
                   .Chunk("tEXt", text("Comment", "C"))
                   .Iend()
                   .bytes();
  Loaded l = Load(file);
  EXPECT_EQ(l.meta.comment, "A\r\n\r\nB\r\n");
  EXPECT_EQ(l.meta.stored_time, (PngTime{2024, 2, 29, 13, 45, 7}));
  EXPECT_DOUBLE_EQ(l.meta.gamma, 0.45455);
  EXPECT_EQ(l.meta.physical_size, (PngPhysicalSize{1, 2834, 2835}));
  EXPECT_EQ(l.meta.chromaticities[7], 0x01010101u);
  EXPECT_EQ(l.meta.gif_extension, (std::array<uint8_t, 4>{1, 2, 3, 4}));
  // Absent: colours -1, gamma 0; tIME of another length is ignored; gAMA, cHRM, gIFg and sBIT
  // after PLTE are ignored.
  Loaded bare = Load(PngBuilder()
                         .Signature()
                         .Chunk("tIME", {0x07, 0xE8, 2, 29, 13, 45})
                         .Ihdr(1, 1, 8, 3)
                         .Chunk("PLTE", {1, 2, 3})
                         .Chunk("gAMA", {0, 0, 0xB1, 0x8F})
                         .Chunk("sBIT", {1, 1, 1})
                         .Chunk("gIFg", {1, 2, 3, 4})
                         .Idat(Rows({{0}}))
                         .Iend()
                         .bytes());
  EXPECT_EQ(bare.meta.gamma, 0);
  EXPECT_EQ(bare.meta.background_color, kPngNoColor);
  EXPECT_EQ(bare.meta.transparent_color, kPngNoColor);
  EXPECT_EQ(bare.meta.stored_time, PngTime{});
  EXPECT_EQ(bare.meta.significant_bits, 0u);
  EXPECT_EQ(bare.meta.gif_extension, (std::array<uint8_t, 4>{}));
  EXPECT_TRUE(bare.meta.comment.empty());
}

TEST(PngReader, DamagedFilesGiveWhatWasRead) {
  TBitmap src = png_test::MakeRgb(40, 30);
  PngOptions o;
  o.compression_level = 0;  // stored: the cut falls at a known row
  Bytes whole = png_test::Encode(src, o);
  // Cut in the middle of the image data.
  Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  Loaded l = Load(cut);
  EXPECT_EQ(l.image.Width(), 40);
  EXPECT_EQ(l.image.Height(), 30);
  EXPECT_GT(l.rows, 5);
  EXPECT_LT(l.rows, 30);
  for (int y = 0; y < l.rows; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(l.image.Pixel(x, y), src.Pixel(x, y));
  for (int x = 0; x < 40; ++x) EXPECT_EQ(l.image.Pixel(x, 29), kClBlack);
  // Every prefix of the file either decodes partially or fails with our error.
  for (size_t n = 0; n < whole.size(); n += 97) {
    Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    try {
      Load(part);
    } catch (const EPngError&) {
    }
  }
  // Header only: the image keeps its size, no rows.
  Loaded header_only = Load(PngBuilder().Signature().Ihdr(3, 2, 8, 2).bytes());
  EXPECT_EQ(header_only.image.Width(), 3);
  EXPECT_EQ(header_only.rows, 0);
  // CRCs are not checked; unknown chunks, even critical ones, are skipped.
  Bytes bad_crc = whole;
  bad_crc[8 + 8 + 13] ^= 0xFF;  // IHDR's CRC
  EXPECT_EQ(Load(bad_crc).rows, 30);
  Bytes extra = PngBuilder()
                    .Signature()
                    .Ihdr(1, 1, 8, 0)
                    .Chunk("ZZZZ", {1, 2, 3})
                    .Chunk("zzzz", {})
                    .Idat(Rows({{42}}))
                    .Iend()
                    .bytes();
  EXPECT_EQ(Load(extra).image.Pixel(0, 0), RGB(42, 42, 42));
  // A broken zlib stream is a read error.
  Bytes broken = PngBuilder()
                     .Signature()
                     .Ihdr(1, 1, 8, 0)
                     .Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF})
                     .Iend()
                     .bytes();
  EXPECT_EQ(LoadError(broken), "Read Image (PNG): Read Error");
}

TEST(PngReader, ImageDataAcrossChunks) {
  // The zlib data split over three IDATs, with one byte chunks and an empty one between.
  Bytes raw = Rows({{1, 2}, {3, 4}, {5, 6}});
  Bytes z = png_test::Deflate(raw);
  PngBuilder b;
  b.Signature()
      .Ihdr(2, 3, 8, 0)
      .Chunk("IDAT", Bytes(z.begin(), z.begin() + 1))
      .Chunk("IDAT", {})
      .Chunk("IDAT", Bytes(z.begin() + 1, z.begin() + 3))
      .Chunk("IDAT", Bytes(z.begin() + 3, z.end()));
  Loaded l = Load(b.Iend().bytes());
  EXPECT_EQ(l.rows, 3);
  EXPECT_EQ(l.image.Pixel(1, 2), RGB(6, 6, 6));
  // A chunk between IDATs ends the image data; later IDATs are ignored.
  PngBuilder c;
  c.Signature()
      .Ihdr(2, 3, 8, 0)
      .Chunk("IDAT", Bytes(z.begin(), z.begin() + 4))
      .Chunk("tEXt", {'x', 0})
      .Chunk("IDAT", Bytes(z.begin() + 4, z.end()))
      .Iend();
  Loaded partial = Load(c.bytes());
  EXPECT_LT(partial.rows, 3);
}

TEST(PngReader, HostileSizesAreRefusedBeforeAllocating) {
  auto start = std::chrono::steady_clock::now();
  try {
    Load(PngBuilder().Signature().Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6).Idat(Rows({{0}})).bytes());
    FAIL();
  } catch (const EImageTooLarge&) {
  }
  try {
    Load(PngBuilder().Signature().Ihdr(0xFFFFFFFF, 1, 8, 0).bytes());
    FAIL();
  } catch (const EImageTooLarge&) {
  }
  EXPECT_EQ(LoadError(PngBuilder().Signature().Ihdr(0, 5, 8, 0).Idat(Rows({})).bytes()),
            "Read Header(PNG): Error ImageSize");
  EXPECT_EQ(LoadError(PngBuilder().Signature().Ihdr(5, 0, 8, 0).Idat(Rows({})).bytes()),
            "Read Header(PNG): Error ImageSize");
  // A palette image without its palette (or with an empty one), with or without image data.
  EXPECT_EQ(LoadError(Simple(8, 3, Rows({{0}}))), "Read Image (PNG): no PLTE for a palette image");
  EXPECT_EQ(
      LoadError(
          PngBuilder().Signature().Ihdr(1, 1, 8, 3).Chunk("PLTE", {}).Idat(Rows({{0}})).bytes()),
      "Read Image (PNG): no PLTE for a palette image");
  EXPECT_EQ(LoadError(PngBuilder().Signature().Ihdr(1, 1, 8, 3).Iend().bytes()),
            "Read Image (PNG): no PLTE for a palette image");
  // Colours read before the depth is checked (depth 0 here) do no harm.
  EXPECT_EQ(LoadError(PngBuilder()
                          .Signature()
                          .Ihdr(2, 2, 0, 0)
                          .Chunk("bKGD", {0, 5})
                          .Chunk("tRNS", {0, 5})
                          .Idat(Rows({{0}}))
                          .bytes()),
            "Read Header(PNG): Error Bitdepth");
  // A decompression bomb: 64 MB of zeros for a 16 x 16 image; only what the image needs is
  // inflated.
  Bytes bomb = png_test::Deflate(Bytes(64u << 20, 0), 9);
  Loaded l = Load(PngBuilder().Signature().Ihdr(16, 16, 8, 0).Chunk("IDAT", bomb).Iend().bytes());
  EXPECT_EQ(l.rows, 16);
  // A chunk claiming 4 GB of text costs only what the file holds.
  Bytes huge_text = PngBuilder()
                        .Signature()
                        .Ihdr(1, 1, 8, 0)
                        .Raw({0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't'})
                        .Raw(Bytes(100, 'a'))
                        .bytes();
  EXPECT_EQ(Load(huge_text).rows, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
}  // namespace pamirune
