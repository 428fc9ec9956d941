// TForm3, the transparent-colour picker "透過色指定": the image at its natural size from the
// top-left corner; a click on a pixel makes its colour the transparent colour, shown as the
// bottom bar's background, with the point in the X and Y labels. The behaviour is PickerModel's
// (app/picker_model.h); this view paints it and hands it the clicks.
#pragma once

#include <QDialog>
#include <QImage>

#include "app/dialog_models.h"
#include "app/picker_model.h"
#include "raster/bitmap.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QWidget;

namespace pamirune {

class PickerDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PickerDialog(QWidget* parent = nullptr);

  // Shows the image modally and leaves the answer in result. The point is reset to (0, 0) at
  // every showing; the colour is kept from the last pick. Until the first pick of the run the
  // answer's colour is that of the image's top-left pixel, the one used without the picker
  // (result.picked tells the two apart).
  void Run(const TBitmap& image, PickerResult& result);

  // A click at pixel (x, y) of the image; clicks outside the image are ignored.
  void Pick(int x, int y);

  QLabel* ImageArea() const { return image_label_; }
  QWidget* BottomBar() const { return bar_; }
  QLabel* XLabel() const { return x_value_; }
  QLabel* YLabel() const { return y_value_; }
  QPushButton* OkButton() const { return ok_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowColour();

  PickerModel model_;
  QScrollArea* scroll_ = nullptr;
  QLabel* image_label_ = nullptr;
  QWidget* bar_ = nullptr;
  QLabel* x_value_ = nullptr;
  QLabel* y_value_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace pamirune
