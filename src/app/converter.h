// The conversion driver: the batch entry FileDrop1FileDrop that every list of files goes
// through, and the clipboard path. Each runs as one BatchRun (app/batch_run.h), which takes
// every image through the pipeline and writes it in every ticked format. It reaches the user
// only through ConverterUi and the system only through Platform.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "app/disposal.h"
#include "app/platform.h"
#include "app/settings.h"
#include "raster/bitmap.h"

namespace pamirune {

enum class BatchResult {
  kCompleted,  // the list was walked to its end
  kStopped,    // a file was rejected, a rename declined, or an error ended the batch
  kNothing,    // declined at the start, or no format ticked
};

// Target size of the scale factor text; nullopt-like {-1,-1} for "1/1" and unknown texts.
struct ScaledSize {
  int width = -1;
  int height = -1;
  bool scaled() const { return width >= 0; }
};
ScaledSize ScaleTarget(const std::string& scale_text, int width, int height);

class Converter {
 public:
  Converter(ConversionSettings& settings, ConverterUi& ui, Platform& platform);
  ~Converter();

  // The batch entry: walks the list (changed in place by renames and the order dialog).
  BatchResult FileDrop1FileDrop(int num, std::vector<std::string>& files);

  // The clipboard path: converts the clipboard's bitmap into every ticked format.
  void ConvertClipboard();
  int ClipCounter() const { return clip_counter_; }
  void SetClipCounter(int value) { clip_counter_ = value; }

  // True on a start with command-line files: the format dialog is then not shown by the batch.
  void SetStartedWithArguments(bool value) { started_with_arguments_ = value; }
  // The program's format dialog, which lives as long as the program (its "変換後終了させない"
  // box keeps its state). Without one the converter uses its own.
  void SetFormatDialog(FormatDialogModel* dialog) {
    format_dialog_ = dialog ? dialog : &own_dialog_;
  }
  FormatDialogModel& FormatDialog() { return *format_dialog_; }

  // The batch PDF and the animated GIF are written as base + "pdf" / "gif" (base ends with its
  // dot); empty, the default: under the last image's output base.
  void SetBatchFileBase(std::string base) { batch_file_base_ = std::move(base); }

  // Going on after a failed file (the console's --keep-going): a file that cannot be read,
  // renamed or converted is handed to on_failed with the reason and the batch goes on with the
  // next one; the batch files gather the others. Unset (the window): the batch stops there.
  using FileFailed = std::function<void(const std::string& file, const std::string& reason)>;
  void SetKeepGoing(FileFailed on_failed) { on_file_failed_ = std::move(on_failed); }

 private:
  friend class BatchRun;

  // Fills the format dialog from the settings and shows it; closing copies the values back.
  void ShowFormatDialog();
  void ApplyTopmost();
  // An information box shown topmost.
  void ShowInfo(const std::string& text);
  int ParseIconSize() const;

  ConversionSettings& settings_;
  ConverterUi& ui_;
  Platform& platform_;
  bool started_with_arguments_ = false;
  std::string batch_file_base_;
  FileFailed on_file_failed_;
  // What outlives a batch: the source date remembered for keep source date (until the next
  // file read with it set), the picker's last answer, the format dialog and the clipboard
  // file counter.
  FileDate remembered_date_;
  PickerResult picker_;
  FormatDialogModel own_dialog_;
  FormatDialogModel* format_dialog_ = &own_dialog_;
  int clip_counter_ = 0;
};

}  // namespace pamirune
