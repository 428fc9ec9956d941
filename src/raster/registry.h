// The registry of graphic kinds (extension -> kind, newest registration first) and the picture
// container TPicture that opens a file by its extension.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/bitmap.h"

namespace pamirune {

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat {
  std::string extension;  // lower case, no dot
  std::string description;
  std::string kind;  // class name of the kind
  TGraphicFactory create;
};

class TFileFormatsList {
 public:
  // The process-wide list, created on first use with its built-in entries.
  static TFileFormatsList& Instance();

  void Add(const std::string& extension, const std::string& description, const std::string& kind,
           TGraphicFactory create);
  // Lower-cases extension and searches from the newest entry to the oldest; nullptr if none.
  const TFileFormat* Find(const std::string& extension) const;
  // Removes every entry of a kind (by class name), as unregistering a graphic class does.
  void RemoveKind(const std::string& kind);
  const std::vector<TFileFormat>& Entries() const { return entries_; }

 private:
  TFileFormatsList();
  std::vector<TFileFormat> entries_;
};

// Registers a graphic kind: TPicture::RegisterFileFormat in the system's terms.
inline void RegisterFileFormat(const std::string& extension, const std::string& description,
                               const std::string& kind, TGraphicFactory create) {
  TFileFormatsList::Instance().Add(extension, description, kind, std::move(create));
}

// Holds at most one graphic and forwards its change and progress notifications.
class TPicture {
 public:
  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // Loads by the text after the last dot of the name. With no registry entry raises
  // EInvalidGraphic("拡張子 .%s の画像形式は処理できません"). On failure the held graphic stays.
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name) const;

  TGraphic* Graphic() const { return graphic_.get(); }
  // Replaces the held graphic by a copy of graphic (nullptr empties the picture).
  void SetGraphic(const TGraphic* graphic);
  // The held graphic when it is a Raster image; otherwise it is replaced by a new, empty one.
  TBitmap& Bitmap();

  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  TNotifyEvent OnChange;
  TProgressEvent OnProgress;
  // What the held graphic could not read (see TGraphic::OnLoadWarning).
  TLoadWarningEvent OnLoadWarning;

 private:
  // Hooks the graphic's notifications to this container and makes it the held one.
  void Hold(std::unique_ptr<TGraphic> graphic);

  std::unique_ptr<TGraphic> graphic_;
};

}  // namespace pamirune
