// The program's message boxes. Every box of the window goes through here, so that a test can
// replace the boxes by a handler that records the texts and answers for the user.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace pamirune {

enum class MessageKind {
  kInformation,        // OK
  kConfirmation,       // OK / Cancel
  kRiskyConfirmation,  // OK / Cancel with Cancel the default: OK may cost a file
  kError,              // OK, the error handler's box
};

// Shows a box modally and returns true when it was answered with OK. The text is passed exactly
// as the program has it (line breaks as "\n\r"); the boxes on screen show one break for it.
using MessageHandler = std::function<bool(QWidget* parent, MessageKind kind, const QString& text)>;

bool ShowMessage(QWidget* parent, MessageKind kind, const QString& text);
inline void ShowInformation(QWidget* parent, const QString& text) {
  ShowMessage(parent, MessageKind::kInformation, text);
}
inline bool AskOkCancel(QWidget* parent, const QString& text) {
  return ShowMessage(parent, MessageKind::kConfirmation, text);
}

// Replaces the boxes; an empty handler restores the real ones. Returns the previous handler.
MessageHandler SetMessageHandler(MessageHandler handler);

// The text as a box shows it: the program's "\n\r" (and "\r\n") become one line break.
QString DisplayText(const QString& text);

}  // namespace pamirune
