// Disposal of a source file after conversion, and stamping an output with the source's date.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"

namespace pamirune {

// Keeps, moves to the trash or deletes the source, unless it is itself one of its outputs
// (compared by file identity). Failures are ignored: the source then stays where it is.
void DisposeSource(Platform& platform, Disposal disposal, const std::string& source,
                   const std::vector<std::string>& outputs);

// A point in time as the file system keeps it.
struct FileDate {
  int64_t sec = 0;
  int64_t nsec = 0;
  bool valid = false;
};

// Stamps the file's last-write time with date. Throws EOSError when the file cannot be stamped.
void SetFileDate(Platform& platform, const std::string& file_name, const FileDate& date);

}  // namespace pamirune
