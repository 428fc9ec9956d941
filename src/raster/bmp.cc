// BMP file reading and writing of the Raster image.
#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

void TBitmap::LoadFromStream(TStream& stream) {
  throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です");
}

void TBitmap::SaveToStream(TStream& stream) const {
  throw EInvalidGraphic("ﾋﾞｯﾄﾏｯﾌﾟｲﾒｰｼﾞが不正です");
}

}  // namespace pamirune
