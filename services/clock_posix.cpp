#include <time.h>

#include "services/dates.h"

CalendarTime ReadLocalClock() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local = {};
  if (localtime_r(&now.tv_sec, &local) == nullptr) {
    // No local time for this instant (a broken time-zone setting); the
    // universal time is the closest answer left.
    gmtime_r(&now.tv_sec, &local);
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
