#include "gui/qt_platform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "gui/bitmap_convert.h"

namespace pamirune {

bool QtPlatform::ClipboardHasBitmap() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  return data != nullptr && data->hasImage();
}

std::unique_ptr<TBitmap> QtPlatform::ClipboardBitmap() {
  if (!ClipboardHasBitmap()) return nullptr;
  QImage image = QGuiApplication::clipboard()->image(QClipboard::Clipboard);
  if (image.isNull()) return nullptr;
  auto bitmap = std::make_unique<TBitmap>(BitmapFromQImage(image));
  if (bitmap->Empty()) return nullptr;
  return bitmap;
}

}  // namespace pamirune
