#include "app/converter.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>

#include "app/format_dialog_model.h"
#include "app/messages.h"
#include "app/settings_io.h"
#include "app/shf_operation.h"
#include "formats/gif/gif.h"
#include "formats/gif/gif_frames.h"
#include "formats/ico/ico.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/mag/mag_image.h"
#include "formats/png/png_image.h"
#include "formats/tiff/tiff.h"
#include "pdf/image_pdf_report.h"
#include "raster/dib_image.h"
#include "raster/errors.h"
#include "raster/file_path.h"
#include "raster/gray_bitmap.h"
#include "raster/memory.h"
#include "raster/orientation.h"
#include "raster/resample.h"

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

namespace {

bool SameState(const FileInfo& a, const FileInfo& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_sec == b.mtime_sec && a.mtime_nsec == b.mtime_nsec;
}

}  // namespace

// What lives across one batch: the files written only at its end, and every source with the
// files made from it. Sources are disposed of at the end of the batch, and only those whose
// files all still hold what was made from them: a later image of the same batch that replaced
// one of them (same name, or the same output folder) keeps the earlier source alive.
class BatchOutputs {
 public:
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
  std::vector<Source> sources;
  // The batch's list (entries still to be converted are sources as much as the done ones).
  const std::vector<std::string>* files = nullptr;
  int current = -1;  // index of the image being converted, and of the last one afterwards
  // The document of a PDF batch (and of a clipboard conversion with PDF batch set).
  ImagePdfReport pdf;
  // The GIF object: with the animation it collects one frame per image of the batch.
  std::unique_ptr<TGIFImage> gif = std::make_unique<TGIFImage>();
};

struct Converter::ImageJob {
  bool clipboard = false;
  std::string source;  // empty on the clipboard path
  int index = 0;
  int icon_size = 32;
  TBitmap working;
  DibImage dib;        // the image in the chosen colour depth
  TBitmap dib_bitmap;  // the same as a Raster image, for the writers
  std::unique_ptr<TJPEGImage> jpeg;
  std::unique_ptr<PngImage> png;
  std::unique_ptr<TMAGImage> mag;
  std::unique_ptr<TGIFImage> clip_gif;  // the clipboard path's own GIF object
  // The source's JPEG bytes while its PDF page may still hold them as they are.
  std::shared_ptr<const TJPEGData> pdf_jpeg;
  std::vector<std::string> written;  // files this image wrote (batch files aside)
};

Converter::Converter(ConversionSettings& settings, ConverterUi& ui, Platform& platform)
    : settings_(settings), ui_(ui), platform_(platform), batch_(std::make_unique<BatchOutputs>()) {
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
  try {
    return RunBatch(num, files);
  } catch (const std::exception& e) {
    // Whatever ends a batch by an error reaches the user; files already written stay, and the
    // files of the batch that were not finished are dropped, never written half.
    FinishBatchFiles(false);
    ui_.ShowError(e.what());
    ui_.SetDropCaption(msg::kDropHere);
    return BatchResult::kStopped;
  }
}

