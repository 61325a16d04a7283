#include <windows.h>

#include "platform/clock.h"

namespace platform {
namespace {

class Win32Clock final : public Clock {
 public:
  LocalTime Now() override {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  }

  std::uint32_t TickCount() override { return GetTickCount(); }
};

}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}

}  // namespace platform
