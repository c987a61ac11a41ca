// Calendar fields of a time stamp in the local time zone of the machine.
#ifndef KORVEX_PLATFORM_LOCAL_TIME_H_
#define KORVEX_PLATFORM_LOCAL_TIME_H_

#include <stdint.h>

namespace korvex {

struct CalendarTime {
  int year, month, day, hour, minute, second;  // month and day from 1
};

// seconds since 1970-01-01 00:00:00 UTC, in local time or in UTC.
CalendarTime LocalCalendar(uint32_t seconds);
CalendarTime UtcCalendar(uint32_t seconds);

}  // namespace korvex

#endif  // KORVEX_PLATFORM_LOCAL_TIME_H_
