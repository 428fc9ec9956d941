#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/header_sniffer.h"
#include "app/output_formats.h"
#include "app/settings_io.h"
#include "support/temp_dir.h"

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

// Every row of the output-format table drives the console, the settings file and the sniffer:
// each of its names ticks it alone, its INI key stores and restores exactly its flag, and a
// readable format's rename target is an extension the batch accepts for it.
TEST(CliOptionsTest, EveryOutputFormatRowRoundTrips) {
  testing::TempDir dir;
  for (const auto& row : OutputFormats()) {
    for (const char* name : row.names) {
      if (!name) continue;
      ConversionSettings s;
      s.write_bmp = s.write_gif = true;
      ASSERT_EQ(ApplyOverrides(ParseCliArguments({"--formats", name}).job, s), "") << name;
      for (const auto& other : OutputFormats())
        EXPECT_EQ(s.*other.ticked, &other == &row) << name << " " << other.Token();

      const std::string ini = dir.File(std::string(row.Token()) + ".ini");
      SaveSettings(ini, s, false);
      EXPECT_NE(dir.Read(row.Token() + std::string(".ini")).find(row.ini_key + std::string("=1")),
                std::string::npos);
      ConversionSettings loaded;
      LoadSettings(ini, loaded);
      for (const auto& other : OutputFormats())
        EXPECT_EQ(loaded.*other.ticked, &other == &row) << name << " " << other.Token();
    }
    if (row.signature) {
      EXPECT_TRUE(ExtensionFitsKind(row.format, RenameTarget(row.format))) << row.Token();
      EXPECT_TRUE(AcceptedExtension(RenameTarget(row.format))) << row.Token();
    }
  }
  auto bar = FormatBarOrder();
  std::sort(bar.begin(), bar.end());
  for (size_t i = 0; i < bar.size(); ++i) EXPECT_EQ(bar[i], OutputFormats()[i].format);
}

}  // namespace
}  // namespace pamirune
