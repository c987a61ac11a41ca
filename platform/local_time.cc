#include "platform/local_time.h"

#include <time.h>

namespace korvex {
namespace {

CalendarTime Fields(const struct tm& t) {
  return CalendarTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace

CalendarTime LocalCalendar(uint32_t seconds) {
  time_t at = static_cast<time_t>(seconds);
  struct tm t = {};
#ifdef _WIN32
  if (localtime_s(&t, &at) != 0) return UtcCalendar(seconds);
#else
  static const bool zoneRead = (tzset(), true);
  (void)zoneRead;
  if (localtime_r(&at, &t) == nullptr) return UtcCalendar(seconds);
#endif
  return Fields(t);
}

// Civil date from days since 1970 (proleptic Gregorian), so no C library
// time zone is consulted.
CalendarTime UtcCalendar(uint32_t seconds) {
  int64_t days = seconds / 86400;
  int rest = static_cast<int>(seconds % 86400);
  days += 719468;
  const int64_t era = days / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return CalendarTime{year, month, day, rest / 3600, rest / 60 % 60, rest % 60};
}

}  // namespace korvex
