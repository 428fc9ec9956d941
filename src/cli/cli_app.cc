#include "cli/cli_app.h"

#include "app/converter.h"
#include "app/settings_io.h"
#include "cli/cli_options.h"
#include "cli/console_ui.h"
#include "formats/register_all.h"
#include "platform/linux_platform.h"
#include "raster/errors.h"

namespace pamirune {

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in,
           Platform* platform) {
  CliParseResult parsed = ParseCliArguments(args);
  if (!parsed.error.empty()) {
    std::fprintf(err, "pamirune-cli: %s\n%s", parsed.error.c_str(), CliUsage().c_str());
    return 2;
  }
  const CliJob& job = parsed.job;
  if (job.show_help) {
    std::fputs(CliUsage().c_str(), out);
    return 0;
  }
  if (job.show_version) {
    std::fputs("pamirune-cli (ぱみるね♪ Ver 1.52)\n", out);
    return 0;
  }
  LinuxPlatform linux_platform;
  Platform& os = platform ? *platform : linux_platform;
  RegisterGraphicKinds();

  ConversionSettings settings;
  std::string ini_path =
      job.ini_path.empty() ? SettingsFilePath(os.ProgramPath()) : os.LongPathName(job.ini_path);
  LoadSettings(ini_path, settings);
  std::string error = ApplyOverrides(job, settings);
  if (!error.empty()) {
    std::fprintf(err, "pamirune-cli: %s\n", error.c_str());
    return 2;
  }
  // The options of this run obey the window's rules: transparency only with png, ico or gif,
  // the animation only with gif.
  ControlStates states;
  ApplyLoadedInvariants(settings, states);
  if (job.save_settings) {
    try {
      SaveSettings(ini_path, settings);
    } catch (const Exception& e) {
      std::fprintf(err, "pamirune-cli: %s\n", e.what());
      return 1;
    }
    if (job.files.empty()) return 0;
  }
  if (job.files.empty()) {
    std::fprintf(err, "pamirune-cli: no files given\n%s", CliUsage().c_str());
    return 2;
  }
  if (!settings.AnyFormat()) {
    std::fprintf(err, "pamirune-cli: no output format chosen (use --formats)\n");
    return 2;
  }

  ConsoleUi ui(job.answer, out, err, in);
  Converter converter(settings, ui, os);
  converter.SetStartedWithArguments(true);
  std::vector<std::string> files;
  for (const auto& f : job.files) files.push_back(os.LongPathName(f));
  BatchResult result = converter.FileDrop1FileDrop(static_cast<int>(files.size()), files);
  if (!ui.StatusText().empty() && settings.no_dialogs) std::fprintf(out, "%s\n", ui.StatusText().c_str());
  return result == BatchResult::kCompleted ? 0 : 1;
}

}  // namespace pamirune
