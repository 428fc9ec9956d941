// The main window's wiring: controls and the enabling rules, drops, menus, the settings file,
// stay resident, the clipboard and the command line.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "app/messages.h"
#include "app/settings_io.h"
#include "gui/format_dialog.h"
#include "gui/gui_test_support.h"
#include "gui/gui_texts.h"
#include "gui/num_edit.h"
#include "gui/open_dialog.h"
#include "gui/option_controls.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using testing::DesktopDouble;
using testing::MessageRecorder;
using testing::TempDir;
using testing::WaitFor;
using testing::WhenModal;
using Tray = MainWindowOptions::Tray;

class MainWindowTest : public ::testing::Test {
 protected:
  // Creates the window over a settings file holding ini_text (no file when it is empty).
  void Make(const std::string& ini_text, std::vector<std::string> arguments = {},
            Tray tray = Tray::kNone) {
    if (!ini_text.empty()) dir.Write("Pamirune.ini", ini_text);
    MainWindowOptions options;
    options.ini_path = dir.File("Pamirune.ini");
    options.arguments = std::move(arguments);
    options.tray = tray;
    platform.output_dir = dir.path() + "/";
    window = std::make_unique<MainWindow>(platform, options);
  }
  void Show() {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  QCheckBox* Box(FormatBox box) const { return window->Controls()->FormatCheck(box); }
  OptionControls* Controls() const { return window->Controls(); }
  // A small BMP file: 4 x 3, 24 bits.
  std::string WriteBmp(const std::string& name) const {
    TBitmap bitmap(4, 3, TPixelFormat::pf24bit);
    bitmap.Fill(RGB(10, 200, 30));
    bitmap.SaveToFile(dir.File(name));
    return dir.File(name);
  }
  void Drop(const std::vector<std::string>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    mime.setUrls(urls);
    // As a file manager's drag arrives: it enters the window, then drops.
    QDragEnterEvent enter(QPoint(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent drop(QPointF(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
  }
  std::string Ini() const { return dir.Read("Pamirune.ini"); }

  TempDir dir;
  DesktopDouble platform;
  MessageRecorder messages;
  std::unique_ptr<MainWindow> window;  // last: goes first
};

// --- Controls and the enabling rules ----------------------------------------------------------

TEST_F(MainWindowTest, TickingPdfTicksPdfBatchAndUntickingClearsIt) {
  Make("[Format]\nbmp=1\n");
  Show();
  QCheckBox* batch = Controls()->PdfBatchBox();
  EXPECT_FALSE(batch->isEnabled());
  QTest::mouseClick(Box(FormatBox::kPdf), Qt::LeftButton);
  EXPECT_TRUE(Box(FormatBox::kPdf)->isChecked());
  EXPECT_TRUE(batch->isEnabled());
  EXPECT_TRUE(batch->isChecked());
  EXPECT_TRUE(window->Settings().write_pdf);
  EXPECT_TRUE(window->Settings().pdf_batch);
  QTest::mouseClick(Box(FormatBox::kPdf), Qt::LeftButton);
  EXPECT_FALSE(batch->isEnabled());
  EXPECT_FALSE(batch->isChecked());
  EXPECT_FALSE(window->Settings().pdf_batch);
}

TEST_F(MainWindowTest, UntickingGifUnticksTheAnimationAndDisablesTheDelay) {
  Make("[Format]\ngif=1\n[Flag]\nanime=1\nbar1=1\n");
  Show();
  ASSERT_TRUE(Controls()->GifAnimeBox()->isChecked());
  ASSERT_TRUE(Controls()->DelayEdit()->isEnabled());
  QTest::mouseClick(Box(FormatBox::kGif), Qt::LeftButton);
  EXPECT_FALSE(Controls()->GifAnimeBox()->isChecked());
  EXPECT_FALSE(Controls()->GifAnimeBox()->isEnabled());
  EXPECT_FALSE(Controls()->DelayEdit()->isEnabled());
  EXPECT_FALSE(Controls()->DelayLabel()->isEnabled());
  EXPECT_FALSE(window->Settings().gif_anime);
  // Transparency went with the last format that can carry it.
  EXPECT_FALSE(Controls()->TransparencyBox()->isEnabled());
  EXPECT_FALSE(Controls()->TransparencyBox()->isChecked());
}

TEST_F(MainWindowTest, TifReappliesTheRulesWithoutChangingThem) {
  Make("[Format]\nico=1\ngif=1\ntrs=1\n[Flag]\nanime=1\n");
  Show();
  const ConversionSettings before = window->Settings();
  const ControlStates states_before = window->States();
  QTest::mouseClick(Box(FormatBox::kTif), Qt::LeftButton);
  ConversionSettings expected = before;
  expected.write_tif = true;
  EXPECT_EQ(window->Settings(), expected);
  EXPECT_EQ(window->States(), states_before);
  EXPECT_TRUE(Controls()->TransparencyBox()->isChecked());
  EXPECT_TRUE(Controls()->GifAnimeBox()->isChecked());
  // Unticking png while ico is ticked leaves "透過" enabled.
  QTest::mouseClick(Box(FormatBox::kPng), Qt::LeftButton);
  QTest::mouseClick(Box(FormatBox::kPng), Qt::LeftButton);
  EXPECT_TRUE(Controls()->TransparencyBox()->isEnabled());
}

TEST_F(MainWindowTest, TrackBarAndSpinEditMirrorEachOther) {
  Make("[Format]\njpg=1\n[Flag]\nbar2=1\n[Comp]\nComp=5\n");
  Show();
  QSlider* track = Controls()->TrackBar();
  QSpinBox* spin = Controls()->SpinEdit();
  ASSERT_TRUE(track->isEnabled());
  track->setFocus();
  QTest::keyClick(track, Qt::Key_Right);
  QTest::keyClick(track, Qt::Key_Right);
  EXPECT_EQ(track->value(), 7);
  EXPECT_EQ(spin->value(), 7);
  EXPECT_EQ(window->Settings().level, 7);
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_Down);
  EXPECT_EQ(spin->value(), 6);
  EXPECT_EQ(track->value(), 6);
  EXPECT_EQ(window->Settings().level, 6);
  // The level group follows jpg and png.
  QTest::mouseClick(Box(FormatBox::kJpg), Qt::LeftButton);
  EXPECT_FALSE(track->isEnabled());
  EXPECT_FALSE(spin->isEnabled());
}

TEST_F(MainWindowTest, ThreeStateBoxesCycleAndNameTheirState) {
  Make("[Format]\n256=0\n[Flag]\nDel=1\nbar1=1\nbar2=1\n");
  Show();
  QCheckBox* colour = Controls()->ColourBox();
  EXPECT_EQ(colour->text().toStdString(), "256色");
  QTest::mouseClick(colour, Qt::LeftButton);  // checked -> unchecked
  EXPECT_EQ(colour->text().toStdString(), "ﾌﾙｶﾗｰ");
  EXPECT_EQ(window->Settings().colour_mode, ColourMode::kFull);
  QTest::mouseClick(colour, Qt::LeftButton);  // unchecked -> grey
  EXPECT_EQ(colour->text().toStdString(), "白黒");
  EXPECT_EQ(window->Settings().colour_mode, ColourMode::kBlackWhite);
  QCheckBox* disposal = Controls()->DisposalBox();
  EXPECT_EQ(disposal->text().toStdString(), "元ﾌｧｲﾙ残す");
  QTest::mouseClick(disposal, Qt::LeftButton);
  EXPECT_EQ(disposal->text().toStdString(), "元ﾌｧｲﾙ削除");
  EXPECT_EQ(window->Settings().disposal, Disposal::kDelete);
  QTest::mouseClick(disposal, Qt::LeftButton);
  EXPECT_EQ(disposal->text().toStdString(), "元ﾌｧｲﾙｺﾞﾐ箱へ");
  EXPECT_EQ(window->Settings().disposal, Disposal::kTrash);
}

TEST_F(MainWindowTest, DelayEditShowsSeparatorsAndKeepsTheRecord) {
  Make("[Format]\ngif=1\n[Flag]\nbar1=1\nDelay=30\n");
  Show();
  TNValEdit* delay = Controls()->DelayEdit();
  EXPECT_EQ(delay->text().toStdString(), "30");
  delay->setFocus();
  delay->selectAll();
  QTest::keyClicks(delay, "12x34");
  EXPECT_EQ(delay->text().toStdString(), "1,234");
  EXPECT_EQ(window->Settings().delay_text, "1,234");
  delay->selectAll();
  QTest::keyClick(delay, Qt::Key_Backspace);
  EXPECT_EQ(delay->text().toStdString(), "");
  EXPECT_EQ(window->Settings().delay_text, "");  // 0 shows as an empty field
}

// --- Drops ------------------------------------------------------------------------------------

TEST_F(MainWindowTest, DroppedFilesAreConvertedInDropOrderAndReported) {
  Make("[Format]\njpg=1\n");
  Show();
  std::string b = WriteBmp("b.bmp"), a = WriteBmp("a.bmp");
  Drop({b, a});
  ASSERT_TRUE(WaitFor([&] { return messages.Texts(MessageKind::kInformation).size() == 1; }));
  EXPECT_TRUE(dir.Exists("a.jpg"));
  EXPECT_TRUE(dir.Exists("b.jpg"));
  // The last file of the list names the result.
  std::string done = dir.File("a.jpg") + msg::kSavedDone;
  EXPECT_EQ(messages.Texts(MessageKind::kInformation)[0], done);
  EXPECT_EQ(window->StatusPanel()->text().toStdString().rfind(done, 0), 0u);
  EXPECT_NE(window->StatusPanel()->text().toStdString().find(" KB"), std::string::npos);
  EXPECT_FALSE(window->Progress()->isVisible());
  EXPECT_EQ(window->DropZone()->text().toStdString(), msg::kDropHere);
}

TEST_F(MainWindowTest, DropOfTwoFilesAsksFirstAndTakesNoSecondDropMeanwhile) {
  Make("[Format]\njpg=1\n");
  Show();
  std::string a = WriteBmp("a.bmp"), b = WriteBmp("b.bmp"), c = WriteBmp("c.bmp");
  int confirmations = 0;
  messages.on_box = [&](const MessageRecorder::Box& box) {
    if (box.kind != MessageKind::kConfirmation) return;
    EXPECT_EQ(box.text, msg::kConfirmBatch);
    ++confirmations;
    // The batch waits in its box: a second drop now must be refused.
    EXPECT_TRUE(window->Busy());
    Drop({c, a});
    window->DropFiles({QString::fromStdString(c), QString::fromStdString(a)});
    QTest::qWait(20);
  };
  messages.answers = {false};
  Drop({a, b});
  ASSERT_TRUE(WaitFor([&] { return confirmations > 0; }));
  QTest::qWait(50);
  EXPECT_EQ(confirmations, 1);
  // Cancelled: nothing converted, and the window takes drops again.
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) EXPECT_FALSE(dir.Exists(name)) << name;
  EXPECT_FALSE(window->Busy());
}

TEST_F(MainWindowTest, DropWithoutAFormatShowsTheFormatDialog) {
  Make("[Format]\nbmp=0\n");
  Show();
  std::string a = WriteBmp("a.bmp");
  bool shown = false;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<FormatDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    shown = true;
    QTest::mouseClick(dialog->Controls()->FormatCheck(FormatBox::kPng), Qt::LeftButton);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  });
  Drop({a});
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("a.png"); }));
  EXPECT_TRUE(shown);
  // The choice made in the dialog is the window's now, with the rules it brings.
  EXPECT_TRUE(Box(FormatBox::kPng)->isChecked());
  EXPECT_TRUE(window->Settings().write_png);
  EXPECT_TRUE(Controls()->TransparencyBox()->isEnabled());
  EXPECT_TRUE(Controls()->TrackBar()->isEnabled());
}

