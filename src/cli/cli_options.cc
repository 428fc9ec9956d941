#include "cli/cli_options.h"

#include <initializer_list>
#include <sstream>
#include <utility>

#include "app/output_formats.h"
#include "app/settings_io.h"
#include "raster/file_path.h"

namespace pamirune {

namespace {

// Options that take a value, and flags.
const char* const kValueOptions[] = {"--formats", "--colour",    "--color",   "--scale",
                                     "--level",   "--icon-size", "--delay",   "--out-dir",
                                     "--dispose", "--ini",       "--send-to", "--output"};
// Each flag sets one field of the record.
struct FlagOption {
  const char* name;
  bool ConversionSettings::*field;
  bool value;
};
constexpr FlagOption kFlagOptions[] = {
    {"--smooth", &ConversionSettings::smooth_resize, true},
    {"--transparent", &ConversionSettings::transparency, true},
    {"--pdf-batch", &ConversionSettings::pdf_batch, true},
    {"--gif-anime", &ConversionSettings::gif_anime, true},
    {"--suffix-s", &ConversionSettings::suffix_s, true},
    {"--keep-date", &ConversionSettings::keep_date, true},
    {"--overwrite", &ConversionSettings::overwrite, true},
    {"--no-dialogs", &ConversionSettings::no_dialogs, true},
    {"--pdf-order", &ConversionSettings::pdf_order_dialog, true},
    {"--gif-order", &ConversionSettings::gif_order_dialog, true},
    {"--preview", &ConversionSettings::preview, true},
    {"--no-auto-orient", &ConversionSettings::auto_orient, false},
    {"--no-pdf-jpeg", &ConversionSettings::pdf_keep_jpeg, false},
};

bool IsOneOf(const std::string& s, const char* const* list, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s == list[i]) return true;
  return false;
}

const FlagOption* FindFlag(const std::string& name) {
  for (const FlagOption& flag : kFlagOptions)
    if (name == flag.name) return &flag;
  return nullptr;
}

// value as one of the words of choices; false when it is none of them.
template <typename T>
bool Choose(const std::string& value, std::initializer_list<std::pair<const char*, T>> choices,
            T* chosen) {
  for (const auto& [word, meaning] : choices)
    if (value == word) {
      *chosen = meaning;
      return true;
    }
  return false;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, sep))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

bool ParseInt(const std::string& text, int& value) {
  try {
    size_t used = 0;
    value = std::stoi(text, &used);
    return used == text.size();
  } catch (...) {
    return false;
  }
}

}  // namespace

std::string CliUsage() {
  std::string read, written;
  for (const auto& row : OutputFormats()) {
    if (row.signature) read += std::string(read.empty() ? "" : ", ") + row.Token();
    written += std::string(written.empty() ? "" : ",") + row.Token();
  }
  return "Usage: pamirune-cli [options] FILE...\n"
         "Converts image files (" +
         read +
         ") into every chosen format,\n"
         "with the options of the settings file, changed for this run by:\n"
         "  --formats LIST        output formats, any of " +
         written +
         "\n"
         "  --colour MODE         256 | full | bw\n"
         "  --scale FACTOR        1/1 | 1/2 | 1/3 | 2/3 | 3/4 | 2x | 3x\n"
         "  --smooth              smooth scaling\n"
         "  --level N             quality / compression level 0..10\n"
         "  --icon-size N         16 | 32 | 64 | 128 | 256\n"
         "  --transparent         transparent colour (top-left pixel)\n"
         "  --pdf-batch           all images into one PDF\n"
         "  --gif-anime           all images into one animated GIF\n"
         "  --delay N             animation delay in 1/100 s, 1..65535 (the window's empty\n"
         "                        field means 30)\n"
         "  -o, --output FILE     name of the batch PDF or GIF (FILE.pdf / FILE.gif); without it\n"
         "                        the batch file is named after the last image\n"
         "  --pdf-order, --gif-order  keep the given order for the PDF / GIF batch\n"
         "  --out-dir DIR         write into DIR instead of beside the source\n"
         "  --suffix-s            add an \"s\" to output names\n"
         "  --keep-date           give the output the source's modification time\n"
         "  --dispose MODE        keep | trash | delete the source after conversion\n"
         "  --overwrite           overwrite existing files without asking\n"
         "  --no-dialogs          no information messages\n"
         "  --preview             open the written file with the default application\n"
         "  --no-auto-orient      keep pictures as stored, ignoring their orientation mark\n"
         "  --no-pdf-jpeg         PDF pages of JPEG files hold deflated pixels, not the JPEG\n"
         "                        data as they are\n"
         "  --ini FILE            use another settings file\n"
         "  --save                write the effective settings back to the settings file\n"
         "  --clipboard           convert the clipboard's image once\n"
         "  --send-to ACTION      register | unregister | status of the \"Open With\" entry\n"
         "  --keep-going          convert the rest after a file that fails; list the failures\n"
         "  -q, --quiet           print only errors and questions\n"
         "  -y, --yes             answer OK to rename and overwrite questions\n"
         "  --no                  answer Cancel to them\n"
         "  -h, --help, --version\n"
         "The command line is the confirmation: a batch is never asked about. Renaming a file\n"
         "whose extension lies and replacing an output are asked on the terminal; without one\n"
         "the answer is Cancel.\n"
         "Exit status: 0 the batch ran to its end, 1 it stopped early or (--keep-going) a file\n"
         "failed, 2 usage error.\n";
}

