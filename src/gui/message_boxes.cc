#include "gui/message_boxes.h"

#include <QMessageBox>
#include <QPushButton>

#include "gui/gui_texts.h"

namespace pamirune {
namespace {

MessageHandler& Handler() {
  static MessageHandler handler;
  return handler;
}

bool ShowRealBox(QWidget* parent, MessageKind kind, const QString& text) {
  QMessageBox box(parent);
  box.setWindowTitle(QString::fromUtf8(gui_text::kAppTitle));
  box.setText(DisplayText(text));
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  switch (kind) {
    case MessageKind::kInformation:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::kConfirmation:
    case MessageKind::kRiskyConfirmation:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(kind == MessageKind::kConfirmation ? QMessageBox::Ok
                                                              : QMessageBox::Cancel);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MessageKind::kError:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  // The box takes the window's stacking: over a topmost window it must stay visible. A box
  // without a window (before the window exists, or a second start's) stands above every window,
  // a topmost one of the running program included.
  if (!parent || (parent->window()->windowFlags() & Qt::WindowStaysOnTopHint))
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace

QString DisplayText(const QString& text) {
  QString out = text;
  out.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

bool ShowMessage(QWidget* parent, MessageKind kind, const QString& text) {
  if (Handler()) return Handler()(parent, kind, text);
  return ShowRealBox(parent, kind, text);
}

MessageHandler SetMessageHandler(MessageHandler handler) {
  MessageHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

}  // namespace pamirune