TEST_F(MainWindowTest, FormatDialogClosedWithoutAFormatConvertsNothing) {
  Make("[Format]\nbmp=0\n");
  Show();
  std::string a = WriteBmp("a.bmp");
  WhenModal([&](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  Drop({a});
  ASSERT_TRUE(WaitFor([&] { return !messages.boxes.empty(); }));
  EXPECT_EQ(messages.boxes[0].text, msg::kNoFormat);
  QTest::qWait(20);
  EXPECT_EQ(messages.boxes.size(), 1u);
  EXPECT_FALSE(window->Busy());
  for (const char* ext : {"jpg", "png", "gif", "tif", "mag", "ico", "pdf"})
    EXPECT_FALSE(dir.Exists(std::string("a.") + ext)) << ext;
}

// --- Menus ------------------------------------------------------------------------------------

TEST_F(MainWindowTest, MenuBarHoldsEveryCaptionInOrder) {
  Make("[Format]\nbmp=1\n");
  const QList<QAction*> menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 4);
  EXPECT_EQ(menus[0]->text().toStdString(), "ﾌｧｲﾙ(&F)");
  EXPECT_EQ(menus[1]->text().toStdString(), "ｸﾘｯﾌﾟﾎﾞｰﾄﾞ(&C)");
  EXPECT_EQ(menus[2]->text().toStdString(), "ｵﾌﾟｼｮﾝ(&O)");
  EXPECT_EQ(menus[3]->text().toStdString(), "ﾍﾙﾌﾟ(&H)");
  std::vector<std::string> file, option;
  for (QAction* a : menus[0]->menu()->actions())
    file.push_back(a->isSeparator() ? "-" : a->text().toStdString());
  EXPECT_EQ(file, (std::vector<std::string>{"開く(&O)...", "-", "終了(&X)"}));
  for (QAction* a : menus[2]->menu()->actions()) option.push_back(a->text().toStdString());
  EXPECT_EQ(option,
            (std::vector<std::string>{
                "[送る]に登録(&S)", "送る利用時に変換形式指定(&I)", "ダイアログを表示させない(&D)",
                "常駐する(&N)", "常に最前面に表示(&M)", "変換後関連づけでプレビューする（&P)",
                "ファイル重複は上書きする(&U)", "ファイル保存時、ファイル名にsをつける(&Y)",
                "ｻｲｽﾞ変更時滑らかに変更する(&B)", "透過色を画像ごとに指定(&T)",
                "pdf一括出力時出力順を指定する(&W)", "保存先の指定(&C)", "元ファイル日付で作成(&O)",
                "gifｱﾆﾒ出力時出力順を指定する(&G)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞを監視する(&L)"}));
  std::vector<std::string> bars;
  for (QAction* a : window->OptionBarMenu()->actions()) bars.push_back(a->text().toStdString());
  EXPECT_EQ(bars, (std::vector<std::string>{"ｵﾌﾟｼｮﾝﾊﾞｰ1を表示(&1)", "ｵﾌﾟｼｮﾝﾊﾞｰ2を表示(&2)",
                                            "ｵﾌﾟｼｮﾝﾊﾞｰ3を表示(&3)"}));
}

TEST_F(MainWindowTest, MenuTogglesAreTheRecordAndAreSaved) {
  Make("[Format]\nbmp=1\n[Flag]\nOver=1\n");
  Show();
  EXPECT_TRUE(window->Action(gui_text::kMenuOverwrite)->isChecked());
  window->Action(gui_text::kMenuOverwrite)->trigger();
  window->Action(gui_text::kMenuKeepDate)->trigger();
  window->Action(gui_text::kMenuWatchClipboard)->trigger();
  EXPECT_FALSE(window->Settings().overwrite);
  EXPECT_TRUE(window->Settings().keep_date);
  EXPECT_TRUE(window->Settings().watch_clipboard);
  window->Action(gui_text::kMenuTop)->trigger();
  EXPECT_TRUE(window->Topmost());
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  window->Action(gui_text::kMenuTop)->trigger();
  EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  window->close();
  std::string ini = Ini();
  EXPECT_NE(ini.find("Over=0"), std::string::npos);
  EXPECT_NE(ini.find("FDate=1"), std::string::npos);
  EXPECT_NE(ini.find("ClipW=1"), std::string::npos);
}

TEST_F(MainWindowTest, OptionBarMenuShowsAndHidesTheBars) {
  Make("[Format]\nbmp=1\n");
  Show();
  EXPECT_TRUE(Controls()->Bar2()->isHidden());
  window->Action(gui_text::kMenuBar2)->trigger();
  EXPECT_FALSE(Controls()->Bar2()->isHidden());
  EXPECT_TRUE(window->Settings().bar2);
  // A bar shown closes no gap of its own: bar 2 sits right under the format bar.
  EXPECT_EQ(Controls()->Bar2()->geometry().top(), Controls()->FormatBar()->geometry().bottom() + 1);
  window->Action(gui_text::kMenuBar2)->trigger();
  EXPECT_TRUE(Controls()->Bar2()->isHidden());
}

TEST_F(MainWindowTest, CancellingTheFolderBrowserChangesNothing) {
  Make("[Format]\nbmp=1\n[ClipDir]\nDir=/old/\n");
  QAction* item = window->Action(gui_text::kMenuOutputDir);
  int browsed = 0;
  window->folder_browser = [&] {
    ++browsed;
    return QString();
  };
  item->trigger();
  EXPECT_EQ(browsed, 1);
  EXPECT_FALSE(item->isChecked());
  EXPECT_EQ(item->text().toStdString(), "保存先の指定(&C)");
  EXPECT_FALSE(window->Settings().use_output_dir);
  EXPECT_EQ(window->Settings().output_dir, "/old/");
}

TEST_F(MainWindowTest, ChosenOutputFolderIsCheckedAndShownInTheCaption) {
  Make("[Format]\nbmp=1\n");
  QAction* item = window->Action(gui_text::kMenuOutputDir);
  window->folder_browser = [] { return QStringLiteral("/"); };
  item->trigger();
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(window->Settings().output_dir, "/");  // a root gets no second separator
  EXPECT_EQ(item->text().toStdString(), "保存先の指定(&C)  /");
  // Unchecking keeps the folder in memory; an "&" in a folder is not a mnemonic.
  item->trigger();
  EXPECT_FALSE(item->isChecked());
  EXPECT_EQ(window->Settings().output_dir, "/");
  window->folder_browser = [] { return QStringLiteral("/tmp/R&D"); };
  item->trigger();
  EXPECT_EQ(window->Settings().output_dir, "/tmp/R&D/");
  EXPECT_EQ(item->text().toStdString(), "保存先の指定(&C)  /tmp/R&&D/");
}

TEST_F(MainWindowTest, SendToMarkShowsWhetherTheEntryExists) {
  Make("[Format]\nbmp=1\n");
  QAction* item = window->Action(kSendToMenuCaption);
  item->trigger();
  EXPECT_TRUE(platform.send_to);
  EXPECT_TRUE(item->isChecked());
  item->trigger();
  EXPECT_FALSE(platform.send_to);
  EXPECT_FALSE(item->isChecked());
  platform.send_to_fails = true;
  item->trigger();
  EXPECT_FALSE(item->isChecked());
}

TEST_F(MainWindowTest, OpenDialogConvertsTheChosenFilesAndRemembersTheirFolder) {
  Make("[Format]\njpg=1\n[File]\nOpen=/nowhere/\n");
  std::string a = WriteBmp("a.bmp"), b = WriteBmp("b.bmp");
  window->open_dialog = [&] {
    return QStringList{QString::fromStdString(b), QString::fromStdString(a)};
  };
  messages.answers = {false};
  window->Action(gui_text::kMenuOpen)->trigger();
  ASSERT_EQ(messages.Texts(MessageKind::kConfirmation).size(), 1u);
  window->close();
  EXPECT_NE(Ini().find("Open=" + dir.path() + "/\n"), std::string::npos);
}

TEST_F(MainWindowTest, OpenFolderIsForgottenByARunThatOpensNothing) {
  Make("[Format]\nbmp=1\n[File]\nOpen=/nowhere/\n");
  window->close();
  EXPECT_NE(Ini().find("Open=\n"), std::string::npos);
}

TEST_F(MainWindowTest, OpenDialogFiltersShowTheirDisplayTextsExactly) {
  const QStringList filters = OpenDialogFilters();
  ASSERT_EQ(filters.size(), 8);
  EXPECT_EQ(filters[0].toStdString(),
            "すべてのﾌｧｲﾙ (*.mag;*.jpg;*.jpeg;*.png;*.bmp;*.ico,*.gif,*tif,*tiff) "
            "(*.mag *.jpg *.jpeg *.png *.bmp *.ico *.tif *.tiff *gif)");
  // The dialog shows the display text alone.
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters(filters);
  auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  ASSERT_NE(types, nullptr);
  ASSERT_EQ(types->count(), 8);
  int i = 0;
  for (const auto& filter : gui_text::kOpenFilters)
    EXPECT_EQ(types->itemText(i++).toStdString(), filter.display);
}

// --- Settings file, placement, closing --------------------------------------------------------

TEST_F(MainWindowTest, FirstStartShowsTheHintAndKeepsSources) {
  Make("");
  ASSERT_EQ(messages.Texts(MessageKind::kInformation).size(), 1u);
  EXPECT_EQ(messages.Texts(MessageKind::kInformation)[0], kFirstRunHint);
  EXPECT_EQ(Controls()->DisposalBox()->text().toStdString(), "元ﾌｧｲﾙ残す");
  EXPECT_FALSE(Controls()->TransparencyBox()->isEnabled());
  EXPECT_EQ(Controls()->IconSizeList()->currentText().toStdString(), "32");
  EXPECT_EQ(Controls()->ScaleList()->currentText().toStdString(), "1/1");
  EXPECT_EQ(window->windowTitle().toStdString(), "ぱみるね♪");
  EXPECT_EQ(window->size(), QSize(365, 292));
  EXPECT_EQ(window->minimumSize(), QSize(365, 170));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindowTest, ExistingFileShowsNoHint) {
  Make("[Format]\nbmp=1\n");
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(Controls()->DisposalBox()->text().toStdString(), "元ﾌｧｲﾙ残す");
}

TEST_F(MainWindowTest, ClosingSavesTheControlsAndAnotherWindowReadsThemBack) {
  Make("[Format]\nbmp=1\n[Window]\nPos.X=40\nPos.Y=30\nSize.XSize=400\nSize.YSize=300\n");
  EXPECT_EQ(window->size(), QSize(400, 300));
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  Show();
  QTest::mouseClick(Box(FormatBox::kPng), Qt::LeftButton);
  window->Action(gui_text::kMenuBar3)->trigger();
  Controls()->ScaleList()->setCurrentIndex(2);
  window->close();
  EXPECT_TRUE(window->ClosedForGood());
  EXPECT_EQ(closed.count(), 1);
  window.reset();
  Make("");
  EXPECT_TRUE(window->Settings().write_png);
  EXPECT_TRUE(window->Settings().bar3);
  EXPECT_EQ(window->Settings().scale_text, "1/3");
  EXPECT_EQ(window->size(), QSize(400, 300));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(MainWindowTest, UnwritableSettingsAreReportedOnce) {
  // The settings file's folder is a file: nothing can be written there.
  dir.Write("blocker", "x");
  MainWindowOptions options;
  options.ini_path = dir.File("blocker") + "/Pamirune.ini";
  options.tray = Tray::kNone;
  window = std::make_unique<MainWindow>(platform, options);
  messages.boxes.clear();
  window->SaveSettingsNow();
  window->SaveSettingsNow();
  auto errors = messages.Texts(MessageKind::kError);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], options.ini_path + " に書き込めません");
}

