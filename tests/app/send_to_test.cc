// The "[送る]に登録(&S)" item and the command-line step.
#include "app/send_to.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/command_line.h"
#include "app/messages.h"
#include "support/fake_ui.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/test_platform.h"

namespace pamirune {
namespace {

using testing::FakeUi;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TestPlatform;

class SendToTest : public ::testing::Test {
 protected:
  SendToTest() : env("XDG_DATA_HOME", data.path()) {
    platform.SetProgramPath("/opt/pamirune/pamirune");
  }
  std::string Entry() { return data.File("applications/ぱみるねを起動.desktop"); }

  TempDir data;
  ScopedEnv env;
  TestPlatform platform;
};

TEST_F(SendToTest, ToggleTwiceWritesThenRemovesTheEntry) {
  SendToItem item(platform);
  EXPECT_TRUE(item.Toggle());
  EXPECT_TRUE(item.Checked());
  EXPECT_TRUE(std::filesystem::exists(Entry()));

  SendToItem after_restart(platform);
  EXPECT_FALSE(after_restart.Checked());
  after_restart.CheckRegistration();
  EXPECT_TRUE(after_restart.Checked());

  EXPECT_TRUE(item.Toggle());
  EXPECT_FALSE(item.Checked());
  EXPECT_FALSE(std::filesystem::exists(Entry()));
  after_restart.CheckRegistration();  // the check never unchecks
  EXPECT_TRUE(after_restart.Checked());
}

TEST_F(SendToTest, AFailedRegistrationLeavesTheItemUnchecked) {
  // The applications folder cannot be made: a file stands in its place.
  std::ofstream(data.File("applications")) << "x";
  SendToItem item(platform);
  EXPECT_FALSE(item.Toggle());
  EXPECT_FALSE(item.Checked());
}

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("a.bmp", "BM");
    batch = [this](int num, std::vector<std::string>& files) {
      ++batches;
      batch_num = num;
      batch_files = files;
      batch_settings = settings;
    };
  }

  TempDir dir;
  FakeUi ui;
  TestPlatform platform;
  ConversionSettings settings;
  FormatDialogModel dialog;
  BatchEntry batch;
  int batches = 0, batch_num = -1;
  std::vector<std::string> batch_files;
  ConversionSettings batch_settings;
};

TEST_F(CommandLineTest, ArgumentsBecomeAbsolutePathsAndUnresolvedOnesStayEmpty) {
  std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.path());
  auto files = LongPathArguments(platform, {"a.bmp", "./sub/../a.bmp", "missing.bmp", ""});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(files, (std::vector<std::string>{dir.File("a.bmp"), dir.File("a.bmp"), "", ""}));
}

TEST_F(CommandLineTest, NoArgumentsDoNothing) {
  CommandLineStep step({});
  EXPECT_FALSE(step.Run(settings, dialog, ui, platform, batch));
  EXPECT_EQ(batches, 0);
  EXPECT_EQ(ui.format_dialogs, 0);
}

TEST_F(CommandLineTest, OneFileWithAFormatConvertsWithoutADialogAndEndsOnce) {
  settings.write_jpg = true;
  CommandLineStep step({dir.File("a.bmp"), dir.File("gone.bmp")});
  EXPECT_TRUE(step.Run(settings, dialog, ui, platform, batch));
  EXPECT_EQ(ui.format_dialogs, 0);
  EXPECT_EQ(batch_num, 2);
  EXPECT_EQ(batch_files, (std::vector<std::string>{dir.File("a.bmp"), ""}));
  // A later activation of a program that stayed open converts nothing again.
  EXPECT_FALSE(step.Run(settings, dialog, ui, platform, batch));
  EXPECT_EQ(batches, 1);
}

TEST_F(CommandLineTest, SendFlagShowsTheDialogAndItsKeepRunningBoxKeepsTheProgram) {
  settings.write_jpg = true;
  settings.format_dialog_on_send = true;
  settings.scale_text = "1/2";
  ui.on_format = [](FormatDialogModel& m) {
    EXPECT_EQ(m.values.scale_text, "1/2");
    m.SetFormat(FormatBox::kGif, true);
    m.SetDelayText("7");
    m.keep_running = true;
  };
  CommandLineStep step({dir.File("a.bmp")});
  EXPECT_FALSE(step.Run(settings, dialog, ui, platform, batch));
  EXPECT_EQ(ui.format_dialogs, 1);
  EXPECT_EQ(batches, 1);
  // The batch runs with what the dialog chose.
  EXPECT_TRUE(batch_settings.write_gif);
  EXPECT_EQ(batch_settings.delay_text, "7");
}

TEST_F(CommandLineTest, NoFormatShowsTheDialogEvenWithoutTheSendFlag) {
  CommandLineStep step({dir.File("a.bmp")});
  EXPECT_TRUE(step.Run(settings, dialog, ui, platform, batch));
  EXPECT_EQ(ui.format_dialogs, 1);
  EXPECT_EQ(ui.infos, (std::vector<std::string>{msg::kNoFormat}));
  EXPECT_EQ(batches, 1);  // the batch still runs and deals with no formats itself
}

}  // namespace
}  // namespace pamirune
