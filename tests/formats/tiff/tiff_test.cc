// TTIFFBitMap: the written layout, round trips of every depth, the reader's tags and its
// reactions to damaged files, and loading/saving by file name.
#include "formats/tiff/tiff.h"

#include <gtest/gtest.h>

#include <map>

#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_test_util.h"
#include "raster/registry.h"

namespace pamirune {
namespace {

using namespace tiff_test;

struct Warnings {
  std::vector<std::string> texts;
  void Hook(TTIFFBitMap& tiff) {
    tiff.OnWarning = [this](const std::string& m, const std::string& c) {
      texts.push_back(m + "|" + c);
    };
  }
};

Bytes Save(const TBitmap& image, bool compress, bool predict = true) {
  TTIFFBitMap tiff;
  static_cast<TBitmap&>(tiff) = image;
  tiff.SetCompress(compress);
  tiff.SetPredict(predict);
  TMemoryStream out;
  tiff.SaveToStream(out);
  return out.Bytes();
}

TTIFFBitMap Load(const Bytes& file, Warnings* warnings = nullptr) {
  TTIFFBitMap tiff;
  if (warnings) warnings->Hook(tiff);
  TMemoryStream in(file);
  tiff.LoadFromStream(in);
  return tiff;
}

// Tag -> (type, count, value) of the directory at offset 8.
std::map<int, std::array<uint32_t, 3>> Directory(const Bytes& file) {
  std::map<int, std::array<uint32_t, 3>> out;
  int n = GetLe16(file, 8);
  for (int i = 0; i < n; ++i) {
    size_t at = 10 + 12 * i;
    out[GetLe16(file, at)] = {GetLe16(file, at + 2), GetLe32(file, at + 4), GetLe32(file, at + 8)};
  }
  return out;
}

TEST(TiffLayout, Rgb640x480UncompressedHas29StripsOf17Rows) {
  Bytes file = Save(MakeRgb(640, 480), false);
  ASSERT_EQ(GetLe16(file, 0), 0x4949);
  EXPECT_EQ(GetLe16(file, 2), 42);
  EXPECT_EQ(GetLe32(file, 4), 8u);
  EXPECT_EQ(GetLe16(file, 8), 14);
  // The fourteen entries in their order, then no next directory.
  const int tags[] = {254, 256, 257, 258, 259, 262, 266, 273, 274, 277, 278, 279, 284, 317};
  for (int i = 0; i < 14; ++i) EXPECT_EQ(GetLe16(file, 10 + 12 * i), tags[i]);
  EXPECT_EQ(GetLe32(file, 178), 0u);
  auto dir = Directory(file);
  EXPECT_EQ(dir[256][2], 640u);
  EXPECT_EQ(dir[257][2], 480u);
  EXPECT_EQ(dir[258][1], 1u);  // one BitsPerSample value for RGB too
  EXPECT_EQ(dir[258][2], 8u);
  EXPECT_EQ(dir[259][2], 1u);
  EXPECT_EQ(dir[262][2], 2u);
  EXPECT_EQ(dir[277][2], 3u);
  EXPECT_EQ(dir[278][2], 17u);
  EXPECT_EQ(dir[317][2], 1u);  // no predictor without compression
  EXPECT_EQ(dir[273][1], 29u);
  EXPECT_EQ(dir[273][2], 182u);
  EXPECT_EQ(dir[279][2], 182u + 4 * 29);
  EXPECT_EQ(GetLe32(file, 182), 414u);
  EXPECT_EQ(GetLe32(file, 182 + 4), 414u + 32640);
  EXPECT_EQ(GetLe32(file, 182 + 4 * 29), 32640u);
  EXPECT_EQ(GetLe32(file, 182 + 4 * 29 + 4 * 28), 4u * 1920);
  EXPECT_EQ(file.size(), 414u + 640 * 480 * 3);
  // Red first in the file; the image keeps blue first.
  TBitmap image = MakeRgb(640, 480);
  EXPECT_EQ(file[414], image.ScanLine(0)[2]);
  EXPECT_EQ(file[416], image.ScanLine(0)[0]);
}

TEST(TiffLayout, Grey100x100IsOneStripAt182) {
  Bytes file = Save(MakeIndexed(100, 100, 8, true), false);
  auto dir = Directory(file);
  EXPECT_EQ(dir[262][2], 1u);  // BlackIsZero
  EXPECT_EQ(dir[278][2], 100u);
  EXPECT_EQ(dir[273][1], 1u);
  EXPECT_EQ(dir[273][2], 182u);
  EXPECT_EQ(dir[279][2], 10000u);
  EXPECT_EQ(dir.count(320), 0u);
  EXPECT_EQ(file.size(), 182u + 10000);
}

TEST(TiffLayout, CompressedStripsStartEvenAndArraysHoldTheRealPositions) {
  Bytes file = Save(MakeRgb(300, 200, 5), true);
  auto dir = Directory(file);
  EXPECT_EQ(dir[259][2], 5u);
  EXPECT_EQ(dir[317][2], 2u);
  uint32_t n = dir[273][1];
  ASSERT_GE(n, 2u);
  bool saw_odd = false;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t offset = GetLe32(file, dir[273][2] + 4 * i);
    uint32_t count = GetLe32(file, dir[279][2] + 4 * i);
    EXPECT_EQ(offset % 2, 0u) << i;
    uint32_t end = offset + count;
    if (end % 2) {
      saw_odd = true;
      // One padding byte, then the next strip (or the end of the file).
      uint32_t next = i + 1 < n ? GetLe32(file, dir[273][2] + 4 * (i + 1)) : file.size();
      EXPECT_EQ(next, end + 1);
    }
  }
  EXPECT_TRUE(saw_odd) << "pick an image with an odd strip";
  // One compressed strip: the byte count is written back into the directory.
  Bytes one = Save(MakeIndexed(40, 30, 8), true);
  auto d1 = Directory(one);
  EXPECT_EQ(GetLe16(one, 8), 15);  // the ColorMap entry comes last
  EXPECT_EQ(d1[320][2], 194u);
  EXPECT_EQ(d1[273][2], 194u + 2 * 768);  // after the colour map
  EXPECT_LT(d1[279][2], 1200u);
  EXPECT_GE(one.size(), d1[273][2] + d1[279][2]);
}

TEST(TiffOptions, CompressAndPredictAreCoupled) {
  TTIFFBitMap tiff;
  EXPECT_TRUE(tiff.Compress());
  EXPECT_TRUE(tiff.Predict());
  EXPECT_TRUE(tiff.AskForOptions());
  tiff.SetCompress(false);
  EXPECT_FALSE(tiff.Predict());
  tiff.SetCompress(true);
  EXPECT_FALSE(tiff.Predict());
  tiff.SetPredict(true);
  EXPECT_TRUE(tiff.Predict());
  // The options hook runs only while ask-for-options is on.
  static_cast<TBitmap&>(tiff) = MakeRgb(8, 8);
  int asked = 0;
  tiff.OnSaveOptions = [&](bool& compress, bool& predict) {
    ++asked;
    compress = false;
    predict = true;  // cannot stay on without compression
    return true;
  };
  TMemoryStream out;
  tiff.SaveToStream(out);
  auto dir = Directory(out.Bytes());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(dir[259][2], 1u);
  EXPECT_EQ(dir[317][2], 1u);
  tiff.SetAskForOptions(false);
  TMemoryStream again;
  tiff.SaveToStream(again);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Directory(again.Bytes())[259][2], 5u);
}

