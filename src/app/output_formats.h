// The output-format table: one row per format the converter writes, saying everything the
// program knows about it — its token, INI key, console names, settings flag, the controls its
// box drives, the signature that recognises it as a source, and its writer. The settings file,
// the console, the enabling rules, the header sniffer and the pipeline all read this table, so
// a new output format is its codec folder plus, in app/output_formats.cc, its signature, its
// writer and its row (with its enumerator here and its flag in ConversionSettings).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/settings.h"

namespace pamirune {

// The output formats in their writing order (the table's order).
enum class OutputFormat { kBmp, kJpg, kPng, kMag, kIco, kPdf, kGif, kTif };
inline constexpr size_t kOutputFormatCount = 8;

// Enough for the icon directory's whole first entry (bytes 6 to 21).
inline constexpr size_t kHeaderBytes = 22;
using FileHeader = std::array<uint8_t, kHeaderBytes>;

// The controls of the option bars that a format box has a say in (bits).
enum FormatControl : unsigned {
  kTransparencyControl = 1,  // "透過"
  kLevelControl = 2,         // the level group
  kIconSizeControl = 4,      // the icon-size list and "Icoｻｲｽﾞ"
  kPdfBatchControl = 8,      // "Pdf一括"
  kGifAnimeControl = 16,     // "Gifｱﾆﾒ" and the delay edit
};

// Which image of the pipeline a writer prepares its output from: the working image (scaled and
// made grey, before colour reduction), the DIB image in the chosen colour depth, or that image
// as a bitmap.
enum class WriterSource { kWorking, kDib, kBitmap };

class OutputWriter;

struct OutputFormatInfo {
  OutputFormat format;
  // The names the format goes by. The first is its token: the extension written, the caption of
  // its box. Every one is accepted by --formats and, for a format that is also read, as the
  // extension of a source.
  std::array<const char*, 2> names;
  const char* ini_key;  // in [Format]
  bool ConversionSettings::*ticked;
  int bar_position;  // place of its box on the format bar, from the left
  unsigned drives;   // the rules a change of its box runs (FormatControl bits)
  unsigned enables;  // the controls enabled while it is ticked (FormatControl bits)
  // As a source: its signature in the first bytes (nullptr: never read) and its place in the
  // order signatures are tried.
  bool (*signature)(const FileHeader& header);
  int sniff_rank;
  WriterSource writer_source;
  // True when the file is written from the DIB image itself (which then has to be kept, unless
  // its pixels move on to the bitmap, where the writer reads them).
  bool writes_from_dib;
  std::unique_ptr<OutputWriter> (*make_writer)();

  const char* Token() const { return names[0]; }
};

// Every row, in writing order.
std::span<const OutputFormatInfo> OutputFormats();
const OutputFormatInfo& FormatInfo(OutputFormat format);
// The row one of its names picks ("jpg", "jpeg", ...); nullptr for none.
const OutputFormatInfo* FindFormatByName(std::string_view name);

const char* FormatToken(OutputFormat format);
bool FormatTicked(const ConversionSettings& settings, OutputFormat format);
bool& FormatField(ConversionSettings& settings, OutputFormat format);
// True when a ticked format has the control among those it enables.
bool AnyTickedEnables(const ConversionSettings& settings, unsigned control);

// The boxes of the format bar, from left to right.
const std::array<OutputFormat, kOutputFormatCount>& FormatBarOrder();

}  // namespace pamirune
