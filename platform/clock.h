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

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Milliseconds since the system started; wraps after about 49.7 days.
  virtual std::uint32_t TickCount() = 0;
};

Clock& SystemClock();

}  // namespace platform
