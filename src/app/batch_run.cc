#include "app/batch_run.h"

#include <algorithm>
#include <ctime>

#include "app/format_dialog_model.h"
#include "app/header_sniffer.h"
#include "app/messages.h"
#include "app/shf_operation.h"
#include "raster/file_path.h"

namespace pamirune {

namespace {

bool SameState(const FileInfo& a, const FileInfo& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_sec == b.mtime_sec && a.mtime_nsec == b.mtime_nsec;
}

}  // namespace

BatchRun::BatchRun(Converter& converter)
    : converter_(converter),
      settings_(converter.settings_),
      ui_(converter.ui_),
      platform_(converter.platform_) {}

BatchRun::~BatchRun() = default;

BatchResult BatchRun::Run(int num, std::vector<std::string>& files) {
  if (num > static_cast<int>(files.size())) num = static_cast<int>(files.size());
  ui_.SetProgressVisible(true);
  ui_.SetStatusText("");
  // The icon size only matters when an icon is written; an unset size never stops a batch
  // that writes none.
  int icon_size = settings_.write_ico ? converter_.ParseIconSize() : 32;
  converter_.ApplyTopmost();

  if (num >= 2 && !settings_.no_dialogs && !ui_.Confirm(msg::kConfirmBatch))
    return BatchResult::kNothing;

  ui_.SetProgressPosition(0);
  ui_.SetProgressMax(num);

  if (!settings_.AnyFormat()) {
    if (!converter_.started_with_arguments_)
      converter_.ShowFormatDialog();
    else
      FillFormatDialog(settings_, *converter_.format_dialog_);
    if (!settings_.AnyFormat()) return BatchResult::kNothing;
    if (settings_.write_ico) icon_size = converter_.ParseIconSize();
  }

  if (settings_.pdf_batch && settings_.write_pdf) documents_.pdf.BeginDoc();

  if (settings_.pdf_batch && settings_.pdf_order_dialog && files.size() > 1)
    RunOrderDialog(msg::kPdfOrderCaption, files, num);
  if (settings_.write_gif && settings_.gif_order_dialog && files.size() > 1)
    RunOrderDialog(msg::kGifOrderCaption, files, num);

  files_ = &files;
  for (int i = 0; i < num; ++i) {
    Intake intake = TakeIn(files[i], i, num);
    if (intake == Intake::kSkip) continue;
    if (intake == Intake::kStop) return BatchResult::kStopped;
    // Whatever fails while this file is read, converted or written is an error of this file:
    // nothing more is written from it and it is not disposed of.
    try {
      ConvertFile(files[i], i, icon_size);
    } catch (const std::exception& e) {
      if (SkipFailedFile(files[i], e.what())) continue;
      return StopAtFile(files[i], e.what());
    }
  }

  if (settings_.gif_anime && settings_.write_gif) last_ext_ = "gif";
  FinishBatchFiles(true);
  if (LastIsBatchFile()) output_base_ = BatchFileBase();
  ReportDone();
  ui_.SetDropCaption(msg::kDropHere);
  return BatchResult::kCompleted;
}

BatchRun::Intake BatchRun::TakeIn(std::string& file, int index, int num) {
  ui_.FileStarting(file, index, num);
  std::string ext = LowerAscii(ExtractFileExt(file));
  if (!AcceptedExtension(ext)) {
    if (SkipFailedFile(file, msg::kUnsupportedExtension)) return Intake::kSkip;
    if (!settings_.no_dialogs) ShowFileWarning(file, msg::kUnsupportedExtension);
    ui_.SetProgressVisible(false);
    ui_.SetStatusText(msg::kUnsupportedExtension);
    FinishBatchFiles(false);
    return Intake::kStop;
  }
  return CheckKind(file, ext);
}

// The file's kind by its first bytes; a name that does not fit it is renamed after a question.
BatchRun::Intake BatchRun::CheckKind(std::string& file, const std::string& ext) {
  // The header is cleared for every file, so a short file is never judged by the bytes of the
  // one before.
  FileHeader header{};
  try {
    std::vector<uint8_t> head = platform_.ReadFileHead(file, kHeaderBytes);
    std::copy_n(head.begin(), std::min(head.size(), header.size()), header.begin());
  } catch (const std::exception& e) {
    if (SkipFailedFile(file, e.what())) return Intake::kSkip;
    StopAtFile(file, e.what());
    return Intake::kStop;
  }
  std::optional<OutputFormat> kind = SniffHeader(header);
  if (!kind) {
    if (SkipFailedFile(file, msg::kUnsupportedContent)) return Intake::kSkip;
    ShowFileWarning(file, msg::kUnsupportedContent);
    FinishBatchFiles(false);
    return Intake::kStop;
  }
  if (ExtensionFitsKind(*kind, ext)) return Intake::kConvert;
  std::string proposed = ChangeFileExt(file, RenameTarget(*kind));
  std::string prompt = KindGuessText(*kind) + "\n\r[" + proposed + "]\n\r" + msg::kRenameQuestion;
  if (!ui_.Confirm(prompt)) {
    if (SkipFailedFile(file, "not renamed to " + proposed + ": " + KindGuessText(*kind)))
      return Intake::kSkip;
    FinishBatchFiles(false);
    return Intake::kStop;
  }
  if (!platform_.RenameFile(file, proposed)) {
    if (SkipFailedFile(file, std::string(msg::kRenameFailed) + " → " + proposed))
      return Intake::kSkip;
    // Going on would convert whatever the proposed name refers to: stop instead.
    ShowInfo(std::string(msg::kRenameFailed) + "\n" + file + " → " + proposed);
    ui_.SetStatusText(msg::kRenameFailed);
    FinishBatchFiles(false);
    return Intake::kStop;
  }
  file = proposed;
  return Intake::kConvert;
}

void BatchRun::ReportDone() {
  if (!saved_) return;
  // The last format's file when it was written; otherwise the file written last.
  std::string last_file = output_base_ + last_ext_;
  if (std::find(written_.begin(), written_.end(), last_file) == written_.end())
    last_file = written_.back();
  std::string done = last_file + msg::kSavedDone;
  if (!settings_.no_dialogs) ShowInfo(done);
  ui_.SetProgressVisible(false);
  ui_.SetStatusText(done);
  ui_.SetProgressPosition(0);
  if (auto info = platform_.FindFile(last_file))
    ui_.SetStatusText(done + std::to_string(info->size / 1024) + msg::kKbSuffix);
}

void BatchRun::MarkFailed(const std::string& file) {
  // Whatever it made before the failure stays, but the source is not disposed of.
  for (auto& source : sources_)
    if (source.path == file) source.whole = false;
}

bool BatchRun::SkipFailedFile(const std::string& file, const std::string& reason) {
  if (!converter_.on_file_failed_) return false;
  MarkFailed(file);
  converter_.on_file_failed_(file, reason);
  ui_.SetDropCaption(msg::kDropHere);
  return true;
}

BatchResult BatchRun::StopAtFile(const std::string& file, const std::string& reason) {
  MarkFailed(file);
  FinishBatchFiles(false);
  ui_.ShowFileError(file, reason);
  ui_.SetDropCaption(msg::kDropHere);
  return BatchResult::kStopped;
}

void BatchRun::RunOrderDialog(const std::string& caption, std::vector<std::string>& files,
                              int& num) {
  OrderDialogModel model;
  model.caption = caption;
  for (const auto& f : files) {
    OrderRow row;
    row.path = f;
    if (auto info = platform_.FindFile(f)) {
      row.size_text = std::to_string(info->size) + msg::kByteSuffix;
      std::time_t t = static_cast<std::time_t>(info->mtime_sec);
      std::tm local{};
      localtime_r(&t, &local);
      char buf[64];
      std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &local);
      row.date_text = buf;
    }
    model.rows.push_back(row);
  }
  ui_.ShowOrderDialog(model);
  files.clear();
  for (const auto& row : model.rows) files.push_back(row.path);
  num = static_cast<int>(files.size());
}

