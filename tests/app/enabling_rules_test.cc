#include "app/enabling_rules.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace pamirune {
namespace {

// A window as it stands after loading a settings file without any format ticked.
struct Window {
  ConversionSettings s;
  ControlStates states;
  Window() {
    ApplyLoadedInvariants(s, states);
    states = ComputeEnabling(s);
  }
  void Click(FormatBox box) { OnFormatToggled(s, states, box, !FormatBoxTicked(s, box)); }
};

TEST(EnablingRulesTest, EachFormatBoxDrivesItsControls) {
  struct Case {
    FormatBox box;
    ControlStates enabled;  // the states after ticking the box alone
  };
  ControlStates none{false, false, false, false, false, false};
  auto with = [&](auto change) {
    ControlStates s = none;
    change(s);
    return s;
  };
  const Case cases[] = {
      {FormatBox::kBmp, none},
      {FormatBox::kMag, none},
      {FormatBox::kJpg, with([](ControlStates& s) { s.level = true; })},
      {FormatBox::kPng, with([](ControlStates& s) { s.level = s.transparency = true; })},
      {FormatBox::kIco, with([](ControlStates& s) { s.icon_size = s.transparency = true; })},
      {FormatBox::kPdf, with([](ControlStates& s) { s.pdf_batch = true; })},
      {FormatBox::kGif,
       with([](ControlStates& s) { s.transparency = s.gif_anime = s.delay = true; })},
      {FormatBox::kTif, none},
  };
  for (const Case& c : cases) {
    Window w;
    EXPECT_EQ(w.states, none);
    w.Click(c.box);
    EXPECT_EQ(w.states, c.enabled) << FormatBoxCaption(c.box);
    EXPECT_EQ(ComputeEnabling(w.s), c.enabled) << FormatBoxCaption(c.box);
    w.Click(c.box);
    EXPECT_EQ(w.states, none) << FormatBoxCaption(c.box);
  }
}

TEST(EnablingRulesTest, DependentTicks) {
  Window w;
  // Ticking pdf ticks Pdf一括; unticking it unticks Pdf一括.
  w.Click(FormatBox::kPdf);
  EXPECT_TRUE(w.s.pdf_batch);
  w.Click(FormatBox::kPdf);
  EXPECT_FALSE(w.s.pdf_batch);

  // Unticking gif unticks Gifｱﾆﾒ.
  w.Click(FormatBox::kGif);
  OnGifAnimeToggled(w.s, w.states, true);
  EXPECT_TRUE(w.s.gif_anime);
  w.Click(FormatBox::kGif);
  EXPECT_FALSE(w.s.gif_anime);
  EXPECT_FALSE(w.states.gif_anime);

  // Unticking png while ico is ticked leaves 透過 enabled and ticked; the last one unticks it.
  w.Click(FormatBox::kPng);
  w.Click(FormatBox::kIco);
  w.s.transparency = true;
  w.Click(FormatBox::kPng);
  EXPECT_TRUE(w.states.transparency);
  EXPECT_TRUE(w.s.transparency);
  w.Click(FormatBox::kIco);
  EXPECT_FALSE(w.states.transparency);
  EXPECT_FALSE(w.s.transparency);
}

TEST(EnablingRulesTest, TifReappliesTheTransparencyAndGifRules) {
  Window w;
  w.Click(FormatBox::kGif);
  w.s.transparency = true;
  OnGifAnimeToggled(w.s, w.states, true);
  ConversionSettings before = w.s;
  w.Click(FormatBox::kTif);
  w.s.write_tif = false;
  EXPECT_EQ(w.s, before);  // nothing else changed
  EXPECT_TRUE(w.states.transparency);

  // In the main window Gifｱﾆﾒ alone drives the delay edit, until tif runs the gif rule.
  OnGifAnimeToggled(w.s, w.states, false);
  EXPECT_FALSE(w.states.delay);
  w.Click(FormatBox::kTif);
  EXPECT_TRUE(w.states.delay);

  // Setting a box to the state it has is no click: nothing follows.
  w.Click(FormatBox::kPdf);
  w.s.pdf_batch = false;
  OnFormatToggled(w.s, w.states, FormatBox::kPdf, true);
  EXPECT_FALSE(w.s.pdf_batch);
}

TEST(EnablingRulesTest, RandomClicksKeepTheInvariants) {
  std::mt19937 random(42);
  Window w;
  for (int step = 0; step < 5000; ++step) {
    int pick = static_cast<int>(random() % 10);
    if (pick < 8) {
      w.Click(kFormatBoxes[pick]);
    } else if (w.states.gif_anime) {  // only an enabled box can be clicked
      OnGifAnimeToggled(w.s, w.states, !w.s.gif_anime,
                        pick == 8 ? RuleSet::kMainWindow : RuleSet::kFormatDialog);
    } else if (w.states.transparency) {
      w.s.transparency = !w.s.transparency;
    }
    ControlStates expected = ComputeEnabling(w.s);
    expected.delay = w.states.delay;  // the one state that depends on the last click
    ASSERT_EQ(w.states, expected) << "step " << step;
    ASSERT_TRUE(w.s.write_png || w.s.write_ico || w.s.write_gif || !w.s.transparency);
    ASSERT_TRUE(w.s.write_gif || !w.s.gif_anime);
    ASSERT_TRUE(w.s.write_gif || !w.states.delay);
  }
}

TEST(EnablingRulesTest, FormatDialogRules) {
  ConversionSettings d;
  ControlStates ds;
  d.write_gif = true;
  d.gif_anime = false;
  d.write_pdf = false;
  d.pdf_batch = true;
  ActivateFormatDialog(d, ds);
  EXPECT_TRUE(ds.delay);  // with gif, whatever Gifｱﾆﾒ says
  EXPECT_TRUE(ds.transparency);
  EXPECT_TRUE(d.pdf_batch);  // activation does not change the tick
  EXPECT_FALSE(ds.pdf_batch);

  // In the dialog Gifｱﾆﾒ runs the 透過 and gif rules: the delay edit stays with gif.
  OnGifAnimeToggled(d, ds, true, RuleSet::kFormatDialog);
  OnGifAnimeToggled(d, ds, false, RuleSet::kFormatDialog);
  EXPECT_TRUE(ds.delay);
}

TEST(EnablingRulesTest, CopyIntoAndBackFromTheFormatDialog) {
  ConversionSettings main;
  ControlStates main_states;
  main.write_jpg = true;
  main.write_pdf = false;
  main.pdf_batch = true;  // possible after loading
  main.colour_mode = ColourMode::kFull;
  main.disposal = Disposal::kDelete;
  main.delay_text = "1,500";
  main.level = 9;
  main.icon_size_text = "128";
  main.scale_text = "3/4";
  main.stay_resident = true;
  ApplyLoadedInvariants(main, main_states);

  ConversionSettings dialog;
  ControlStates dialog_states;
  CopyIntoFormatDialog(main, dialog, dialog_states);
  ActivateFormatDialog(dialog, dialog_states);
  ConversionSettings expected = main;
  expected.stay_resident = false;  // menu items are not part of the dialog
  EXPECT_EQ(dialog, expected);

  // The user ticks gif and Gifｱﾆﾒ and changes a few values.
  OnFormatToggled(dialog, dialog_states, FormatBox::kGif, true);
  OnGifAnimeToggled(dialog, dialog_states, true, RuleSet::kFormatDialog);
  dialog.level = 2;
  dialog.scale_text = "2×";
  dialog.stay_resident = false;
  CopyBackFromFormatDialog(dialog, main, main_states);
  EXPECT_TRUE(main.write_gif);
  EXPECT_TRUE(main.gif_anime);
  EXPECT_TRUE(main_states.delay);
  EXPECT_EQ(main.level, 2);
  EXPECT_EQ(main.scale_text, "2×");
  EXPECT_TRUE(main.stay_resident);

  // Gifｱﾆﾒ arrives before tif: unticking it disables the delay edit unless tif changes too.
  dialog.gif_anime = false;
  CopyBackFromFormatDialog(dialog, main, main_states);
  EXPECT_FALSE(main_states.delay);
  main.gif_anime = true;
  dialog.write_tif = true;
  CopyBackFromFormatDialog(dialog, main, main_states);
  EXPECT_FALSE(main.gif_anime);
  EXPECT_TRUE(main_states.delay);
}

}  // namespace
}  // namespace pamirune
