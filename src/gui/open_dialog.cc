#include "gui/open_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

#include "gui/bitmap_convert.h"
#include "gui/gui_texts.h"
#include "raster/registry.h"

namespace pamirune {
namespace {

constexpr qint64 kPreviewFileLimit = 64 * 1024 * 1024;  // larger files get no preview

// A small picture of the file under the cursor, read by the converter's own readers so that
// every input format previews.
class PreviewPane : public QLabel {
 public:
  PreviewPane() {
    setFixedSize(132, 132);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
  }

  void ShowFile(const QString& path) {
    clear();
    QFileInfo info(path);
    if (!info.isFile() || info.size() > kPreviewFileLimit) return;
    try {
      TPicture picture;
      picture.LoadFromFile(path.toStdString());
      if (!picture.Graphic()) return;
      TBitmap bitmap;
      picture.Graphic()->ToBitmap(bitmap);
      QImage image = QImageFromBitmap(bitmap);
      if (image.isNull()) return;
      setPixmap(QPixmap::fromImage(
          image.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } catch (...) {
      // Not a picture we can read: no preview.
    }
  }
};

}  // namespace

QStringList OpenDialogFilters() {
  QStringList filters;
  for (const auto& filter : gui_text::kOpenFilters) {
    QString patterns = QString::fromUtf8(filter.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << QString::fromUtf8(filter.display) + QStringLiteral(" (") + patterns +
                   QLatin1Char(')');
  }
  return filters;
}

QStringList RunOpenDialog(QWidget* parent, const std::string& initial_dir) {
  QFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::ReadOnly, true);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilters(OpenDialogFilters());
  const QString folder = QString::fromStdString(initial_dir);
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    auto* preview = new PreviewPane;
    grid->addWidget(preview, 1, grid->columnCount(), 1, 1, Qt::AlignTop);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, &PreviewPane::ShowFile);
  }
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace pamirune
