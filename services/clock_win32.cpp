#include <windows.h>

#include "services/dates.h"

CalendarTime ReadLocalClock() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  CalendarTime result;
  result.year = now.wYear;
  result.month = now.wMonth;
  result.day = now.wDay;
  result.hour = now.wHour;
  result.minute = now.wMinute;
  result.second = now.wSecond;
  result.millisecond = now.wMilliseconds;
  return result;
}
