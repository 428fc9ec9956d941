#include "gui/window_util.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace pamirune {

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect area = screen->availableGeometry();
  QSize size = window->frameGeometry().size();
  if (!window->isVisible()) size = window->size();
  window->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
}

}  // namespace pamirune

#include <QApplication>
#include <QFont>

namespace pamirune {

void ApplyProgramFont() {
  QFont font(QStringLiteral("ＭＳ Ｐゴシック"), 9);
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                    QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic")});
  font.setStyleHint(QFont::SansSerif);
  QApplication::setFont(font);
}

}  // namespace pamirune
