#include "raster/graphic.h"

#include "raster/bitmap.h"
#include "raster/errors.h"

namespace pamirune {

std::unique_ptr<TGraphic> TGraphic::Clone() const {
  auto copy = NewOfSameKind();
  copy->Assign(*this);
  return copy;
}

void TGraphic::Assign(const TGraphic& source) {
  if (!source.AssignTo(*this))
    throw EInvalidGraphicOperation(std::string("Cannot assign a ") + source.ClassName() + " to a " +
                                   ClassName());
}

bool TGraphic::AssignTo(TGraphic& dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(&dest)) {
    ToBitmap(*bitmap);
    return true;
  }
  return false;
}

void TGraphic::SetWidth(int) {}
void TGraphic::SetHeight(int) {}

void TGraphic::LoadFromFile(const std::string& file_name) {
  TFileStream stream(file_name);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& file_name) const {
  TAtomicFileStream file(file_name);
  SaveToStream(file);
  file.Commit();
}

void TGraphic::MoveToBitmap(TBitmap& dest) { dest.Assign(*this); }

void TGraphic::Draw(TBitmap& target, const TRect& rect) const { target.StretchDraw(rect, *this); }

}  // namespace pamirune
