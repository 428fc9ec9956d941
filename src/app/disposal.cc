#include "app/disposal.h"

#include <cmath>
#include <ctime>

#include "app/shf_operation.h"
#include "raster/errors.h"

namespace pamirune {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 30 December 1899 to 1 January 1970.
constexpr int64_t kEpochOffsetDays = 25569;
// Seconds from 1 January 1601 to 1 January 1970.
constexpr int64_t kFileTimeEpochSeconds = 11644473600;

// Civil date of a day count since 1 January 1970 (proleptic Gregorian).
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

bool IsOneOfOutputs(Platform& platform, const std::string& source,
                    const std::vector<std::string>& outputs) {
  for (const auto& out : outputs)
    if (out == source || platform.SameFile(source, out)) return true;
  return false;
}

void DisposeSource(Platform& platform, Disposal disposal, const std::string& source,
                   const std::vector<std::string>& outputs) {
  if (disposal == Disposal::kKeep) return;
  // The source was itself overwritten by one of its outputs.
  if (IsOneOfOutputs(platform, source, outputs)) return;
  // The outputs are written without waiting for the disk; before the source goes they must be
  // there for good, or the source stays.
  for (const auto& out : outputs)
    if (platform.FileExists(out) && !platform.SyncToDisk(out)) return;
  if (disposal == Disposal::kTrash) {
    TShfOperation operation(platform);
    ConfigureForTrash(operation);
    operation.SetFromFFList({source});
    operation.Execute();  // a refused move leaves the source where it is
  } else {
    platform.DeleteFile(source);  // a failure leaves the source where it is
  }
}

FileDate DateTimeToFileTime(TDateTime local) {
  // Split into the calendar date and the time of day, at millisecond precision. A negative
  // value counts days back, its fraction forward from midnight of that day (as the GUI
  // toolkit's date-time does).
  double days_part = std::trunc(local);
  int64_t day = static_cast<int64_t>(days_part);
  int64_t ms = static_cast<int64_t>(std::llround(std::fabs(local - days_part) * kMsPerDay));
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    day += 1;  // the time of day counts forward from midnight
  }
  int year, month, mday;
  CivilFromDays(day - kEpochOffsetDays, &year, &month, &mday);
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = mday;
  tm.tm_hour = static_cast<int>(ms / 3600000);
  tm.tm_min = static_cast<int>(ms / 60000 % 60);
  tm.tm_sec = static_cast<int>(ms / 1000 % 60);
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  FileDate date;
  date.sec = static_cast<int64_t>(t);
  date.nsec = (ms % 1000) * 1000000;
  date.valid = true;
  return date;
}

TDateTime FileTimeToDateTime(const FileDate& date) {
  std::time_t t = static_cast<std::time_t>(date.sec);
  std::tm tm{};
  localtime_r(&t, &tm);
  int64_t day = DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + kEpochOffsetDays;
  int64_t ms = (static_cast<int64_t>(tm.tm_hour) * 3600 + tm.tm_min * 60 + tm.tm_sec) * 1000 +
               date.nsec / 1000000;
  double fraction = static_cast<double>(ms) / kMsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

int64_t FileDateTicks(const FileDate& date) {
  return (date.sec + kFileTimeEpochSeconds) * 10000000 + FloorDiv(date.nsec, 100);
}

void SetFileDate(Platform& platform, const std::string& file_name, const FileDate& date) {
  if (!platform.SetFileTime(file_name, date.sec, date.nsec))
    throw EOSError("ファイル " + file_name + " の日付を設定できません");
}

}  // namespace pamirune
