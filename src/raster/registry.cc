#include "raster/registry.h"

#include <algorithm>
#include <cctype>

#include "raster/errors.h"

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

void TPicture::LoadFromFile(const std::string& file_name) {
  std::string ext;
  auto dot = file_name.find_last_of('.');
  auto slash = file_name.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    ext = file_name.substr(dot + 1);
  const TFileFormat* format = TFileFormatsList::Instance().Find(ext);
  if (!format) throw EInvalidGraphic("拡張子 ." + ext + " の画像形式は処理できません");
  if (!format->create) throw EInvalidGraphic(format->description + " は読み込めません");
  std::unique_ptr<TGraphic> graphic = format->create();
  graphic->OnProgress = OnProgress;
  graphic->LoadFromFile(file_name);  // on failure the new graphic is dropped, ours stays
  graphic_ = std::move(graphic);
  if (OnChange) OnChange();
}

void TPicture::SaveToFile(const std::string& file_name) const {
  if (graphic_) graphic_->SaveToFile(file_name);
}

void TPicture::SetGraphic(const TGraphic* graphic) {
  if (!graphic) {
    graphic_.reset();
  } else {
    graphic_ = graphic->Clone();
    graphic_->OnProgress = OnProgress;
  }
  if (OnChange) OnChange();
}

TBitmap& TPicture::Bitmap() {
  if (auto* b = dynamic_cast<TBitmap*>(graphic_.get())) return *b;
  graphic_ = std::make_unique<TBitmap>();
  return static_cast<TBitmap&>(*graphic_);
}

}  // namespace pamirune
