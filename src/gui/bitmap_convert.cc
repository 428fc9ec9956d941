#include "gui/bitmap_convert.h"

#include <vector>

namespace pamirune {

TBitmap BitmapFromQImage(const QImage& image) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return TBitmap();
  CheckedImageBytes(image.width(), image.height(), 24);  // refuses before anything is allocated
  QImage source =
      image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  TBitmap bitmap(source.width(), source.height(), TPixelFormat::pf24bit);
  const int width = source.width();
  for (int y = 0; y < source.height(); ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x, out += 3) {
      QRgb p = in[x];
      int alpha = qAlpha(p);
      int r = qRed(p), g = qGreen(p), b = qBlue(p);
      if (alpha != 255) {  // over white
        r = (r * alpha + 255 * (255 - alpha) + 127) / 255;
        g = (g * alpha + 255 * (255 - alpha) + 127) / 255;
        b = (b * alpha + 255 * (255 - alpha) + 127) / 255;
      }
      out[0] = static_cast<uint8_t>(b);
      out[1] = static_cast<uint8_t>(g);
      out[2] = static_cast<uint8_t>(r);
    }
  }
  return bitmap;
}

QImage QImageFromBitmap(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  if (image.isNull()) return image;  // out of memory
  TRowReader reader(bitmap);
  std::vector<TColor> row(static_cast<size_t>(bitmap.Width()));
  for (int y = 0; y < bitmap.Height(); ++y) {
    reader.Read(y, 0, bitmap.Width(), row.data());
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x)
      out[x] = qRgb(GetRValue(row[x]), GetGValue(row[x]), GetBValue(row[x]));
  }
  return image;
}

}  // namespace pamirune