BatchResult Converter::RunBatch(int num, std::vector<std::string>& files) {
  if (num > static_cast<int>(files.size())) num = static_cast<int>(files.size());
  ui_.SetProgressVisible(true);
  ui_.SetStatusText("");
  // The icon size only matters when an icon is written; an unset size never stops a batch
  // that writes none.
  int icon_size = settings_.write_ico ? ParseIconSize() : 32;
  ApplyTopmost();
  saved_ = false;
  written_.clear();
  batch_->sources.clear();
  batch_->files = nullptr;
  batch_->current = -1;

  if (num >= 2 && !settings_.no_dialogs && !ui_.Confirm(msg::kConfirmBatch))
    return BatchResult::kNothing;

  ui_.SetProgressPosition(0);
  ui_.SetProgressMax(num);

  if (!settings_.AnyFormat()) {
    if (!started_with_arguments_)
      ShowFormatDialog();
    else
      FillFormatDialog(settings_, *format_dialog_);
    if (!settings_.AnyFormat()) return BatchResult::kNothing;
    if (settings_.write_ico) icon_size = ParseIconSize();
  }

  AbortBatchDocuments();  // a document left open by an earlier, stopped batch is dropped
  BeginBatchDocuments();

  if (settings_.pdf_batch && settings_.pdf_order_dialog && files.size() > 1)
    RunOrderDialog(msg::kPdfOrderCaption, files, num);
  if (settings_.write_gif && settings_.gif_order_dialog && files.size() > 1)
    RunOrderDialog(msg::kGifOrderCaption, files, num);

  batch_->files = &files;
  for (int i = 0; i < num; ++i) {
    ui_.FileStarting(files[i], i, num);
    std::string ext = LowerAscii(ExtractFileExt(files[i]));
    if (!AcceptedExtension(ext)) {
      if (SkipFailedFile(files[i], msg::kUnsupportedExtension)) continue;
      if (!settings_.no_dialogs) ShowFileWarning(files[i], msg::kUnsupportedExtension);
      ui_.SetProgressVisible(false);
      ui_.SetStatusText(msg::kUnsupportedExtension);
      FinishBatchFiles(false);
      return BatchResult::kStopped;
    }

    // The header buffer is cleared for every file, so a short file is never judged by the
    // bytes of the one before.
    header_.fill(0);
    std::vector<uint8_t> head;
    try {
      head = platform_.ReadFileHead(files[i], kHeaderBytes);
    } catch (const std::exception& e) {
      if (SkipFailedFile(files[i], e.what())) continue;
      return StopAtFile(files[i], e.what());
    }
    std::copy(head.begin(), head.end(), header_.begin());
    std::optional<OutputFormat> sniffed = SniffHeader(header_);
    if (!sniffed) {
      if (SkipFailedFile(files[i], msg::kUnsupportedContent)) continue;
      ShowFileWarning(files[i], msg::kUnsupportedContent);
      FinishBatchFiles(false);
      return BatchResult::kStopped;
    }
    const OutputFormat kind = *sniffed;
    if (!ExtensionFitsKind(kind, ext)) {
      std::string proposed = ChangeFileExt(files[i], RenameTarget(kind));
      std::string prompt =
          KindGuessText(kind) + "\n\r[" + proposed + "]\n\r" + msg::kRenameQuestion;
      if (!ui_.Confirm(prompt)) {
        if (SkipFailedFile(files[i], "not renamed to " + proposed + ": " + KindGuessText(kind)))
          continue;
        FinishBatchFiles(false);
        return BatchResult::kStopped;
      }
      if (!platform_.RenameFile(files[i], proposed)) {
        if (SkipFailedFile(files[i], std::string(msg::kRenameFailed) + " → " + proposed)) continue;
        // Going on would convert whatever the proposed name refers to: stop instead.
        ShowInfo(std::string(msg::kRenameFailed) + "\n" + files[i] + " → " + proposed);
        ui_.SetStatusText(msg::kRenameFailed);
        FinishBatchFiles(false);
        return BatchResult::kStopped;
      }
      files[i] = proposed;
    }
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

  if (saved_) {
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
  ui_.SetDropCaption(msg::kDropHere);
  return BatchResult::kCompleted;
}

void Converter::MarkFailed(const std::string& file) {
  // Whatever it made before the failure stays, but the source is not disposed of.
  for (auto& source : batch_->sources)
    if (source.path == file) source.whole = false;
}

bool Converter::SkipFailedFile(const std::string& file, const std::string& reason) {
  if (!on_file_failed_) return false;
  MarkFailed(file);
  on_file_failed_(file, reason);
  ui_.SetDropCaption(msg::kDropHere);
  return true;
}

BatchResult Converter::StopAtFile(const std::string& file, const std::string& reason) {
  MarkFailed(file);
  FinishBatchFiles(false);
  ui_.ShowFileError(file, reason);
  ui_.SetDropCaption(msg::kDropHere);
  return BatchResult::kStopped;
}

void Converter::RunOrderDialog(const std::string& caption, std::vector<std::string>& files,
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

bool Converter::LastIsBatchFile() const {
  return (last_ext_ == "pdf" && settings_.pdf_batch && settings_.write_pdf) ||
         (last_ext_ == "gif" && settings_.gif_anime && settings_.write_gif);
}

void Converter::FinishBatchFiles(bool completed) {
  if (!completed) {
    // A stopped batch writes no batch file.
    AbortBatchDocuments();
  } else {
    std::string batch_file = WriteBatchFiles();
    if (!batch_file.empty() && LastIsBatchFile()) PreviewAndStamp(batch_file);
  }
  DisposeSources(completed);
}

void Converter::DisposeSources(bool completed) {
  std::vector<BatchOutputs::Source> sources = std::move(batch_->sources);
  batch_->sources.clear();
  batch_->files = nullptr;
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

void Converter::NoteWritten(const std::string& path, bool of_batch_source) {
  written_.push_back(path);
  saved_ = true;
  if (!of_batch_source || batch_->sources.empty()) return;
  if (auto info = platform_.FindFile(path)) batch_->sources.back().made.push_back({path, *info});
}

bool Converter::MayWriteOutput(const std::string& path, OutputFormat format) {
  BatchOutputs::Source* own =
      batch_->files && !batch_->sources.empty() ? &batch_->sources.back() : nullptr;
  if (!own) return MayWrite(path, format);
  const std::vector<std::string>& files = *batch_->files;
  const bool replaces_own = IsOneOfOutputs(platform_, own->path, {path});
  if (!replaces_own) {
    // Never over another source of this batch: one still to come has not been read, and one
    // already read may have to stay.
    for (size_t k = 0; k < files.size(); ++k) {
      if (static_cast<int>(k) == batch_->current) continue;
      if (IsOneOfOutputs(platform_, files[k], {path})) {
        ShowFileWarning(path, msg::kWouldReplaceSource);
        return false;
      }
    }
    // A file this batch made from another source: asked even with overwrite silently set.
    for (const auto& other : batch_->sources) {
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
    return MayWrite(path, format);
  }
  // The output would replace its own source. One read only in part is never replaced.
  if (!own->whole) {
    ShowFileWarning(path, msg::kPartSourceKept);
    return false;
  }
  switch (settings_.disposal) {
    case Disposal::kKeep:
      ShowFileWarning(path, msg::kOwnSourceKept);
      return false;
    case Disposal::kTrash: {
      if (own->gone) return MayWrite(path, format);
      if (!MayWrite(path, format)) return false;
      // The original goes to the trash first, so it stays recoverable.
      TShfOperation operation(platform_);
      ConfigureForTrash(operation);
      operation.SetFromFFList({own->path});
      bool moved = operation.Execute() == 0;
      if (auto still = platform_.FindFile(own->path); still && own->loaded)
        moved = moved && still->inode != own->loaded->inode;
      if (!moved) {
        ShowFileWarning(path, msg::kTrashFailed);
        return false;
      }
      own->gone = true;
      return true;
    }
    case Disposal::kDelete:
      break;
  }
  return MayWrite(path, format);
}

void Converter::PreviewAndStamp(const std::string& file) {
  if (!platform_.FileExists(file)) return;
  if (settings_.preview) platform_.OpenWithDefaultApp(file, platform_.ProgramDir());
  if (!settings_.keep_date || !remembered_date_.valid) return;
  SetFileDate(platform_, file, remembered_date_);
  // The stamped file is still what was made: its new time is part of it.
  auto info = platform_.FindFile(file);
  for (auto& source : batch_->sources)
    for (auto& made : source.made)
      if (made.path == file && info) made.info = *info;
}

const std::string* Converter::UsedOutputDir() {
  if (!settings_.use_output_dir || settings_.output_dir.empty()) return nullptr;
  // The stored folder keeps the separator added here.
  if (settings_.output_dir.back() != '/') settings_.output_dir += '/';
  return &settings_.output_dir;
}

std::string Converter::MakeOutputBase(const std::string& source) {
  std::string base;
  if (const std::string* dir = UsedOutputDir()) {
    auto slash = source.find_last_of('/');
    base = *dir + (slash == std::string::npos ? source : source.substr(slash + 1));
  } else {
    base = source;
  }
  base = ChangeFileExt(base, ".");
  if (settings_.suffix_s) base.insert(base.size() - 1, "s");
  return base;
}

bool Converter::MayWrite(const std::string& path, OutputFormat format) {
  if (!platform_.FileExists(path)) return true;
  if (settings_.overwrite) return true;
  if (ui_.Confirm(std::string(msg::kFilePrefix) + path + msg::kExistsOverwrite)) return true;
  cancelled_ = true;
  return false;
}

bool Converter::LoadSource(const std::string& file_name, TBitmap& working,
                           std::shared_ptr<const TJPEGData>* jpeg) {
  // What the reader could not read, heard during the load and the first decoding.
  bool ran_out = false, not_decoded = false;
  std::string detail;
  picture_.OnLoadWarning = [&](TLoadWarning warning, const std::string& text) {
    (warning == TLoadWarning::lwDataRanOut ? ran_out : not_decoded) = true;
    if (!text.empty()) detail = text;
  };
  struct Unhook {
    TPicture& picture;
    ~Unhook() { picture.OnLoadWarning = nullptr; }
  } unhook{picture_};
  picture_.LoadFromFile(file_name);
  TGraphic* graphic = picture_.Graphic();
  if (graphic) {
    // The pixels move into the working image where the kind allows it; the graphic goes.
    graphic->MoveToBitmap(working);
    const int orientation = graphic->Orientation();
    if (jpeg && settings_.write_pdf && settings_.pdf_keep_jpeg &&
        (orientation == 1 || !settings_.auto_orient))
      if (auto* source = dynamic_cast<TJPEGImage*>(graphic)) *jpeg = source->SharedData();
    picture_.SetGraphic(nullptr);
    if (settings_.auto_orient) ApplyOrientation(working, orientation);
  }
  // A file that gives no picture is an error, with the reader's own words when it had some.
  if (working.Width() <= 0 || working.Height() <= 0)
    throw EInvalidGraphic(detail.empty() ? msg::kEmptyImage : detail);
  if (!ran_out && !not_decoded) return true;
  // The reader's own words say what it could not read.
  ShowFileWarning(file_name, ran_out          ? std::string(msg::kDataRanOut)
                             : detail.empty() ? std::string(msg::kNotDecoded)
                                              : msg::kNotDecoded + (" (" + detail + ")"));
  return false;
}

void Converter::ShowFileWarning(const std::string& file, const std::string& text) {
  ui_.SetTopmost(true);
  ui_.ShowFileWarning(file, text);
  if (!settings_.always_on_top) ui_.SetTopmost(false);
}

void Converter::ConvertFile(const std::string& file_name, int index, int icon_size) {
  ui_.SetDropCaption(msg::kProcessing);
  ui_.Repaint();
  std::optional<FileInfo> source_info = platform_.FindFile(file_name);
  if (settings_.keep_date && source_info)
    remembered_date_ = {source_info->mtime_sec, source_info->mtime_nsec, true};
  ImageJob job;
  job.source = file_name;
  job.index = index;
  job.icon_size = icon_size;
  // A source read only in part is converted as far as it goes but never disposed of.
  const bool whole = LoadSource(file_name, job.working, &job.pdf_jpeg);
  if (!whole) job.pdf_jpeg.reset();  // a file read in part is not handed on as it is
  SharedSteps(job);

  output_base_ = MakeOutputBase(file_name);
  ui_.Repaint();
  ui_.SetDropCaption(output_base_ + msg::kProcessingSuffix);
  ui_.StepProgress();

  BatchOutputs::Source source;
  source.path = file_name;
  source.loaded = source_info;
  source.whole = whole;
  for (const auto& row : OutputFormats())
    if (settings_.*row.ticked) source.outputs.push_back(output_base_ + row.Token());
  if (!batch_file_base_.empty()) {
    if (settings_.pdf_batch && settings_.write_pdf)
      source.outputs.push_back(batch_file_base_ + "pdf");
    if (settings_.gif_anime && settings_.write_gif)
      source.outputs.push_back(batch_file_base_ + "gif");
  }
  source.in_batch_file =
      (settings_.pdf_batch && settings_.write_pdf) || (settings_.gif_anime && settings_.write_gif);
  batch_->sources.push_back(std::move(source));
  batch_->current = index;
  WriteFormats(job);

  // A file written only at the end of the batch does not exist yet (or is an old one): it is
  // previewed and stamped when it is written. A file whose overwrite was declined is not ours.
  std::string last_file = output_base_ + last_ext_;
  if (!LastIsBatchFile() &&
      std::find(job.written.begin(), job.written.end(), last_file) != job.written.end())
    PreviewAndStamp(last_file);
  ui_.SetDropCaption(msg::kDropHere);
}

void Converter::SharedSteps(ImageJob& job) {
  // A transparent colour the source brought along is not carried over: outputs are
  // transparent only by the transparency option, with the colour it picks.
  job.working.SetTransparent(false);
  picked_width_ = picked_height_ = 0;
  if (settings_.transparent_per_image && settings_.transparency) {
    ui_.ShowTransparentPicker(job.working, picker_);
    picked_width_ = job.working.Width();
    picked_height_ = job.working.Height();
  }

  ScaledSize target = ScaleTarget(settings_.scale_text, job.working.Width(), job.working.Height());
  if (target.scaled()) {
    if (target.width == 0 || target.height == 0) throw Exception(msg::kScaledEmpty);
    TBitmap scaled(target.width, target.height, TPixelFormat::pf24bit);
    if (settings_.smooth_resize)
      ResampleBitmap(job.working, scaled, kResampleSmooth);
    else
      scaled.StretchDraw({0, 0, target.width, target.height}, job.working);
    job.working = std::move(scaled);
  }

  if (settings_.colour_mode == ColourMode::kBlackWhite) job.working = MakeGrayBitmap(job.working);
  // The PDF page keeps the JPEG file only where it shows the very pixels decoded from it.
  if (target.scaled() || settings_.colour_mode != ColourMode::kFull || settings_.transparency)
    job.pdf_jpeg.reset();

  if (settings_.write_jpg) {
    job.jpeg = std::make_unique<TJPEGImage>();
    job.jpeg->SetCompressionQuality(settings_.level * 10);
    job.jpeg->CompressFrom(job.working);
  }
  TColor png_transparent = 0;
  if (settings_.transparency)
    png_transparent = settings_.transparent_per_image ? picker_.color : job.working.Pixel(0, 0);

  // Past this point the pixels live in the DIB image and then in its bitmap, each handed on
  // rather than copied where no later step needs the giver: one full image at a time.
  const bool need_bitmap = settings_.write_png || settings_.write_ico || settings_.write_pdf ||
                           settings_.write_gif || settings_.write_tif;
  if (!need_bitmap && !settings_.write_bmp && !settings_.write_mag) return;  // JPEG only
  job.dib.Adopt(std::move(job.working));
  job.dib.SetPixelFormat(settings_.colour_mode == ColourMode::kFull ? DibPixelFormat::k24Bit
                                                                    : DibPixelFormat::k8Bit);
  if (settings_.write_mag) {
    // The MAG file always has a palette: a full-colour image is reduced on a copy.
    DibImage eight = job.dib;
    eight.SetPixelFormat(DibPixelFormat::k8Bit);
    TBitmap eight_bitmap;
    eight.ToBitmap(eight_bitmap);
    job.mag = std::make_unique<TMAGImage>();
    job.mag->Assign(eight_bitmap);
  }
  if (need_bitmap) {
    if (settings_.write_bmp)
      job.dib.ToBitmap(job.dib_bitmap);
    else
      job.dib.MoveToBitmap(job.dib_bitmap);
  }

  if (settings_.write_gif) {
    GifTransparentPick pick;
    pick.per_image = settings_.transparent_per_image;
    pick.x = picker_.x;
    pick.y = picker_.y;
    pick.colour = picker_.color;
    pick.source_width = picked_width_;
    pick.source_height = picked_height_;
    if (job.clipboard) {
      job.clip_gif = std::make_unique<TGIFImage>();
      AddClipGifFrame(*job.clip_gif, job.dib_bitmap, settings_.transparency, pick);
    } else {
      if (!settings_.gif_anime) batch_->gif = std::make_unique<TGIFImage>();
      if (settings_.delay_text.empty()) settings_.delay_text = "30";
      // The edit shows the delay with thousands separators.
      int delay = 30;
      std::string delay_text = settings_.delay_text;
      if (ParseDelayText(settings_.delay_text, &delay)) delay_text = std::to_string(delay);
      AddGifFrame(*batch_->gif, job.dib_bitmap, settings_.transparency, delay_text, pick);
    }
  }
  if (settings_.write_png) {
    job.png = std::make_unique<PngImage>();
    if (settings_.transparency) job.png->SetTransparentColor(png_transparent);
    // The file is written from the DIB image's bitmap: the PNG image holds only the options.
    job.png->SetCompressionLevel(PngCompressionLevelForQuality(settings_.level));
  }
  // Only the BMP file is written from the DIB image itself; the others read its bitmap.
  if (!settings_.write_bmp) job.dib = DibImage();
}

void Converter::WriteFormats(ImageJob& job) {
  for (const auto& row : OutputFormats()) {
    const OutputFormat format = row.format;
    if (!(settings_.*row.ticked)) continue;
    // The GIF of an animation is written by the batch at its end.
    // Its row does not count for the image's own last output.
    if (format == OutputFormat::kGif && !job.clipboard && settings_.gif_anime) continue;
    // On the clipboard path the icon's token counts only once the icon is written.
    if (!(job.clipboard && format == OutputFormat::kIco)) last_ext_ = FormatToken(format);
    std::string path = output_base_ + FormatToken(format);
    // A page of a PDF batch goes into the batch's document; the file is written (under the
    // overwrite rule) at the end of the batch.
    if (format == OutputFormat::kPdf && settings_.pdf_batch && !job.clipboard) {
      WriteFormat(job, format, path);
      continue;
    }
    if (!(job.clipboard ? MayWrite(path, format) : MayWriteOutput(path, format))) continue;
    WriteFormat(job, format, path);
    if (job.clipboard && format == OutputFormat::kIco) last_ext_ = FormatToken(format);
    job.written.push_back(path);
    NoteWritten(path, !job.clipboard);
  }
}

void Converter::ConvertClipboard() {
  ++clip_counter_;
  cancelled_ = false;
  try {
    int icon_size = settings_.write_ico ? ParseIconSize() : 32;
    std::unique_ptr<TBitmap> bitmap =
        platform_.ClipboardHasBitmap() ? platform_.ClipboardBitmap() : nullptr;
    if (!bitmap || bitmap->Empty()) {
      if (!settings_.no_dialogs) ShowInfo(msg::kNoClipboardBitmap);
      ui_.SetProgressVisible(false);
      ui_.SetStatusText(msg::kNoClipboardBitmap);
    } else {
      if (batch_->pdf.Active()) batch_->pdf.Abort();
      if (settings_.pdf_batch && settings_.write_pdf) batch_->pdf.BeginDoc();
      ui_.SetDropCaption(msg::kProcessing);
      ImageJob job;
      job.clipboard = true;
      job.icon_size = icon_size;
      job.working = std::move(*bitmap);
      SharedSteps(job);
      const std::string* used = UsedOutputDir();
      std::string dir = used ? *used : platform_.DefaultOutputDir();
      if (!dir.empty() && dir.back() != '/') dir += '/';
      output_base_ =
          dir + "Clip" + std::to_string(clip_counter_) + (settings_.suffix_s ? "s." : ".");
      WriteFormats(job);
      ClipboardEnding(job);
    }
  } catch (const std::exception& e) {
    if (batch_->pdf.Active()) batch_->pdf.Abort();
    ui_.ShowError(e.what());
  }
  ui_.SetDropCaption(std::string(msg::kDropHere) + "\n\r" + settings_.output_dir);
}

void Converter::ClipboardEnding(ImageJob& job) {
  std::string last_file = output_base_ + last_ext_;
  // The document begun for the clipboard's single page; when its overwrite was declined it
  // has no page and is dropped, so no file is replaced by an empty document.
  if (batch_->pdf.Active()) {
    if (batch_->pdf.PageCount() > 0)
      batch_->pdf.EndDoc();
    else
      batch_->pdf.Abort();
  }
  if (std::find(job.written.begin(), job.written.end(), last_file) != job.written.end())
    PreviewAndStamp(last_file);
  std::string text =
      cancelled_ ? std::string(msg::kOverwriteCancelled) : output_base_ + last_ext_ + msg::kSaved;
  if (!settings_.no_dialogs) ShowInfo(text);
  ui_.SetProgressVisible(false);
  ui_.SetStatusText(text);
  if (!cancelled_) {
    if (auto info = platform_.FindFile(last_file))
      ui_.SetStatusText(text + std::to_string(info->size / 1024) + msg::kKbSuffix);
  }
}

void Converter::BeginBatchDocuments() {
  if (settings_.pdf_batch && settings_.write_pdf) batch_->pdf.BeginDoc();
  batch_->gif = std::make_unique<TGIFImage>();
}

void Converter::AbortBatchDocuments() {
  if (batch_->pdf.Active()) batch_->pdf.Abort();
  batch_->gif = std::make_unique<TGIFImage>();
}

std::string Converter::WriteBatchFiles() {
  std::string written;
  // Each batch file is made from every source of the batch file.
  auto note = [&](const std::string& path) {
    written = path;
    written_.push_back(path);
    saved_ = true;
    auto info = platform_.FindFile(path);
    if (!info) return;
    for (auto& source : batch_->sources)
      if (source.in_batch_file) source.made.push_back({path, *info});
  };
  if (settings_.gif_anime && settings_.write_gif && !batch_->gif->Empty()) {
    std::string path = BatchFileBase() + "gif";
    if (MayWriteOutput(path, OutputFormat::kGif)) {
      batch_->gif->SaveToFile(path);
      note(path);
    }
  }
  if (batch_->pdf.Active()) {
    // Written under the name the last image gave it, under the overwrite rule of every other
    // output; an empty document is never written.
    std::string path = batch_->pdf.FileName();
    if (batch_->pdf.PageCount() > 0 && MayWriteOutput(path, OutputFormat::kPdf)) {
      batch_->pdf.EndDoc();
      note(path);
    } else {
      batch_->pdf.Abort();
    }
  }
  batch_->gif = std::make_unique<TGIFImage>();
  return written;
}

void Converter::WriteFormat(ImageJob& job, OutputFormat format, const std::string& path) {
  switch (format) {
    case OutputFormat::kBmp:
      job.dib.SaveToFile(path);
      return;
    case OutputFormat::kJpg:
      job.jpeg->SaveToFile(path);
      return;
    case OutputFormat::kPng:
      job.png->SaveRasterToFile(job.dib_bitmap, path);
      return;
    case OutputFormat::kMag:
      job.mag->SaveToFile(path);
      return;
    case OutputFormat::kPdf: {
      std::string item = job.clipboard ? "PDFCLIP" : "PDF" + std::to_string(job.index);
      PdfJpegSource jpeg;
      if (job.pdf_jpeg)  // the document shares the bytes with the source's data
        jpeg = {std::shared_ptr<const uint8_t>(job.pdf_jpeg, job.pdf_jpeg->stream.data()),
                job.pdf_jpeg->stream.size()};
      job.pdf_jpeg.reset();
      const PdfJpegSource* kept = jpeg.bytes ? &jpeg : nullptr;
      batch_->pdf.SetFileName(path);
      if (settings_.pdf_batch && batch_->pdf.Active()) {
        if (!job.clipboard) batch_->pdf.SetFileName(BatchFileBase() + "pdf");
        batch_->pdf.AddImagePage(job.dib_bitmap, item, kept);
      } else
        batch_->pdf.WriteSingle(job.dib_bitmap, item, path, kept);
      return;
    }
    case OutputFormat::kGif:
      (job.clipboard ? *job.clip_gif : *batch_->gif).SaveToFile(path);
      return;
    case OutputFormat::kIco: {
      // Only the width is compared: a 32 x 48 image stays 32 x 48 at icon size 32.
      TBitmap icon;
      if (job.dib_bitmap.Width() == job.icon_size) {
        icon = job.dib_bitmap;
      } else if (job.dib_bitmap.PixelFormat() == TPixelFormat::pf24bit) {
        // Already 24 bits: read where it is, no copy of the whole image.
        icon = TBitmap(job.icon_size, job.icon_size, TPixelFormat::pf24bit);
        ResizeNearest(job.dib_bitmap, icon, {});
      } else {
        TBitmap copy = job.dib_bitmap;
        icon = TBitmap(job.icon_size, job.icon_size, TPixelFormat::pf24bit);
        ResampleBitmap(copy, icon, kResampleNearest);
      }
      if (settings_.transparency)
        SaveTransparentIcon(icon, path, job.icon_size);
      else
        SaveOpaqueIcon(icon, path);
      return;
    }
    case OutputFormat::kTif:
      SaveTiffFile(job.dib_bitmap, path);
      return;
  }
}

}  // namespace pamirune
