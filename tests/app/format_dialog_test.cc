// The format dialog: copying in and back, its rules, and its message.
#include <gtest/gtest.h>

#include "app/format_dialog_model.h"
#include "app/messages.h"
#include "support/fake_ui.h"

namespace pamirune {
namespace {

using testing::FakeUi;

TEST(FormatDialogTest, CopiesInAndBackWithTheRules) {
  ConversionSettings settings;
  settings.write_png = true;
  settings.write_pdf = true;
  settings.pdf_batch = true;
  settings.colour_mode = ColourMode::kBlackWhite;
  settings.disposal = Disposal::kDelete;
  settings.level = 7;
  settings.icon_size_text = "64";
  settings.scale_text = "2/3";
  settings.delay_text = "45";
  FormatDialogModel dialog;
  FillFormatDialog(settings, dialog);
  EXPECT_TRUE(dialog.values.write_png);
  EXPECT_TRUE(dialog.values.pdf_batch);
  EXPECT_EQ(dialog.values.colour_mode, ColourMode::kBlackWhite);
  EXPECT_STREQ(dialog.ColourCaption(), "白黒");
  EXPECT_STREQ(dialog.DisposalCaption(), "元ﾌｧｲﾙ削除");
  EXPECT_EQ(dialog.values.level, 7);
  EXPECT_EQ(dialog.values.scale_text, "2/3");
  EXPECT_EQ(dialog.values.delay_text, "45");
  EXPECT_TRUE(dialog.states.level);

  // The user unticks png and ticks gif only: "透過" stays enabled, the delay typed is kept.
  dialog.SetFormat(FormatBox::kPng, false);
  dialog.SetFormat(FormatBox::kPdf, false);
  EXPECT_FALSE(dialog.values.pdf_batch);
  EXPECT_FALSE(dialog.states.pdf_batch);
  dialog.SetFormat(FormatBox::kGif, true);
  EXPECT_TRUE(dialog.states.transparency);
  EXPECT_TRUE(dialog.states.gif_anime);
  dialog.SetGifAnime(true);
  dialog.SetDelayText("12");
  dialog.SetLevel(42);
  FakeUi ui;
  EXPECT_TRUE(CloseFormatDialog(dialog, settings, ui));
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_TRUE(settings.write_gif);
  EXPECT_TRUE(settings.gif_anime);
  EXPECT_FALSE(settings.write_png);
  EXPECT_FALSE(settings.pdf_batch);
  EXPECT_EQ(settings.delay_text, "12");
  EXPECT_EQ(settings.level, 10);
}

TEST(FormatDialogTest, ActivationAppliesTheDialogsRules) {
  FormatDialogModel dialog;
  dialog.values.write_jpg = true;
  dialog.values.transparency = true;
  dialog.values.gif_anime = true;
  dialog.values.write_pdf = true;
  dialog.values.pdf_batch = false;
  dialog.Activate();
  EXPECT_FALSE(dialog.states.transparency);
  EXPECT_FALSE(dialog.values.transparency);
  EXPECT_FALSE(dialog.values.gif_anime);
  EXPECT_FALSE(dialog.states.delay);
  EXPECT_TRUE(dialog.states.pdf_batch);
  EXPECT_FALSE(dialog.values.pdf_batch);  // enabled, its tick unchanged
  dialog.SetTransparency(true);           // disabled: no effect
  dialog.SetGifAnime(true);
  EXPECT_FALSE(dialog.values.transparency);
  EXPECT_FALSE(dialog.values.gif_anime);
  dialog.SetPdfBatch(true);
  EXPECT_TRUE(dialog.values.pdf_batch);
}

TEST(FormatDialogTest, NoFormatComplainsButClosesAndKeepRunningLasts) {
  ConversionSettings settings;
  FormatDialogModel dialog;
  FakeUi ui;
  ui.on_format = [](FormatDialogModel& m) { m.keep_running = true; };
  EXPECT_FALSE(RunFormatDialog(settings, dialog, ui));
  ASSERT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.infos[0], "形式が指定されてないよぉ～(;_;)");
  EXPECT_FALSE(CloseAfterBatch(dialog));

  ui.on_format = [](FormatDialogModel& m) { m.SetFormat(FormatBox::kPng, true); };
  ControlStates window;
  EXPECT_TRUE(RunFormatDialog(settings, dialog, ui, &window));
  EXPECT_TRUE(settings.write_png);
  EXPECT_TRUE(window.level);         // the window's rules ran on the way back
  EXPECT_TRUE(dialog.keep_running);  // kept between showings
  EXPECT_EQ(ui.format_dialogs, 2);
  EXPECT_EQ(ui.infos.size(), 1u);
}

}  // namespace
}  // namespace pamirune
