#include "gui/option_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>
#include <cmath>
#include <initializer_list>

#include "app/settings_io.h"
#include "gui/gui_texts.h"
#include "gui/num_edit.h"
#include "gui/window_util.h"

namespace pamirune {
namespace {

constexpr int kFormatBarHeight = 25;
constexpr int kOptionBarHeight = 27;

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

// A box named for the tests, with its caption (none when caption is null).
QCheckBox* NewCheck(const char* name, const char* caption) {
  auto* check = caption ? new QCheckBox(Text(caption)) : new QCheckBox;
  check->setObjectName(QString::fromLatin1(name));
  return check;
}

template <size_t N>
QComboBox* NewList(const char* name, const char* const (&entries)[N], int width) {
  auto* list = new QComboBox;
  list->setObjectName(QString::fromLatin1(name));
  for (const char* entry : entries) list->addItem(Text(entry));
  list->setFixedWidth(width);
  return list;
}

// Puts the widgets into the bar's row, left to right, and the rest of the row empty.
void AddAll(QHBoxLayout* row, std::initializer_list<QWidget*> widgets) {
  for (QWidget* w : widgets) row->addWidget(w);
  row->addStretch();
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
  BuildFormatBar();
  BuildBar1();
  BuildBar2();
  BuildBar3();
}

// The eight output formats, in the bar's order.
void OptionControls::BuildFormatBar() {
  QHBoxLayout* row = nullptr;
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
}

// Colour mode, transparency, the two batch files and the frame delay.
void OptionControls::BuildBar1() {
  QHBoxLayout* row = nullptr;
  bar1_ = NewBar(kOptionBarHeight, 4, &row);
  colour_ = NewCheck("colour", nullptr);
  colour_->setTristate(true);
  transparency_ = NewCheck("transparency", gui_text::kTransparency);
  pdf_batch_ = NewCheck("pdf_batch", gui_text::kPdfBatch);
  gif_anime_ = NewCheck("gif_anime", gui_text::kGifAnime);
  delay_ = new TNValEdit;
  delay_->setObjectName(QStringLiteral("delay"));
  delay_->SetAllowNegative(false);
  delay_->SetAllowDecimal(false);
  delay_->SetMaximum(kMaxDelay);
  delay_->setFixedWidth(44);
  delay_label_ = new QLabel(Text(gui_text::kTiming));
  AddAll(row, {colour_, transparency_, pdf_batch_, gif_anime_, delay_, delay_label_});
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
}

// Quality / compression level, icon size and what becomes of the source.
void OptionControls::BuildBar2() {
  QHBoxLayout* row = nullptr;
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
  icon_size_ = NewList("icon_size", kIconSizeTexts, 46);
  icon_size_label_ = new QLabel(Text(gui_text::kIconSize));
  disposal_ = NewCheck("disposal", nullptr);
  disposal_->setTristate(true);
  AddAll(row, {high_label_, track_, fine_label_, spin_, level_label_, icon_size_, icon_size_label_,
               disposal_});
  connect(track_, &QSlider::valueChanged, this, [this](int value) { LevelEdited(value); });
  connect(spin_, &QSpinBox::valueChanged, this, [this](int value) { LevelEdited(value); });
  connect(icon_size_, &QComboBox::currentIndexChanged, this, [this] {
    if (refreshing_) return;
    settings_->icon_size_text = icon_size_->currentText().toStdString();
    Edited();
  });
  connect(disposal_, &QCheckBox::clicked, this, [this] {
    settings_->disposal = DisposalOf(FromQt(disposal_->checkState()));
    Edited();
  });
}

// The scale factor.
void OptionControls::BuildBar3() {
  QHBoxLayout* row = nullptr;
  bar3_ = NewBar(kOptionBarHeight, 4, &row);
  scale_ = NewList("scale", kScaleTexts, 56);
  scale_label_ = new QLabel(Text(gui_text::kImageSize));
  AddAll(row, {scale_, scale_label_});
  connect(scale_, &QComboBox::currentIndexChanged, this, [this] {
    if (refreshing_) return;
    settings_->scale_text = scale_->currentText().toStdString();
    Edited();
  });
}

void OptionControls::LevelEdited(int value) {
  if (refreshing_) return;
  OnLevelChanged(*settings_, value);
  Edited();
}

QVBoxLayout* OptionControls::StackBars(QWidget* owner) const {
  auto* column = new QVBoxLayout(owner);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  for (QWidget* bar : {format_bar_, bar1_, bar2_, bar3_}) column->addWidget(bar);
  return column;
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
