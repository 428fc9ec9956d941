#include "raster/registry.h"

#include <algorithm>
#include <cctype>

#include "raster/errors.h"
#include "raster/file_path.h"

namespace pamirune {

namespace {
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
}  // namespace

TFileFormatsList& TFileFormatsList::Instance() {
  static TFileFormatsList list;
  return list;
}

TFileFormatsList::TFileFormatsList() {
  // Metafiles and icons have no kind of their own here; their entries keep the registry's
  // order and make such files fail with a clear load error instead of "no entry".
  Add("wmf", "ﾒﾀﾌｧｲﾙ", "TMetafile", nullptr);
  Add("emf", "ｴﾝﾊﾝｽ ﾒﾀﾌｧｲﾙ", "TMetafile", nullptr);
  Add("ico", "ｱｲｺﾝ", "TIcon", nullptr);
  Add("bmp", "ﾋﾞｯﾄﾏｯﾌﾟ", "TBitmap", [] { return std::make_unique<TBitmap>(); });
}

void TFileFormatsList::Add(const std::string& extension, const std::string& description,
                           const std::string& kind, TGraphicFactory create) {
  entries_.push_back({Lower(extension), description, kind, std::move(create)});
}

const TFileFormat* TFileFormatsList::Find(const std::string& extension) const {
  std::string ext = Lower(extension);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->extension == ext) return &*it;
  return nullptr;
}

void TFileFormatsList::RemoveKind(const std::string& kind) {
  std::erase_if(entries_, [&](const TFileFormat& f) { return f.kind == kind; });
}

void TPicture::Hold(std::unique_ptr<TGraphic> graphic) {
  if (graphic) {
    graphic->OnChange = [this] {
      if (OnChange) OnChange();
    };
    graphic->OnProgress = [this](TProgressStage stage, int percent, const std::string& message) {
      if (OnProgress) OnProgress(stage, percent, message);
    };
    graphic->OnLoadWarning = [this](TLoadWarning warning, const std::string& detail) {
      if (OnLoadWarning) OnLoadWarning(warning, detail);
    };
  }
  graphic_ = std::move(graphic);
}

void TPicture::LoadFromFile(const std::string& file_name) {
  // The extension is the text after the last dot of the file's own name.
  const std::string ext = ExtensionName(file_name);
  const TFileFormat* format = TFileFormatsList::Instance().Find(ext);
  if (!format) throw EInvalidGraphic("拡張子 ." + ext + " の画像形式は処理できません");
  if (!format->create) throw EInvalidGraphic(format->description + " は読み込めません");
  std::unique_ptr<TGraphic> graphic = format->create();
  // Progress of the load reaches our listener; changes are reported once, after success.
  graphic->OnProgress = [this](TProgressStage stage, int percent, const std::string& message) {
    if (OnProgress) OnProgress(stage, percent, message);
  };
  graphic->OnLoadWarning = [this](TLoadWarning warning, const std::string& detail) {
    if (OnLoadWarning) OnLoadWarning(warning, detail);
  };
  graphic->LoadFromFile(file_name);  // on failure the new graphic is dropped, ours stays
  Hold(std::move(graphic));
  if (OnChange) OnChange();
}

void TPicture::SaveToFile(const std::string& file_name) const {
  if (graphic_) graphic_->SaveToFile(file_name);
}

void TPicture::SetGraphic(const TGraphic* graphic) {
  Hold(graphic ? graphic->Clone() : nullptr);
  if (OnChange) OnChange();
}

TBitmap& TPicture::Bitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return *b;
  Hold(std::make_unique<TBitmap>());
  return static_cast<TBitmap&>(*graphic_);
}

}  // namespace pamirune
