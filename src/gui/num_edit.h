// TNValEdit: a numeric edit. It takes digits (and, where allowed, a minus sign and a decimal
// point), keeps at most 15 digits, and shows its value right-aligned with thousands separators;
// the value 0 shows as an empty field.
#pragma once

#include <QLineEdit>
#include <QString>

namespace pamirune {

class TNValEdit : public QLineEdit {
  Q_OBJECT

 public:
  static constexpr int kMaxDigits = 15;

  explicit TNValEdit(QWidget* parent = nullptr);

  // What may be typed besides digits. Both are allowed unless switched off.
  void SetAllowNegative(bool allow) { allow_negative_ = allow; }
  void SetAllowDecimal(bool allow) { allow_decimal_ = allow; }
  // The largest magnitude the edit keeps; larger values are brought down to it (0: no limit).
  void SetMaximum(double maximum) { maximum_ = maximum; }

  double Value() const { return value_; }
  // Sets the value and shows it formatted (no signal).
  void SetValue(double value);

  // The text a value is shown as: "1,234", "-5", "12.5", "" for 0.
  static QString FormatValue(double value);
  // The value of a shown or typed text: separators are ignored; false when it holds no number.
  static bool ParseText(const QString& text, double* value);

 signals:
  // The value was changed by typing.
  void ValueEdited(double value);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void OnTextEdited(const QString& text);
  QString Filtered(const QString& text) const;

  double value_ = 0;
  double maximum_ = 0;
  bool allow_negative_ = true;
  bool allow_decimal_ = true;
};

}  // namespace pamirune
