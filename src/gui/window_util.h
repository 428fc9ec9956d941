// Small helpers shared by the program's windows.
#pragma once

#include <QString>

class QWidget;

namespace pamirune {

// A text of the program (UTF-8) as Qt holds it.
inline QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Moves a top-level widget so that it stands in the middle of its screen.
void CentreOnScreen(QWidget* window);

// The program's font: "ＭＳ Ｐゴシック" at 9 points, or the nearest Japanese gothic the
// desktop has (IPA P Gothic, Noto Sans CJK JP, ...).
void ApplyProgramFont();

// Qt's own texts (the buttons of message boxes, the file and folder dialogs) in Japanese, like
// the rest of the program, when the desktop has Qt's Japanese translations installed.
void InstallJapaneseQtTexts();

}  // namespace pamirune
