// TJPEGImage: quality, shared data, header-only loading, decoding settings and errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

extern "C" {
#include <jpeglib.h>
}

#include "formats/jpeg/jpeg_codec.h"
#include "jpeg_test_util.h"
#include "raster/registry.h"

namespace pamirune::testing {
namespace {

TEST(JpegImage, QualityOfTheSliderEnds) {
  TBitmap picture = Picture();
  // Slider position 0 gives quality 0, which the library takes as 1; position 9 gives 90,
  // the default.
  EXPECT_EQ(Encode(picture, 0), Encode(picture, 1));
  TJPEGImage fresh;
  EXPECT_EQ(fresh.CompressionQuality(), 90);
  fresh.Assign(picture);
  fresh.Compress();
  EXPECT_EQ(Encode(picture, 9 * 10), fresh.Data().stream);
  EXPECT_LT(Encode(picture, 1).size(), Encode(picture, 90).size());
  // Quality is written into the quantization tables: 1 gives the coarsest, all 255 (baseline).
  std::vector<uint8_t> coarse = Encode(picture, 1);
  auto dqt = FindMarker(coarse, 0xDB);
  ASSERT_NE(dqt, coarse.end());
  EXPECT_EQ(dqt[4], 0x00);  // 8-bit table 0
  EXPECT_EQ(dqt[5], 255);
}

TEST(JpegImage, EmptyRasterCompressesToNoBytes) {
  TJPEGImage jpeg;
  jpeg.Assign(TBitmap(0, 5, TPixelFormat::pf24bit));
  jpeg.Compress();
  EXPECT_TRUE(jpeg.Data().stream.empty());
  EXPECT_TRUE(jpeg.Empty());
  // Saving such an image would write an empty file; it is refused instead.
  TMemoryStream out;
  EXPECT_THROW(jpeg.SaveToStream(out), EJPEG);
  EXPECT_EQ(out.Size(), 0);
  TJPEGImage nothing;
  EXPECT_THROW(nothing.SaveToStream(out), EJPEG);
}

TEST(JpegImage, CompressingACopyLeavesTheSharedBytesAlone) {
  TJPEGImage first;
  Load(first, Encode(Picture()));
  const std::vector<uint8_t> original = first.Data().stream;
  TJPEGImage second;
  second.Assign(first);
  EXPECT_EQ(&second.Data(), &first.Data());
  second.SetCompressionQuality(10);
  TBitmap pixels;
  pixels.Assign(second);  // decodes the shared bytes
  second.Assign(pixels);
  second.Compress();
  EXPECT_NE(&second.Data(), &first.Data());
  EXPECT_NE(second.Data().stream, original);
  EXPECT_EQ(first.Data().stream, original);
  TMemoryStream saved;
  first.SaveToStream(saved);
  EXPECT_EQ(saved.Bytes(), original);
}

TEST(JpegImage, LoadReadsTheHeaderOnly) {
  TJPEGImage jpeg;
  Load(jpeg, Encode(Picture(37, 21)));
  EXPECT_EQ(jpeg.Raster(), nullptr);
  EXPECT_FALSE(jpeg.Empty());
  EXPECT_EQ(jpeg.Width(), 37);
  EXPECT_EQ(jpeg.Height(), 21);
  EXPECT_FALSE(jpeg.Data().grayscale);
  EXPECT_FALSE(jpeg.ProgressiveEncoding());
  TBitmap out;
  out.Assign(jpeg);
  ASSERT_NE(jpeg.Raster(), nullptr);
  EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(out.Width(), 37);
  EXPECT_LE(MeanDifference(out, Picture(37, 21)), 8);
}

TEST(JpegImage, SizeCannotBeChanged) {
  TJPEGImage jpeg;
  jpeg.Assign(Picture());
  for (int which = 0; which < 2; ++which) {
    try {
      which ? jpeg.SetHeight(10) : jpeg.SetWidth(10);
      FAIL();
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_STREQ(e.what(), "JPEG ｲﾒｰｼﾞのｻｲｽﾞは変更できません");
    }
  }
  EXPECT_EQ(jpeg.Width(), 40);
}

TEST(JpegImage, GreyscaleDecodesToEightBitsWithAGreyPalette) {
  TJPEGImage writer;
  writer.Assign(Picture());
  writer.SetGrayscale(true);
  writer.Compress();
  EXPECT_TRUE(writer.Data().grayscale);

  TJPEGImage reader;  // 24-bit pixel format, greyscale off
  Load(reader, writer.Data().stream);
  EXPECT_TRUE(reader.Data().grayscale);
  TBitmap out;
  out.Assign(reader);
  ASSERT_EQ(out.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(out.Palette().size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const TRGBQuad& q = out.Palette()[static_cast<size_t>(i)];
    EXPECT_TRUE(q.red == i && q.green == i && q.blue == i) << i;
  }
  // A colour file decodes to grey too when asked.
  TJPEGImage colour;
  Load(colour, Encode(Picture()));
  colour.SetGrayscale(true);
  TBitmap grey;
  grey.Assign(colour);
  EXPECT_EQ(grey.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_LE(MaxDifference(grey, out), 3);
}

TEST(JpegImage, DecodingSettings) {
  std::vector<uint8_t> file = Encode(Picture(41, 30));
  TJPEGImage jpeg;
  Load(jpeg, file);
  const int expected_width[] = {41, 21, 11, 6};
  for (int scale = 0; scale < 4; ++scale) {
    jpeg.SetScale(static_cast<TJPEGScale>(scale));
    TBitmap out;
    out.Assign(jpeg);
    EXPECT_EQ(out.Width(), expected_width[scale]);
    EXPECT_EQ(jpeg.Width(), expected_width[scale]);
  }
  jpeg.SetScale(TJPEGScale::jsFullSize);

  jpeg.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  TBitmap quantized;
  quantized.Assign(jpeg);
  EXPECT_EQ(quantized.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_LE(quantized.Palette().size(), 236u);
  EXPECT_GT(quantized.Palette().size(), 16u);

  TBitmap best;
  best.Assign(Decode(file));
  jpeg.SetPixelFormat(TJPEGPixelFormat::jf24Bit);
  jpeg.SetPerformance(TJPEGPerformance::jpBestSpeed);
  jpeg.SetSmoothing(false);
  TBitmap fast;
  fast.Assign(jpeg);
  EXPECT_LE(MaxDifference(fast, best), 6);
}

TEST(JpegImage, EncodesEveryPixelFormat) {
  TBitmap source = Picture(16, 16);
  std::vector<uint8_t> reference = Encode(source);
  TBitmap palette8 = source;
  palette8.SetPixelFormat(TPixelFormat::pf8bit);
  TBitmap as24 = palette8;
  as24.SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(Encode(palette8), Encode(as24));
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf15bit,
                              TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
    TBitmap converted = source;
    converted.SetPixelFormat(format);
    TBitmap back = converted;
    back.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(Encode(converted), Encode(back)) << static_cast<int>(format);
  }
}

TEST(JpegImage, ProgressiveEncodingAndDisplay) {
  TJPEGImage writer;
  writer.Assign(Picture(64, 48));
  writer.SetProgressiveEncoding(true);
  writer.Compress();

  TJPEGImage reader;
  Load(reader, writer.Data().stream);
  EXPECT_TRUE(reader.ProgressiveEncoding());
  TBitmap plain;
  plain.Assign(reader);
  TJPEGImage quantizing;
  Load(quantizing, writer.Data().stream);
  quantizing.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  TBitmap plain8;
  plain8.Assign(quantizing);

  for (bool eight_bits : {false, true}) {
    TJPEGImage shown;
    Load(shown, writer.Data().stream);
    shown.SetProgressiveDisplay(true);
    if (eight_bits) shown.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
    int changes = 0;
    shown.OnChange = [&] { ++changes; };
    TBitmap scans;
    scans.Assign(shown);
    EXPECT_GT(changes, 2);  // one per scan shown, and the end
    if (eight_bits) {
      EXPECT_EQ(scans.PixelFormat(), TPixelFormat::pf8bit);
      // The last pass quantizes as a plain decoding does.
      EXPECT_EQ(scans.Palette(), plain8.Palette());
      EXPECT_LE(MaxDifference(scans, plain8), 2);
    } else {
      EXPECT_LE(MaxDifference(scans, plain), 2);
    }
  }
}

TEST(JpegImage, ProgressIsReportedFromStartToEnd) {
  TJPEGImage jpeg;
  jpeg.Assign(Picture());
  std::vector<std::pair<TProgressStage, int>> seen;
  jpeg.OnProgress = [&](TProgressStage stage, int percent, const std::string&) {
    seen.push_back({stage, percent});
  };
  jpeg.Compress();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen.front().first, TProgressStage::psStarting);
  EXPECT_EQ(seen.back(), std::make_pair(TProgressStage::psEnding, 100));

  // A handler that throws ends the work; the exception is passed on and nothing is kept.
  jpeg.OnProgress = [](TProgressStage, int, const std::string&) { throw Exception("stop"); };
  EXPECT_THROW(jpeg.Compress(), Exception);
  EXPECT_TRUE(jpeg.Data().stream.empty());
}

TEST(JpegImage, DamagedFilesRaiseTheLibraryError) {
  const std::regex library_error("JPEG ｴﾗｰ #[0-9]+");
  std::vector<uint8_t> file = Encode(Picture());
  std::vector<std::vector<uint8_t>> damaged = {
      {0x00, 0x01, 0x02},                  // not a JPEG
      {file.begin(), file.begin() + 2},    // the start marker alone
      {file.begin(), file.begin() + 100},  // cut inside the tables
  };
  for (const auto& bytes : damaged) {
    TJPEGImage jpeg;
    try {
      Load(jpeg, bytes);
      FAIL() << bytes.size();
    } catch (const EJPEG& e) {
      EXPECT_TRUE(std::regex_match(e.what(), library_error)) << e.what();
    }
  }
  // A file cut inside the picture decodes as far as it goes.
  TBitmap partial = Decode({file.begin(), file.begin() + static_cast<long>(file.size()) * 3 / 4});
  EXPECT_EQ(partial.Width(), 40);

  // A broken later scan after a sound header fails when the pixels are needed.
  TJPEGImage progressive;
  progressive.Assign(Picture());
  progressive.SetProgressiveEncoding(true);
  progressive.Compress();
  std::vector<uint8_t> broken = progressive.Data().stream;
  auto sos = FindMarker(broken, 0xDA);
  ASSERT_NE(sos, broken.end());
  sos = FindMarker(broken, 0xDA, static_cast<size_t>(sos - broken.begin()) + 2);
  ASSERT_NE(sos, broken.end());
  sos[5] = 9;  // a component the frame does not have
  TJPEGImage jpeg;
  Load(jpeg, broken);
  TBitmap out;
  EXPECT_THROW(out.Assign(jpeg), EJPEG);
  EXPECT_EQ(jpeg.Raster(), nullptr);
}

TEST(JpegImage, PixelLimitIsCheckedFromTheHeader) {
  std::vector<uint8_t> file = Encode(Picture(8, 8));
  auto sof = FindMarker(file, 0xC0);
  ASSERT_NE(sof, file.end());
  sof[5] = 0xFF;  // height 65280
  sof[6] = 0x00;
  sof[7] = 0xFF;  // width 65280
  sof[8] = 0x00;
  TJPEGImage jpeg;
  EXPECT_THROW(Load(jpeg, file), EImageTooLarge);
}

}  // namespace
}  // namespace pamirune::testing

namespace pamirune::jpeg {
namespace {

// EXIF data as it follows the APP1 length: "Exif\0\0", a TIFF header, IFD0 with one entry.
std::vector<uint8_t> Exif(bool little, uint16_t type, uint32_t count, uint16_t value) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
  auto put16 = [&](uint32_t v) {
    if (little)
      b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)});
    else
      b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)});
  };
  auto put32 = [&](uint32_t v) {
    if (little) {
      put16(v & 0xFFFF);
      put16(v >> 16);
    } else {
      put16(v >> 16);
      put16(v & 0xFFFF);
    }
  };
  b.push_back(little ? 'I' : 'M');
  b.push_back(little ? 'I' : 'M');
  put16(42);
  put32(8);
  put16(1);
  put16(0x0112);
  put16(type);
  put32(count);
  put16(value);
  put16(0);
  put32(0);
  return b;
}

