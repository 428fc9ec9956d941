// TMAGImage: round trips, assignment, shared data, sizes and the error texts.
#include <gtest/gtest.h>

#include <random>

#include "mag_test_util.h"
#include "raster/registry.h"
#include "support/temp_dir.h"

namespace pamirune::testing {
namespace {

// Words drawn from a small alphabet, so that every copy vector finds repeats at its distance.
TBitmap RepeatingWords(int width, int height, TPixelFormat format, uint32_t seed) {
  TBitmap b = Indexed(width, height, format);
  std::mt19937 random(seed);
  const uint8_t alphabet[4][2] = {{0x12, 0x34}, {0x56, 0x78}, {0x9A, 0xBC}, {0x0F, 0xF0}};
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Stride() / 2; ++x) {
      const uint8_t* word = alphabet[random() % 4];
      row[2 * x] = word[0];
      row[2 * x + 1] = word[1];
    }
  }
  return b;
}

TEST(MagImage, RoundTripKeepsEveryPixelAtBothDepths) {
  for (TPixelFormat format : {TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
    TBitmap source = RepeatingWords(64, 40, format, 7);
    TMAGImage loaded;
    Load(loaded, EncodeBitmap(source));
    ASSERT_NE(loaded.Raster(), nullptr);
    EXPECT_EQ(loaded.Raster()->PixelFormat(), format);
    EXPECT_EQ(loaded.Width(), 64);
    EXPECT_EQ(loaded.Height(), 40);
    EXPECT_EQ(Indices(*loaded.Raster()), Indices(source));
    EXPECT_EQ(loaded.Palette(), source.Palette());
    EXPECT_EQ(loaded.ColorMode(), format == TPixelFormat::pf8bit ? TMagColorMode::mc256Colors
                                                                 : TMagColorMode::mc16Colors);
    TBitmap out;
    out.Assign(loaded);
    EXPECT_EQ(Indices(out), Indices(source));
  }
}

TEST(MagImage, DefaultsAndFieldsSurviveARoundTrip) {
  TMAGImage image;
  EXPECT_EQ(image.Comment(), "zor's TMAGImage Ver 1.01");
  EXPECT_EQ(image.UserName(), ">?\?<");
  EXPECT_FALSE(image.Line200());
  EXPECT_TRUE(image.Empty());
  image.Assign(Indexed(16, 2, TPixelFormat::pf4bit, 2));
  image.SetLine200(true);
  image.SetStartY(100);
  image.SetStartX(16);
  TMAGImage loaded;
  Load(loaded, Save(image));
  EXPECT_TRUE(loaded.Line200());
  EXPECT_EQ(loaded.StartX(), 16);
  EXPECT_EQ(loaded.StartY(), 100);
  EXPECT_EQ(loaded.Width(), 16);
  EXPECT_EQ(loaded.Height(), 2);
  EXPECT_EQ(loaded.UserName(), ">?\?<" + std::string(14, ' '));
  EXPECT_EQ(loaded.Comment(), "zor's TMAGImage Ver 1.01 ");
  // Assigning another graphic sets the defaults again.
  loaded.Assign(Indexed(8, 1, TPixelFormat::pf8bit));
  EXPECT_FALSE(loaded.Line200());
  EXPECT_EQ(loaded.StartY(), 0);
  EXPECT_EQ(loaded.Comment(), "zor's TMAGImage Ver 1.01");
}

TEST(MagImage, LoadedImageSavesItsOwnBytesUntilChanged) {
  std::vector<uint8_t> file = EncodeBitmap(RepeatingWords(32, 8, TPixelFormat::pf8bit, 3));
  file[20] = 'x';  // a user name no encoder of ours would write
  TMAGImage image;
  Load(image, file);
  EXPECT_FALSE(image.Modified());
  EXPECT_EQ(Save(image), file);
  image.SetComment("new");
  std::vector<uint8_t> again = Save(image);
  EXPECT_NE(again, file);
  EXPECT_EQ(again[20], 'x');  // the user name read is written back
}

TEST(MagImage, AssignedCopySharesDataAndReencodesIntoItsOwn) {
  TMAGImage first;
  Load(first, EncodeBitmap(RepeatingWords(16, 4, TPixelFormat::pf4bit, 5)));
  const std::vector<uint8_t> original = first.Data().stream;
  TMAGImage second;
  second.Assign(first);
  EXPECT_EQ(&second.Data(), &first.Data());
  EXPECT_EQ(Indices(*second.Raster()), Indices(*first.Raster()));
  second.SetComment("changed");
  Save(second);
  EXPECT_NE(&second.Data(), &first.Data());
  EXPECT_EQ(first.Data().stream, original);
  EXPECT_EQ(Save(first), original);
}

TEST(MagImage, AssignNormalisesThePixelFormat) {
  // 1 bit: 16 colours, the two colours kept at their indices.
  TBitmap mono = Indexed(10, 3, TPixelFormat::pf1bit);
  mono.SetPalette({{0, 0, 200, 0}, {50, 100, 0, 0}});
  mono.SetRawPixel(3, 1, 1);
  TMAGImage image;
  image.Assign(mono);
  EXPECT_EQ(image.ColorMode(), TMagColorMode::mc16Colors);
  ASSERT_EQ(image.Raster()->PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(image.Width(), 16);
  EXPECT_EQ(image.Raster()->RawPixel(3, 1), 1u);
  EXPECT_EQ(image.Raster()->RawPixel(2, 1), 0u);
  EXPECT_EQ(image.Raster()->Pixel(3, 1), RGB(0, 100, 50));

  // 24 bits: reduced to 8 bits, 256 colours.
  TBitmap deep(6, 2, TPixelFormat::pf24bit);
  deep.Fill(RGB(255, 0, 0));
  image.Assign(deep);
  EXPECT_EQ(image.ColorMode(), TMagColorMode::mc256Colors);
  EXPECT_EQ(image.Raster()->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(image.Width(), 8);
  EXPECT_EQ(image.Raster()->Pixel(0, 0), RGB(255, 0, 0));

  // The added columns are white (the nearest palette entry) and part of the image.
  TBitmap grey = Indexed(5, 1, TPixelFormat::pf8bit, 3);
  grey.SetPalette(GreyPalette(256));
  image.Assign(grey);
  EXPECT_EQ(image.Raster()->RawPixel(4, 0), 3u);
  EXPECT_EQ(image.Raster()->RawPixel(5, 0), 255u);
  EXPECT_EQ(image.Raster()->RawPixel(7, 0), 255u);

  TBitmap odd = Indexed(3, 1, TPixelFormat::pf4bit, 2);
  odd.SetPalette({SystemPalette16().begin(), SystemPalette16().end()});
  image.Assign(odd);
  EXPECT_EQ(Indices(*image.Raster()), (std::vector<uint32_t>{2, 2, 2, 15, 15, 15, 15, 15}));
}

TEST(MagImage, UnalignedStartXDecodesWithPaddingAndIsWrittenRoundedDown) {
  std::vector<uint8_t> file = EncodeBitmap(RepeatingWords(16, 2, TPixelFormat::pf4bit, 9));
  size_t h = HeaderPos(file);
  Set16(file, h + 4, 3);   // start X
  Set16(file, h + 8, 12);  // end X: (8 + 8) - 0 = 16 pixels decoded
  TMAGImage image;
  Load(image, file);
  EXPECT_EQ(image.Width(), 16);
  EXPECT_EQ(image.StartX(), 0);
  image.SetComment("again");
  std::vector<uint8_t> again = Save(image);
  size_t h2 = HeaderPos(again);
  EXPECT_EQ(Field16(again, h2 + 4), 0);
  EXPECT_EQ(Field16(again, h2 + 8), 15);

  // The same at 256 colours, starting at 6: columns 4..11 decoded.
  file = EncodeBitmap(RepeatingWords(8, 2, TPixelFormat::pf8bit, 9));
  h = HeaderPos(file);
  Set16(file, h + 4, 6);
  Set16(file, h + 8, 9);
  Load(image, file);
  EXPECT_EQ(image.Width(), 8);
  EXPECT_EQ(image.StartX(), 4);
  image.SetStartX(7);  // written rounded down to 4 as well
  again = Save(image);
  EXPECT_EQ(Field16(again, HeaderPos(again) + 4), 4);
  EXPECT_EQ(Field16(again, HeaderPos(again) + 8), 11);
}

TEST(MagImage, SizeChangesAndRangeOver) {
  TMAGImage image;
  image.Assign(Indexed(8, 2, TPixelFormat::pf8bit, 1));
  image.SetWidth(10);
  EXPECT_EQ(image.Width(), 12);
  image.SetHeight(3);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_EQ(image.Raster()->RawPixel(0, 1), 1u);

  image.SetStartX(65530);
  try {
    image.SetWidth(8);
    FAIL();
  } catch (const EInvalidMagOperation& e) {
    EXPECT_STREQ(e.what(), "MAG invaild operation:range over");
  }
  image.SetStartY(65535);
  EXPECT_THROW(image.SetHeight(1), EInvalidMagOperation);
  EXPECT_EQ(image.Height(), 3);
}

TEST(MagImage, SavingWithoutAnImageFails) {
  TMAGImage image;
  try {
    Save(image);
    FAIL();
  } catch (const EInvalidMagOperation& e) {
    EXPECT_STREQ(e.what(), "MAG invaild operation:not have DIB");
  }
  // An empty image has nothing to encode either; no broken file is written.
  image.Assign(TBitmap(0, 0, TPixelFormat::pf8bit));
  EXPECT_THROW(Save(image), EInvalidMagOperation);
}

TEST(MagImage, CoordinatesPastTheFieldsAreRefused) {
  // An end X that does not fit its 16-bit field would write a file of another size.
  TMAGImage image;
  image.Assign(Indexed(8, 1, TPixelFormat::pf4bit));
  image.SetStartX(65528);
  std::vector<uint8_t> file = Save(image);
  EXPECT_EQ(Field16(file, HeaderPos(file) + 8), 65535);
  image.Assign(Indexed(16, 1, TPixelFormat::pf4bit));
  image.SetStartX(65528);
  EXPECT_THROW(Save(image), EInvalidMagOperation);
}

TEST(MagImage, StoredFormRoundTrip) {
  TMAGImage image;
  image.Assign(RepeatingWords(8, 3, TPixelFormat::pf4bit, 2));
  TMemoryStream stored;
  image.WriteData(stored);
  EXPECT_EQ(Field32(stored.Bytes(), 0), stored.Size() - 4);
  stored.Seek(0);
  TMAGImage back;
  back.ReadData(stored);
  EXPECT_EQ(Indices(*back.Raster()), Indices(*image.Raster()));
  stored.Bytes().pop_back();
  stored.Seek(0);
  EXPECT_THROW(back.ReadData(stored), EMagError);
}

}  // namespace
}  // namespace pamirune::testing
