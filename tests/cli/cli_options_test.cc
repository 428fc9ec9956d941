#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace pamirune {
namespace {

TEST(CliOptionsTest, OverridesApplyInOrder) {
  auto r = ParseCliArguments({"--formats", "bmp,png", "--colour=full", "--scale", "2x", "--level",
                              "0", "--delay", "1500", "--out-dir", "/tmp/x", "a.bmp"});
  ASSERT_EQ(r.error, "");
  ConversionSettings s;
  ASSERT_EQ(ApplyOverrides(r.job, s), "");
  EXPECT_TRUE(s.write_bmp && s.write_png && !s.write_jpg);
  EXPECT_EQ(s.colour_mode, ColourMode::kFull);
  EXPECT_EQ(s.scale_text, "2×");
  EXPECT_EQ(s.level, 0);
  EXPECT_EQ(s.delay_text, "1,500");  // as the window's edit shows it
  EXPECT_TRUE(s.use_output_dir);
  EXPECT_EQ(s.output_dir, "/tmp/x/");
  EXPECT_EQ(r.job.files, std::vector<std::string>{"a.bmp"});
}

TEST(CliOptionsTest, UsageErrors) {
  EXPECT_NE(ParseCliArguments({"--bogus"}).error, "");
  EXPECT_NE(ParseCliArguments({"--formats"}).error, "");
  EXPECT_NE(ParseCliArguments({"--send-to", "maybe"}).error, "");
  ConversionSettings s;
  for (auto bad : std::vector<std::vector<std::string>>{{"--formats", "bmp,xyz"},
                                                        {"--level", "11"},
                                                        {"--icon-size", "48"},
                                                        {"--colour", "grey"},
                                                        {"--scale", "5/4"},
                                                        {"--dispose", "shred"},
                                                        {"--delay", "0"},
                                                        {"--delay", "65536"}}) {
    auto r = ParseCliArguments(bad);
    ASSERT_EQ(r.error, "");
    EXPECT_NE(ApplyOverrides(r.job, s), "") << bad[0];
  }
  // -o in its three spellings; -o needs a name.
  for (auto form : std::vector<std::vector<std::string>>{
           {"-o", "x.pdf"}, {"-ox.pdf"}, {"--output=x.pdf"}, {"--output", "x.pdf"}})
    EXPECT_EQ(ParseCliArguments(form).job.batch_output, "x.pdf") << form[0];
  EXPECT_NE(ParseCliArguments({"-o"}).error, "");
  // After "--" everything is a file, even names that look like options.
  auto r = ParseCliArguments({"--", "--yes"});
  EXPECT_EQ(r.job.files, std::vector<std::string>{"--yes"});
  EXPECT_EQ(r.job.answer, Answer::kAsk);
}

}  // namespace
}  // namespace pamirune