CliParseResult ParseCliArguments(const std::vector<std::string>& args) {
  CliParseResult r;
  bool only_files = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_files || a.empty() || a[0] != '-' || a == "-") {
      r.job.files.push_back(a);
      continue;
    }
    if (a == "--") {
      only_files = true;
    } else if (a == "--help" || a == "-h") {
      r.job.show_help = true;
    } else if (a == "--version") {
      r.job.show_version = true;
    } else if (a == "--yes" || a == "-y") {
      r.job.answer = Answer::kYes;
    } else if (a == "--no") {
      r.job.answer = Answer::kNo;
    } else if (a == "--save") {
      r.job.save_settings = true;
    } else if (a == "--clipboard") {
      r.job.clipboard = true;
    } else if (a == "--quiet" || a == "-q") {
      r.job.quiet = true;
    } else if (a == "--keep-going") {
      r.job.keep_going = true;
    } else if (FindFlag(a)) {
      r.job.overrides.emplace_back(a, "");
    } else {
      std::string name = a, value;
      auto eq = a.find('=');
      if (a.rfind("-o", 0) == 0 && a.rfind("--", 0) != 0) {
        // "-o FILE" and "-oFILE".
        name = "--output";
        if (a.size() > 2) {
          value = a.substr(2);
          eq = 0;
        } else {
          eq = std::string::npos;
        }
      } else if (eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
      }
      if (!IsOneOf(name, kValueOptions, std::size(kValueOptions))) {
        r.error = "unknown option: " + a;
        return r;
      }
      if (eq == std::string::npos) {
        if (i + 1 >= args.size()) {
          r.error = "option " + name + " needs a value";
          return r;
        }
        value = args[++i];
      }
      if (name == "--ini")
        r.job.ini_path = value;
      else if (name == "--output") {
        if (value.empty()) {
          r.error = "-o needs a file name";
          return r;
        }
        r.job.batch_output = value;
      } else if (name == "--send-to") {
        if (value != "register" && value != "unregister" && value != "status") {
          r.error = "--send-to takes register, unregister or status";
          return r;
        }
        r.job.send_to = value;
      } else
        r.job.overrides.emplace_back(name, value);
    }
  }
  return r;
}

