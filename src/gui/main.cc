// pamirune: the desktop program. One instance per user; the files given on the command line
// are converted as a Send To start converts them. A second start hands its files to the
// running window instead.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "formats/register_all.h"
#include "gui/gui_texts.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/qt_platform.h"
#include "gui/single_instance.h"
#include "gui/window_util.h"

namespace {

constexpr char kUsage[] =
    "Usage: pamirune [FILE...]\n"
    "The desktop image converter ぱみるね. Files given are converted with the window's settings,\n"
    "as a file manager's \"Open With\" passes them; the program then ends. When the window is\n"
    "already open, the files are handed to it (without files it comes forward).\n"
    "  -h, --help     this text\n"
    "  --version      the version\n"
    "  --             every argument after it is a file\n"
    "The console front end is pamirune-cli (pamirune-cli --help).\n";

// The arguments as the file system names them: bytes, not necessarily UTF-8.
std::vector<std::string> FileArguments(int argc, char** argv) {
  std::vector<std::string> files;
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (!only_files && a == "--") {
      only_files = true;
      continue;
    }
    files.emplace_back(a);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window or display is needed.
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--") break;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::fputs("pamirune (ぱみるね♪ Ver 1.52)\n", stdout);
      return 0;
    }
  }

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName(QStringLiteral("pamirune"));
  QApplication::setApplicationVersion(QStringLiteral("1.52"));
  QGuiApplication::setDesktopFileName(QStringLiteral("pamirune"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/pamirune/pamirune.png")));
  // The window decides when the program ends: it may hide in the tray.
  QApplication::setQuitOnLastWindowClosed(false);
  pamirune::ApplyProgramFont();
  pamirune::InstallJapaneseQtTexts();

  std::vector<std::string> files = FileArguments(argc, argv);
  pamirune::SingleInstanceLock lock;
  if (!lock.TryAcquire()) {
    // The running window takes the files (absolute: its working folder is another one).
    std::vector<std::string> absolute;
    for (const std::string& f : files) {
      std::error_code ec;
      std::filesystem::path p = std::filesystem::absolute(f, ec);
      absolute.push_back(ec ? f : p.lexically_normal().string());
    }
    if (pamirune::HandOverToRunningInstance(absolute)) return 0;
    pamirune::ShowInformation(nullptr, QString::fromUtf8(pamirune::gui_text::kAlreadyRunning));
    return 1;
  }
  pamirune::HandOverServer hand_over;
  hand_over.Listen();

  pamirune::RegisterGraphicKinds();
  pamirune::QtPlatform platform;
  pamirune::MainWindowOptions options;
  options.arguments = std::move(files);

  pamirune::MainWindow window(platform, std::move(options));
  QObject::connect(&window, &pamirune::MainWindow::Closed, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  QObject::connect(&hand_over, &pamirune::HandOverServer::Received, &window,
                   &pamirune::MainWindow::HandOver);
  window.show();
  return app.exec();
}
