#include "gui/format_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/messages.h"
#include "gui/gui_texts.h"
#include "gui/message_boxes.h"
#include "gui/option_controls.h"
#include "gui/window_util.h"

namespace pamirune {

namespace {
constexpr int kClientWidth = 347;
constexpr int kClientHeight = 130;
}  // namespace

FormatDialog::FormatDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(gui_text::kFormatDialogCaption));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setModal(true);
  controls_ = new OptionControls(values_, states_, RuleSet::kFormatDialog, this);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(controls_->FormatBar());
  column->addWidget(controls_->Bar1());
  column->addWidget(controls_->Bar2());
  column->addWidget(controls_->Bar3());

  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(4, 0, 4, 2);
  keep_running_ = new QCheckBox(QString::fromUtf8(gui_text::kKeepRunning));
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

  // The designed size; a desktop font wider than the one it was laid out for widens it.
  setFixedSize(std::max(kClientWidth, column->sizeHint().width()), kClientHeight);
}

bool FormatDialog::KeepRunning() const { return keep_running_->isChecked(); }

void FormatDialog::Run(FormatDialogModel& model, ControlStates& window_states) {
  CopyIntoFormatDialog(model.values, values_, states_);
  ActivateFormatDialog(values_, states_);
  controls_->Refresh();
  CentreOnScreen(this);
  exec();  // OK, the title bar and Escape all close it the same way
  CopyBackFromFormatDialog(values_, model.values, window_states);
  model.keep_running = KeepRunning();
  if (!model.values.AnyFormat()) ShowInformation(parentWidget(), QString::fromUtf8(msg::kNoFormat));
}

}  // namespace pamirune
