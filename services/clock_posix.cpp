#include <time.h>

#include "services/dates.h"

namespace {

// The local calendar fields of `second`.
tm LocalFieldsOf(time_t second) {
  tm local = {};
  if (localtime_r(&second, &local) == nullptr) {
    // No local time for this instant (a broken time-zone setting); the
    // universal time is the closest answer left.
    gmtime_r(&second, &local);
  }
  return local;
}

}  // namespace

// The age filter reads the clock for every entry it tests, many times a
// second: the fields of the last second converted are kept with it, so
// that only a new second costs a time-zone lookup. Only the walk's thread
// reads the clock, but each thread would keep its own.
CalendarTime ReadLocalClock() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  thread_local time_t converted = 0;
  thread_local bool any = false;
  thread_local tm local = {};
  if (!any || now.tv_sec != converted) {
    local = LocalFieldsOf(now.tv_sec);
    converted = now.tv_sec;
    any = true;
  }
  CalendarTime result;
  result.year = static_cast<uint16_t>(local.tm_year + 1900);
  result.month = static_cast<uint16_t>(local.tm_mon + 1);
  result.day = static_cast<uint16_t>(local.tm_mday);
  result.hour = static_cast<uint16_t>(local.tm_hour);
  result.minute = static_cast<uint16_t>(local.tm_min);
  // Time zones with leap seconds can report a 60th second, which no serial
  // time of day holds; it is shown as the second before it.
  result.second = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
  result.millisecond = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return result;
}