namespace {

// One option that takes a value; the error text when the value is not one it takes.
std::string ApplyValueOption(const std::string& name, const std::string& value,
                             ConversionSettings& s) {
  int v = 0;
  if (name == "--formats") {
    for (const auto& row : OutputFormats()) s.*row.ticked = false;
    for (const auto& f : Split(value, ',')) {
      const OutputFormatInfo* row = FindFormatByName(f);
      if (!row) return "unknown format in --formats: " + f;
      s.*row->ticked = true;
    }
  } else if (name == "--colour" || name == "--color") {
    if (!Choose(value,
                {std::pair{"256", ColourMode::k256}, std::pair{"full", ColourMode::kFull},
                 std::pair{"bw", ColourMode::kBlackWhite}},
                &s.colour_mode))
      return "--colour takes 256, full or bw";
  } else if (name == "--scale") {
    if (!Choose<std::string>(value,
                             {{"1/1", "1/1"},
                              {"1/2", "1/2"},
                              {"1/3", "1/3"},
                              {"2/3", "2/3"},
                              {"3/4", "3/4"},
                              {"2x", "2×"},
                              {"2×", "2×"},
                              {"3x", "3×"},
                              {"3×", "3×"}},
                             &s.scale_text))
      return "--scale takes 1/1, 1/2, 1/3, 2/3, 3/4, 2x or 3x";
  } else if (name == "--level") {
    if (!ParseInt(value, v) || v < 0 || v > 10) return "--level takes 0..10";
    s.level = v;
  } else if (name == "--icon-size") {
    if (value != "16" && value != "32" && value != "64" && value != "128" && value != "256")
      return "--icon-size takes 16, 32, 64, 128 or 256";
    s.icon_size_text = value;
  } else if (name == "--delay") {
    // 0 is what the window's empty field stores, and an empty field means 30: refuse it
    // rather than silently write 30.
    if (!ParseInt(value, v) || v < 1 || v > 65535)
      return "--delay takes 1..65535 (1/100 s); 0 is not a delay (the default is 30)";
    s.delay_text = FormatDelayText(v);
  } else if (name == "--out-dir") {
    s.use_output_dir = true;
    s.output_dir = value.empty() ? "" : IncludeTrailingSlash(value);
  } else if (name == "--dispose") {
    if (!Choose(value,
                {std::pair{"keep", Disposal::kKeep}, std::pair{"trash", Disposal::kTrash},
                 std::pair{"delete", Disposal::kDelete}},
                &s.disposal))
      return "--dispose takes keep, trash or delete";
  }
  return "";
}

}  // namespace

std::string ApplyOverrides(const CliJob& job, ConversionSettings& s) {
  for (const auto& [name, value] : job.overrides) {
    if (const FlagOption* flag = FindFlag(name)) {
      s.*flag->field = flag->value;
      continue;
    }
    std::string error = ApplyValueOption(name, value, s);
    if (!error.empty()) return error;
  }
  return "";
}

namespace {
const char* OnOff(bool value) { return value ? "on" : "off"; }
}  // namespace

std::string DescribeSettings(const ConversionSettings& s) {
  std::string formats;
  for (const auto& row : OutputFormats())
    if (s.*row.ticked) formats += std::string(formats.empty() ? "" : ",") + row.Token();
  const char* colour = s.colour_mode == ColourMode::kFull         ? "full"
                       : s.colour_mode == ColourMode::kBlackWhite ? "bw"
                                                                  : "256";
  const char* dispose = s.disposal == Disposal::kKeep    ? "keep"
                        : s.disposal == Disposal::kTrash ? "trash"
                                                         : "delete";
  std::string scale = s.scale_text;
  for (auto [from, to] : {std::pair{"2×", "2x"}, std::pair{"3×", "3x"}})
    if (scale == from) scale = to;
  int delay = 30;
  if (!s.delay_text.empty()) ParseDelayText(s.delay_text, &delay);
  std::ostringstream out;
  out << "  --formats " << (formats.empty() ? "(none)" : formats) << "  --colour " << colour
      << "  --scale " << scale << "  --level " << s.level << "  --icon-size "
      << (s.icon_size_text.empty() ? "(none)" : s.icon_size_text) << "\n"
      << "  --delay " << delay << "  --dispose " << dispose << "  --out-dir "
      << (s.use_output_dir && !s.output_dir.empty() ? s.output_dir : "(beside the source)") << "\n"
      << "  transparent " << OnOff(s.transparency) << ", pdf-batch " << OnOff(s.pdf_batch)
      << ", gif-anime " << OnOff(s.gif_anime) << ", smooth " << OnOff(s.smooth_resize)
      << ", suffix-s " << OnOff(s.suffix_s) << ", keep-date " << OnOff(s.keep_date)
      << ", overwrite " << OnOff(s.overwrite) << ",\n  no-dialogs " << OnOff(s.no_dialogs)
      << ", pdf-order " << OnOff(s.pdf_order_dialog) << ", gif-order " << OnOff(s.gif_order_dialog)
      << ", preview " << OnOff(s.preview) << "\n";
  return out.str();
}

}  // namespace pamirune
