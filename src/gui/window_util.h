// Small helpers shared by the program's windows.
#pragma once

class QWidget;

namespace pamirune {

// Moves a top-level widget so that it stands in the middle of its screen.
void CentreOnScreen(QWidget* window);

}  // namespace pamirune

namespace pamirune {

// The program's font: "ＭＳ Ｐゴシック" at 9 points, or the nearest Japanese gothic the
// desktop has (IPA P Gothic, Noto Sans CJK JP, ...).
void ApplyProgramFont();

}  // namespace pamirune
