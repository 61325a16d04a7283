#include <cstdint>
#include <new>

#include "src/failures.h"
#include "src/uUtils.h"

namespace stampbak {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1899-12-30 to the given date (proleptic Gregorian calendar).
std::int64_t DayNumber(int year, int month, int day) {
  const int y = month <= 2 ? year - 1 : year;
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  constexpr std::int64_t kUnixDayOf18991230 = -25569;
  return std::int64_t{era} * 146097 + dayOfEra - 719468 - kUnixDayOf18991230;
}

}  // namespace

DateTime DosDateTimeToDateTime(platform::DosDateTime packed) {
  const int year = 1980 + static_cast<int>(packed >> 25);
  const int month = static_cast<int>((packed >> 21) & 0x0F);
  const int day = static_cast<int>((packed >> 16) & 0x1F);
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    throw EConvertError("Invalid argument to date encode");
  }
  const int hour = static_cast<int>((packed >> 11) & 0x1F);
  const int minute = static_cast<int>((packed >> 5) & 0x3F);
  const int second = static_cast<int>(packed & 0x1F) * 2;
  if (hour > 23 || minute > 59 || second > 59) {
    throw EConvertError("Invalid argument to time encode");
  }
  const double millis = hour * 3600000.0 + minute * 60000.0 + second * 1000.0;
  return static_cast<double>(DayNumber(year, month, day)) + millis / 86400000.0;
}

DateTime FileDateTimeOf(const platform::FileTimeLookup& lookup) {
  if (lookup.Status == platform::LookupStatus::OutOfMemory) throw std::bad_alloc();
  if (lookup.Status != platform::LookupStatus::Found) {
    throw EConvertError("Invalid argument to date encode");
  }
  return DosDateTimeToDateTime(lookup.Packed);
}

DateTime GetFileDateTime(platform::FileSystem& files, const std::string& path) {
  return FileDateTimeOf(files.LastWriteTime(path));
}

}  // namespace stampbak
