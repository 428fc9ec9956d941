#include "cli/cli_app.h"

#include <filesystem>

#include "app/clipboard_watcher.h"
#include "app/converter.h"
#include "app/messages.h"
#include "app/send_to.h"
#include "app/settings_io.h"
#include "cli/cli_options.h"
#include "cli/cli_platform.h"
#include "cli/console_ui.h"
#include "formats/register_all.h"
#include "raster/errors.h"
#include "raster/file_path.h"

namespace pamirune {

std::string SharedSettingsFile(Platform& platform) {
  // Named after the window program, which keeps the same name beside this one.
  namespace fs = std::filesystem;
  return SettingsFilePath((fs::path(platform.ProgramPath()).parent_path() / "pamirune").string(),
                          platform.ConfigHome());
}

namespace {

// The output base ("name.") of the batch files for -o FILE, which ends in the extension of a
// batch file this run writes; an error text otherwise.
std::string BatchFileBaseFor(const std::string& file, const ConversionSettings& s,
                             std::string* base) {
  const bool pdf = s.pdf_batch && s.write_pdf, gif = s.gif_anime && s.write_gif;
  if (!pdf && !gif) return "-o names the batch file: it needs --pdf-batch or --gif-anime";
  std::string ext = LowerAscii(file.size() > 4 ? file.substr(file.size() - 4) : "");
  if ((ext == ".pdf" && pdf) || (ext == ".gif" && gif)) {
    *base = file.substr(0, file.size() - 3);
    return "";
  }
  return std::string("-o ") + file + ": the name must end in " +
         (pdf && gif ? ".pdf or .gif"
          : pdf      ? ".pdf"
                     : ".gif");
}

// The settings file of this run: --ini or the shared one.
std::string SettingsFileOf(const CliJob& job, Platform& os) {
  return job.ini_path.empty() ? SharedSettingsFile(os) : os.LongPathName(job.ini_path);
}

// A step's outcome: go on with the run, or end it with this status.
constexpr int kGoOn = -1;

// --help: the usage, then what a run without options would do and where that comes from.
int ShowHelp(const CliJob& job, Platform& os, std::FILE* out, std::FILE* err) {
  std::fputs(CliUsage().c_str(), out);
  std::string ini_path = SettingsFileOf(job, os);
  ConversionSettings settings;
  bool existed = false;
  try {
    LoadSettings(ini_path, settings, &existed);
  } catch (const std::exception& e) {
    std::fprintf(err, "pamirune-cli: %s\n", e.what());
  }
  std::fprintf(
      out, "\nSettings file: %s%s\nIts values now (the options above change them for one run):\n%s",
      ini_path.c_str(), existed ? "" : " (not there yet: the defaults)",
      DescribeSettings(settings).c_str());
  return 0;
}

// --send-to: registers or removes the desktop entry and tells where it is.
int RunSendTo(const CliJob& job, CliPlatform& linux_platform, Platform& os, std::FILE* out,
              std::FILE* err) {
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
  return job.files.empty() && !job.clipboard ? 0 : kGoOn;
}

// The settings of this run: the settings file with the options over it, saved when asked.
int PrepareSettings(const CliJob& job, Platform& os, ConversionSettings& settings, std::FILE* err) {
  std::string ini_path = SettingsFileOf(job, os);
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
      // The console has no window: the window's placement stays as the window left it.
      SaveSettings(ini_path, settings, /*window_placement=*/false);
    } catch (const Exception& e) {
      std::fprintf(err, "pamirune-cli: %s\n", e.what());
      return 1;
    }
    if (job.files.empty()) return 0;
  }
  return kGoOn;
}

// -o FILE: the batch files' output base, refused before any file is converted rather than
// after the whole batch.
int PrepareBatchBase(const CliJob& job, const ConversionSettings& settings, Platform& os,
                     std::string* batch_base, std::FILE* err) {
  if (job.batch_output.empty()) return kGoOn;
  std::string error = BatchFileBaseFor(job.batch_output, settings, batch_base);
  if (!error.empty()) {
    std::fprintf(err, "pamirune-cli: %s\n", error.c_str());
    return 2;
  }
  *batch_base = os.LongPathName(batch_base->substr(0, batch_base->size() - 1)) + ".";
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(*batch_base).parent_path();
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(err, "pamirune-cli: -o %s: there is no folder %s\n", job.batch_output.c_str(),
                 folder.string().c_str());
    return 2;
  }
  return kGoOn;
}

