// The small pieces: the numeric edit, the QImage conversions and the single-instance lock.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLocalSocket>
#include <QTest>
#include <future>

#include "gui/bitmap_convert.h"
#include "gui/gui_test_support.h"
#include "gui/num_edit.h"
#include "gui/single_instance.h"
#include "raster/errors.h"
#include "support/temp_dir.h"

namespace pamirune {
namespace {

using testing::TempDir;

TEST(NumEditTest, FormatsWithSeparatorsAndAnEmptyZero) {
  EXPECT_EQ(TNValEdit::FormatValue(0).toStdString(), "");
  EXPECT_EQ(TNValEdit::FormatValue(30).toStdString(), "30");
  EXPECT_EQ(TNValEdit::FormatValue(1000).toStdString(), "1,000");
  EXPECT_EQ(TNValEdit::FormatValue(-1234567).toStdString(), "-1,234,567");
  EXPECT_EQ(TNValEdit::FormatValue(12.5).toStdString(), "12.5");
  double v = -1;
  EXPECT_TRUE(TNValEdit::ParseText(QStringLiteral("1,234"), &v));
  EXPECT_EQ(v, 1234);
  EXPECT_TRUE(TNValEdit::ParseText(QString(), &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(TNValEdit::ParseText(QStringLiteral("12a"), &v));
}

TEST(NumEditTest, TypingKeepsDigitsSignAndPointAndFifteenDigitsAtMost) {
  TNValEdit edit;
  edit.show();
  edit.setFocus();
  QTest::keyClicks(&edit, "-12a3.5");
  EXPECT_EQ(edit.text().toStdString(), "-123.5");
  EXPECT_DOUBLE_EQ(edit.Value(), -123.5);
  edit.clear();
  QTest::keyClicks(&edit, "12345678901234567890");
  EXPECT_EQ(edit.text().toStdString(), "123,456,789,012,345");
  EXPECT_DOUBLE_EQ(edit.Value(), 123456789012345.0);
  edit.clear();
  QTest::keyClicks(&edit, "0");
  EXPECT_EQ(edit.text().toStdString(), "");  // the value 0 shows nothing
}

TEST(NumEditTest, DelayEditTakesWholePositiveNumbersUpToItsMaximum) {
  TNValEdit edit;
  edit.SetAllowNegative(false);
  edit.SetAllowDecimal(false);
  edit.SetMaximum(65535);
  edit.show();
  edit.setFocus();
  QTest::keyClicks(&edit, "-1.5");
  EXPECT_EQ(edit.text().toStdString(), "15");
  edit.clear();
  QTest::keyClicks(&edit, "999999");
  EXPECT_EQ(edit.text().toStdString(), "65,535");
  EXPECT_EQ(edit.Value(), 65535);
  EXPECT_EQ(edit.alignment() & Qt::AlignRight, Qt::AlignRight);
}

TEST(BitmapConvertTest, QImageBecomesA24BitBitmapAndBack) {
  QImage image(3, 2, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(255, 0, 0));
  image.setPixel(1, 0, qRgb(0, 255, 0));
  image.setPixel(2, 0, qRgb(0, 0, 255));
  image.setPixel(0, 1, qRgb(1, 2, 3));
  image.setPixel(1, 1, qRgb(250, 251, 252));
  image.setPixel(2, 1, qRgb(128, 64, 32));
  TBitmap bitmap = BitmapFromQImage(image);
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.Pixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.Pixel(2, 0), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.Pixel(0, 1), RGB(1, 2, 3));  // the top row stays on top
  EXPECT_EQ(bitmap.Pixel(2, 1), RGB(128, 64, 32));
  QImage back = QImageFromBitmap(bitmap);
  EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image);
}

TEST(BitmapConvertTest, TransparentPixelsLieOverWhite) {
  QImage image(2, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(0, 0, 0, 0));
  image.setPixel(1, 0, qRgba(0, 0, 0, 128));
  TBitmap bitmap = BitmapFromQImage(image);
  EXPECT_EQ(bitmap.Pixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(bitmap.Pixel(1, 0), RGB(127, 127, 127));
}

TEST(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  TempDir dir;
  const QString path = QString::fromStdString(dir.File("pamirune.lock"));
  auto first = std::make_unique<SingleInstanceLock>(path);
  ASSERT_TRUE(first->TryAcquire());
  SingleInstanceLock second(path);
  EXPECT_FALSE(second.TryAcquire());
  first.reset();
  EXPECT_TRUE(second.TryAcquire());
}

TEST(SingleInstanceTest, LockOfAProcessThatIsGoneIsTakenOver) {
  TempDir dir;
  const QString path = QString::fromStdString(dir.File("pamirune.lock"));
  {
    // What QLockFile leaves behind: process id, program name, host name.
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("999999\ngui_tests\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  }
  SingleInstanceLock lock(path);
  EXPECT_TRUE(lock.TryAcquire());
}

TEST(SingleInstanceTest, HandOverCarriesNamesAsBytesAndRefusesAnythingElse) {
  TempDir dir;
  const QString socket_path = QString::fromStdString(dir.File("pamirune.lock.sock"));
  EXPECT_FALSE(HandOverToRunningInstance({"/x.bmp"}, socket_path, 300));  // nobody listens
  HandOverServer server;
  ASSERT_TRUE(server.Listen(socket_path));
  std::vector<std::vector<std::string>> received;
  QObject::connect(&server, &HandOverServer::Received,
                   [&](const std::vector<std::string>& files) { received.push_back(files); });

  QLocalSocket stranger;
  stranger.connectToServer(socket_path);
  ASSERT_TRUE(stranger.waitForConnected(2000));
  stranger.write("GET / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(testing::WaitFor([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));

  // The second start blocks while it waits for the answer: it runs beside this event loop.
  const std::vector<std::string> files = {"/old/\x82\xa0.bmp", "/with space/b.png"};
  auto handed = std::async(std::launch::async,
                           [&] { return HandOverToRunningInstance(files, socket_path, 2000); });
  ASSERT_TRUE(testing::WaitFor(
      [&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(handed.get());
  EXPECT_EQ(received, std::vector<std::vector<std::string>>{files});
}

TEST(ProgramIconTest, IconIsBuiltIntoTheProgram) {
  QIcon icon(QStringLiteral(":/pamirune/pamirune.png"));
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.availableSizes().value(0), QSize(256, 256));
}

}  // namespace
}  // namespace pamirune
