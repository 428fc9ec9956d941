// One run of the converter: a batch of files (or one clipboard image) from its start to its
// end. It holds everything that lives exactly as long as the run — the sources with the files
// made from them, the documents of a PDF batch and an animation, the output base and the last
// written extension — and borrows the settings, the two seams and what outlives a run from its
// Converter.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/converter.h"
#include "app/output_writer.h"

namespace pamirune {

class BatchRun {
 public:
  explicit BatchRun(Converter& converter);
  ~BatchRun();
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;

  // Walks the list (changed in place by renames and the order dialog).
  BatchResult Run(int num, std::vector<std::string>& files);
  // Ends a run that an error broke off: the batch files are dropped, never written half.
  void Abandon() { FinishBatchFiles(false); }
  // Converts the clipboard's bitmap into every ticked format.
  void ConvertClipboard(TBitmap bitmap, int icon_size);
  // Drops the clipboard's document after an error.
  void AbortClipboard();

 private:
  // A source with the files made from it. Sources are disposed of at the end of the batch, and
  // only those whose files all still hold what was made from them: a later image of the same
  // batch that replaced one of them (same name, or the same output folder) keeps the earlier
  // source alive.
  struct MadeFile {
    std::string path;
    FileInfo info;  // identity, size and time right after writing
  };
  struct Source {
    std::string path;
    std::optional<FileInfo> loaded;    // the file as it was read
    std::vector<std::string> outputs;  // every output name of its image
    std::vector<MadeFile> made;        // the files written from it
    bool whole = true;                 // read in full; a source read in part is never disposed of
    bool in_batch_file = false;        // a page or frame of the batch's PDF or animation
    bool gone = false;                 // already moved to the trash before its own output
  };
  enum class Intake { kConvert, kSkip, kStop };
  struct ImageJob;

  // batch_run.cc: the batch.
  Intake TakeIn(std::string& file, int index, int num);
  Intake CheckKind(std::string& file, const std::string& ext);
  void ReportDone();
  void RunOrderDialog(const std::string& caption, std::vector<std::string>& files, int& num);
  bool SkipFailedFile(const std::string& file, const std::string& reason);
  void MarkFailed(const std::string& file);
  BatchResult StopAtFile(const std::string& file, const std::string& reason);
  void FinishBatchFiles(bool completed);
  std::string WriteBatchFiles();
  bool LastIsBatchFile() const;
  const std::string& BatchFileBase() const;
  void DisposeSources(bool completed);
  // MayWrite for a file of the batch: never over another source of the batch, a question
  // naming both sources before replacing a file made from another one, and an output that
  // would replace its own source as the disposal setting says (keep: skipped; trash: the
  // source goes to the trash first; delete: replaced).
  bool MayWriteOutput(const std::string& path);
  bool MayReplaceOwnSource(Source& own, const std::string& path);
  bool MayWrite(const std::string& path);
  // Counts a written file, and as made from the current source when of_batch_source.
  void NoteWritten(const std::string& path, bool of_batch_source);

  // image_pipeline.cc: one image.
  void ConvertFile(const std::string& file_name, int index, int icon_size);
  void AddSource(const std::string& file_name, const std::optional<FileInfo>& info, bool whole);
  // Loads the source into working. Throws when it gives no picture; false when it was read
  // only in part (the user has been told).
  // jpeg: receives the source's encoded bytes when they may go into the PDF as they are.
  bool LoadSource(const std::string& file_name, TBitmap& working,
                  std::shared_ptr<const TJPEGData>* jpeg = nullptr);
  void SharedSteps(ImageJob& job);
  void PrepareOutputs(ImageJob& job);
  void WriteFormats(ImageJob& job);
  void ClipboardEnding(ImageJob& job);
  std::string MakeOutputBase(const std::string& source);
  // The output folder, completed with its separator, when it is used; nullptr otherwise.
  const std::string* UsedOutputDir();
  // Opens (preview) and stamps (keep source date) a written file, as the settings ask.
  void PreviewAndStamp(const std::string& file);
  void ShowInfo(const std::string& text);
  void ShowFileWarning(const std::string& file, const std::string& text);

  Converter& converter_;
  ConversionSettings& settings_;
  ConverterUi& ui_;
  Platform& platform_;

  bool saved_ = false;                // a file was written
  std::vector<std::string> written_;  // every file the run wrote, in order
  std::string output_base_;
  std::string last_ext_;
  bool cancelled_ = false;  // an overwrite was declined
  std::vector<Source> sources_;
  // The batch's list (entries still to be converted are sources as much as the done ones).
  const std::vector<std::string>* files_ = nullptr;
  int current_ = -1;  // index of the image being converted, and of the last one afterwards
  BatchDocuments documents_;
};

}  // namespace pamirune