TEST_F(MainWindowTest, CloseWithStayResidentHidesTheWindowAndExitEndsIt) {
  Make("[Format]\nbmp=1\n[Flag]\nStay=1\n", {}, Tray::kForce);
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  Show();
  window->close();
  EXPECT_TRUE(window->isHidden());
  EXPECT_FALSE(window->ClosedForGood());
  EXPECT_EQ(closed.count(), 0);
  EXPECT_EQ(window->Tray()->toolTip().toStdString(), "TipHelp");
  window->Action(gui_text::kTrayRestore)->trigger();
  EXPECT_TRUE(window->isVisible());
  window->close();
  ASSERT_TRUE(window->isHidden());
  window->Action(gui_text::kTrayExit)->trigger();  // ends the program even when resident
  EXPECT_TRUE(window->ClosedForGood());
  EXPECT_EQ(closed.count(), 1);
  EXPECT_NE(Ini().find("Stay=1"), std::string::npos);
}

TEST_F(MainWindowTest, TrayIconIsMadeWhenATrayAppearsLater) {
  bool tray_there = false;
  MainWindowOptions options;
  options.ini_path = dir.File("Pamirune.ini");
  options.tray = Tray::kAuto;
  options.tray_available = [&] { return tray_there; };
  dir.Write("Pamirune.ini", "[Format]\nbmp=1\n");
  window = std::make_unique<MainWindow>(platform, options);
  Show();
  EXPECT_EQ(window->Tray(), nullptr);
  tray_there = true;  // the panel with its tray starts after the program
  ASSERT_TRUE(WaitFor([&] { return window->Tray() != nullptr; }, 5000));
  EXPECT_TRUE(window->HasTray());
  EXPECT_EQ(window->Tray()->toolTip().toStdString(), "TipHelp");
}

