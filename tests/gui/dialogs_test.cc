// The three small dialogs: the output order, the transparent-colour picker and the format
// dialog, each driven through its own buttons while it is shown modally.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/format_dialog_model.h"
#include "app/messages.h"
#include "gui/format_dialog.h"
#include "gui/gui_test_support.h"
#include "gui/num_edit.h"
#include "gui/option_controls.h"
#include "gui/order_dialog.h"
#include "gui/picker_dialog.h"
#include "support/fake_ui.h"
#include "support/sample_bitmaps.h"

namespace pamirune {
namespace {

using testing::WhenModal;

OrderDialogModel ThreeFiles() {
  OrderDialogModel model;
  model.caption = msg::kPdfOrderCaption;
  model.rows = {{"/pics/one.png", "1000 Byte", "2024/01/02 10:00:00"},
                {"/pics/b/two.png", "900 Byte", "2024/01/01 10:00:00"},
                {"/pics/a/three.png", "", ""}};
  return model;
}

std::vector<std::string> Paths(const OrderDialogModel& model) {
  std::vector<std::string> out;
  for (const auto& r : model.rows) out.push_back(r.path);
  return out;
}

QPushButton* Button(QWidget* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
}

std::string Cell(const OrderDialog& dialog, int row, int column) {
  return dialog.Grid()->item(row, column)->text().toStdString();
}

void ClickHeader(OrderDialog& dialog, int column) {
  QHeaderView* header = dialog.Grid()->horizontalHeader();
  int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

TEST(OrderDialogTest, ShowsNamesAndGivesBackFullPathsInTheNewOrder) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    EXPECT_EQ(dialog.windowTitle().toStdString(), msg::kPdfOrderCaption);
    EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(0)->text().toStdString(), "ﾌｧｲﾙ名");
    EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(1)->text().toStdString(), "ﾌｧｲﾙｻｲｽﾞ");
    EXPECT_EQ(dialog.Grid()->horizontalHeaderItem(2)->text().toStdString(), "ﾌｧｲﾙ日付");
    EXPECT_EQ(Cell(dialog, 0, 0), "one.png");
    EXPECT_EQ(Cell(dialog, 0, 1), "1000 Byte");
    EXPECT_EQ(dialog.ViewButton()->text().toStdString(), "ﾌﾙﾊﾟｽ表示");
    QTest::mouseClick(Button(&dialog, "down"), Qt::LeftButton);  // first row down
    EXPECT_EQ(dialog.Grid()->currentRow(), 1);                   // the selection follows the row
    EXPECT_EQ(Cell(dialog, 0, 0), "two.png");
    EXPECT_EQ(Cell(dialog, 1, 0), "one.png");
    EXPECT_EQ(Cell(dialog, 1, 1), "1000 Byte");  // whole rows move
    QTest::mouseClick(Button(&dialog, "ok"), Qt::LeftButton);
  });
  dialog.Run(model);
  EXPECT_EQ(Paths(model),
            (std::vector<std::string>{"/pics/b/two.png", "/pics/one.png", "/pics/a/three.png"}));
  EXPECT_EQ(model.rows[1].size_text, "1000 Byte");
}

TEST(OrderDialogTest, ButtonsThatCannotActDoNothing) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    QTest::mouseClick(Button(&dialog, "up"), Qt::LeftButton);  // first row up
    dialog.Grid()->setCurrentCell(2, 0);
    QTest::mouseClick(Button(&dialog, "down"), Qt::LeftButton);  // last row down
    QTest::mouseClick(Button(&dialog, "up"), Qt::LeftButton);    // now it moves
    EXPECT_EQ(dialog.Grid()->currentRow(), 1);
    dialog.reject();  // closed from the title bar: the rows count all the same
  });
  dialog.Run(model);
  EXPECT_EQ(Paths(model),
            (std::vector<std::string>{"/pics/one.png", "/pics/a/three.png", "/pics/b/two.png"}));
}

