// The conversion driver: the batch entry FileDrop1FileDrop that every list of files goes
// through, and the single-image pipeline that writes each image in every ticked format.
// It reaches the user only through ConverterUi and the system only through Platform.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "app/disposal.h"
#include "app/header_sniffer.h"
#include "app/output_formats.h"
#include "app/platform.h"
#include "app/settings.h"
#include "raster/bitmap.h"
#include "raster/registry.h"

namespace pamirune {

class BatchOutputs;
struct TJPEGData;

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
  // Fills the format dialog from the settings and shows it; closing copies the values back.
  void ShowFormatDialog();
  // The program's format dialog, which lives as long as the program (its "変換後終了させない"
  // box keeps its state). Without one the converter uses its own.
  void SetFormatDialog(FormatDialogModel* dialog) {
    format_dialog_ = dialog ? dialog : &own_dialog_;
  }
  FormatDialogModel& FormatDialog() { return *format_dialog_; }

  // Result of the last batch: the output base and the last written extension.
  const std::string& OutputBase() const { return output_base_; }
  const std::string& LastExtension() const { return last_ext_; }
  bool Saved() const { return saved_; }

  // The picker's last answer (kept between showings).
  PickerResult& Picker() { return picker_; }

  // The batch PDF and the animated GIF are written as base + "pdf" / "gif" (base ends with its
  // dot); empty, the default: under the last image's output base.
  void SetBatchFileBase(std::string base) { batch_file_base_ = std::move(base); }

  // Going on after a failed file (the console's --keep-going): a file that cannot be read,
  // renamed or converted is handed to on_failed with the reason and the batch goes on with the
  // next one; the batch files gather the others. Unset (the window): the batch stops there.
  using FileFailed = std::function<void(const std::string& file, const std::string& reason)>;
  void SetKeepGoing(FileFailed on_failed) { on_file_failed_ = std::move(on_failed); }

  // For tests: a fixed "now" for the documents written (seconds since the epoch; 0 = clock).
  void SetFixedTime(int64_t unix_time) { fixed_time_ = unix_time; }

 private:
  struct ImageJob;

  BatchResult RunBatch(int num, std::vector<std::string>& files);
  void ShowInfo(const std::string& text);
  void ApplyTopmost();
  void RunOrderDialog(const std::string& caption, std::vector<std::string>& files, int& num);
  // Opens (preview) and stamps (keep source date) a written file, as the settings ask.
  void PreviewAndStamp(const std::string& file);
  // The output folder, completed with its separator, when it is used; nullptr otherwise.
  const std::string* UsedOutputDir();
  void ConvertFile(const std::string& file_name, int index, int icon_size);
  // Loads the source into working. Throws when it gives no picture; false when it was read
  // only in part (the user has been told).
  // jpeg: receives the source's encoded bytes when they may go into the PDF as they are.
  bool LoadSource(const std::string& file_name, TBitmap& working,
                  std::shared_ptr<const TJPEGData>* jpeg = nullptr);
  void ShowFileWarning(const std::string& file, const std::string& text);
  // Ends the batch at a file that failed, naming it.
  BatchResult StopAtFile(const std::string& file, const std::string& reason);
  void SharedSteps(ImageJob& job);
  std::string MakeOutputBase(const std::string& source);
  bool MayWrite(const std::string& path, OutputFormat format);
  // MayWrite for a file of the batch: never over another source of the batch, a question
  // naming both sources before replacing a file made from another one, and an output that
  // would replace its own source as the disposal setting says (keep: skipped; trash: the
  // source goes to the trash first; delete: replaced).
  bool MayWriteOutput(const std::string& path, OutputFormat format);
  // Counts a written file, and as made from the current source when of_batch_source.
  void NoteWritten(const std::string& path, bool of_batch_source);
  // Disposes of the sources whose files all still hold what was made from them.
  void DisposeSources(bool completed);
  void WriteFormats(ImageJob& job);
  void WriteFormat(ImageJob& job, OutputFormat format, const std::string& path);
  void FinishBatchFiles(bool completed);
  bool LastIsBatchFile() const;
  // With keep-going set: reports the file and returns true (go on); otherwise false.
  bool SkipFailedFile(const std::string& file, const std::string& reason);
  void MarkFailed(const std::string& file);
  const std::string& BatchFileBase() const {
    return batch_file_base_.empty() ? output_base_ : batch_file_base_;
  }
  // The PDF document of a PDF batch and the GIF object of an animation.
  void BeginBatchDocuments();
  void AbortBatchDocuments();
  // Writes the batch files at the end of a batch; the last one written, or empty.
  std::string WriteBatchFiles();
  int ParseIconSize() const;
  void ClipboardEnding(ImageJob& job);

  ConversionSettings& settings_;
  ConverterUi& ui_;
  Platform& platform_;
  bool started_with_arguments_ = false;
  int64_t fixed_time_ = 0;
  std::string batch_file_base_;
  FileFailed on_file_failed_;

  // Batch state.
  bool saved_ = false;
  std::vector<std::string> written_;  // every file the batch wrote, in order
  std::string output_base_;
  std::string last_ext_;
  std::array<uint8_t, kHeaderBytes> header_{};
  FileDate remembered_date_;
  PickerResult picker_;
  FormatDialogModel own_dialog_;
  FormatDialogModel* format_dialog_ = &own_dialog_;
  int clip_counter_ = 0;
  int picked_width_ = 0;  // size of the image the picker showed (0: not shown)
  int picked_height_ = 0;
  bool cancelled_ = false;  // clipboard path: an overwrite was declined
  TPicture picture_;
  std::unique_ptr<BatchOutputs> batch_;
};

}  // namespace pamirune
