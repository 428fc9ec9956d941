#include "gui/option_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>
#include <cmath>

#include "app/settings_io.h"
#include "gui/gui_texts.h"
#include "gui/num_edit.h"

namespace pamirune {
namespace {

constexpr int kFormatBarHeight = 25;
constexpr int kOptionBarHeight = 27;

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

Qt::CheckState ToQt(CheckState state) {
  switch (state) {
    case CheckState::kChecked:
      return Qt::Checked;
    case CheckState::kUnchecked:
      return Qt::Unchecked;
    case CheckState::kGrayed:
      return Qt::PartiallyChecked;
  }
  return Qt::Unchecked;
}

CheckState FromQt(Qt::CheckState state) {
  switch (state) {
    case Qt::Checked:
      return CheckState::kChecked;
    case Qt::Unchecked:
      return CheckState::kUnchecked;
    case Qt::PartiallyChecked:
      return CheckState::kGrayed;
  }
  return CheckState::kUnchecked;
}

QWidget* NewBar(int height, int spacing, QHBoxLayout** layout) {
  auto* bar = new QWidget;
  bar->setFixedHeight(height);
  // A narrow gap between a box and its caption, as the bars were laid out for.
  bar->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(2, 0, 1, 0);
  row->setSpacing(spacing);
  *layout = row;
  return bar;
}

void SelectText(QComboBox* list, const std::string& text) {
  list->setCurrentIndex(list->findText(QString::fromStdString(text), Qt::MatchExactly));
}

}  // namespace

OptionControls::OptionControls(ConversionSettings& settings, ControlStates& states, RuleSet rules,
                               QObject* parent)
    : QObject(parent), settings_(&settings), states_(&states), rules_(rules) {
  Build();
  Refresh();
}

void OptionControls::Bind(ConversionSettings& settings, ControlStates& states) {
  settings_ = &settings;
  states_ = &states;
  Refresh();
}

void OptionControls::Build() {
  QHBoxLayout* row = nullptr;

  // Format bar: the eight output formats, in the bar's order.
  format_bar_ = NewBar(kFormatBarHeight, 6, &row);
  for (FormatBox box : kFormatBoxes) {
    auto* check = new QCheckBox(Text(FormatBoxCaption(box)));
    check->setObjectName(QStringLiteral("format_") + Text(FormatBoxCaption(box)));
    format_[static_cast<int>(box)] = check;
    row->addWidget(check);
    connect(check, &QCheckBox::clicked, this, [this, box](bool checked) {
      OnFormatToggled(*settings_, *states_, box, checked);
      Edited();
    });
  }
  row->addStretch();

  // Option bar 1: colour mode, transparency, the two batch files and the frame delay.
  bar1_ = NewBar(kOptionBarHeight, 4, &row);
  colour_ = new QCheckBox;
  colour_->setObjectName(QStringLiteral("colour"));
  colour_->setTristate(true);
  transparency_ = new QCheckBox(Text(gui_text::kTransparency));
  transparency_->setObjectName(QStringLiteral("transparency"));
  pdf_batch_ = new QCheckBox(Text(gui_text::kPdfBatch));
  pdf_batch_->setObjectName(QStringLiteral("pdf_batch"));
  gif_anime_ = new QCheckBox(Text(gui_text::kGifAnime));
  gif_anime_->setObjectName(QStringLiteral("gif_anime"));
  delay_ = new TNValEdit;
  delay_->setObjectName(QStringLiteral("delay"));
  delay_->SetAllowNegative(false);
  delay_->SetAllowDecimal(false);
  delay_->SetMaximum(kMaxDelay);
  delay_->setFixedWidth(44);
  delay_label_ = new QLabel(Text(gui_text::kTiming));
  for (QWidget* w : {static_cast<QWidget*>(colour_), static_cast<QWidget*>(transparency_),
                     static_cast<QWidget*>(pdf_batch_), static_cast<QWidget*>(gif_anime_),
                     static_cast<QWidget*>(delay_), static_cast<QWidget*>(delay_label_)})
    row->addWidget(w);
  row->addStretch();
  connect(colour_, &QCheckBox::clicked, this, [this] {
    settings_->colour_mode = ColourModeOf(FromQt(colour_->checkState()));
    Edited();
  });
  connect(transparency_, &QCheckBox::clicked, this, [this](bool checked) {
    settings_->transparency = checked;
    Edited();
  });
  connect(pdf_batch_, &QCheckBox::clicked, this, [this](bool checked) {
    settings_->pdf_batch = checked;
    Edited();
  });
  connect(gif_anime_, &QCheckBox::clicked, this, [this](bool checked) {
    OnGifAnimeToggled(*settings_, *states_, checked, rules_);
    Edited();
  });
  connect(delay_, &TNValEdit::ValueEdited, this, [this](double value) {
    // The record keeps the text as the edit shows it (an empty field for 0).
    settings_->delay_text = FormatDelayText(static_cast<int>(std::trunc(value)));
    emit Changed();  // the edit shows its own typing: no refresh under the caret
  });

  // Option bar 2: quality / compression level, icon size and what becomes of the source.
  bar2_ = NewBar(kOptionBarHeight, 2, &row);
  high_label_ = new QLabel(Text(gui_text::kHigh));
  track_ = new QSlider(Qt::Horizontal);
  track_->setObjectName(QStringLiteral("track_bar"));
  track_->setRange(0, 10);
  track_->setSingleStep(1);
  track_->setPageStep(1);
  track_->setTickInterval(1);
  track_->setTickPosition(QSlider::TicksBelow);
  track_->setFixedWidth(52);
  fine_label_ = new QLabel(Text(gui_text::kFine));
  spin_ = new QSpinBox;
  spin_->setObjectName(QStringLiteral("spin_edit"));
  spin_->setRange(0, 10);
  spin_->setFixedWidth(34);
  level_label_ = new QLabel(Text(gui_text::kCompression));
  icon_size_ = new QComboBox;
  icon_size_->setObjectName(QStringLiteral("icon_size"));
  for (const char* entry : kIconSizeTexts) icon_size_->addItem(Text(entry));
  icon_size_->setFixedWidth(46);
  icon_size_label_ = new QLabel(Text(gui_text::kIconSize));
  disposal_ = new QCheckBox;
  disposal_->setObjectName(QStringLiteral("disposal"));
  disposal_->setTristate(true);
  for (QWidget* w : {static_cast<QWidget*>(high_label_), static_cast<QWidget*>(track_),
                     static_cast<QWidget*>(fine_label_), static_cast<QWidget*>(spin_),
                     static_cast<QWidget*>(level_label_), static_cast<QWidget*>(icon_size_),
                     static_cast<QWidget*>(icon_size_label_), static_cast<QWidget*>(disposal_)})
    row->addWidget(w);
  row->addStretch();
  connect(track_, &QSlider::valueChanged, this, [this](int value) {
    if (refreshing_) return;
    OnLevelChanged(*settings_, value);
    Edited();
  });
  connect(spin_, &QSpinBox::valueChanged, this, [this](int value) {
    if (refreshing_) return;
    OnLevelChanged(*settings_, value);
    Edited();
  });
  connect(icon_size_, &QComboBox::currentIndexChanged, this, [this] {
    if (refreshing_) return;
    settings_->icon_size_text = icon_size_->currentText().toStdString();
    Edited();
  });
  connect(disposal_, &QCheckBox::clicked, this, [this] {
    settings_->disposal = DisposalOf(FromQt(disposal_->checkState()));
    Edited();
  });

  // Option bar 3: the scale factor.
  bar3_ = NewBar(kOptionBarHeight, 4, &row);
  scale_ = new QComboBox;
  scale_->setObjectName(QStringLiteral("scale"));
  for (const char* entry : kScaleTexts) scale_->addItem(Text(entry));
  scale_->setFixedWidth(56);
  scale_label_ = new QLabel(Text(gui_text::kImageSize));
  row->addWidget(scale_);
  row->addWidget(scale_label_);
  row->addStretch();
  connect(scale_, &QComboBox::currentIndexChanged, this, [this] {
    if (refreshing_) return;
    settings_->scale_text = scale_->currentText().toStdString();
    Edited();
  });
}

void OptionControls::Edited() {
  Refresh();
  emit Changed();
}

void OptionControls::Refresh() {
  refreshing_ = true;
  for (FormatBox box : kFormatBoxes) {
    QSignalBlocker block(FormatCheck(box));
    FormatCheck(box)->setChecked(FormatBoxTicked(*settings_, box));
  }
  {
    QSignalBlocker block(colour_);
    colour_->setCheckState(ToQt(ColourBoxState(settings_->colour_mode)));
    colour_->setText(Text(ColourBoxCaption(settings_->colour_mode)));
  }
  {
    QSignalBlocker block(disposal_);
    disposal_->setCheckState(ToQt(DisposalBoxState(settings_->disposal)));
    disposal_->setText(Text(DisposalBoxCaption(settings_->disposal)));
  }
  transparency_->setChecked(settings_->transparency);
  transparency_->setEnabled(states_->transparency);
  pdf_batch_->setChecked(settings_->pdf_batch);
  pdf_batch_->setEnabled(states_->pdf_batch);
  gif_anime_->setChecked(settings_->gif_anime);
  gif_anime_->setEnabled(states_->gif_anime);

  double delay = 0;
  if (!TNValEdit::ParseText(QString::fromStdString(settings_->delay_text), &delay)) delay = 0;
  if (delay_->Value() != delay || delay_->text() != TNValEdit::FormatValue(delay))
    delay_->SetValue(delay);
  delay_->setEnabled(states_->delay);
  delay_label_->setEnabled(states_->delay);

  track_->setValue(settings_->level);
  spin_->setValue(settings_->level);
  for (QWidget* w : {static_cast<QWidget*>(high_label_), static_cast<QWidget*>(track_),
                     static_cast<QWidget*>(fine_label_), static_cast<QWidget*>(spin_),
                     static_cast<QWidget*>(level_label_)})
    w->setEnabled(states_->level);

  SelectText(icon_size_, settings_->icon_size_text);
  icon_size_->setEnabled(states_->icon_size);
  icon_size_label_->setEnabled(states_->icon_size);
  SelectText(scale_, settings_->scale_text);
  refreshing_ = false;
}

}  // namespace pamirune
