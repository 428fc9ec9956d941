// The main window's menus, its notification-area icon and what their commands do.
#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "gui/gui_texts.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/open_dialog.h"
#include "gui/window_util.h"
#include "raster/file_path.h"

#ifndef PAMIRUNE_INSTALL_DATADIR
#define PAMIRUNE_INSTALL_DATADIR "/usr/local/share"
#endif

namespace pamirune {

// ---------------------------------------------------------------------------------------------
// Menus and tray.

QAction* MainWindow::AddCommand(QMenu* menu, const char* caption, void (MainWindow::*slot)()) {
  QAction* action = menu->addAction(Text(caption));
  action->setData(Text(caption));
  connect(action, &QAction::triggered, this, slot);
  return action;
}

QAction* MainWindow::AddToggle(QMenu* menu, const char* caption, bool ConversionSettings::*field) {
  QAction* action = menu->addAction(Text(caption));
  action->setCheckable(true);
  action->setData(Text(caption));
  toggles_.emplace_back(action, field);
  connect(action, &QAction::triggered, this, [this, field](bool checked) {
    settings_.*field = checked;
    if (field == &ConversionSettings::always_on_top) SetTopmost(checked);
  });
  return action;
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(Text(gui_text::kMenuFile));
  AddCommand(file, gui_text::kMenuOpen, &MainWindow::OpenFiles);
  file->addSeparator();
  AddCommand(file, gui_text::kMenuExit, &MainWindow::Quit);

  QMenu* clipboard = menuBar()->addMenu(Text(gui_text::kMenuClipboard));
  AddCommand(clipboard, gui_text::kMenuFromClipboard, &MainWindow::CreateFileFromClipboard);

  // The option menu, in its order; no separators.
  QMenu* option = menuBar()->addMenu(Text(gui_text::kMenuOption));
  send_to_action_ = AddCommand(option, kSendToMenuCaption, &MainWindow::ToggleSendTo);
  send_to_action_->setCheckable(true);
  AddToggle(option, gui_text::kMenuFormatOnSend, &ConversionSettings::format_dialog_on_send);
  AddToggle(option, gui_text::kMenuNoDialogs, &ConversionSettings::no_dialogs);
  AddToggle(option, gui_text::kMenuStay, &ConversionSettings::stay_resident);
  AddToggle(option, gui_text::kMenuTop, &ConversionSettings::always_on_top);
  AddToggle(option, gui_text::kMenuPreview, &ConversionSettings::preview);
  AddToggle(option, gui_text::kMenuOverwrite, &ConversionSettings::overwrite);
  AddToggle(option, gui_text::kMenuSuffix, &ConversionSettings::suffix_s);
  AddToggle(option, gui_text::kMenuSmooth, &ConversionSettings::smooth_resize);
  AddToggle(option, gui_text::kMenuTransPerImage, &ConversionSettings::transparent_per_image);
  AddToggle(option, gui_text::kMenuPdfOrder, &ConversionSettings::pdf_order_dialog);
  output_dir_action_ = AddCommand(option, gui_text::kMenuOutputDir, &MainWindow::ToggleOutputDir);
  output_dir_action_->setCheckable(true);
  AddToggle(option, gui_text::kMenuKeepDate, &ConversionSettings::keep_date);
  AddToggle(option, gui_text::kMenuGifOrder, &ConversionSettings::gif_order_dialog);
  AddToggle(option, gui_text::kMenuWatchClipboard, &ConversionSettings::watch_clipboard);

  QMenu* help = menuBar()->addMenu(Text(gui_text::kMenuHelp));
  AddCommand(help, gui_text::kMenuContents, &MainWindow::ShowHelp);
  AddCommand(help, gui_text::kMenuAbout, &MainWindow::ShowAbout);

  // The drop zone's option-bar menu.
  bar_menu_ = new QMenu(this);
  AddToggle(bar_menu_, gui_text::kMenuBar1, &ConversionSettings::bar1);
  AddToggle(bar_menu_, gui_text::kMenuBar2, &ConversionSettings::bar2);
  AddToggle(bar_menu_, gui_text::kMenuBar3, &ConversionSettings::bar3);
  for (QAction* action : bar_menu_->actions())
    connect(action, &QAction::triggered, this, &MainWindow::ApplyBars);
}

QAction* MainWindow::Action(const char* caption) const {
  const QString wanted = Text(caption);
  const QList<QAction*> all = findChildren<QAction*>();
  for (QAction* action : all)
    if (action->data().toString() == wanted) return action;
  if (tray_ && tray_->contextMenu()) {
    for (QAction* action : tray_->contextMenu()->actions())
      if (action->data().toString() == wanted) return action;
  }
  return nullptr;
}

bool MainWindow::HasTray() const {
  if (!tray_) return false;
  return options_.tray == MainWindowOptions::Tray::kForce || tray_->isVisible();
}

void MainWindow::BuildTray() {
  if (options_.tray == MainWindowOptions::Tray::kNone) return;
  if (options_.tray == MainWindowOptions::Tray::kAuto && !TrayAvailable()) {
    // No tray yet: closing with stay resident minimises instead, until a tray host appears.
    WatchForTray();
    return;
  }
  tray_ = new QSystemTrayIcon(this);
  tray_->setIcon(windowIcon());
  tray_->setToolTip(Text(gui_text::kTrayTip));
  auto* menu = new QMenu(this);
  AddCommand(menu, gui_text::kTrayRestore, &MainWindow::Restore);
  AddCommand(menu, gui_text::kTrayExit, &MainWindow::Quit);
  tray_->setContextMenu(menu);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) Restore();
  });
  if (TrayAvailable()) tray_->show();
}

