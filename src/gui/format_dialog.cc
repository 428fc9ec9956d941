#include "gui/format_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/format_dialog_model.h"
#include "gui/gui_texts.h"
#include "gui/option_controls.h"
#include "gui/window_util.h"

namespace pamirune {

namespace {
constexpr int kClientWidth = 347;
constexpr int kClientHeight = 130;
}  // namespace

FormatDialog::FormatDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kFormatDialogCaption));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setModal(true);
  controls_ = new OptionControls(idle_.values, idle_.states, RuleSet::kFormatDialog, this);

  QVBoxLayout* column = controls_->StackBars(this);

  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(4, 0, 4, 2);
  keep_running_ = new QCheckBox(QString::fromUtf8(kKeepRunningCaption));
  keep_running_->setObjectName(QStringLiteral("keep_running"));
  ok_ = new QPushButton(QString::fromUtf8(gui_text::kOk));
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  bottom->addWidget(keep_running_);
  bottom->addStretch();
  bottom->addWidget(ok_);
  column->addLayout(bottom);
  column->addStretch();
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(keep_running_, &QCheckBox::clicked, this,
          [this](bool checked) { model_->keep_running = checked; });

  // The designed size; a desktop font wider than the one it was laid out for widens it.
  setFixedSize(std::max(kClientWidth, column->sizeHint().width()), kClientHeight);
}

void FormatDialog::Run(FormatDialogModel& model) {
  model_ = &model;
  model.Activate();
  controls_->Bind(model.values, model.states);
  keep_running_->setChecked(model.keep_running);
  CentreOnScreen(this);
  exec();
  // Nothing shown now: the controls go back to a record of their own.
  idle_ = model;
  model_ = &idle_;
  controls_->Bind(idle_.values, idle_.states);
}

}  // namespace pamirune
