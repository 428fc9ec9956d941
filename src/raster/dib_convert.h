// Colour-depth conversions of DIB data. Each conversion checks that its source has the bit count
// and compression it expects, builds a new DibData beside the source and returns it; the source
// is never changed. Errors are EDibError with the conversion's name in the text.
#pragma once

#include <functional>

#include "raster/dib_data.h"

namespace pamirune {

// Called once per progress step of a reduction (256 steps to 8 bits, 16 to 4 bits).
using DibStepEvent = std::function<void()>;

// Expansions: each index is looked up in the colour table (an index past the table is black).
DibData Convert1BitRGBTo8BitRGB(const DibData& source);
DibData Convert4BitRGBTo8BitRGB(const DibData& source);
DibData Convert1BitRGBTo4BitRGB(const DibData& source);
DibData Convert1BitRGBToTrueColor(const DibData& source);
DibData Convert4BitRGBToTrueColor(const DibData& source);
DibData Convert8BitRGBToTrueColor(const DibData& source);

// Run-length decoders. Malformed streams raise "<name>: Bad RLE Data n" (8 bits: 1 to 4,
// 4 bits: 5 to 8): n = first a run of repeated pixels past the end of its row, then a run of
// literal pixels past the end of its row, then a delta or end-of-line that leaves the image,
// last a stream that ends inside a code. A stream that ends between codes without the
// end-of-bitmap mark is accepted; the pixels not reached stay index 0.
DibData Convert8BitRLETo8BitRGB(const DibData& source);
DibData Convert4BitRLETo4BitRGB(const DibData& source);

// The 256-colour reduction: a weighted-variance split of the 5-6-5 colour histogram into at most
// 256 leaves; every pixel takes the palette index of its histogram cell, without dithering.
// Raises "ConvertTrueColorTo8BitRGBLow: Invalid Bitcount" for a source that is not 24 bits.
DibData ConvertTrueColorTo8BitRGBLow(const DibData& source, const DibStepEvent& step = {});
// The fine conversion: the same palette, with Floyd-Steinberg error diffusion onto it.
DibData ConvertTrueColorTo8BitRGBFine(const DibData& source, const DibStepEvent& step = {});
// The same split stopped at 16 leaves, written as 4 bits per pixel.
DibData ConvertTrueColorTo4BitRGB(const DibData& source, const DibStepEvent& step = {});
// Two colours, black (index 0) and the background colour (index 1): each pixel takes the nearer
// of the two (black on a tie).
DibData ConvertTrueColorTo1BitRGB(const DibData& source, TColor background);

}  // namespace pamirune
