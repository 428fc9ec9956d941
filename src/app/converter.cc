#include "app/converter.h"

#include <exception>

#include "app/batch_run.h"
#include "app/format_dialog_model.h"
#include "app/messages.h"
#include "raster/errors.h"
#include "raster/memory.h"

namespace pamirune {

ScaledSize ScaleTarget(const std::string& text, int w, int h) {
  if (text == "1/2") return {w / 2, h / 2};
  if (text == "1/3") return {w / 3, h / 3};
  if (text == "2/3") return {(w / 3) * 2, (h / 3) * 2};
  if (text == "3/4") return {(w / 4) * 3, (h / 4) * 3};
  if (text == "2×") return {w * 2, h * 2};
  if (text == "3×") return {w * 3, h * 3};
  return {};  // "1/1", and a text that names none of the factors, leave the size alone
}

Converter::Converter(ConversionSettings& settings, ConverterUi& ui, Platform& platform)
    : settings_(settings), ui_(ui), platform_(platform) {
  ReturnLargeBuffersWhenFreed();
}

Converter::~Converter() = default;

void Converter::ApplyTopmost() { ui_.SetTopmost(settings_.always_on_top); }

void Converter::ShowInfo(const std::string& text) {
  ui_.SetTopmost(true);
  ui_.ShowInfo(text);
  if (!settings_.always_on_top) ui_.SetTopmost(false);
}

void Converter::ShowFormatDialog() { RunFormatDialog(settings_, *format_dialog_, ui_); }

int Converter::ParseIconSize() const {
  try {
    size_t used = 0;
    int size = std::stoi(settings_.icon_size_text, &used);
    if (used == settings_.icon_size_text.size() && size > 0 && size <= 256) return size;
  } catch (const std::exception&) {
  }
  throw Exception(msg::kBadIconSize);
}

BatchResult Converter::FileDrop1FileDrop(int num, std::vector<std::string>& files) {
  BatchRun run(*this);
  try {
    return run.Run(num, files);
  } catch (const std::exception& e) {
    // Whatever ends a batch by an error reaches the user; files already written stay, and the
    // files of the batch that were not finished are dropped, never written half.
    run.Abandon();
    ui_.ShowError(e.what());
    ui_.SetDropCaption(msg::kDropHere);
    return BatchResult::kStopped;
  }
}

void Converter::ConvertClipboard() {
  ++clip_counter_;
  BatchRun run(*this);
  try {
    int icon_size = settings_.write_ico ? ParseIconSize() : 32;
    std::unique_ptr<TBitmap> bitmap =
        platform_.ClipboardHasBitmap() ? platform_.ClipboardBitmap() : nullptr;
    if (!bitmap || bitmap->Empty()) {
      if (!settings_.no_dialogs) ShowInfo(msg::kNoClipboardBitmap);
      ui_.SetProgressVisible(false);
      ui_.SetStatusText(msg::kNoClipboardBitmap);
    } else {
      run.ConvertClipboard(std::move(*bitmap), icon_size);
    }
  } catch (const std::exception& e) {
    run.AbortClipboard();
    ui_.ShowError(e.what());
  }
  ui_.SetDropCaption(std::string(msg::kDropHere) + "\n\r" + settings_.output_dir);
}

}  // namespace pamirune
