#include "app/disposal.h"

#include "raster/errors.h"

namespace pamirune {

void DisposeSource(Platform& platform, Disposal disposal, const std::string& source,
                   const std::vector<std::string>& outputs) {
  if (disposal == Disposal::kKeep) return;
  for (const auto& out : outputs)
    if (out == source || platform.SameFile(source, out)) return;
  if (disposal == Disposal::kTrash) {
    std::string error;
    platform.MoveToTrash(source, &error);
  } else {
    platform.DeleteFile(source);
  }
}

void SetFileDate(Platform& platform, const std::string& file_name, const FileDate& date) {
  if (!platform.SetFileTime(file_name, date.sec, date.nsec))
    throw EOSError("ファイル " + file_name + " の日付を設定できません");
}

}  // namespace pamirune
