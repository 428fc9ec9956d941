#include "app/shf_operation.h"

#include <new>

#include "raster/file_path.h"

namespace pamirune {

uint32_t FlagValue(TfFlag flag) {
  switch (flag) {
    case TfFlag::ALLOWUNDO:
      return 0x40;
    case TfFlag::FILESONLY:
      return 0x80;
    case TfFlag::MUILIDESTFILES:
      return 0x01;
    case TfFlag::NOCONFIRMATION:
      return 0x10;
    case TfFlag::NOCONFIRMMKDIR:
      return 0x200;
    case TfFlag::RENAMEONCOLLISION:
      return 0x08;
    case TfFlag::SILENT:
      return 0x04;
    case TfFlag::SIMPLEPROGRESS:
      return 0x100;
  }
  return 0;
}

uint32_t FlagWord(const TfFlags& flags) {
  uint32_t word = 0;
  for (TfFlag f : flags) word |= FlagValue(f);
  return word;
}

std::vector<char> BuildNameBuffer(const std::vector<std::string>& names) {
  size_t total = 10;
  for (const auto& n : names) total += n.size() + 1;
  std::vector<char> buffer;
  try {
    buffer.assign(total, '\0');
  } catch (const std::bad_alloc&) {
    throw EShfOperation(kShfNoMemory);
  }
  size_t at = 0;
  for (const auto& n : names) {
    n.copy(buffer.data() + at, n.size());
    at += n.size() + 1;  // the zero byte after the name
  }
  return buffer;
}

std::vector<std::string> ParseNameBuffer(const std::vector<char>& buffer) {
  std::vector<std::string> names;
  size_t at = 0;
  while (at < buffer.size() && buffer[at] != '\0') {
    size_t end = at;
    while (end < buffer.size() && buffer[end] != '\0') ++end;
    names.emplace_back(buffer.data() + at, end - at);
    at = end + 1;
  }
  return names;
}

void ConfigureForTrash(TShfOperation& operation) {
  operation.OperationF = TOperationF::foDELETE;
  operation.Options = {TfFlag::ALLOWUNDO, TfFlag::NOCONFIRMATION, TfFlag::SILENT};
}

int TShfOperation::Execute() {
  if (from_.empty()) throw EShfOperation(kShfNoFiles);
  const uint32_t flags = FlagWord(Options);
  // The names travel as the operation takes them, and are read back from there.
  std::vector<char> from_buffer = BuildNameBuffer(from_);
  std::vector<std::string> targets;
  const bool multi = (flags & FlagValue(TfFlag::MUILIDESTFILES)) != 0;
  if (multi) {
    if (ToFiles.empty()) throw EShfOperation(kShfNoTarget);
    targets = ParseNameBuffer(BuildNameBuffer(ToFiles));
  }
  fAbort = false;
  const std::vector<std::string> sources = ParseNameBuffer(from_buffer);
  int result = kShfOk;
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string& from = sources[i];
    std::string to;
    if (OperationF != TOperationF::foDELETE) {
      if (multi) {
        if (i >= targets.size()) {
          result = kShfFailed;  // no target for this name
          continue;
        }
        to = targets[i];
      } else if (OperationF == TOperationF::foRENAME) {
        to = ToFolder.empty() || ToFolder.find('/') != std::string::npos
                 ? ToFolder
                 : ExtractFilePath(from) + ToFolder;
      } else {
        const std::string folder = ToFolder.empty() ? "" : IncludeTrailingSlash(ToFolder);
        to = folder + ExtractFileName(from);
      }
    }
    if (!platform_.FileExists(from)) {
      if (result == kShfOk) result = kShfNotFound;
      continue;
    }
    if (!RunOne(from, to) && result == kShfOk) result = kShfFailed;
  }
  return result;
}

std::string TShfOperation::UniqueTarget(const std::string& path) {
  const std::string folder = ExtractFilePath(path), name = ExtractFileName(path);
  auto dot = name.find_last_of('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  for (int n = 2; n < 10000; ++n) {
    std::string candidate = folder + stem + " (" + std::to_string(n) + ")" + ext;
    if (!platform_.FileExists(candidate)) return candidate;
  }
  return "";
}

bool TShfOperation::RunOne(const std::string& from, const std::string& to) {
  const bool undo = Options.count(TfFlag::ALLOWUNDO) != 0;
  if (OperationF == TOperationF::foDELETE) {
    if (undo) {
      std::string error;
      return platform_.MoveToTrash(from, &error);
    }
    return platform_.DeleteFile(from);
  }
  if (to.empty()) return false;
  if (to == from || platform_.SameFile(from, to)) return false;
  std::string target = to;
  bool replace = false;
  if (platform_.FileExists(target)) {
    if (Options.count(TfFlag::RENAMEONCOLLISION)) {
      target = UniqueTarget(to);
      if (target.empty()) return false;
    } else if (Options.count(TfFlag::NOCONFIRMATION)) {
      replace = true;
    } else {
      return false;  // nobody to ask whether to replace it
    }
  }
  if (OperationF == TOperationF::foCOPY) return platform_.CopyFile(from, target);
  // Move and rename: a plain rename when it can be done; a target that is replaced, or one on
  // another file system, is written whole first and only then is the source removed.
  if (!replace && platform_.RenameFile(from, target)) return true;
  if (!platform_.CopyFile(from, target)) return false;
  return platform_.DeleteFile(from);
}

}  // namespace pamirune