TEST(OrderDialogTest, DeletingEveryRowLeavesNoFiles) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    dialog.Grid()->setCurrentCell(1, 0);
    QTest::mouseClick(Button(&dialog, "delete"), Qt::LeftButton);
    EXPECT_EQ(dialog.Grid()->rowCount(), 2);
    EXPECT_EQ(Cell(dialog, 1, 0), "three.png");
    // "three.png" is still selected and was the last row: after it goes nothing is selected
    // and DEL takes no other row.
    QTest::mouseClick(Button(&dialog, "delete"), Qt::LeftButton);
    QTest::mouseClick(Button(&dialog, "delete"), Qt::LeftButton);
    EXPECT_EQ(dialog.Grid()->rowCount(), 1);
    EXPECT_EQ(dialog.Grid()->currentRow(), -1);
    dialog.Grid()->setCurrentCell(0, 0);
    QTest::mouseClick(Button(&dialog, "delete"), Qt::LeftButton);
    EXPECT_EQ(dialog.Grid()->rowCount(), 0);
    QTest::mouseClick(Button(&dialog, "ok"), Qt::LeftButton);
  });
  dialog.Run(model);
  EXPECT_TRUE(model.rows.empty());
}

TEST(OrderDialogTest, FullPathButtonSwitchesTheView) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.ViewButton()->text().toStdString(), "ﾊﾟｽ省略表示");
    EXPECT_EQ(Cell(dialog, 1, 0), "/pics/b/two.png");
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.ViewButton()->text().toStdString(), "ﾌﾙﾊﾟｽ表示");
    EXPECT_EQ(Cell(dialog, 1, 0), "two.png");
    QTest::mouseClick(dialog.ViewButton(), Qt::LeftButton);  // left in the full view
    dialog.accept();
  });
  dialog.Run(model);
  // The next showing starts with names again.
  WhenModal([&](QWidget*) {
    EXPECT_EQ(dialog.ViewButton()->text().toStdString(), "ﾌﾙﾊﾟｽ表示");
    EXPECT_EQ(Cell(dialog, 0, 0), "one.png");
    dialog.accept();
  });
  dialog.Run(model);
}

TEST(OrderDialogTest, HeaderClicksSortByTextFirstDescendingThenAscending) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    QHeaderView* header = dialog.Grid()->horizontalHeader();
    EXPECT_FALSE(header->isSortIndicatorShown());
    ClickHeader(dialog, 1);  // the size column, compared as text
    EXPECT_FALSE(dialog.Logic().Grid().Ascending());
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 1);
    EXPECT_EQ(Cell(dialog, 0, 1), "900 Byte");
    EXPECT_EQ(Cell(dialog, 1, 1), "1000 Byte");
    EXPECT_EQ(Cell(dialog, 2, 1), "");
    ClickHeader(dialog, 1);
    EXPECT_TRUE(dialog.Logic().Grid().Ascending());
    // "9" is greater than "1": 900 bytes sort after 1000 bytes.
    EXPECT_EQ(Cell(dialog, 0, 1), "");
    EXPECT_EQ(Cell(dialog, 1, 1), "1000 Byte");
    EXPECT_EQ(Cell(dialog, 2, 1), "900 Byte");
    dialog.accept();
  });
  dialog.Run(model);
  EXPECT_EQ(Paths(model),
            (std::vector<std::string>{"/pics/a/three.png", "/pics/one.png", "/pics/b/two.png"}));
}

TEST(OrderDialogTest, SortingByNameOrdersByFullPathAndShowsNamesAgain) {
  OrderDialog dialog;
  OrderDialogModel model;
  model.rows = {{"/x/b/a.png", "", ""}, {"/x/A/z.png", "", ""}, {"/x/c.png", "", ""}};
  WhenModal([&](QWidget*) {
    ClickHeader(dialog, 0);  // descending
    ClickHeader(dialog, 0);  // ascending: /X/A/Z.PNG < /X/B/A.PNG < /X/C.PNG
    EXPECT_EQ(Cell(dialog, 0, 0), "z.png");
    EXPECT_EQ(Cell(dialog, 1, 0), "a.png");
    EXPECT_EQ(Cell(dialog, 2, 0), "c.png");
    dialog.accept();
  });
  dialog.Run(model);
  EXPECT_EQ(Paths(model), (std::vector<std::string>{"/x/A/z.png", "/x/b/a.png", "/x/c.png"}));
  // The grid keeps its direction between showings: the next click flips it again.
  WhenModal([&](QWidget*) {
    ClickHeader(dialog, 0);
    EXPECT_FALSE(dialog.Logic().Grid().Ascending());
    EXPECT_EQ(Cell(dialog, 0, 0), "c.png");
    dialog.accept();
  });
  dialog.Run(model);
}

