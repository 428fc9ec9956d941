// pamirune: the desktop program. One instance per user; the files given on the command line
// are converted as a Send To start converts them.
#include <QApplication>
#include <QIcon>
#include <string>
#include <vector>

#include "formats/register_all.h"
#include "gui/gui_texts.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/qt_platform.h"
#include "gui/single_instance.h"
#include "gui/window_util.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pamirune"));
  QApplication::setApplicationVersion(QStringLiteral("1.52"));
  QGuiApplication::setDesktopFileName(QStringLiteral("pamirune"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/pamirune/pamirune.png")));
  // The window decides when the program ends: it may hide in the tray.
  QApplication::setQuitOnLastWindowClosed(false);
  pamirune::ApplyProgramFont();
  pamirune::InstallJapaneseQtTexts();

  pamirune::SingleInstanceLock lock;
  if (!lock.TryAcquire()) {
    pamirune::ShowInformation(nullptr, QString::fromUtf8(pamirune::gui_text::kAlreadyRunning));
    return 1;
  }

  pamirune::RegisterGraphicKinds();
  pamirune::QtPlatform platform;
  pamirune::MainWindowOptions options;
  const QStringList arguments = QCoreApplication::arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i)
    options.arguments.push_back(arguments[i].toStdString());

  pamirune::MainWindow window(platform, std::move(options));
  QObject::connect(&window, &pamirune::MainWindow::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  window.show();
  return app.exec();
}
