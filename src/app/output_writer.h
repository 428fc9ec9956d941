// The writers of the output formats: one implementation per format behind one interface, made
// for each image by the format's row of the output-format table (app/output_formats.cc). A writer
// prepares its output once from the image of the pipeline its row names, then writes it to a path
// atomically (a temporary file in the target folder renamed over the target).
#pragma once

#include <memory>
#include <string>

#include "app/output_formats.h"
#include "app/settings.h"
#include "formats/gif/gif.h"
#include "formats/gif/gif_frames.h"
#include "pdf/image_pdf_report.h"
#include "raster/bitmap.h"
#include "raster/dib_image.h"

namespace pamirune {

struct TJPEGData;

// The documents a batch gathers: the PDF of a PDF batch (and of a clipboard conversion with PDF
// batch set), and the GIF that collects one frame per image of an animation.
struct BatchDocuments {
  ImagePdfReport pdf;
  std::unique_ptr<TGIFImage> gif = std::make_unique<TGIFImage>();
};

// One image on its way through the pipeline, with what its writers share.
struct OutputJob {
  OutputJob(ConversionSettings& s, BatchDocuments& b) : settings(s), batch(b) {}

  ConversionSettings& settings;
  BatchDocuments& batch;
  bool clipboard = false;
  int index = 0;  // in the batch
  int icon_size = 32;
  // The image at the pipeline's stages: scaled and made grey (full colour); in the chosen
  // colour depth; and that as a bitmap. Each is handed on to the next where no writer needs it.
  TBitmap working;
  DibImage dib;
  TBitmap bitmap;
  TColor transparent = 0;  // the transparency option's colour
  GifTransparentPick gif_pick;
  std::string batch_file_base;  // the batch's PDF and GIF are this + "pdf" / "gif"
  // The source's JPEG bytes while its PDF page may still hold them as they are.
  std::shared_ptr<const TJPEGData> pdf_jpeg;
};

class OutputWriter {
 public:
  // Where the image's output goes.
  enum class Delivery {
    kOwnFile,     // a file of its own, under the overwrite rule
    kBatchPage,   // a page of the batch's file, which the batch writes at its end
    kBatchFrame,  // a frame the batch took at preparation; nothing to write now
  };

  virtual ~OutputWriter() = default;
  // Prepares the output from the job's image at the stage the format's row names.
  virtual void Prepare(OutputJob& job) = 0;
  virtual void Write(OutputJob& job, const std::string& path) = 0;
  virtual Delivery DeliveryOf(const OutputJob&) const { return Delivery::kOwnFile; }
  // Whether the token counts as the last written extension before the overwrite rule runs
  // (otherwise only once the file is written).
  virtual bool CountsBeforeWriting(const OutputJob&) const { return true; }
};

}  // namespace pamirune