const std::string& BatchRun::BatchFileBase() const {
  return converter_.batch_file_base_.empty() ? output_base_ : converter_.batch_file_base_;
}

bool BatchRun::LastIsBatchFile() const {
  return (last_ext_ == "pdf" && settings_.pdf_batch && settings_.write_pdf) ||
         (last_ext_ == "gif" && settings_.gif_anime && settings_.write_gif);
}

void BatchRun::FinishBatchFiles(bool completed) {
  if (!completed) {
    // A stopped batch writes no batch file.
    if (documents_.pdf.Active()) documents_.pdf.Abort();
    documents_.gif = std::make_unique<TGIFImage>();
  } else {
    std::string batch_file = WriteBatchFiles();
    if (!batch_file.empty() && LastIsBatchFile()) PreviewAndStamp(batch_file);
  }
  DisposeSources(completed);
}

std::string BatchRun::WriteBatchFiles() {
  std::string written;
  // Each batch file is made from every source of the batch file.
  auto note = [&](const std::string& path) {
    written = path;
    written_.push_back(path);
    saved_ = true;
    auto info = platform_.FindFile(path);
    if (!info) return;
    for (auto& source : sources_)
      if (source.in_batch_file) source.made.push_back({path, *info});
  };
  if (settings_.gif_anime && settings_.write_gif && !documents_.gif->Empty()) {
    std::string path = BatchFileBase() + "gif";
    if (MayWriteOutput(path)) {
      documents_.gif->SaveToFile(path);
      note(path);
    }
  }
  ImagePdfReport& pdf = documents_.pdf;
  if (pdf.Active()) {
    // Written under the name the last image gave it, under the overwrite rule of every other
    // output; an empty document is never written.
    std::string path = pdf.FileName();
    if (pdf.PageCount() > 0 && MayWriteOutput(path)) {
      pdf.EndDoc();
      note(path);
    } else {
      pdf.Abort();
    }
  }
  documents_.gif = std::make_unique<TGIFImage>();
  return written;
}

