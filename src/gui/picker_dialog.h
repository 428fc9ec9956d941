// TForm3, the transparent-colour picker "透過色指定": the image at its natural size from the
// top-left corner; a click on a pixel makes its colour the transparent colour, shown as the
// bottom bar's background, with the point in the X and Y labels.
#pragma once

#include <QDialog>
#include <QImage>

#include "app/dialog_models.h"
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
  // colour is that of the image's top-left pixel, the one used without the picker.
  void Run(const TBitmap& image, PickerResult& result);

  // A click at pixel (x, y) of the image; clicks outside the image are ignored.
  void Pick(int x, int y);

  QLabel* ImageArea() const { return image_label_; }
  QWidget* BottomBar() const { return bar_; }
  QLabel* XLabel() const { return x_value_; }
  QLabel* YLabel() const { return y_value_; }
  QPushButton* OkButton() const { return ok_; }
  bool Picked() const { return picked_; }
  TColor Color() const { return color_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowColour();

  const TBitmap* image_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QLabel* image_label_ = nullptr;
  QWidget* bar_ = nullptr;
  QLabel* x_value_ = nullptr;
  QLabel* y_value_ = nullptr;
  QPushButton* ok_ = nullptr;
  bool picked_ = false;  // a pixel was picked in this run
  TColor color_ = 0;
  int x_ = 0;
  int y_ = 0;
};

}  // namespace pamirune
