#include "gui/picker_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cmath>

#include "gui/bitmap_convert.h"
#include "gui/gui_texts.h"
#include "gui/window_util.h"

namespace pamirune {
namespace {

constexpr int kWidth = 254;
constexpr int kHeight = 270;
constexpr int kBarHeight = 25;

}  // namespace

PickerDialog::PickerDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text(gui_text::kPickerCaption));
  setModal(true);
  setSizeGripEnabled(true);
  resize(kWidth, kHeight);

  // The image area: the picture at its natural size from the top-left corner. A picture larger
  // than the window scrolls; a click position is still a pixel position of the picture.
  image_label_ = new QLabel;
  image_label_->setObjectName(QStringLiteral("image"));
  image_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  image_label_->setCursor(Qt::CrossCursor);
  image_label_->installEventFilter(this);
  scroll_ = new QScrollArea;
  scroll_->setWidget(image_label_);
  scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(false);

  bar_ = new QWidget;
  bar_->setObjectName(QStringLiteral("bar"));
  bar_->setFixedHeight(kBarHeight);
  bar_->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(bar_);
  row->setContentsMargins(4, 0, 0, 0);
  row->setSpacing(4);
  x_value_ = new QLabel(QStringLiteral("0"));
  y_value_ = new QLabel(QStringLiteral("0"));
  x_value_->setObjectName(QStringLiteral("x"));
  y_value_->setObjectName(QStringLiteral("y"));
  x_value_->setMinimumWidth(28);
  y_value_->setMinimumWidth(28);
  ok_ = new QPushButton(Text(gui_text::kOk));
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setFixedHeight(kBarHeight);
  row->addWidget(new QLabel(Text(gui_text::kPickerBar)));
  row->addSpacing(8);
  row->addWidget(new QLabel(Text(gui_text::kPickerX)));
  row->addWidget(x_value_);
  row->addWidget(new QLabel(Text(gui_text::kPickerY)));
  row->addWidget(y_value_);
  row->addStretch();
  row->addWidget(ok_);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(scroll_, 1);
  column->addWidget(bar_);
}

void PickerDialog::ShowColour() {
  const TColor colour = model_.Colour();
  QPalette palette = bar_->palette();
  palette.setColor(QPalette::Window,
                   QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)));
  // Captions stay readable on any colour.
  int grey = (GetRValue(colour) * 299 + GetGValue(colour) * 587 + GetBValue(colour) * 114) / 1000;
  palette.setColor(QPalette::WindowText, grey < 128 ? Qt::white : Qt::black);
  bar_->setPalette(palette);
  x_value_->setText(QString::fromStdString(model_.XText()));
  y_value_->setText(QString::fromStdString(model_.YText()));
}

void PickerDialog::Pick(int x, int y) {
  if (model_.MousePress(x, y)) ShowColour();
}

bool PickerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == image_label_ && event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    // The pixel under the pointer: with a fractional scale factor the position falls inside a
    // pixel, and rounding would take its neighbour.
    const QPointF p = mouse->position();
    Pick(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void PickerDialog::Run(const TBitmap& image, PickerResult& result) {
  if (parentWidget()) setWindowIcon(parentWidget()->window()->windowIcon());
  // Until the first pick the bar has the desktop's button face.
  QColor face = QPalette().color(QPalette::Button);
  model_.SetDefaultColour(RGB(static_cast<uint8_t>(face.red()), static_cast<uint8_t>(face.green()),
                              static_cast<uint8_t>(face.blue())));
  model_.Activate(image);
  QImage shown = QImageFromBitmap(image);
  image_label_->setPixmap(QPixmap::fromImage(shown));
  image_label_->resize(shown.size());
  ShowColour();
  exec();  // OK and the title bar close it the same way
  result = model_.Close();
  // Closed without a pick: the top-left pixel's colour, as the GIF frame takes the index at the
  // point (0, 0), rather than the colour of the bar's face.
  if (!result.picked && !image.Empty()) result.color = image.Pixel(0, 0);
  image_label_->clear();
}

}  // namespace pamirune