void BatchRun::DisposeSources(bool completed) {
  std::vector<Source> sources = std::move(sources_);
  sources_.clear();
  files_ = nullptr;
  if (settings_.disposal == Disposal::kKeep) return;
  for (const auto& source : sources) {
    if (!source.whole || source.gone || source.made.empty()) continue;
    // A stopped batch disposes of none of the sources of its batch files.
    if (source.in_batch_file && !completed) continue;
    bool intact = true;
    for (const auto& made : source.made) {
      auto now = platform_.FindFile(made.path);
      if (!now || !SameState(*now, made.info)) intact = false;
    }
    if (!intact) {
      ShowFileWarning(source.path, msg::kNotDisposedReplaced);
      continue;
    }
    // The source must still be the file that was read (not one of the outputs by now).
    auto now = platform_.FindFile(source.path);
    if (!now || !source.loaded || now->device != source.loaded->device ||
        now->inode != source.loaded->inode)
      continue;
    DisposeSource(platform_, settings_.disposal, source.path, source.outputs);
  }
}

void BatchRun::NoteWritten(const std::string& path, bool of_batch_source) {
  written_.push_back(path);
  saved_ = true;
  if (!of_batch_source || sources_.empty()) return;
  if (auto info = platform_.FindFile(path)) sources_.back().made.push_back({path, *info});
}

bool BatchRun::MayWriteOutput(const std::string& path) {
  Source* own = files_ && !sources_.empty() ? &sources_.back() : nullptr;
  if (!own) return MayWrite(path);
  if (IsOneOfOutputs(platform_, own->path, {path})) return MayReplaceOwnSource(*own, path);
  // Never over another source of this batch: one still to come has not been read, and one
  // already read may have to stay.
  for (size_t k = 0; k < files_->size(); ++k) {
    if (static_cast<int>(k) == current_) continue;
    if (IsOneOfOutputs(platform_, (*files_)[k], {path})) {
      ShowFileWarning(path, msg::kWouldReplaceSource);
      return false;
    }
  }
  // A file this batch made from another source: asked even with overwrite silently set.
  for (const auto& other : sources_) {
    if (&other == own) continue;
    for (const auto& made : other.made) {
      if (made.path != path && !platform_.SameFile(made.path, path)) continue;
      if (ui_.ConfirmRisky(std::string(msg::kFilePrefix) + path + msg::kMadeInThisBatch + "\n" +
                           msg::kMadeFromLabel + other.path + "\n" + msg::kNowFromLabel +
                           own->path))
        return true;
      cancelled_ = true;
      return false;
    }
  }
  return MayWrite(path);
}

// The output would replace its own source. One read only in part is never replaced.
bool BatchRun::MayReplaceOwnSource(Source& own, const std::string& path) {
  if (!own.whole) {
    ShowFileWarning(path, msg::kPartSourceKept);
    return false;
  }
  switch (settings_.disposal) {
    case Disposal::kKeep:
      ShowFileWarning(path, msg::kOwnSourceKept);
      return false;
    case Disposal::kTrash: {
      if (own.gone) return MayWrite(path);
      if (!MayWrite(path)) return false;
      // The original goes to the trash first, so it stays recoverable.
      TShfOperation operation(platform_);
      ConfigureForTrash(operation);
      operation.SetFromFFList({own.path});
      bool moved = operation.Execute() == 0;
      if (auto still = platform_.FindFile(own.path); still && own.loaded)
        moved = moved && still->inode != own.loaded->inode;
      if (!moved) {
        ShowFileWarning(path, msg::kTrashFailed);
        return false;
      }
      own.gone = true;
      return true;
    }
    case Disposal::kDelete:
      break;
  }
  return MayWrite(path);
}

bool BatchRun::MayWrite(const std::string& path) {
  if (!platform_.FileExists(path)) return true;
  if (settings_.overwrite) return true;
  if (ui_.Confirm(std::string(msg::kFilePrefix) + path + msg::kExistsOverwrite)) return true;
  cancelled_ = true;
  return false;
}

}  // namespace pamirune