bool MainWindow::TrayAvailable() const {
  return options_.tray_available ? options_.tray_available()
                                 : QSystemTrayIcon::isSystemTrayAvailable();
}

void MainWindow::WatchForTray() {
  if (tray_poll_) return;
  tray_poll_ = new QTimer(this);
  tray_poll_->setInterval(1000);
  connect(tray_poll_, &QTimer::timeout, this, [this] {
    if (!TrayAvailable()) return;
    tray_poll_->stop();
    tray_poll_->deleteLater();
    tray_poll_ = nullptr;
    BuildTray();
  });
  tray_poll_->start();
}

// ---------------------------------------------------------------------------------------------
// Menu actions.

void MainWindow::OpenFiles() {
  if (busy_) return;
  QStringList files = open_dialog ? open_dialog() : RunOpenDialog(this, open_initial_dir_);
  if (files.isEmpty()) return;
  settings_.last_open_dir =
      IncludeTrailingSlash(QFileInfo(files.first()).absolutePath().toStdString());
  open_initial_dir_ = settings_.last_open_dir;
  DropFiles(files);
}

void MainWindow::ToggleOutputDir() {
  if (settings_.use_output_dir) {
    // The folder stays remembered (and saved) but is no longer used.
    settings_.use_output_dir = false;
  } else {
    QString folder = folder_browser ? folder_browser()
                                    : QFileDialog::getExistingDirectory(this, QString(), QString(),
                                                                        QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) {
      settings_.output_dir = IncludeTrailingSlash(folder.toStdString());
      settings_.use_output_dir = true;
    }
  }
  ShowOutputDirCaption();
}

void MainWindow::ToggleSendTo() {
  // The mark shows whether the entry is there, also when it could not be made or removed.
  send_to_.Toggle();
  send_to_action_->setChecked(send_to_.Checked());
}

QString MainWindow::HelpFile() const {
  namespace fs = std::filesystem;
  const std::string name = "pamirune.htm";
  const std::string dir = platform_.ProgramDir();
  const std::string candidates[] = {
      dir + "help/" + name,
      dir + "../share/pamirune/help/" + name,
      std::string(PAMIRUNE_INSTALL_DATADIR) + "/pamirune/help/" + name,
  };
  std::error_code ec;
  for (const std::string& c : candidates)
    if (fs::is_regular_file(c, ec))
      return QString::fromStdString(fs::path(c).lexically_normal().string());
  return QString::fromStdString(candidates[0]);
}

void MainWindow::ShowHelp() {
  QString file = HelpFile();
  if (!QFileInfo(file).isFile()) {
    ShowInformation(this, Text(gui_text::kHelpMissing) + file);
    return;
  }
  const QUrl url = QUrl::fromLocalFile(file);
  const bool opened = url_opener ? url_opener(url) : QDesktopServices::openUrl(url);
  // Without a program that opens web pages nothing would happen: say where the page is.
  if (!opened) ShowInformation(this, Text(gui_text::kHelpNotOpened) + file);
}

void MainWindow::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle(Text(gui_text::kAboutCaption));
  box.setText(Text(gui_text::kAboutText));
  box.setInformativeText(Text(gui_text::kAboutSecondLine));
  box.setIconPixmap(windowIcon().pixmap(48, 48));
  box.setStandardButtons(QMessageBox::Ok);
  box.setObjectName(QStringLiteral("about"));
  // Each text keeps to its one line; the box grows to fit it.
  for (QLabel* label : box.findChildren<QLabel*>()) label->setWordWrap(false);
  box.exec();
}

void MainWindow::Quit() {
  quitting_ = true;
  close();  // a window hidden in the tray closes all the same
}

void MainWindow::Restore() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

}  // namespace pamirune
