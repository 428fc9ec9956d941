// The single-image part of a run: load, the shared steps, the outputs of every ticked format,
// and the endings of the file and the clipboard paths.
#include <algorithm>
#include <array>

#include "app/batch_run.h"
#include "app/messages.h"
#include "formats/jpeg/jpeg_image.h"
#include "raster/errors.h"
#include "raster/file_path.h"
#include "raster/gray_bitmap.h"
#include "raster/orientation.h"
#include "raster/registry.h"
#include "raster/resample.h"

namespace pamirune {

struct BatchRun::ImageJob : OutputJob {
  using OutputJob::OutputJob;
  std::string source;  // empty on the clipboard path
  // The writer of each ticked format, made by its row.
  std::array<std::unique_ptr<OutputWriter>, kOutputFormatCount> writers;
  std::vector<std::string> written;  // files this image wrote (batch files aside)
};

void BatchRun::ShowInfo(const std::string& text) { converter_.ShowInfo(text); }

void BatchRun::ShowFileWarning(const std::string& file, const std::string& text) {
  ui_.SetTopmost(true);
  ui_.ShowFileWarning(file, text);
  if (!settings_.always_on_top) ui_.SetTopmost(false);
}

void BatchRun::ConvertFile(const std::string& file_name, int index, int icon_size) {
  ui_.SetDropCaption(msg::kProcessing);
  ui_.Repaint();
  std::optional<FileInfo> source_info = platform_.FindFile(file_name);
  if (settings_.keep_date && source_info)
    converter_.remembered_date_ = {source_info->mtime_sec, source_info->mtime_nsec, true};
  ImageJob job(settings_, documents_);
  job.source = file_name;
  job.index = index;
  job.icon_size = icon_size;
  // A source read only in part is converted as far as it goes but never disposed of.
  const bool whole = LoadSource(file_name, job.working, &job.pdf_jpeg);
  if (!whole) job.pdf_jpeg.reset();  // a file read in part is not handed on as it is
  SharedSteps(job);

  output_base_ = MakeOutputBase(file_name);
  job.batch_file_base = BatchFileBase();
  ui_.Repaint();
  ui_.SetDropCaption(output_base_ + msg::kProcessingSuffix);
  ui_.StepProgress();

  AddSource(file_name, source_info, whole);
  current_ = index;
  WriteFormats(job);

  // A file written only at the end of the batch does not exist yet (or is an old one): it is
  // previewed and stamped when it is written. A file whose overwrite was declined is not ours.
  std::string last_file = output_base_ + last_ext_;
  if (!LastIsBatchFile() &&
      std::find(job.written.begin(), job.written.end(), last_file) != job.written.end())
    PreviewAndStamp(last_file);
  ui_.SetDropCaption(msg::kDropHere);
}

void BatchRun::AddSource(const std::string& file_name, const std::optional<FileInfo>& info,
                         bool whole) {
  Source source;
  source.path = file_name;
  source.loaded = info;
  source.whole = whole;
  for (const auto& row : OutputFormats())
    if (settings_.*row.ticked) source.outputs.push_back(output_base_ + row.Token());
  const bool pdf_batch = settings_.pdf_batch && settings_.write_pdf;
  const bool animation = settings_.gif_anime && settings_.write_gif;
  const std::string& batch_base = converter_.batch_file_base_;
  if (!batch_base.empty()) {
    if (pdf_batch) source.outputs.push_back(batch_base + "pdf");
    if (animation) source.outputs.push_back(batch_base + "gif");
  }
  source.in_batch_file = pdf_batch || animation;
  sources_.push_back(std::move(source));
}

bool BatchRun::LoadSource(const std::string& file_name, TBitmap& working,
                          std::shared_ptr<const TJPEGData>* jpeg) {
  // What the reader could not read, heard during the load and the first decoding: the sink
  // of this load alone.
  bool ran_out = false, not_decoded = false;
  std::string detail;
  TPicture picture;
  picture.OnLoadWarning = [&](TLoadWarning warning, const std::string& text) {
    (warning == TLoadWarning::lwDataRanOut ? ran_out : not_decoded) = true;
    if (!text.empty()) detail = text;
  };
  picture.LoadFromFile(file_name);
  TGraphic* graphic = picture.Graphic();
  if (graphic) {
    // The pixels move into the working image where the kind allows it; the graphic goes.
    graphic->MoveToBitmap(working);
    const int orientation = graphic->Orientation();
    if (jpeg && settings_.write_pdf && settings_.pdf_keep_jpeg &&
        (orientation == 1 || !settings_.auto_orient))
      if (auto* source = dynamic_cast<TJPEGImage*>(graphic)) *jpeg = source->SharedData();
    picture.SetGraphic(nullptr);
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

void BatchRun::SharedSteps(ImageJob& job) {
  // A transparent colour the source brought along is not carried over: outputs are
  // transparent only by the transparency option, with the colour it picks.
  job.working.SetTransparent(false);
  PickerResult& picker = converter_.picker_;
  job.gif_pick.per_image = settings_.transparent_per_image;
  if (settings_.transparent_per_image && settings_.transparency) {
    ui_.ShowTransparentPicker(job.working, picker);
    job.gif_pick.source_width = job.working.Width();
    job.gif_pick.source_height = job.working.Height();
  }
  job.gif_pick.x = picker.x;
  job.gif_pick.y = picker.y;
  job.gif_pick.colour = picker.color;

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

  if (settings_.colour_mode == ColourMode::kBlackWhite)
    job.working = MakeGrayBitmap(std::move(job.working));
  // The PDF page keeps the JPEG file only where it shows the very pixels decoded from it.
  if (target.scaled() || settings_.colour_mode != ColourMode::kFull || settings_.transparency)
    job.pdf_jpeg.reset();
  if (settings_.transparency)
    job.transparent = settings_.transparent_per_image ? picker.color : job.working.Pixel(0, 0);
  PrepareOutputs(job);
}

void BatchRun::PrepareOutputs(ImageJob& job) {
  bool need_dib = false, need_bitmap = false, keep_dib = false;
  for (const auto& row : OutputFormats()) {
    if (!(settings_.*row.ticked)) continue;
    job.writers[static_cast<size_t>(row.format)] = row.make_writer();
    need_dib = need_dib || row.writer_source != WriterSource::kWorking;
    need_bitmap = need_bitmap || row.writer_source == WriterSource::kBitmap;
    keep_dib = keep_dib || row.writes_from_dib;
  }
  auto prepare = [&](WriterSource source) {
    for (const auto& row : OutputFormats())
      if (row.writer_source == source && job.writers[static_cast<size_t>(row.format)])
        job.writers[static_cast<size_t>(row.format)]->Prepare(job);
  };
  prepare(WriterSource::kWorking);
  // Past this point the pixels live in the DIB image and then in its bitmap, each handed on
  // rather than copied where no later step needs the giver: one full image at a time.
  if (!need_dib) return;
  job.dib.Adopt(std::move(job.working));
  job.dib.SetPixelFormat(settings_.colour_mode == ColourMode::kFull ? DibPixelFormat::k24Bit
                                                                    : DibPixelFormat::k8Bit);
  prepare(WriterSource::kDib);
  // The pixels move on into the bitmap even for a file written from the DIB image: its writer
  // kept the header and colour table at preparation and writes the bitmap's pixels under them.
  if (need_bitmap) job.dib.MoveToBitmap(job.bitmap);
  prepare(WriterSource::kBitmap);
  // Only a file written from the DIB image itself keeps it; the others read its bitmap.
  if (!keep_dib) job.dib = DibImage();
}

void BatchRun::WriteFormats(ImageJob& job) {
  for (const auto& row : OutputFormats()) {
    OutputWriter* writer = job.writers[static_cast<size_t>(row.format)].get();
    if (!writer) continue;
    const OutputWriter::Delivery delivery = writer->DeliveryOf(job);
    // A frame of an animation does not count for the image's own last output.
    if (delivery == OutputWriter::Delivery::kBatchFrame) continue;
    const bool counts_before = writer->CountsBeforeWriting(job);
    if (counts_before) last_ext_ = row.Token();
    std::string path = output_base_ + row.Token();
    if (delivery == OutputWriter::Delivery::kBatchPage) {
      writer->Write(job, path);
      continue;
    }
    if (!(job.clipboard ? MayWrite(path) : MayWriteOutput(path))) continue;
    writer->Write(job, path);
    if (!counts_before) last_ext_ = row.Token();
    job.written.push_back(path);
    NoteWritten(path, !job.clipboard);
  }
}

void BatchRun::ConvertClipboard(TBitmap bitmap, int icon_size) {
  if (settings_.pdf_batch && settings_.write_pdf) documents_.pdf.BeginDoc();
  ui_.SetDropCaption(msg::kProcessing);
  ImageJob job(settings_, documents_);
  job.clipboard = true;
  job.icon_size = icon_size;
  job.working = std::move(bitmap);
  SharedSteps(job);
  const std::string* used = UsedOutputDir();
  std::string dir = used ? *used : platform_.DefaultOutputDir();
  if (!dir.empty()) dir = IncludeTrailingSlash(dir);
  output_base_ =
      dir + "Clip" + std::to_string(converter_.clip_counter_) + (settings_.suffix_s ? "s." : ".");
  job.batch_file_base = BatchFileBase();
  WriteFormats(job);
  ClipboardEnding(job);
}

void BatchRun::AbortClipboard() {
  if (documents_.pdf.Active()) documents_.pdf.Abort();
}

void BatchRun::ClipboardEnding(ImageJob& job) {
  std::string last_file = output_base_ + last_ext_;
  // The document begun for the clipboard's single page; when its overwrite was declined it
  // has no page and is dropped, so no file is replaced by an empty document.
  ImagePdfReport& pdf = documents_.pdf;
  if (pdf.Active()) {
    if (pdf.PageCount() > 0)
      pdf.EndDoc();
    else
      pdf.Abort();
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

void BatchRun::PreviewAndStamp(const std::string& file) {
  if (!platform_.FileExists(file)) return;
  if (settings_.preview) platform_.OpenWithDefaultApp(file, platform_.ProgramDir());
  const FileDate& date = converter_.remembered_date_;
  if (!settings_.keep_date || !date.valid) return;
  SetFileDate(platform_, file, date);
  // The stamped file is still what was made: its new time is part of it.
  auto info = platform_.FindFile(file);
  for (auto& source : sources_)
    for (auto& made : source.made)
      if (made.path == file && info) made.info = *info;
}

const std::string* BatchRun::UsedOutputDir() {
  if (!settings_.use_output_dir || settings_.output_dir.empty()) return nullptr;
  // The stored folder keeps the separator added here.
  settings_.output_dir = IncludeTrailingSlash(settings_.output_dir);
  return &settings_.output_dir;
}

std::string BatchRun::MakeOutputBase(const std::string& source) {
  const std::string* dir = UsedOutputDir();
  std::string base = ChangeFileExt(dir ? *dir + ExtractFileName(source) : source, ".");
  if (settings_.suffix_s) base.insert(base.size() - 1, "s");
  return base;
}

}  // namespace pamirune
