#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include "app/messages.h"
#include "app/settings_io.h"
#include "gui/format_dialog.h"
#include "gui/gui_texts.h"
#include "gui/message_boxes.h"
#include "gui/option_controls.h"
#include "gui/order_dialog.h"
#include "gui/picker_dialog.h"
#include "gui/window_ui.h"
#include "gui/window_util.h"

namespace pamirune {
namespace {

constexpr int kDesignWidth = 365;
constexpr int kDesignHeight = 292;
constexpr int kMinWidth = 365;
constexpr int kMinHeight = 170;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanelWidth = 50;

// Menu captions treat "&" as a mnemonic: a folder name shows its own "&" doubled.
QString MenuEscaped(const std::string& text) {
  return QString::fromStdString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A file URL's path as the file system has it: percent escapes decoded to bytes, so names that
// are not UTF-8 (Shift-JIS names from old archives) stay what they are.
std::string LocalFileBytes(const QUrl& url) {
  const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
  return QByteArray::fromPercentEncoding(encoded).toStdString();
}

}  // namespace

MainWindow::MainWindow(Platform& platform, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      platform_(platform),
      options_(std::move(options)),
      ui_(std::make_unique<WindowUi>(*this)),
      command_line_(options_.arguments),
      send_to_(platform) {
  ini_path_ = options_.ini_path.empty()
                  ? SettingsFilePath(platform_.ProgramPath(), platform_.ConfigHome())
                  : options_.ini_path;
  converter_ = std::make_unique<Converter>(settings_, *ui_, platform_);
  converter_->SetStartedWithArguments(command_line_.HasArguments());
  converter_->SetFormatDialog(&format_model_);  // one format dialog for the whole program
  capture_ = std::make_unique<ClipboardCapture>(settings_, *ui_, platform_, format_model_,
                                                [this] { converter_->ConvertClipboard(); });
  capture_->SetStartedWithArguments(command_line_.HasArguments());
  capture_->SetWindowStates(&states_);

  setWindowTitle(Text(gui_text::kAppTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  setMinimumSize(kMinWidth, kMinHeight);
  setAcceptDrops(true);

  // Bars from top to bottom; a hidden bar closes its gap.
  states_ = ComputeEnabling(settings_);
  controls_ = new OptionControls(settings_, states_, RuleSet::kMainWindow, this);
  auto* central = new QWidget;
  QVBoxLayout* column = controls_->StackBars(central);
  drop_zone_ = new QLabel(Text(msg::kDropHere));
  drop_zone_->setObjectName(QStringLiteral("drop_zone"));
  drop_zone_->setAlignment(Qt::AlignCenter);
  drop_zone_->setWordWrap(true);
  drop_zone_->setFrameShape(QFrame::NoFrame);
  drop_zone_->setContextMenuPolicy(Qt::CustomContextMenu);
  column->addWidget(drop_zone_, 1);
  setCentralWidget(central);

  // Status bar: panel 0, with the progress bar laid over the whole bar.
  statusBar()->setSizeGripEnabled(false);
  statusBar()->setFixedHeight(kStatusBarHeight);
  status_ = new QLabel;
  status_->setObjectName(QStringLiteral("status_panel"));
  status_->setMinimumWidth(kStatusPanelWidth);
  statusBar()->addWidget(status_, 1);
  progress_ = new QProgressBar(statusBar());
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  statusBar()->installEventFilter(this);

  format_dialog_ = new FormatDialog(this);
  picker_ = new PickerDialog(this);
  order_dialog_ = new OrderDialog(this);

  BuildMenus();
  connect(drop_zone_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { bar_menu_->exec(drop_zone_->mapToGlobal(at)); });

  // The settings, as the window is created.
  bool first_run = false;
  try {
    first_run = LoadSettings(ini_path_, settings_);
  } catch (const std::exception& e) {
    ShowMessage(nullptr, MessageKind::kError, QString::fromUtf8(e.what()));
  }
  if (first_run) ShowInformation(nullptr, Text(kFirstRunHint));
  converter_->SetClipCounter(0);
  states_ = ComputeEnabling(settings_);
  open_initial_dir_ = settings_.last_open_dir;
  settings_.last_open_dir.clear();  // saved again only once the open dialog is confirmed
  RefreshControls();
  SetTopmost(settings_.always_on_top);

  resize(kDesignWidth, kDesignHeight);
  CentreOnScreen(this);
  RestorePlacement();
  progress_->show();
  PlaceProgress();

  BuildTray();
  // The watcher takes its place among the clipboard's viewers as the window is created; Qt's
  // change signal is its notice.
  watcher_ = std::make_unique<ClipboardWatcher>(clipboard_chain_);
  watcher_->SetOnClipChange([this] { capture_->OnClipChange(); });
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &MainWindow::ClipboardChanged);
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------------------------------------
// Showing the record.

void MainWindow::RefreshControls() {
  controls_->Refresh();
  for (auto& [action, field] : toggles_) action->setChecked(settings_.*field);
  ShowOutputDirCaption();
  ApplyBars();
}

void MainWindow::ApplyBars() {
  controls_->Bar1()->setVisible(settings_.bar1);
  controls_->Bar2()->setVisible(settings_.bar2);
  controls_->Bar3()->setVisible(settings_.bar3);
}

void MainWindow::ShowOutputDirCaption() {
  output_dir_action_->setChecked(settings_.use_output_dir);
  QString caption = Text(gui_text::kMenuOutputDir);
  if (settings_.use_output_dir)
    caption += Text(gui_text::kOutputDirGap) + MenuEscaped(settings_.output_dir);
  output_dir_action_->setText(caption);
}

void MainWindow::SetTopmost(bool topmost) {
  topmost_ = topmost;
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
  if (QWindow* handle = windowHandle()) {
    // Switched on the existing window: no new window, no move, no resize.
    handle->setFlag(Qt::WindowStaysOnTopHint, topmost);
    overrideWindowFlags(flags);
  } else {
    setWindowFlags(flags);
  }
}

void MainWindow::PlaceProgress() {
  QStatusBar* bar = statusBar();
  progress_->setGeometry(0, 3, bar->width(), std::max(0, bar->height() - 3));
  progress_->raise();
}

// ---------------------------------------------------------------------------------------------
// Placement and the settings file.

void MainWindow::RememberPlacement() {
  settings_.window_left = x();
  settings_.window_top = y();
  settings_.window_width = width();
  settings_.window_height = height();
}

void MainWindow::RestorePlacement() {
  RememberPlacement();  // the current placement is the default of every value
  try {
    RestoreWindowPlacement(ini_path_, settings_);
  } catch (const std::exception&) {
    return;  // an unreadable file changes nothing here; saving reports it
  }
  QSize size(std::max(settings_.window_width, minimumWidth()),
             std::max(settings_.window_height, minimumHeight()));
  QPoint at(settings_.window_left, settings_.window_top);
  // The screen that shows most of the saved placement, else the primary one; a placement saved
  // on a larger or another screen is brought wholly onto it.
  QScreen* best = nullptr;
  qint64 best_area = 0;
  for (QScreen* screen : QGuiApplication::screens()) {
    QRect common = screen->availableGeometry().intersected(QRect(at, size));
    qint64 area = qint64{common.width()} * common.height();
    if (common.isValid() && area > best_area) {
      best = screen;
      best_area = area;
    }
  }
  if (!best) best = QGuiApplication::primaryScreen();
  if (best) {
    // The position is the frame's, the size the window's own: the frame counts on the screen.
    const QSize frame = isVisible() ? frameGeometry().size() - this->size() : QSize(0, 0);
    const QRect area = best->availableGeometry();
    size = size.boundedTo(area.size() - frame).expandedTo(minimumSize());
    at.setX(
        std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width() - frame.width())));
    at.setY(
        std::max(area.top(), std::min(at.y(), area.bottom() + 1 - size.height() - frame.height())));
  }
  if (size != this->size()) resize(size);
  if (at != pos()) move(at);
  RememberPlacement();
}

void MainWindow::SaveSettingsNow() {
  RememberPlacement();
  try {
    SaveSettings(ini_path_, settings_);
    save_error_shown_ = false;
  } catch (const std::exception& e) {
    // Reported once: the box itself takes the focus and would ask for the next save.
    if (save_error_shown_) return;
    save_error_shown_ = true;
    ShowMessage(this, MessageKind::kError, QString::fromUtf8(e.what()));
  }
}

void MainWindow::Activated() {
  RestorePlacement();
  if (tray_) tray_->setIcon(windowIcon());
  if (QWidget* bmp = controls_->FormatCheck(FormatBox::kBmp)) bmp->setFocus();
  send_to_.CheckRegistration();
  send_to_action_->setChecked(send_to_.Checked());
}

// ---------------------------------------------------------------------------------------------
// Events.

bool MainWindow::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::WindowActivate:
      Activated();
      break;
    case QEvent::WindowDeactivate:
      if (!closed_) SaveSettingsNow();
      break;
    default:
      break;
  }
  return QMainWindow::event(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == statusBar() && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
    PlaceProgress();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  PlaceProgress();
  if (!shown_once_) {
    shown_once_ = true;
    // The command-line step runs once, when the window stands on the screen.
    QTimer::singleShot(0, this, &MainWindow::RunCommandLine);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // Never in the middle of a conversion: the window closes when it is done.
    close_after_batch_ = true;
    event->ignore();
    return;
  }
  if (settings_.stay_resident && !quitting_) {
    event->ignore();
    if (HasTray()) {
      hide();
    } else {
      showMinimized();  // without a tray the task bar is the way back
    }
    return;
  }
  SaveSettingsNow();
  if (tray_) tray_->hide();
  closed_ = true;
  event->accept();
  emit Closed();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (busy_ || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  if (busy_) return;
  std::vector<std::string> files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files.push_back(LocalFileBytes(url));
  if (files.empty()) return;
  event->acceptProposedAction();
  // The drop is finished first; the batch runs right after, outside the drag's event.
  QTimer::singleShot(0, this, [this, files] { DropFileNames(files); });
}

// ---------------------------------------------------------------------------------------------
// Conversions.

void MainWindow::DropFiles(const QStringList& files) {
  std::vector<std::string> list;
  list.reserve(files.size());
  for (const QString& f : files) list.push_back(QFile::encodeName(f).toStdString());
  RunBatch(std::move(list));
}

void MainWindow::DropFileNames(std::vector<std::string> files) { RunBatch(std::move(files)); }

void MainWindow::HandOver(const std::vector<std::string>& files) {
  Restore();
  if (files.empty()) return;
  handed_over_.push_back(files);
  // Converted outside the socket's event, and after the conversion that runs now.
  if (!busy_) QTimer::singleShot(0, this, &MainWindow::AfterConversion);
}

void MainWindow::RunBatch(std::vector<std::string> files) {
  if (busy_ || files.empty()) return;
  RunBatchList(static_cast<int>(files.size()), files);
  AfterConversion();
}

void MainWindow::RunBatchList(int num, std::vector<std::string>& files) {
  if (busy_) return;
  busy_ = true;
  capture_->BeginBusy();  // clipboard changes wait for the batch
  try {
    converter_->FileDrop1FileDrop(num, files);
  } catch (const std::exception& e) {
    ui_->ShowError(e.what());
    ui_->SetDropCaption(msg::kDropHere);
  }
  // What the clipboard asked for meanwhile runs now.
  try {
    capture_->EndBusy();
  } catch (const std::exception& e) {
    ui_->ShowError(e.what());
  }
  busy_ = false;
}

template <class Work>
void MainWindow::RunClipboard(Work work) {
  const bool was_busy = busy_;
  busy_ = true;  // no drop starts while clipboard work waits in a box
  try {
    work();
  } catch (const std::exception& e) {
    ui_->ShowError(e.what());
  }
  busy_ = was_busy;
  if (!was_busy) AfterConversion();
}

void MainWindow::AfterConversion() {
  RefreshControls();
  if (!handed_over_.empty() && !busy_ && !closed_) {
    std::vector<std::string> files = std::move(handed_over_.front());
    handed_over_.erase(handed_over_.begin());
    QTimer::singleShot(0, this, [this, files] {
      if (busy_ || QApplication::activeModalWidget()) {
        // A dialog is open (no drop reaches the window now either): try again once it closed.
        handed_over_.insert(handed_over_.begin(), files);
        if (!busy_) QTimer::singleShot(200, this, &MainWindow::AfterConversion);
        return;
      }
      DropFileNames(files);
    });
  }
  if (close_after_batch_) {
    close_after_batch_ = false;
    QTimer::singleShot(0, this, &QWidget::close);
  }
}

void MainWindow::CreateFileFromClipboard() {
  RunClipboard([this] { capture_->CreateFileFromClipboard(); });
}

void MainWindow::ClipboardChanged() {
  // While a conversion runs the capture remembers the change and converts afterwards.
  RunClipboard([this] { watcher_->DrawClipboard(); });
}

void MainWindow::RunCommandLine() {
  bool end = false;
  try {
    end = command_line_.Run(
        settings_, format_model_, *ui_, platform_,
        [this](int num, std::vector<std::string>& files) {
          RefreshControls();
          RunBatchList(num, files);
        },
        &states_);
  } catch (const std::exception& e) {
    ui_->ShowError(e.what());
  }
  AfterConversion();
  if (end) Quit();
}

}  // namespace pamirune