TEST(OrderDialogTest, ClickingACellShowsFullPathsOnlyWhileTheButtonIsDown) {
  OrderDialog dialog;
  OrderDialogModel model = ThreeFiles();
  WhenModal([&](QWidget*) {
    QWidget* cells = dialog.Grid()->viewport();
    QRect second = dialog.Grid()->visualRect(dialog.Grid()->model()->index(1, 1));
    QTest::mousePress(cells, Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Cell(dialog, 0, 0), "/pics/one.png");
    QTest::mouseRelease(cells, Qt::LeftButton, {}, second.center());
    EXPECT_EQ(Cell(dialog, 0, 0), "one.png");
    EXPECT_EQ(dialog.Grid()->currentRow(), 1);
    QTest::mouseClick(Button(&dialog, "up"), Qt::LeftButton);  // the clicked row moves
    EXPECT_EQ(Cell(dialog, 0, 0), "two.png");
    dialog.accept();
  });
  dialog.Run(model);
  EXPECT_EQ(model.rows[0].path, "/pics/b/two.png");
}

// --- Picker -----------------------------------------------------------------------------------

TBitmap Gradient() {
  return testing::BitmapOf(40, 50, TPixelFormat::pf24bit,
                           [](int x, int y) { return RGB(x * 5, y * 5, 99); });
}

TEST(PickerDialogTest, ClickPicksThePixelAndItsPoint) {
  PickerDialog picker;
  EXPECT_EQ(picker.windowTitle().toStdString(), "透過色指定");
  TBitmap image = Gradient();
  PickerResult result;
  WhenModal([&](QWidget*) {
    EXPECT_EQ(picker.XLabel()->text().toStdString(), "0");
    QTest::mouseClick(picker.ImageArea(), Qt::RightButton, {}, QPoint(12, 34));
    EXPECT_EQ(picker.XLabel()->text().toStdString(), "12");
    EXPECT_EQ(picker.YLabel()->text().toStdString(), "34");
    EXPECT_EQ(picker.BottomBar()->palette().color(QPalette::Window), QColor(60, 170, 99));
    // Scaled displays report points inside a pixel: the pixel under the pointer is taken.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(12.7, 34.6), QPointF(12.7, 34.6),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(picker.ImageArea(), &press);
    EXPECT_EQ(picker.XLabel()->text().toStdString(), "12");
    EXPECT_EQ(picker.YLabel()->text().toStdString(), "34");
    QTest::mouseClick(picker.ImageArea(), Qt::LeftButton, {}, QPoint(45, 10));  // outside
    EXPECT_EQ(picker.XLabel()->text().toStdString(), "12");
    QTest::mouseClick(picker.OkButton(), Qt::LeftButton);
  });
  picker.Run(image, result);
  EXPECT_EQ(result.x, 12);
  EXPECT_EQ(result.y, 34);
  EXPECT_EQ(result.color, RGB(60, 170, 99));

  // The next showing resets the point but keeps the colour.
  TBitmap other(8, 8, TPixelFormat::pf24bit);
  other.Fill(RGB(1, 2, 3));
  WhenModal([&](QWidget*) {
    EXPECT_EQ(picker.XLabel()->text().toStdString(), "0");
    EXPECT_EQ(picker.YLabel()->text().toStdString(), "0");
    picker.reject();
  });
  picker.Run(other, result);
  EXPECT_EQ(result.x, 0);
  EXPECT_EQ(result.y, 0);
  EXPECT_EQ(result.color, RGB(60, 170, 99));
}