TEST_F(MainWindowTest, StayResidentWithoutATrayMinimisesInstead) {
  Make("[Format]\nbmp=1\n[Flag]\nStay=1\n", {}, Tray::kNone);
  Show();
  window->close();
  EXPECT_FALSE(window->ClosedForGood());
  EXPECT_TRUE(window->isMinimized());
  window->Action(gui_text::kMenuExit)->trigger();
  EXPECT_TRUE(window->ClosedForGood());
}

// --- Desktop conventions ----------------------------------------------------------------------

TEST_F(MainWindowTest, NamesThatAreNotUtf8ConvertWhenDroppedOrHandedOver) {
  Make("[Format]\njpg=1\n[Flag]\nDialog=1\n");
  Show();
  // "あ.bmp" and "い.bmp" in Shift-JIS, as names from old archives are.
  const std::string a = WriteBmp("\x82\xa0.bmp"), i = WriteBmp("\x82\xa2.bmp");
  QByteArray url = "file://" + QByteArray::fromStdString(a).toPercentEncoding("/");
  QMimeData mime;
  mime.setUrls({QUrl::fromEncoded(url)});
  QDragEnterEvent enter(QPoint(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &enter);
  QDropEvent drop(QPointF(20, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &drop);
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("\x82\xa0.jpg"); }))
      << (messages.boxes.empty() ? "" : messages.boxes[0].text);
  window->HandOver({i});
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("\x82\xa2.jpg"); }));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(MainWindowTest, PlacementSavedOnALargerScreenIsBroughtOntoThisOne) {
  Make("[Format]\nbmp=1\n[Window]\nPos.X=3000\nPos.Y=-400\nSize.XSize=5000\nSize.YSize=300\n");
  Show();
  const QRect area = window->screen()->availableGeometry();
  EXPECT_TRUE(area.contains(window->frameGeometry()));
  EXPECT_EQ(window->height(), 300);
}

