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
#include <QLibraryInfo>
#include <QTranslator>

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

namespace pamirune {

void InstallJapaneseQtTexts() {
  auto* translator = new QTranslator(qApp);
  if (translator->load(QStringLiteral("qtbase_ja"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace pamirune
