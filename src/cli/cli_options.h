// Command-line options of the console front end, parsed into a job.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"

namespace pamirune {

enum class Answer { kAsk, kYes, kNo };

struct CliJob {
  std::vector<std::string> files;
  std::string ini_path;  // empty: the usual settings file
  bool save_settings = false;
  Answer answer = Answer::kAsk;
  bool show_help = false;
  bool show_version = false;
  bool clipboard = false;
  bool quiet = false;        // no information messages or progress, only errors and questions
  bool keep_going = false;   // a failed file does not end the batch
  std::string batch_output;  // -o: the batch PDF / GIF file
  std::string send_to;       // "register", "unregister", "status" or empty
  // Overrides of the settings for this run, applied in order over the loaded settings.
  std::vector<std::pair<std::string, std::string>> overrides;
};

struct CliParseResult {
  CliJob job;
  std::string error;  // non-empty: a usage error
};

CliParseResult ParseCliArguments(const std::vector<std::string>& args);
// Applies the overrides to settings; returns an error text for a bad value.
std::string ApplyOverrides(const CliJob& job, ConversionSettings& settings);
std::string CliUsage();
// The values the settings give, as --help shows them under the settings file's path.
std::string DescribeSettings(const ConversionSettings& settings);

}  // namespace pamirune