TEST_F(MainWindowTest, HelpThatNothingOpensSaysWhereThePageIs) {
  Make("[Format]\nbmp=1\n");
  std::filesystem::create_directories(dir.File("help"));
  dir.Write("help/pamirune.htm", "<html></html>");
  platform.SetProgramPath(dir.File("pamirune"));
  QUrl asked;
  window->url_opener = [&](const QUrl& url) {
    asked = url;
    return false;
  };
  window->Action(gui_text::kMenuContents)->trigger();
  EXPECT_EQ(asked.toLocalFile().toStdString(), dir.File("help/pamirune.htm"));
  ASSERT_EQ(messages.Texts(MessageKind::kInformation).size(), 1u);
  EXPECT_EQ(messages.Texts(MessageKind::kInformation)[0],
            std::string(gui_text::kHelpNotOpened) + dir.File("help/pamirune.htm"));
}

TEST_F(MainWindowTest, AboutBoxKeepsEachTextOnOneLine) {
  Make("[Format]\nbmp=1\n");
  Show();
  bool seen = false;
  WhenModal([&](QWidget* box) {
    seen = true;
    for (QLabel* label : box->findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      EXPECT_FALSE(label->wordWrap()) << label->text().toStdString();
      EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
          << label->text().toStdString();
    }
    static_cast<QDialog*>(box)->accept();
  });
  window->Action(gui_text::kMenuAbout)->trigger();
  EXPECT_TRUE(seen);
}

