#include "gui/num_edit.h"

#include <QKeyEvent>
#include <algorithm>
#include <cmath>

namespace pamirune {

TNValEdit::TNValEdit(QWidget* parent) : QLineEdit(parent) {
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Digits, separators, sign and point; 15 digits grouped by thousands fit in 21 characters.
  setMaxLength(kMaxDigits + kMaxDigits / 3 + 2);
  connect(this, &QLineEdit::textEdited, this, &TNValEdit::OnTextEdited);
  connect(this, &QLineEdit::editingFinished, this, [this] { setText(FormatValue(value_)); });
}

QString TNValEdit::FormatValue(double value) {
  if (value == 0) return QString();
  bool negative = value < 0;
  double magnitude = std::fabs(value);
  double whole = std::floor(magnitude);
  QString digits = QString::number(whole, 'f', 0);
  for (int i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  double fraction = magnitude - whole;
  if (fraction > 0) {
    QString tail = QString::number(fraction, 'f', 6);  // "0.500000"
    while (tail.endsWith(QLatin1Char('0'))) tail.chop(1);
    if (tail.size() > 2) digits += tail.mid(1);
  }
  return negative ? QLatin1Char('-') + digits : digits;
}

bool TNValEdit::ParseText(const QString& text, double* value) {
  QString plain = text;
  plain.remove(QLatin1Char(','));
  plain = plain.trimmed();
  if (plain.isEmpty() || plain == QLatin1String("-") || plain == QLatin1String(".") ||
      plain == QLatin1String("-.")) {
    *value = 0;
    return true;
  }
  bool ok = false;
  double v = plain.toDouble(&ok);
  if (!ok) return false;
  *value = v;
  return true;
}

QString TNValEdit::Filtered(const QString& text) const {
  QString out;
  int digits = 0;
  bool point = false;
  for (QChar c : text) {
    if (c.isDigit() && c.unicode() < 128) {
      if (digits == kMaxDigits) continue;
      ++digits;
      out += c;
    } else if (c == QLatin1Char('-') && allow_negative_ && out.isEmpty()) {
      out += c;
    } else if (c == QLatin1Char('.') && allow_decimal_ && !point) {
      point = true;
      out += c;
    } else if (c == QLatin1Char(',')) {
      out += c;
    }
  }
  return out;
}

void TNValEdit::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  if (!typed.isEmpty() && typed[0].isPrint()) {
    QChar c = typed[0];
    bool wanted = (c.isDigit() && c.unicode() < 128) ||
                  (c == QLatin1Char('-') && allow_negative_) ||
                  (c == QLatin1Char('.') && allow_decimal_);
    if (!wanted) {
      event->ignore();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

void TNValEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  setText(FormatValue(value_));
}

void TNValEdit::OnTextEdited(const QString& text) {
  QString typed = Filtered(text);
  typed.remove(QLatin1Char(','));
  bool negative = typed.startsWith(QLatin1Char('-'));
  if (negative) typed.remove(0, 1);
  int point = typed.indexOf(QLatin1Char('.'));
  QString whole = point < 0 ? typed : typed.left(point);
  QString fraction = point < 0 ? QString() : typed.mid(point + 1);
  while (whole.size() > 1 && whole.startsWith(QLatin1Char('0'))) whole.remove(0, 1);
  if (whole == QLatin1String("0") && point < 0) whole.clear();

  double value = (whole.isEmpty() ? QStringLiteral("0") : whole).toDouble();
  if (!fraction.isEmpty()) value += (QStringLiteral("0.") + fraction).toDouble();
  if (negative) value = -value;

  QString shown;
  if (maximum_ > 0 && std::fabs(value) > maximum_) {
    value = value < 0 ? -maximum_ : maximum_;
    shown = FormatValue(value);
  } else {
    QString grouped = whole;
    for (int i = grouped.size() - 3; i > 0; i -= 3) grouped.insert(i, QLatin1Char(','));
    if (point >= 0)
      grouped = (grouped.isEmpty() ? QStringLiteral("0") : grouped) + QLatin1Char('.') + fraction;
    shown = (negative ? QStringLiteral("-") : QString()) + grouped;
  }
  // The caret keeps its distance from the right end, where a right-aligned edit grows.
  int from_end = static_cast<int>(text.size()) - cursorPosition();
  if (shown != text) {
    setText(shown);
    setCursorPosition(std::max(0, static_cast<int>(shown.size()) - from_end));
  }
  value_ = value;
  emit ValueEdited(value_);
}

void TNValEdit::SetValue(double value) {
  value_ = value;
  setText(FormatValue(value));
}

}  // namespace pamirune
