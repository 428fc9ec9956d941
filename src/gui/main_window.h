// TForm1, the main window "ぱみるね♪": the format bar, three option bars, the drop zone and the
// status bar with its progress bar, the menus and the notification-area icon. It owns the
// Conversion settings (loaded when it is created, saved at every deactivation and at close) and
// hands every list of files, in the order received, to the conversion driver.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/clipboard_watcher.h"
#include "app/command_line.h"
#include "app/converter.h"
#include "app/dialog_models.h"
#include "app/enabling_rules.h"
#include "app/send_to.h"
#include "app/settings.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSystemTrayIcon;
class QUrl;

namespace pamirune {

class FormatDialog;
class OptionControls;
class OrderDialog;
class PickerDialog;
class WindowUi;

struct MainWindowOptions {
  // The settings file; empty: the program's own (see app/settings_io.h).
  std::string ini_path;
  // The files given on the command line, as a Send To start passes them.
  std::vector<std::string> arguments;
  // The notification-area icon: shown when the desktop has a tray (kAuto), never, or always
  // (kForce, taken as shown even where no tray answers).
  enum class Tray { kAuto, kNone, kForce };
  Tray tray = Tray::kAuto;
  // Whether the desktop has a tray now (kAuto); unset: ask the desktop. Tests replace it.
  std::function<bool()> tray_available;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(Platform& platform, MainWindowOptions options, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The folder browser and the open dialog; tests replace them. The browser returns the chosen
  // folder (empty when cancelled), the open dialog the chosen files in its order.
  std::function<QString()> folder_browser;
  std::function<QStringList()> open_dialog;
  // Opens the help page's URL; false when nothing could open it. Tests replace it.
  std::function<bool(const QUrl&)> url_opener;

  // Converts a list of files as a drop does (ignored while a batch runs).
  void DropFiles(const QStringList& files);
  // The same with the names as the file system has them (bytes, not necessarily UTF-8).
  void DropFileNames(std::vector<std::string> files);
  // Files handed over by a second start: the window comes forward and converts them as a
  // drop, after the running conversion when one runs. An empty list only brings it forward.
  void HandOver(const std::vector<std::string>& files);
  // "クリップボードよりファイル作成(&E)".
  void CreateFileFromClipboard();
  // The clipboard changed: converts it when watching is on (after the running conversion when
  // one runs).
  void ClipboardChanged();
  // The command-line step: runs once per start, after the window was first shown.
  void RunCommandLine();
  // The title bar's close: hides the window to the tray when stay resident is on.
  // "終了(&X)" closes in every case.
  void Quit();
  // Restore from the tray: shows the window again.
  void Restore();
  // Writes the settings file now (deactivation and close do this).
  void SaveSettingsNow();
  // Shows the record in the controls and menus again.
  void RefreshControls();
  // Makes the window topmost or not, without moving or resizing it.
  void SetTopmost(bool topmost);
  bool Topmost() const { return topmost_; }
  bool Busy() const { return busy_; }
  bool ClosedForGood() const { return closed_; }
  // True when the window can hide to the notification area.
  bool HasTray() const;

  ConversionSettings& Settings() { return settings_; }
  ControlStates& States() { return states_; }
  OptionControls* Controls() const { return controls_; }
  QLabel* DropZone() const { return drop_zone_; }
  QLabel* StatusPanel() const { return status_; }
  QProgressBar* Progress() const { return progress_; }
  QMenu* OptionBarMenu() const { return bar_menu_; }
  QSystemTrayIcon* Tray() const { return tray_; }
  // A menu item by its caption (the option menu, file, clipboard, help and option-bar menus).
  QAction* Action(const char* caption) const;

  // The help page: beside the program, or where the installation put it.
  QString HelpFile() const;

 signals:
  // The window closed for good: the program ends.
  void Closed();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class WindowUi;

  void BuildMenus();
  void BuildTray();
  // Builds the tray icon once a tray host is there (it may appear after the program started).
  void WatchForTray();
  bool TrayAvailable() const;
  // A menu command (its caption kept as the action's data, so tests find it by its text).
  QAction* AddCommand(QMenu* menu, const char* caption, void (MainWindow::*slot)());
  QAction* AddToggle(QMenu* menu, const char* caption, bool ConversionSettings::*field);
  void Activated();
  void ApplyBars();
  void ShowOutputDirCaption();
  void ToggleOutputDir();
  void ToggleSendTo();
  void OpenFiles();
  void ShowHelp();
  void ShowAbout();
  void RunBatch(std::vector<std::string> files);
  void RunBatchList(int num, std::vector<std::string>& files);
  // Runs clipboard work, showing what it raises.
  template <class Work>
  void RunClipboard(Work work);
  void AfterConversion();
  void PlaceProgress();
  void RestorePlacement();
  void RememberPlacement();

  Platform& platform_;
  MainWindowOptions options_;
  std::string ini_path_;
  ConversionSettings settings_;
  ControlStates states_;
  std::unique_ptr<WindowUi> ui_;
  std::unique_ptr<Converter> converter_;
  FormatDialogModel format_model_;
  SoloClipboardChain clipboard_chain_;
  std::unique_ptr<ClipboardCapture> capture_;
  std::unique_ptr<ClipboardWatcher> watcher_;
  CommandLineStep command_line_;
  SendToItem send_to_;
  // The open dialog's initial folder: [File] Open as loaded, then the last folder chosen. The
  // record's last_open_dir holds only a folder chosen in this run.
  std::string open_initial_dir_;

  OptionControls* controls_ = nullptr;
  QLabel* drop_zone_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* bar_menu_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QAction* output_dir_action_ = nullptr;
  QAction* send_to_action_ = nullptr;
  std::vector<std::pair<QAction*, bool ConversionSettings::*>> toggles_;
  FormatDialog* format_dialog_ = nullptr;
  OrderDialog* order_dialog_ = nullptr;
  PickerDialog* picker_ = nullptr;

  bool topmost_ = false;
  bool busy_ = false;  // a conversion runs: no second one starts inside it
  bool shown_once_ = false;
  bool quitting_ = false;
  bool closed_ = false;
  bool save_error_shown_ = false;
  bool close_after_batch_ = false;  // a close request arrived while a conversion ran
  std::vector<std::vector<std::string>> handed_over_;  // lists waiting for the running batch
  class QTimer* tray_poll_ = nullptr;
};

}  // namespace pamirune
