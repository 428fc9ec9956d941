// Disposal of a source file after conversion, and stamping an output with the source's date.
//
// The source disposal setting: keep the source ("元ﾌｧｲﾙ残す"), move it to the trash
// ("元ﾌｧｲﾙｺﾞﾐ箱へ", a silent, unconfirmed TShfOperation delete with undo) or delete it for good
// ("元ﾌｧｲﾙ削除").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform.h"
#include "app/settings.h"

namespace pamirune {

// Keeps, moves to the trash or deletes the source, unless it is itself one of its outputs: the
// same name, or the same file (device and inode), which also covers names that differ only as
// the file system ignores (letter case on a case-insensitive volume, "./" and the like).
// Failures are ignored: the source then stays where it is. Call it only once a file made from
// the source exists.
void DisposeSource(Platform& platform, Disposal disposal, const std::string& source,
                   const std::vector<std::string>& outputs);

// True when source is one of outputs, as DisposeSource decides it.
bool IsOneOfOutputs(Platform& platform, const std::string& source,
                    const std::vector<std::string>& outputs);

// A point in time as the file system keeps it (UTC, since the epoch).
struct FileDate {
  int64_t sec = 0;
  int64_t nsec = 0;
  bool valid = false;

  bool operator==(const FileDate&) const = default;
};

// A local date and time as the user interface keeps it: days since 30 December 1899, the time
// of day as the fraction.
using TDateTime = double;

// Local date-time to file time (UTC), at millisecond precision. The local time zone's rules of
// that date apply (a time that does not exist at a clock change is taken as standard time).
FileDate DateTimeToFileTime(TDateTime local);
// File time to local date-time (milliseconds kept).
TDateTime FileTimeToDateTime(const FileDate& date);
// The file time in 100-nanosecond units since 1 January 1601 (UTC).
int64_t FileDateTicks(const FileDate& date);

// Stamps the file's last-write time with date (the last-access time stays). Throws EOSError
// when the file cannot be stamped (for example when it does not exist).
void SetFileDate(Platform& platform, const std::string& file_name, const FileDate& date);

}  // namespace pamirune
