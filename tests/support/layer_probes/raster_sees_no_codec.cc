// Must not compile: the raster layer sits below every codec.
#include "formats/png/png_image.h"
