#include <ctime>

#include "platform/file_system_posix.h"

namespace platform {
namespace {

constexpr std::time_t kHour = 3600;

// The civil date of a count of days since 1970-01-01.
LocalTime CivilTime(std::time_t seconds) {
  const std::time_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const std::time_t secondOfDay = seconds - days * 86400;
  const std::time_t z = days + 719468;
  const std::time_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::time_t dayOfEra = z - era * 146097;
  const std::time_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::time_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::time_t mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return {year,
          month,
          day,
          static_cast<int>(secondOfDay / 3600),
          static_cast<int>(secondOfDay / 60 % 60),
          static_cast<int>(secondOfDay % 60)};
}

}  // namespace

DosDateTime LocalTimeCache::Pack(std::time_t utc) {
  const std::time_t hour = utc >= 0 ? utc - utc % kHour : utc - ((utc % kHour) + kHour) % kHour;
  if (hour != hour_) {
    hour_ = hour;
    std::tm start{};
    std::tm end{};
    const std::time_t last = hour + kHour - 1;
    uniform_ = localtime_r(&hour, &start) != nullptr && localtime_r(&last, &end) != nullptr &&
               start.tm_gmtoff == end.tm_gmtoff;
    offset_ = start.tm_gmtoff;
  }
  if (uniform_) {
    const std::time_t local = utc + offset_;
    // Most files of a directory fall on one day: its date is kept.
    if (local < day_ || local >= day_ + 86400) {
      const LocalTime midnight = CivilTime(local);
      day_ = local - (midnight.Hour * 3600 + midnight.Minute * 60 + midnight.Second);
      date_ = midnight;
    }
    const std::time_t second = local - day_;
    LocalTime t = date_;
    t.Hour = static_cast<int>(second / 3600);
    t.Minute = static_cast<int>(second / 60 % 60);
    t.Second = static_cast<int>(second % 60);
    return PackDosDateTime(t);
  }
  std::tm tm{};
  if (localtime_r(&utc, &tm) == nullptr) return utc < 0 ? kEarliestDosDateTime : kLatestDosDateTime;
  return PackDosDateTime(
      LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

}  // namespace platform
