// TIFF files: the raster image kind TTIFFBitMap, its directory TIFD and the small owner TTiff.
// Its own reader and writer know the little-endian baseline subset (one directory, strips, no
// compression or LZW with the horizontal predictor); every other TIFF file (either byte order,
// any compression, tiles, planes, depth or colour space libtiff reads) is read through libtiff,
// first page only. TTIFFBitMap is registered for "tif" and "tiff" ("Tag Image Files") and "bmp"
// ("Bitmaps at Tiff"); BMP files go through the Raster image's own BMP code.
//
// The reader reports damaged files as warnings (message, caption) and carries on with what it
// could read (a file libtiff cannot read at all: "Picture reading failed!" and libtiff's reason);
// only a stream that is neither TIFF nor BMP raises "Unknown format encountered!", and an image
// past the pixel limit EImageTooLarge.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

// message, caption.
using TTiffWarningEvent = std::function<void(const std::string&, const std::string&)>;

inline constexpr char kTiffUnknownFormat[] = "Unknown format encountered!";
inline constexpr char kTiffUnexpectedEnd[] = "Unexpected end of data!";
inline constexpr char kTiffLoadingCaption[] = "Loading of Tiff";
inline constexpr char kTiffReadFailed[] = "Picture reading failed!";
inline constexpr char kTiffWriteFailed[] = "Picture Write Failed";
inline constexpr char kTiffErrorCaption[] = "Error";

// One image file directory: parsed from a file for reading, or built for an image to write.
class TIFD {
 public:
  struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t value = 0;
  };

  // Parses the directory whose offset is at byte 4 of file. False (with Error() set) when
  // anything it needs lies beyond the end of file.
  bool Read(const std::vector<uint8_t>& file);

  // Builds the directory for writing an image of the given size and depth (1, 4, 8 or 24).
  // color_map: 2^bits red, then green, then blue 16-bit values for a palette-colour image;
  // empty for grey levels and RGB. Fills the strip layout; strip_offsets/strip_byte_counts are
  // those of an uncompressed file.
  void Build(int width, int height, int bits, bool compress, bool predict,
             std::vector<uint16_t> color_map);
  // The directory as written at offset 8: count, entries, next-directory offset.
  std::vector<uint8_t> Bytes() const;
  // Where the data after the directory starts (182 for the 14 entries).
  uint32_t DataStart() const;

  std::vector<uint16_t> color_map;
  uint32_t color_map_count = 0;
  std::vector<Entry> entries;
  uint32_t next_ifd = 0;
  uint32_t image_width = 0;
  uint32_t image_height = 0;
  uint32_t bits_per_sample = 1;
  uint32_t bits_per_pixel = 1;
  uint32_t compression = 1;
  uint32_t strip_offset_value = 0;
  uint32_t rows_per_strip = 0;  // 0 until read or built: the whole image
  uint32_t samples_per_pixel = 1;
  uint32_t fill_order = 1;
  uint32_t orientation = 1;
  uint32_t planar_configuration = 1;
  uint32_t color_map_offset = 0;
  uint32_t strip_byte_count_value = 0;
  uint32_t photometric = 0;
  uint32_t left_bits = 0;  // unused bits in the last byte of a row
  bool predictor = false;
  uint32_t predictor_value = 1;  // as stored: 1 none, 2 horizontal, 3 floating point
  uint32_t sample_format = 1;    // 1 unsigned integers
  bool tiled = false;            // tiles instead of strips
  uint32_t strip_count = 0;
  std::vector<uint32_t> strip_offsets;
  std::vector<uint32_t> strip_byte_counts;
  bool error = false;
  bool color_map_loaded = false;
  // Row length in bytes and bytes per strip (the last strip may hold less).
  uint32_t row_bytes = 0;
  uint32_t strip_size = 0;
};

class TTIFFBitMap : public TBitmap {
 public:
  TTIFFBitMap();

  std::unique_ptr<TGraphic> NewOfSameKind() const override {
    return std::make_unique<TTIFFBitMap>();
  }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TTIFFBitMap>(*this); }
  const char* ClassName() const override { return "TTIFFBitMap"; }
  // The Orientation tag of the file loaded last; the pixels stay as stored.
  int Orientation() const override { return orientation_; }

  // "bmp": the BMP reader; "tif" and "tiff": by content (TIFF or BMP); any other extension
  // loads nothing.
  void LoadFromFile(const std::string& file_name) override;
  // "bmp": a BMP file; any other name: a TIFF file. Written atomically.
  void SaveToFile(const std::string& file_name) const override;
  // "II" or "MM": TIFF; "BM": BMP; fewer than 2 bytes: nothing; else EInvalidGraphic
  // ("Unknown format encountered!").
  void LoadFromStream(TStream& stream) override;
  // TIFF. Before it, with ask-for-options on, OnSaveOptions may change compress and predict.
  void SaveToStream(TStream& stream) const override;
  void SaveBmpToStream(TStream& stream) const { TBitmap::SaveToStream(stream); }

  bool Compress() const { return compress_; }
  // Turning compression off turns the predictor off too.
  void SetCompress(bool value);
  bool Predict() const { return predict_; }
  void SetPredict(bool value) { predict_ = value; }
  bool AskForOptions() const { return ask_for_options_; }
  void SetAskForOptions(bool value) { ask_for_options_ = value; }

  // Receives this image's warnings (message, caption); unset, they go to the load's sink.
  TTiffWarningEvent OnWarning;
  // The save-options dialog: gets compress and predict, returns true for OK (taking both over).
  std::function<bool(bool& compress, bool& predict)> OnSaveOptions;

 private:
  // To OnWarning, else to the load's OnLoadWarning (as kind); with neither, dropped.
  void Warn(const std::string& message, const std::string& caption,
            TLoadWarning kind = TLoadWarning::lwNotDecoded) const;
  void ReadTiff(const std::vector<uint8_t>& file);
  void ReadWithLibTiff(const std::vector<uint8_t>& file);

  int orientation_ = 1;

  bool compress_ = true;
  bool predict_ = true;
  bool ask_for_options_ = true;
};

// Owns one TTIFFBitMap; loads and saves it by path and reports changes to an attached view.
class TTiff {
 public:
  TTiff();
  TTIFFBitMap& TiffMap() { return tiff_map_; }
  const TTIFFBitMap& TiffMap() const { return tiff_map_; }
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path) const;
  // Called after the map changed (the attached control repaints).
  TNotifyEvent OnChange;

 private:
  TTIFFBitMap tiff_map_;
};

// What the conversion writes: bitmap as a TIFF file with compression on and no options dialog.
void SaveTiffFile(const TBitmap& bitmap, const std::string& file_name);

// Registers TTIFFBitMap for "tif" and "tiff" ("Tag Image Files") and "bmp" ("Bitmaps at Tiff").
void RegisterTiffGraphic();

}  // namespace pamirune