// --- Clipboard --------------------------------------------------------------------------------

class ClipboardTest : public MainWindowTest {
 protected:
  void SetUp() override { QGuiApplication::clipboard()->clear(); }
  void TearDown() override { QGuiApplication::clipboard()->clear(); }
  static void PutImage(QColor colour) {
    QImage image(6, 5, QImage::Format_RGB32);
    image.fill(colour);
    QGuiApplication::clipboard()->setImage(image);
  }
};

TEST_F(ClipboardTest, MenuItemWithAnEmptyClipboardSaysSo) {
  Make("[Format]\npng=1\n");
  window->Action(gui_text::kMenuFromClipboard)->trigger();
  ASSERT_EQ(messages.Texts(MessageKind::kInformation).size(), 1u);
  EXPECT_EQ(messages.Texts(MessageKind::kInformation)[0], msg::kNoClipboardBitmap);
  EXPECT_EQ(window->StatusPanel()->text().toStdString(), msg::kNoClipboardBitmap);
  EXPECT_FALSE(window->Progress()->isVisible());
  // With no dialogs only the status bar tells.
  messages.boxes.clear();
  window->Settings().no_dialogs = true;
  window->Action(gui_text::kMenuFromClipboard)->trigger();
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(window->StatusPanel()->text().toStdString(), msg::kNoClipboardBitmap);
}