// Four-ink files written here through libjpeg itself: YCCK (with the Adobe segment, inks
// inverted as Adobe stores them) and plain CMYK without that segment (inks as they are).
std::vector<uint8_t> InkJpeg(const std::vector<uint8_t>& inks, int w, int h, bool ycck) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_set_colorspace(&c, ycck ? JCS_YCCK : JCS_CMYK);
  c.write_Adobe_marker = ycck ? TRUE : FALSE;
  for (int i = 0; i < c.num_components; ++i)
    c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(inks.data() + size_t{c.next_scanline} * w * 4);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

TEST(JpegInks, YcckAndPlainCmykDecodeToTheirColours) {
  const int w = 16, h = 8;
  for (bool adobe : {true, false}) {
    // Flat areas of one ink each (and of black), so that the lossy steps cost little.
    std::vector<uint8_t> stored(static_cast<size_t>(w) * h * 4);
    TBitmap want(w, h, TPixelFormat::pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t ink[4] = {0, 0, 0, 0};  // C, M, Y, K as printed
        ink[x / 4] = 200;
        for (int k = 0; k < 4; ++k)
          stored[(size_t{static_cast<size_t>(y)} * w + x) * 4 + k] =
              adobe ? static_cast<uint8_t>(255 - ink[k]) : ink[k];
        auto light = [&](int i) { return (255 - ink[i]) * (255 - ink[3]) / 255; };
        want.SetPixel(x, y, RGB(light(0), light(1), light(2)));
      }
    TBitmap got = testing::Decode(InkJpeg(stored, w, h, adobe));
    ASSERT_EQ(got.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_LE(testing::MaxDifference(got, want), 3) << (adobe ? "YCCK" : "CMYK");
  }
}

TEST(ExifOrientationTest, ReadsValidTagsAndIgnoresDamage) {
  EXPECT_EQ(ExifOrientation(Exif(true, 3, 1, 6).data(), Exif(true, 3, 1, 6).size()), 6);
  EXPECT_EQ(ExifOrientation(Exif(false, 3, 1, 8).data(), Exif(false, 3, 1, 8).size()), 8);
  const std::vector<std::vector<uint8_t>> ignored = {
      Exif(true, 3, 1, 9),  // no such orientation
      Exif(true, 4, 1, 6),  // not a SHORT
      Exif(true, 3, 2, 6),  // two values
  };
  for (const auto& b : ignored) EXPECT_EQ(ExifOrientation(b.data(), b.size()), 1);
  // Cut anywhere, the data never reads past its end (the sanitizers watch) and gives 1.
  const std::vector<uint8_t> whole = Exif(true, 3, 1, 6);
  for (size_t n = 0; n < whole.size() - 6; ++n) {
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
    EXPECT_EQ(ExifOrientation(cut.data(), cut.size()), 1) << n;
  }
}

}  // namespace
}  // namespace pamirune::jpeg
