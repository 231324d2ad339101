// Date and time values: MS-DOS packed date-times, serial date-times (days
// since 1899-12-30, the fraction being the time of day), calendar checks,
// the clock and the conversion of date texts. All moments are local time.
#ifndef KESTRIV_SERVICES_DATES_H_
#define KESTRIV_SERVICES_DATES_H_

#include <cstdint>
#include <string>

using DosDateTime = int32_t;

// The ends of the MS-DOS range, 1980-01-01 00:00:00 and 2107-12-31
// 23:59:58: the values a last-write time outside it is clamped to.
constexpr DosDateTime kEarliestDosTime = 0x00210000;
constexpr DosDateTime kLatestDosTime = static_cast<DosDateTime>(0xFF9FBF7Du);
using SerialDateTime = double;

// The regional settings the date-text scan reads; one value, read once at
// start-up and passed in, so tests can run the scan under other settings.
struct DateTextSettings {
  std::string short_date_pattern;  // e.g. "yyyy/MM/dd"
  char date_separator;             // first byte of the date separator
  int century_window;              // two-digit-year window, 0 here
  char time_pattern_first;         // first character of the short time pattern
  std::string am_designator;       // code page 932 bytes
  std::string pm_designator;
  int era_offset;                  // first era's start year, 0 when none
};

// A calendar date and time of day, as the clock reports it.
struct CalendarTime {
  uint16_t year, month, day, hour, minute, second, millisecond;
};

// Serial value of the day at 00:00; raises EConvertError
// "日付に変換できない値が渡されました" for an invalid date.
SerialDateTime MakeDate(uint16_t year, uint16_t month, uint16_t day);
// Serial fraction of the time of day; raises EConvertError
// "時刻に変換できない値が渡されました" for an invalid time.
SerialDateTime MakeTime(uint16_t hour, uint16_t minute, uint16_t second,
                        uint16_t millisecond);
// Year, month and day of a serial value (all 0 for day numbers <= 0).
void SplitDate(SerialDateTime value, uint16_t* year, uint16_t* month,
               uint16_t* day);
// Time of day of a serial value, milliseconds rounded half to even.
void SplitTime(SerialDateTime value, uint16_t* hour, uint16_t* minute,
               uint16_t* second, uint16_t* millisecond);
// The packed date-time of a file's last write at the local calendar time
// given: a year before 1980 or after 2107 gives the nearest end of the
// range, so that times outside it still order correctly, and a leap
// second is the second before it.
DosDateTime LastWriteDosTime(int year, int month, int day, int hour,
                             int minute, int second);
// Serial value of a packed date-time; the date is checked first.
SerialDateTime DosToSerial(DosDateTime packed);
// Packed date-time of a serial value; 0 outside the years 1980-2099.
DosDateTime SerialToDos(SerialDateTime value);
// The current local date and time, read anew on every call.
SerialDateTime CurrentSerial();
// Serial value of the date in `text` at 00:00 under `settings`; raises
// EConvertError "'%s' は日付ではありません".
SerialDateTime TextToDate(const std::string& text,
                          const DateTextSettings& settings);
// TextToDate under the settings read at start-up.
SerialDateTime TextToDate(const std::string& text);

// The settings read at start-up (see InitDateTextSettings).
const DateTextSettings& CurrentDateTextSettings();
// Reads the regional settings from the platform; called once at start-up.
void InitDateTextSettings();

// Reads the platform clock (local time with milliseconds).
CalendarTime ReadLocalClock();
// Test seam: replaces the clock; nullptr restores the platform clock.
void SetClockForTesting(CalendarTime (*clock)());

#endif  // KESTRIV_SERVICES_DATES_H_