TEST(TiffRoundTrip, EveryDepthWithAndWithoutCompression) {
  struct Case {
    const char* name;
    TBitmap image;
    uint32_t photometric;
  };
  TBitmap bw = MakeIndexed(37, 21, 1, true);
  TBitmap bw_reversed = bw;  // palette white, black: index 0 is white
  bw_reversed.SetPalette({{255, 255, 255, 0}, {0, 0, 0, 0}});
  TBitmap grey4 = MakeIndexed(33, 17, 4, true);
  std::vector<TRGBQuad> ramp17(16);
  for (int i = 0; i < 16; ++i) ramp17[i] = {uint8_t(i * 17), uint8_t(i * 17), uint8_t(i * 17), 0};
  grey4.SetPalette(ramp17);
  std::vector<Case> cases = {
      {"1 bit", bw, 0},
      {"1 bit, white first", bw_reversed, 0},
      {"4 bit grey", grey4, 1},
      {"4 bit colour", MakeIndexed(33, 17, 4), 3},
      {"8 bit grey", MakeIndexed(70, 300, 8, true), 1},
      {"8 bit colour", MakeIndexed(70, 300, 8), 3},
      {"24 bit", MakeRgb(123, 301), 2},
  };
  for (const auto& c : cases) {
    for (bool compress : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (compress ? " LZW" : " raw"));
      Bytes file = Save(c.image, compress);
      EXPECT_EQ(Directory(file)[262][2], c.photometric);
      Warnings warnings;
      TTIFFBitMap back = Load(file, &warnings);
      EXPECT_TRUE(warnings.texts.empty());
      ASSERT_EQ(back.Width(), c.image.Width());
      ASSERT_EQ(back.Height(), c.image.Height());
      EXPECT_EQ(Colors(back), Colors(c.image));
    }
  }
}

