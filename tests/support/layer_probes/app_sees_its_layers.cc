// Must compile: what the application layer may use.
#include "app/converter.h"
#include "formats/register_all.h"
#include "pdf/pdf_doc.h"
#include "raster/bitmap.h"
