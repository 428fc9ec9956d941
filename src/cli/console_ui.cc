#include "cli/console_ui.h"

#include <unistd.h>

#include "app/dialog_models.h"
#include "app/messages.h"
#include "raster/bitmap.h"

namespace pamirune {

namespace {
// The window's texts break lines with "\n\r"; a terminal wants "\n" alone.
std::string TerminalText(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}
}  // namespace

ConsoleUi::ConsoleUi(Answer answer, std::FILE* out, std::FILE* err, std::FILE* in, bool quiet)
    : answer_(answer),
      out_(out),
      err_(err),
      in_(in),
      interactive_(in && ::isatty(::fileno(in))),
      quiet_(quiet) {}

void ConsoleUi::ShowInfo(const std::string& text) {
  if (quiet_) return;
  std::fprintf(out_, "%s\n", TerminalText(text).c_str());
  std::fflush(out_);
}

bool ConsoleUi::Confirm(const std::string& text) {
  // The command line already names the files: a batch is never asked about. Questions that
  // protect files (rename, overwrite) are.
  if (text == msg::kConfirmBatch) return true;
  const bool asked = answer_ == Answer::kAsk && interactive_;
  if (!quiet_ || asked) std::fprintf(out_, "%s\n", TerminalText(text).c_str());
  if (answer_ == Answer::kYes) {
    if (!quiet_) std::fprintf(out_, "  -> OK\n");
    return true;
  }
  if (!asked) {
    if (!quiet_) std::fprintf(out_, "  -> Cancel\n");
    std::fflush(out_);
    if (answer_ != Answer::kNo) {
      std::string question = quiet_ ? " \"" + TerminalText(text) + "\"" : "";
      std::fprintf(
          err_, "pamirune-cli: no terminal to answer%s on: Cancel (--yes answers OK%s)\n",
          question.c_str(),
          text.find(msg::kExistsOverwrite) != std::string::npos ? ", --overwrite replaces" : "");
      std::fflush(err_);
    }
    return false;
  }
  std::fprintf(out_, "OK? [y/N] ");
  std::fflush(out_);
  char line[64] = {0};
  if (!std::fgets(line, sizeof line, in_)) return false;
  return line[0] == 'y' || line[0] == 'Y';
}

void ConsoleUi::ShowError(const std::string& text) {
  had_error_ = true;
  std::fprintf(err_, "pamirune-cli: error: %s\n", TerminalText(text).c_str());
  std::fflush(err_);
}

void ConsoleUi::ShowFileError(const std::string& file, const std::string& text) {
  had_error_ = true;
  std::fprintf(err_, "pamirune-cli: %s: %s\n", file.c_str(), TerminalText(text).c_str());
  std::fflush(err_);
}

void ConsoleUi::ShowFileWarning(const std::string& file, const std::string& text) {
  std::fprintf(err_, "pamirune-cli: %s: %s\n", file.c_str(), TerminalText(text).c_str());
  std::fflush(err_);
}

void ConsoleUi::FileStarting(const std::string& file, int index, int count) {
  // Each file is named before it is read, so what follows is plainly about it.
  if (quiet_) return;
  std::fprintf(err_, "[%d/%d] %s\n", index + 1, count, file.c_str());
  std::fflush(err_);
}

void ConsoleUi::ShowFormatDialog(FormatDialogModel&) {}

void ConsoleUi::ShowOrderDialog(OrderDialogModel&) {}  // the given order is kept

void ConsoleUi::ShowTransparentPicker(const TBitmap& image, PickerResult& result) {
  // No picking on a terminal: the top-left pixel, as without the picker.
  result.x = 0;
  result.y = 0;
  result.color = image.Pixel(0, 0);
}

}  // namespace pamirune