TEST_F(ClipboardTest, WatchingWritesEveryNewBitmapAndIgnoresText) {
  Make("[Format]\npng=1\n[Flag]\nClipW=1\nDialog=1\nClipDir=1\n[ClipDir]\nDir=" + dir.path() +
       "/\n");
  PutImage(Qt::red);
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("Clip1.png"); }));
  PutImage(Qt::blue);
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("Clip2.png"); }));
  QGuiApplication::clipboard()->setText(QStringLiteral("text only"));
  QTest::qWait(50);
  EXPECT_FALSE(dir.Exists("Clip3.png"));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(ClipboardTest, NotWatchingWritesNothing) {
  Make("[Format]\npng=1\n[Flag]\nDialog=1\nClipDir=1\n[ClipDir]\nDir=" + dir.path() + "/\n");
  PutImage(Qt::red);
  QTest::qWait(50);
  EXPECT_FALSE(dir.Exists("Clip1.png"));
  // The menu item converts on demand.
  window->Action(gui_text::kMenuFromClipboard)->trigger();
  EXPECT_TRUE(dir.Exists("Clip1.png"));
}

// --- Command line -----------------------------------------------------------------------------

TEST_F(MainWindowTest, CommandLineStartConvertsAndEnds) {
  std::string a = WriteBmp("a.bmp");
  Make("[Format]\njpg=1\n", {a});
  QSignalSpy closed(window.get(), &MainWindow::Closed);
  window->show();
  ASSERT_TRUE(WaitFor([&] { return window->ClosedForGood(); }));
  EXPECT_TRUE(dir.Exists("a.jpg"));
  EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainWindowTest, CommandLineWithTheFormatDialogCanKeepTheProgramOpen) {
  std::string a = WriteBmp("a.bmp");
  Make("[Format]\njpg=1\n[Flag]\nSend=1\n", {a});
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<FormatDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    QTest::mouseClick(dialog->KeepRunningBox(), Qt::LeftButton);
    QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
  });
  Show();
  ASSERT_TRUE(WaitFor([&] { return dir.Exists("a.jpg"); }));
  QTest::qWait(50);
  EXPECT_FALSE(window->ClosedForGood());
  // The step runs once per start: another activation converts nothing again.
  std::filesystem::remove(dir.File("a.jpg"));
  window->RunCommandLine();
  EXPECT_FALSE(dir.Exists("a.jpg"));
}

}  // namespace
}  // namespace pamirune
