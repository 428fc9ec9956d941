// The format bar and the three option bars: one set of controls over a Conversion settings
// record. The main window and the format dialog each own one set. A click on a control runs the
// application's enabling rules on the record, and the controls are then shown again from it, so
// the controls and the record never disagree.
#pragma once

#include <QObject>
#include <array>

#include "app/enabling_rules.h"
#include "app/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;
class QVBoxLayout;
class QWidget;

namespace pamirune {

class TNValEdit;

class OptionControls : public QObject {
  Q_OBJECT

 public:
  // The largest delay a GIF frame can carry (hundredths of a second in 16 bits).
  static constexpr int kMaxDelay = 65535;

  // The controls edit settings and states; rules says what "Gifｱﾆﾒ" drives.
  OptionControls(ConversionSettings& settings, ControlStates& states, RuleSet rules,
                 QObject* parent = nullptr);

  // Shows and edits another record from now on (the format dialog shows each model it is
  // given).
  void Bind(ConversionSettings& settings, ControlStates& states);

  // The four bars (owned by whoever places them): the format bar and option bars 1 to 3.
  QWidget* FormatBar() const { return format_bar_; }
  QWidget* Bar1() const { return bar1_; }
  QWidget* Bar2() const { return bar2_; }
  QWidget* Bar3() const { return bar3_; }

  // Stacks the four bars from top to bottom in a new column of owner, with no gaps around them.
  QVBoxLayout* StackBars(QWidget* owner) const;

  // Shows the record and the enabling states in the controls (emits nothing).
  void Refresh();

  QCheckBox* FormatCheck(FormatBox box) const { return format_[static_cast<int>(box)]; }
  QCheckBox* ColourBox() const { return colour_; }
  QCheckBox* TransparencyBox() const { return transparency_; }
  QCheckBox* PdfBatchBox() const { return pdf_batch_; }
  QCheckBox* GifAnimeBox() const { return gif_anime_; }
  TNValEdit* DelayEdit() const { return delay_; }
  QLabel* DelayLabel() const { return delay_label_; }
  QSlider* TrackBar() const { return track_; }
  QSpinBox* SpinEdit() const { return spin_; }
  QComboBox* IconSizeList() const { return icon_size_; }
  QComboBox* ScaleList() const { return scale_; }
  QCheckBox* DisposalBox() const { return disposal_; }

 signals:
  // A control was changed by the user (the record holds the new values already).
  void Changed();

 private:
  void Build();
  void BuildFormatBar();
  void BuildBar1();
  void BuildBar2();
  void BuildBar3();
  // The slider or the spin edit set a new level.
  void LevelEdited(int value);
  void Edited();

  ConversionSettings* settings_;
  ControlStates* states_;
  RuleSet rules_;
  bool refreshing_ = false;

  QWidget* format_bar_ = nullptr;
  QWidget* bar1_ = nullptr;
  QWidget* bar2_ = nullptr;
  QWidget* bar3_ = nullptr;
  std::array<QCheckBox*, kOutputFormatCount> format_{};
  QCheckBox* colour_ = nullptr;
  QCheckBox* transparency_ = nullptr;
  QCheckBox* pdf_batch_ = nullptr;
  QCheckBox* gif_anime_ = nullptr;
  TNValEdit* delay_ = nullptr;
  QLabel* delay_label_ = nullptr;
  QLabel* high_label_ = nullptr;
  QSlider* track_ = nullptr;
  QLabel* fine_label_ = nullptr;
  QSpinBox* spin_ = nullptr;
  QLabel* level_label_ = nullptr;
  QComboBox* icon_size_ = nullptr;
  QLabel* icon_size_label_ = nullptr;
  QCheckBox* disposal_ = nullptr;
  QComboBox* scale_ = nullptr;
  QLabel* scale_label_ = nullptr;
};

}  // namespace pamirune
