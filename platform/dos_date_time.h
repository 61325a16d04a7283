#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// The packed FAT date and time of a local time, two-second resolution:
// bits 0-4 seconds/2, 5-10 minutes, 11-15 hours, 16-20 day, 21-24 month,
// 25-31 years since 1980. Two values order by time as unsigned numbers.
using DosDateTime = std::uint32_t;

// The packed form holds 1980-01-01 00:00:00 to 2107-12-31 23:59:58; a time
// outside is clamped to the nearer end rather than lost.
inline constexpr DosDateTime kEarliestDosDateTime = 0x00210000;
inline constexpr DosDateTime kLatestDosDateTime =
    (127U << 25) | (12U << 21) | (31U << 16) | (23U << 11) | (59U << 5) | 29U;

// The days from 1970-01-01 to a civil date of the proleptic Gregorian
// calendar, negative before it.
constexpr std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = month <= 2 ? year - 1 : year;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr LocalTime UnpackDosDateTime(DosDateTime packed) {
  return LocalTime{1980 + static_cast<int>(packed >> 25),   static_cast<int>((packed >> 21) & 0x0F),
                   static_cast<int>((packed >> 16) & 0x1F), static_cast<int>((packed >> 11) & 0x1F),
                   static_cast<int>((packed >> 5) & 0x3F),  static_cast<int>(packed & 0x1F) * 2};
}

constexpr DosDateTime PackDosDateTime(const LocalTime& t) {
  if (t.Year < 1980) return kEarliestDosDateTime;
  if (t.Year > 2107) return kLatestDosDateTime;
  return (static_cast<DosDateTime>(t.Year - 1980) << 25) |
         (static_cast<DosDateTime>(t.Month) << 21) | (static_cast<DosDateTime>(t.Day) << 16) |
         (static_cast<DosDateTime>(t.Hour) << 11) | (static_cast<DosDateTime>(t.Minute) << 5) |
         static_cast<DosDateTime>((t.Second < 59 ? t.Second : 59) /
                                  2);  // a leap second counts as 59
}

}  // namespace platform