TEST(TiffRoundTrip, OtherTrueColourFormatsAreWidenedTo24Bits) {
  TBitmap source = MakeRgb(50, 40);
  for (TPixelFormat format :
       {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
    TBitmap image = source;
    image.SetPixelFormat(format);
    Bytes file = Save(image, true);
    auto dir = Directory(file);
    EXPECT_EQ(dir[277][2], 3u);
    TTIFFBitMap back = Load(file);
    EXPECT_EQ(back.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(Colors(back), Colors(image)) << static_cast<int>(format);
  }
}

TEST(TiffRoundTrip, WhiteIsZeroWritesWhiteAsZero) {
  TBitmap image(16, 1, TPixelFormat::pf1bit);
  image.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  for (int x = 0; x < 16; ++x) image.SetRawPixel(x, 0, x < 8 ? 1 : 0);  // white, then black
  Bytes file = Save(image, false);
  EXPECT_EQ(file[182], 0x00);
  EXPECT_EQ(file[183], 0xFF);
}

TEST(TiffRoundTrip, EmptyImageIsRefused) {
  TTIFFBitMap tiff;
  TMemoryStream out;
  EXPECT_THROW(tiff.SaveToStream(out), EInvalidGraphic);
}

// A hand-made TIFF: 8-bit, given photometric and strips; the entries come in tag order.
struct TiffBuilder {
  std::vector<std::array<uint32_t, 4>> entries;  // tag, type, count, value
  Bytes tail;                                    // data placed after the directory
  void Add(uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    entries.push_back({tag, type, count, value});
  }
  uint32_t TailOffset() const { return 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4; }
  // Offset the next tail bytes will get (call after all entries are added).
  uint32_t Append(const Bytes& bytes) {
    uint32_t at = TailOffset() + static_cast<uint32_t>(tail.size());
    tail.insert(tail.end(), bytes.begin(), bytes.end());
    return at;
  }
  Bytes Build() const {
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    AppendLe16(out, static_cast<uint32_t>(entries.size()));
    for (auto& e : entries) {
      AppendLe16(out, e[0]);
      AppendLe16(out, e[1]);
      AppendLe32(out, e[2]);
      AppendLe32(out, e[3]);
    }
    AppendLe32(out, 0);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  }
};

TEST(TiffReader, ShortStripArraysAndMissingRowsPerStrip) {
  // 4 x 6 grey image in three strips of two rows, arrays stored as SHORT values.
  TiffBuilder b;
  b.Add(256, 3, 1, 4);
  b.Add(257, 3, 1, 6);
  b.Add(258, 3, 1, 8);
  b.Add(262, 3, 1, 1);
  b.Add(273, 3, 3, 0);  // fixed below
  b.Add(278, 3, 1, 2);
  b.Add(279, 3, 3, 0);
  Bytes pixels(24);
  for (int i = 0; i < 24; ++i) pixels[i] = static_cast<uint8_t>(i * 10);
  uint32_t data = b.Append(pixels);
  Bytes offsets, counts;
  for (int i = 0; i < 3; ++i) AppendLe16(offsets, data + 8 * i), AppendLe16(counts, 8);
  b.entries[4][3] = b.Append(offsets);
  b.entries[6][3] = b.Append(counts);
  Warnings w;
  TTIFFBitMap image = Load(b.Build(), &w);
  EXPECT_TRUE(w.texts.empty());
  ASSERT_EQ(image.Width(), 4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(image.Pixel(x, y), RGB(40 * y + 10 * x, 40 * y + 10 * x, 40 * y + 10 * x));

  // Two strips as two inline SHORT values; then no RowsPerStrip at all (one strip).
  TiffBuilder c;
  c.Add(256, 3, 1, 4);
  c.Add(257, 3, 1, 6);
  c.Add(258, 3, 1, 8);
  c.Add(262, 3, 1, 0);  // WhiteIsZero
  c.Add(273, 4, 1, 0);
  c.Add(279, 4, 1, 24);
  c.entries[4][3] = c.Append(pixels);
  TTIFFBitMap whole = Load(c.Build(), &w);
  EXPECT_TRUE(w.texts.empty());
  EXPECT_EQ(whole.Pixel(0, 0), kClWhite);
  EXPECT_EQ(whole.Pixel(3, 5), RGB(255 - 230, 255 - 230, 255 - 230));
}

TEST(TiffReader, ColourMapsBecomeTrueColour) {
  // 8-bit palette image: entry i has red i*257, green 65535 - i*257, blue 0 or 65535.
  TiffBuilder b;
  b.Add(256, 3, 1, 3);
  b.Add(257, 3, 1, 1);
  b.Add(258, 3, 1, 8);
  b.Add(262, 3, 1, 3);
  b.Add(273, 4, 1, 0);
  b.Add(279, 4, 1, 3);
  b.Add(320, 3, 768, 0);
  uint32_t strip = b.Append({0, 128, 255, 0});
  Bytes map;
  for (int i = 0; i < 256; ++i) AppendLe16(map, i * 257);
  for (int i = 0; i < 256; ++i) AppendLe16(map, 65535 - i * 257);
  for (int i = 0; i < 256; ++i) AppendLe16(map, i % 2 ? 65535 : 0);
  b.entries[4][3] = strip;
  b.entries[6][3] = b.Append(map);
  TTIFFBitMap image = Load(b.Build());
  EXPECT_EQ(image.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(image.Pixel(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(image.Pixel(1, 0), RGB(128, 127, 0));
  EXPECT_EQ(image.Pixel(2, 0), RGB(255, 0, 255));
}

TEST(TiffReader, OtherDepthsAndCompressionsGoThroughLibtiff) {
  auto build = [](uint32_t bits, uint32_t samples, uint32_t compression) {
    TiffBuilder b;
    b.Add(256, 3, 1, 2);
    b.Add(257, 3, 1, 2);
    b.Add(258, 3, 1, bits);
    b.Add(259, 3, 1, compression);
    b.Add(262, 3, 1, samples == 1 ? 1 : 2);
    b.Add(273, 4, 1, 0);
    b.Add(277, 3, 1, samples);
    b.Add(279, 4, 1, 32);
    b.entries[5][3] = b.Append(Bytes(32, 7));
    return b.Build();
  };
  // Strips of bytes 7: 16-bit samples 0x0707 show as 7; 2-bit grey 00 00 01 11 as 0, 0, 85, 255;
  // PackBits byte 7 starts a literal run of the next eight 7s, more than the image holds: libtiff
  // says so, and its warning reaches the image's handler.
  const struct {
    uint32_t bits, samples, compression;
    TColor top_left, top_right;
  } kRead[] = {{16, 1, 1, RGB(7, 7, 7), RGB(7, 7, 7)},
               {16, 3, 1, RGB(7, 7, 7), RGB(7, 7, 7)},
               {2, 1, 1, RGB(0, 0, 0), RGB(0, 0, 0)},
               {8, 1, 32773, RGB(7, 7, 7), RGB(7, 7, 7)}};
  for (const auto& r : kRead) {
    Warnings w;
    TTIFFBitMap image = Load(build(r.bits, r.samples, r.compression), &w);
    if (r.compression == 1) {
      EXPECT_TRUE(w.texts.empty()) << r.bits << " " << (w.texts.empty() ? "" : w.texts[0]);
    } else {
      ASSERT_EQ(w.texts.size(), 1u);
      EXPECT_NE(w.texts[0].find("PackBits"), std::string::npos);
      EXPECT_NE(w.texts[0].find("|Loading of Tiff"), std::string::npos);
    }
    ASSERT_EQ(image.Width(), 2) << r.bits;
    EXPECT_EQ(image.Pixel(0, 0), r.top_left) << r.bits;
    EXPECT_EQ(image.Pixel(1, 0), r.top_right) << r.bits;
  }
  // What libtiff cannot read either (RGB of two samples) warns with its reason; no image.
  Warnings w;
  TTIFFBitMap image = Load(build(8, 2, 1), &w);
  EXPECT_TRUE(image.Empty());
  ASSERT_EQ(w.texts.size(), 1u);
  EXPECT_EQ(w.texts[0].rfind("Picture reading failed! (", 0), 0u) << w.texts[0];
  EXPECT_EQ(w.texts[0].substr(w.texts[0].size() - 6), "|Error");
}

TEST(TiffReader, DamagedFilesWarnAndNeverThrow) {
  Bytes good = Save(MakeRgb(64, 700, 3), true);
  // Cut inside the directory or inside the strips: the whole image is refused.
  for (size_t cut : {size_t{6}, size_t{40}, size_t{200}, good.size() - 3}) {
    Warnings w;
    TTIFFBitMap image = Load(Bytes(good.begin(), good.begin() + cut), &w);
    EXPECT_TRUE(image.Empty()) << cut;
    EXPECT_EQ(w.texts, std::vector<std::string>{"Unexpected end of data!|Loading of Tiff"}) << cut;
  }
  // Damaged LZW data in the last strip: the rows before it stay.
  auto dir = Directory(good);
  uint32_t n = dir[273][1];
  uint32_t last = GetLe32(good, dir[273][2] + 4 * (n - 1));
  Bytes bad = good;
  bad[last + 2] ^= 0xFF;
  bad[last + 3] ^= 0xFF;
  Warnings w;
  TTIFFBitMap image = Load(bad, &w);
  EXPECT_EQ(w.texts, std::vector<std::string>{"Picture reading failed!|Error"});
  ASSERT_EQ(image.Height(), 700);
  TBitmap source = MakeRgb(64, 700, 3);
  EXPECT_EQ(image.Pixel(10, 0), source.Pixel(10, 0));
  // Random corruption anywhere: warnings at most.
  uint32_t state = 1;
  for (int round = 0; round < 100; ++round) {
    Bytes copy = good;
    for (int k = 0; k < 4; ++k) {
      state = state * 1103515245u + 12345u;
      copy[2 + (state >> 8) % 400] = static_cast<uint8_t>(state >> 24);
    }
    TTIFFBitMap t;
    t.OnWarning = [](const std::string&, const std::string&) {};
    TMemoryStream in(copy);
    try {
      t.LoadFromStream(in);
    } catch (const EImageTooLarge&) {
    }
  }
}

TEST(TiffReader, SignatureDecidesTheReader) {
  TTIFFBitMap tiff;
  TMemoryStream neither(Bytes{'M', 'I', 0, 42, 0, 0, 0, 8});
  try {
    tiff.LoadFromStream(neither);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unknown format encountered!");
  }
  // Big-endian: libtiff's turn; this stub has no directory.
  Warnings w;
  w.Hook(tiff);
  TMemoryStream big_endian(Bytes{'M', 'M', 0, 42, 0, 0, 0, 8});
  tiff.LoadFromStream(big_endian);
  EXPECT_TRUE(tiff.Empty());
  ASSERT_EQ(w.texts.size(), 1u);
  EXPECT_EQ(w.texts[0].rfind("Picture reading failed! (", 0), 0u);
  TMemoryStream one_byte(Bytes{'I'});
  static_cast<TBitmap&>(tiff) = MakeRgb(3, 3);
  tiff.LoadFromStream(one_byte);
  EXPECT_EQ(tiff.Width(), 3);  // nothing loaded
  // "BM": read as a BMP file.
  TMemoryStream bmp;
  MakeRgb(5, 4).SaveToStream(bmp);
  bmp.Seek(0);
  tiff.LoadFromStream(bmp);
  EXPECT_EQ(Colors(tiff), Colors(MakeRgb(5, 4)));
}

TEST(TiffFiles, NamesPickTheFormat) {
  TempDir dir;
  TBitmap image = MakeRgb(9, 7);
  TTIFFBitMap tiff;
  static_cast<TBitmap&>(tiff) = image;
  tiff.SaveToFile(dir.File("a.BMP"));
  tiff.SaveToFile(dir.File("a.tif"));
  EXPECT_EQ(ReadFile(dir.File("a.BMP"))[0], 'B');
  EXPECT_EQ(ReadFile(dir.File("a.tif"))[0], 'I');
  TTIFFBitMap from_bmp, from_tif, from_tiff;
  from_bmp.LoadFromFile(dir.File("a.BMP"));
  from_tif.LoadFromFile(dir.File("a.tif"));
  EXPECT_EQ(Colors(from_bmp), Colors(image));
  EXPECT_EQ(Colors(from_tif), Colors(image));
  std::filesystem::copy_file(dir.File("a.tif"), dir.File("a.tiff"));
  from_tiff.LoadFromFile(dir.File("a.tiff"));
  EXPECT_EQ(Colors(from_tiff), Colors(image));

  // The pipeline's entry and the registry's entries.
  SaveTiffFile(image, dir.File("p.tif"));
  EXPECT_EQ(Directory(ReadFile(dir.File("p.tif")))[259][2], 5u);
  RegisterTiffGraphic();
  const TFileFormat* tif = TFileFormatsList::Instance().Find("TIF");
  const TFileFormat* bmp = TFileFormatsList::Instance().Find("bmp");
  const TFileFormat* tiff_entry = TFileFormatsList::Instance().Find("TIFF");
  ASSERT_TRUE(tif && bmp && tiff_entry);
  EXPECT_EQ(tif->description, "Tag Image Files");
  EXPECT_EQ(tiff_entry->description, "Tag Image Files");
  EXPECT_EQ(bmp->description, "Bitmaps at Tiff");
  TPicture picture;
  picture.LoadFromFile(dir.File("p.tif"));
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TTIFFBitMap");
  EXPECT_EQ(Colors(picture.Bitmap()), Colors(image));
  TTiff owner;
  int changes = 0;
  owner.OnChange = [&] { ++changes; };
  owner.LoadFromFile(dir.File("a.tif"));
  EXPECT_GE(changes, 1);
  EXPECT_EQ(Colors(owner.TiffMap()), Colors(image));
}

TEST(TiffWarnings, TheLoadsOwnSinkReceivesWarningsAndNoOtherLoadDoes) {
  // Two images load the same cut file; only the one with a sink hears of it, as its load's
  // warning; the other one's load drops it.
  std::vector<std::string> seen;
  TTIFFBitMap heard, unheard;
  heard.OnLoadWarning = [&](TLoadWarning kind, const std::string& m) {
    seen.push_back(m + (kind == TLoadWarning::lwNotDecoded ? "|not decoded" : "|ran out"));
  };
  TMemoryStream in(Bytes{'I', 'I', 42, 0, 100, 0, 0, 0});
  unheard.LoadFromStream(in);
  TMemoryStream again(Bytes{'I', 'I', 42, 0, 100, 0, 0, 0});
  heard.LoadFromStream(again);
  EXPECT_EQ(seen, std::vector<std::string>{"Unexpected end of data!|not decoded"});
}

}  // namespace
}  // namespace pamirune
