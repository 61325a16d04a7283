#include <ctime>

#include "platform/posix.h"

namespace platform {
namespace {

constexpr std::time_t kHour = 3600;

// The civil date and time of a count of seconds since 1970-01-01 00:00:00.
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

// How far the C library's local time is from the seconds given: the zone's
// offset, less the leap seconds counted so far where the zone counts them
// ("right/..."), which its own offset field leaves out.
bool OffsetAt(std::time_t utc, long& offset) {
  std::tm tm{};
  if (localtime_r(&utc, &tm) == nullptr) return false;
  const std::time_t local =
      static_cast<std::time_t>(DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)) *
          86400 +
      std::time_t{tm.tm_hour} * 3600 + std::time_t{tm.tm_min} * 60 + tm.tm_sec;
  offset = static_cast<long>(local - utc);
  return true;
}

// Well beyond the packed form's years by more than any zone's offset.
constexpr std::time_t kTwoDays = 172800;
constexpr std::time_t kBefore1980 = 315532800 - kTwoDays;
constexpr std::time_t kAfter2107 = 4354819200 + kTwoDays;

}  // namespace

DosDateTime LocalTimeCache::Pack(std::time_t utc) {
  // The nearer end, without arithmetic that could overflow near the ends
  // of the time type.
  if (utc < kBefore1980) return kEarliestDosDateTime;
  if (utc > kAfter2107) return kLatestDosDateTime;
  const std::time_t hour = utc - utc % kHour;
  if (hour != hour_) {
    hour_ = hour;
    long last = 0;
    uniform_ = OffsetAt(hour, offset_) && OffsetAt(hour + kHour - 1, last) && offset_ == last;
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