TEST(PickerDialogTest, WithoutAnyPickTheTopLeftColourIsTaken) {
  PickerDialog picker;
  TBitmap image = Gradient();
  image.SetPixel(0, 0, RGB(200, 100, 50));
  PickerResult result;
  result.color = 12345;
  WhenModal([&](QWidget*) { QTest::mouseClick(picker.OkButton(), Qt::LeftButton); });
  picker.Run(image, result);
  EXPECT_EQ(result.color, RGB(200, 100, 50));
  EXPECT_EQ(result.x, 0);
  EXPECT_EQ(result.y, 0);
}

// --- Format dialog ----------------------------------------------------------------------------

TEST(FormatDialogTest, EditsTheModelUnderTheDialogsRules) {
  FormatDialog dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "形式指定");
  EXPECT_EQ(dialog.size(), QSize(347, 130));
  FormatDialogModel model;
  ConversionSettings settings;
  settings.write_gif = true;
  settings.gif_anime = true;
  settings.transparency = true;
  settings.delay_text = "45";
  FillFormatDialog(settings, model);
  WhenModal([&](QWidget*) {
    OptionControls* c = dialog.Controls();
    EXPECT_TRUE(c->FormatCheck(FormatBox::kGif)->isChecked());
    EXPECT_TRUE(c->TransparencyBox()->isEnabled());  // gif alone keeps it
    EXPECT_EQ(c->DelayEdit()->text().toStdString(), "45");
    EXPECT_FALSE(c->PdfBatchBox()->isEnabled());
    QTest::mouseClick(c->FormatCheck(FormatBox::kPdf), Qt::LeftButton);
    EXPECT_TRUE(c->PdfBatchBox()->isChecked());
    QTest::mouseClick(c->FormatCheck(FormatBox::kGif), Qt::LeftButton);
    EXPECT_FALSE(c->GifAnimeBox()->isChecked());
    EXPECT_FALSE(c->TransparencyBox()->isChecked());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  });
  dialog.Run(model);
  EXPECT_TRUE(model.values.write_pdf);
  EXPECT_TRUE(model.values.pdf_batch);
  EXPECT_FALSE(model.values.write_gif);
  EXPECT_FALSE(model.values.gif_anime);
  EXPECT_FALSE(model.values.transparency);
  EXPECT_EQ(model.states, ComputeEnabling(model.values));
  EXPECT_FALSE(model.keep_running);
}

TEST(FormatDialogTest, ClosingWithoutAFormatSaysSoAndKeepRunningStays) {
  testing::FakeUi ui;
  FormatDialog dialog;
  ui.on_format = [&](FormatDialogModel& m) { dialog.Run(m); };
  FormatDialogModel model;  // lives as long as the program
  ConversionSettings settings;
  ControlStates states = ComputeEnabling(settings);
  WhenModal([&](QWidget*) {
    QTest::mouseClick(dialog.KeepRunningBox(), Qt::LeftButton);
    dialog.reject();  // the title bar closes it like OK
  });
  EXPECT_FALSE(RunFormatDialog(settings, model, ui, &states));
  EXPECT_TRUE(model.keep_running);
  ASSERT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.infos[0], msg::kNoFormat);
  // "変換後終了させない" keeps its state for the next showing; a ticked format comes back.
  WhenModal([&](QWidget*) {
    EXPECT_TRUE(dialog.KeepRunningBox()->isChecked());
    QTest::mouseClick(dialog.Controls()->FormatCheck(FormatBox::kIco), Qt::LeftButton);
    dialog.accept();
  });
  EXPECT_TRUE(RunFormatDialog(settings, model, ui, &states));
  EXPECT_TRUE(settings.write_ico);
  EXPECT_TRUE(states.icon_size);
  EXPECT_TRUE(states.transparency);
  EXPECT_EQ(ui.infos.size(), 1u);
}

}  // namespace
}  // namespace pamirune