// --clipboard: the clipboard's picture becomes a file and is converted.
int RunClipboard(const CliJob& job, ConversionSettings& settings, ConsoleUi& ui, Platform& os,
                 Converter& converter, std::FILE* out) {
  ClipboardCapture capture(settings, ui, os, converter.FormatDialog(),
                           [&] { converter.ConvertClipboard(); });
  capture.SetStartedWithArguments(true);
  capture.CreateFileFromClipboard();
  if (!ui.StatusText().empty() && settings.no_dialogs && !job.quiet)
    std::fprintf(out, "%s\n", ui.StatusText().c_str());
  bool failed = ui.had_error() || ui.StatusText() == msg::kNoClipboardBitmap;
  if (job.files.empty()) return failed ? 1 : 0;
  return kGoOn;
}

// The files of the command line, one batch; with --keep-going the failures are listed at the
// end.
int RunFiles(const CliJob& job, const ConversionSettings& settings, ConsoleUi& ui, Platform& os,
             Converter& converter, std::FILE* out, std::FILE* err) {
  std::vector<std::pair<std::string, std::string>> failures;
  if (job.keep_going) {
    converter.SetKeepGoing([&](const std::string& file, const std::string& reason) {
      std::string text;
      for (char c : reason) text += c == '\r' ? ' ' : c;
      failures.emplace_back(file, text);
      std::fprintf(err, "pamirune-cli: %s: %s\n", file.c_str(), text.c_str());
      std::fflush(err);
    });
  }
  std::vector<std::string> files;
  for (const auto& f : job.files) files.push_back(os.LongPathName(f));
  BatchResult result = converter.FileDrop1FileDrop(static_cast<int>(files.size()), files);
  if (!failures.empty()) {
    std::fprintf(err, "pamirune-cli: %zu of %zu files failed:\n", failures.size(), files.size());
    for (const auto& [file, reason] : failures)
      std::fprintf(err, "  %s: %s\n", file.c_str(), reason.c_str());
  }
  if (!ui.StatusText().empty() && settings.no_dialogs && !job.quiet)
    std::fprintf(out, "%s\n", ui.StatusText().c_str());
  return result == BatchResult::kCompleted && failures.empty() ? 0 : 1;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, std::FILE* in,
           Platform* platform) {
  CliParseResult parsed = ParseCliArguments(args);
  if (!parsed.error.empty()) {
    std::fprintf(err, "pamirune-cli: %s\n%s", parsed.error.c_str(), CliUsage().c_str());
    return 2;
  }
  const CliJob& job = parsed.job;
  if (job.show_version) {
    std::fputs("pamirune-cli (ぱみるね♪ Ver 1.52)\n", out);
    return 0;
  }
  CliPlatform linux_platform;
  Platform& os = platform ? *platform : linux_platform;
  if (job.show_help) return ShowHelp(job, os, out, err);
  RegisterGraphicKinds();

  int status = kGoOn;
  if (!job.send_to.empty() && (status = RunSendTo(job, linux_platform, os, out, err)) != kGoOn)
    return status;
  ConversionSettings settings;
  std::string batch_base;
  if ((status = PrepareSettings(job, os, settings, err)) != kGoOn ||
      (status = PrepareBatchBase(job, settings, os, &batch_base, err)) != kGoOn)
    return status;
  if (job.files.empty() && !job.clipboard) {
    std::fprintf(err, "pamirune-cli: no files given\n%s", CliUsage().c_str());
    return 2;
  }
  if (!settings.AnyFormat()) {
    std::fprintf(err, "pamirune-cli: no output format chosen (use --formats)\n");
    return 2;
  }

  ConsoleUi ui(job.answer, out, err, in, job.quiet);
  Converter converter(settings, ui, os);
  converter.SetStartedWithArguments(true);
  converter.SetBatchFileBase(batch_base);
  if (job.clipboard && !platform) {
    std::string problem;
    if (linux_platform.ClipboardTool(&problem).empty()) {
      std::fprintf(err, "pamirune-cli: --clipboard: %s\n", problem.c_str());
      return 1;
    }
  }
  if (job.clipboard && (status = RunClipboard(job, settings, ui, os, converter, out)) != kGoOn)
    return status;
  return RunFiles(job, settings, ui, os, converter, out, err);
}

}  // namespace pamirune
