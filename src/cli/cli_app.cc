#include "cli/cli_app.h"

#include "app/converter.h"
#include "app/messages.h"
#include "app/settings_io.h"
#include "cli/cli_options.h"
#include "cli/console_ui.h"
#include "formats/register_all.h"
#include "app/clipboard_watcher.h"
#include "app/send_to.h"
#include "cli/cli_platform.h"
#include <filesystem>
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
  CliPlatform linux_platform;
  Platform& os = platform ? *platform : linux_platform;
  RegisterGraphicKinds();

  if (!job.send_to.empty()) {
    // The desktop entry starts the window program, which lives beside this one (installed) or
    // in the build tree's gui folder.
    namespace fs = std::filesystem;
    fs::path here = fs::path(linux_platform.ProgramPath()).parent_path();
    bool gui_found = false;
    for (const fs::path& gui : {here / "pamirune", here.parent_path() / "gui" / "pamirune"})
      if (fs::exists(gui)) {
        linux_platform.SetProgramPath(gui.string());
        gui_found = true;
        break;
      }
    if (job.send_to == "register" && !gui_found) {
      std::fprintf(err, "pamirune-cli: the window program \"pamirune\" was not found beside %s\n",
                   here.string().c_str());
      return 1;
    }
    SendToItem item(os);
    item.CheckRegistration();
    bool ok = true;
    if (job.send_to == "register" && !item.Checked()) ok = item.Toggle();
    if (job.send_to == "unregister" && item.Checked()) ok = item.Toggle();
    std::fprintf(out, "%s: %s\n", linux_platform.SendToEntryPath().c_str(),
                 os.SendToRegistered() ? "registered" : "not registered");
    if (!ok) {
      std::fprintf(err, "pamirune-cli: the desktop entry could not be changed\n");
      return 1;
    }
    if (job.files.empty() && !job.clipboard) return 0;
  }

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
  if (job.files.empty() && !job.clipboard) {
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
  if (job.clipboard) {
    ClipboardCapture capture(settings, ui, os, converter.FormatDialog(),
                             [&] { converter.ConvertClipboard(); });
    capture.SetStartedWithArguments(true);
    capture.CreateFileFromClipboard();
    if (!ui.StatusText().empty() && settings.no_dialogs)
      std::fprintf(out, "%s\n", ui.StatusText().c_str());
    bool failed = ui.had_error() || ui.StatusText() == msg::kNoClipboardBitmap;
    if (job.files.empty()) return failed ? 1 : 0;
  }
  std::vector<std::string> files;
  for (const auto& f : job.files) files.push_back(os.LongPathName(f));
  BatchResult result = converter.FileDrop1FileDrop(static_cast<int>(files.size()), files);
  if (!ui.StatusText().empty() && settings.no_dialogs) std::fprintf(out, "%s\n", ui.StatusText().c_str());
  return result == BatchResult::kCompleted ? 0 : 1;
}

}  // namespace pamirune
