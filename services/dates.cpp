#include "services/dates.h"

#include <cmath>
#include <cstdlib>

#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Day number (days since 0000-12-31) of the serial value 0, 1899-12-30.
constexpr int64_t kSerialDayOffset = 693594;
// Day number of 65535-12-31: beyond it a year no longer fits in 16 bits.
constexpr int64_t kLastSplittableDay = 23936166;
// Serial values beyond this size are refused before they are scaled, so
// the millisecond count always fits in 64 bits.
constexpr double kLargestSplittableValue = 1e8;

const int kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

CalendarTime (*g_test_clock)() = nullptr;

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The calendar test and day count shared by MakeDate and the date-text
// scan; the scan must not raise, so this one only answers.
bool TryEncodeDate(int year, int month, int day, SerialDateTime* date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  const int* lengths = kMonthDays[IsLeapYear(year) ? 1 : 0];
  if (day < 1 || day > lengths[month - 1]) return false;
  for (int m = 1; m < month; ++m) day += lengths[m - 1];
  const int64_t y = year - 1;
  const int64_t days = y * 365 + y / 4 - y / 100 + y / 400 + day;
  *date = static_cast<double>(days - kSerialDayOffset);
  return true;
}

// Rounds value * kMsPerDay to the nearest integer, an exact half to the even
// neighbour. The product of the fraction is rounded as a double first, which
// can turn a value just beside a half millisecond into an exact half; the
// fused multiply-add yields the rounding error, which settles such ties.
int64_t RoundToMilliseconds(double value) {
  const double whole = std::trunc(value);
  const double fraction = value - whole;  // exact
  const double product = fraction * static_cast<double>(kMsPerDay);
  const double error =
      std::fma(fraction, static_cast<double>(kMsPerDay), -product);
  double rounded = std::nearbyint(product);  // ties to even
  const double above = product - rounded;    // exact, within [-0.5, 0.5]
  if (above == 0.5 && error > 0) rounded += 1;
  if (above == -0.5 && error < 0) rounded -= 1;
  return static_cast<int64_t>(whole) * kMsPerDay +
         static_cast<int64_t>(rounded);
}

struct DayAndTime {
  int64_t day_number;  // 1 is 0001-01-01; 0 or less has no calendar date
  int64_t time_ms;     // 0 .. kMsPerDay - 1
};

// A negative value keeps its integer part as the day and its fraction,
// taken as positive, as the time of day. Values that are not finite or too
// large for a 16-bit year give day 0 at 00:00 instead of overflowing.
DayAndTime SplitSerial(SerialDateTime value) {
  if (!(std::fabs(value) < kLargestSplittableValue)) return {0, 0};
  const int64_t ms = RoundToMilliseconds(value);
  const int64_t magnitude = std::llabs(ms);
  int64_t days = magnitude / kMsPerDay;
  if (ms < 0) days = -days;
  const DayAndTime result = {days + kSerialDayOffset, magnitude % kMsPerDay};
  if (result.day_number > kLastSplittableDay) return {0, 0};
  return result;
}

// Takes whole cycles of `cycle_days` from *days, at most `max_cycles`: the
// last century of 400 years and the last year of 4 are one day longer, so
// their extra day must not count as the start of a further cycle.
int64_t TakeCycles(int64_t* days, int64_t cycle_days, int64_t max_cycles) {
  int64_t count = *days / cycle_days;
  if (count > max_cycles) count = max_cycles;
  *days -= count * cycle_days;
  return count;
}

void SetMessageText(std::string* message, const std::string& text) {
  const size_t at = message->find("%s");
  if (at != std::string::npos) message->replace(at, 2, text);
}

}  // namespace

SerialDateTime MakeDate(uint16_t year, uint16_t month, uint16_t day) {
  SerialDateTime date = 0;
  if (!TryEncodeDate(year, month, day, &date)) {
    throw EConvertError(MessageText(kMsgInvalidDate));
  }
  return date;
}

SerialDateTime MakeTime(uint16_t hour, uint16_t minute, uint16_t second,
                        uint16_t millisecond) {
  if (hour >= 24 || minute >= 60 || second >= 60 || millisecond >= 1000) {
    throw EConvertError(MessageText(kMsgInvalidTime));
  }
  const int64_t ms = hour * int64_t{3600000} + minute * int64_t{60000} +
                     second * int64_t{1000} + millisecond;
  return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

void SplitDate(SerialDateTime value, uint16_t* year, uint16_t* month,
               uint16_t* day) {
  int64_t days = SplitSerial(value).day_number;
  if (days <= 0) {
    *year = *month = *day = 0;
    return;
  }
  days -= 1;  // days elapsed since 0001-01-01
  int64_t y = 1 + 400 * (days / 146097);
  days %= 146097;
  y += 100 * TakeCycles(&days, 36524, 3);
  y += 4 * (days / 1461);
  days %= 1461;
  y += TakeCycles(&days, 365, 3);
  const int* lengths = kMonthDays[IsLeapYear(static_cast<int>(y)) ? 1 : 0];
  int m = 1;
  while (days >= lengths[m - 1]) days -= lengths[m++ - 1];
  *year = static_cast<uint16_t>(y);
  *month = static_cast<uint16_t>(m);
  *day = static_cast<uint16_t>(days + 1);
}

void SplitTime(SerialDateTime value, uint16_t* hour, uint16_t* minute,
               uint16_t* second, uint16_t* millisecond) {
  const int64_t t = SplitSerial(value).time_ms;
  *hour = static_cast<uint16_t>(t / 3600000);
  *minute = static_cast<uint16_t>(t / 60000 % 60);
  *second = static_cast<uint16_t>(t % 60000 / 1000);
  *millisecond = static_cast<uint16_t>(t % 1000);
}

SerialDateTime DosToSerial(DosDateTime packed) {
  const uint32_t bits = static_cast<uint32_t>(packed);
  const uint32_t date = bits >> 16;
  const uint32_t time = bits & 0xFFFF;
  // Converted as separate statements so that an entry with both parts
  // broken reports its date.
  const SerialDateTime day =
      MakeDate(static_cast<uint16_t>(1980 + (date >> 9)),
               static_cast<uint16_t>((date >> 5) & 15),
               static_cast<uint16_t>(date & 31));
  const SerialDateTime time_of_day =
      MakeTime(static_cast<uint16_t>(time >> 11),
               static_cast<uint16_t>((time >> 5) & 63),
               static_cast<uint16_t>((time & 31) * 2), 0);
  return day + time_of_day;
}

namespace {

DosDateTime PackDosTime(unsigned year, unsigned month, unsigned day,
                        unsigned hour, unsigned minute, unsigned second) {
  const uint32_t time = (second / 2u) | (minute << 5u) | (hour << 11u);
  const uint32_t date = day | (month << 5u) | ((year - 1980u) << 9u);
  return static_cast<DosDateTime>((date << 16) | time);
}

}  // namespace

DosDateTime LastWriteDosTime(int year, int month, int day, int hour,
                             int minute, int second) {
  if (year < 1980) return kEarliestDosTime;
  if (year > 2107) return kLatestDosTime;
  return PackDosTime(year, month, day, hour, minute, second > 59 ? 59 : second);
}

DosDateTime SerialToDos(SerialDateTime value) {
  uint16_t year, month, day, hour, minute, second, millisecond;
  SplitDate(value, &year, &month, &day);
  // The packed year field reaches 2107, but the platform's own conversions
  // stop at 2099, and so does this one.
  if (year < 1980 || year > 2099) return 0;
  SplitTime(value, &hour, &minute, &second, &millisecond);
  return PackDosTime(year, month, day, hour, minute, second);
}

void SetClockForTesting(CalendarTime (*clock)()) { g_test_clock = clock; }

namespace {

CalendarTime ReadClock() {
  return g_test_clock != nullptr ? g_test_clock() : ReadLocalClock();
}

}  // namespace

SerialDateTime CurrentSerial() {
  const CalendarTime now = ReadClock();
  return MakeDate(now.year, now.month, now.day) +
         MakeTime(now.hour, now.minute, now.second, now.millisecond);
}

// ---------------------------------------------------------------------------
// The date-text scan. Positions are 0-based here; "past the end" is
// pos == text.size().

namespace {

enum class DateOrder { MonthDayYear, DayMonthYear, YearMonthDay };

struct DateScan {
  const std::string& text;
  size_t pos;
};

struct ScannedNumber {
  int value;
  size_t digits;  // digit characters read, leading zeros included
};

struct DateFields {
  int year, month, day;
};

bool AtEnd(const DateScan& scan) { return scan.pos >= scan.text.size(); }

unsigned char CurrentByte(const DateScan& scan) {
  return static_cast<unsigned char>(scan.text[scan.pos]);
}

bool IsDigit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// Only the space counts; a tab or other control byte is text.
void SkipBlanks(DateScan* scan) {
  while (!AtEnd(*scan) && CurrentByte(*scan) == ' ') ++scan->pos;
}

// Digits are read while the value is below 1000, so any run of leading
// zeros is taken but at most four significant digits.
bool ScanNumber(DateScan* scan, ScannedNumber* number) {
  SkipBlanks(scan);
  const size_t start = scan->pos;
  int value = 0;
  while (!AtEnd(*scan) && IsDigit(CurrentByte(*scan)) && value < 1000) {
    value = value * 10 + (CurrentByte(*scan) - '0');
    ++scan->pos;
  }
  if (scan->pos == start) return false;
  *number = {value, scan->pos - start};
  return true;
}

bool ScanSeparator(DateScan* scan, char separator) {
  SkipBlanks(scan);
  if (AtEnd(*scan) || scan->text[scan->pos] != separator) return false;
  ++scan->pos;
  return true;
}

// Moves to the next digit; a lead byte takes its trail byte with it, but
// the scan never moves past the end of the text.
void SkipToDigit(DateScan* scan) {
  while (!AtEnd(*scan) && !IsDigit(CurrentByte(*scan))) {
    if (IsLeadByte(CurrentByte(*scan)) && scan->pos + 1 < scan->text.size()) {
      ++scan->pos;
    }
    ++scan->pos;
  }
}

// The first of the letters d, e, m, y decides; trail bytes of double-byte
// characters in quoted pattern text are stepped over, not read as letters.
DateOrder DateOrderOf(const std::string& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(pattern[i]);
    if (IsLeadByte(byte)) {
      ++i;
      continue;
    }
    switch (byte | 0x20) {
      case 'd': return DateOrder::DayMonthYear;
      case 'm': return DateOrder::MonthDayYear;
      case 'e':
      case 'y': return DateOrder::YearMonthDay;
      default: break;
    }
  }
  return DateOrder::MonthDayYear;
}

// A pattern that begins with the era name ("g") has the era's name before
// the first digit, which is passed over; only the one era offset the
// settings carry is known, so that is the era used.
int ScanEraOffset(DateScan* scan, const DateTextSettings& settings) {
  const std::string& pattern = settings.short_date_pattern;
  const bool era_first = !pattern.empty() && pattern[0] == 'g';
  if (era_first) SkipToDigit(scan);
  if (era_first || pattern.find('e') != std::string::npos) {
    return settings.era_offset;
  }
  return 0;
}

int CurrentYear() { return ReadClock().year; }

// Era-relative years count from the era's first year; otherwise a year
// written with at most two digits is placed by the century window.
int FullYear(const ScannedNumber& year, int era_offset, int century_window) {
  if (era_offset > 0) return era_offset + year.value - 1;
  if (year.digits > 2) return year.value;
  const int base = CurrentYear() - century_window;
  int result = year.value + base / 100 * 100;
  if (century_window > 0 && result < base) result += 100;
  return result;
}

DateFields ThreeNumberDate(DateOrder order, const ScannedNumber& n1,
                           const ScannedNumber& n2, const ScannedNumber& n3,
                           int era_offset, int century_window) {
  switch (order) {
    case DateOrder::DayMonthYear:
      return {FullYear(n3, era_offset, century_window), n2.value, n1.value};
    case DateOrder::YearMonthDay:
      return {FullYear(n1, era_offset, century_window), n2.value, n3.value};
    case DateOrder::MonthDayYear:
    default:
      return {FullYear(n3, era_offset, century_window), n1.value, n2.value};
  }
}

DateFields TwoNumberDate(DateOrder order, const ScannedNumber& n1,
                         const ScannedNumber& n2) {
  if (order == DateOrder::DayMonthYear) {
    return {CurrentYear(), n2.value, n1.value};
  }
  return {CurrentYear(), n1.value, n2.value};
}

bool SameLetter(unsigned char a, unsigned char b) {
  if (a == b) return true;
  const unsigned char lower = a | 0x20;
  return lower >= 'a' && lower <= 'z' && lower == (b | 0x20);
}

// Compares letters without regard to case, but double-byte characters
// byte for byte: their trail bytes may look like ASCII letters.
bool ContinuesWith(const DateScan& scan, const std::string& word) {
  if (scan.text.size() - scan.pos < word.size()) return false;
  const char* here = scan.text.data() + scan.pos;
  for (size_t i = 0; i < word.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(word[i]);
    if (IsLeadByte(byte) && i + 1 < word.size()) {
      if (word[i] != here[i] || word[i + 1] != here[i + 1]) return false;
      ++i;
    } else if (!SameLetter(byte, static_cast<unsigned char>(here[i]))) {
      return false;
    }
  }
  return true;
}

// Long date patterns with a day name ("ddd") may leave the day name and
// the time after the date; they are passed over up to the time.
void PassTrailingText(DateScan* scan, const DateTextSettings& settings) {
  if (IsDigit(static_cast<unsigned char>(settings.time_pattern_first))) {
    SkipToDigit(scan);
    return;
  }
  do {
    while (!AtEnd(*scan) && CurrentByte(*scan) != ' ') ++scan->pos;
    SkipBlanks(scan);
  } while (!AtEnd(*scan) && !ContinuesWith(*scan, settings.am_designator) &&
           !ContinuesWith(*scan, settings.pm_designator));
}

bool ScanDate(DateScan* scan, const DateTextSettings& settings,
              SerialDateTime* date) {
  const char separator = settings.date_separator;
  const DateOrder order = DateOrderOf(settings.short_date_pattern);
  const int era_offset = ScanEraOffset(scan, settings);
  ScannedNumber n1, n2, n3;
  if (!ScanNumber(scan, &n1) || !ScanSeparator(scan, separator) ||
      !ScanNumber(scan, &n2)) {
    return false;
  }
  DateFields fields;
  if (ScanSeparator(scan, separator)) {
    if (!ScanNumber(scan, &n3)) return false;
    fields = ThreeNumberDate(order, n1, n2, n3, era_offset,
                             settings.century_window);
  } else {
    fields = TwoNumberDate(order, n1, n2);
  }
  ScanSeparator(scan, separator);  // a trailing separator is allowed
  SkipBlanks(scan);
  if (DoubleByteMode() &&
      settings.short_date_pattern.find("ddd") != std::string::npos) {
    PassTrailingText(scan, settings);
  }
  return TryEncodeDate(fields.year, fields.month, fields.day, date);
}

}  // namespace

SerialDateTime TextToDate(const std::string& text,
                          const DateTextSettings& settings) {
  DateScan scan{text, 0};
  SerialDateTime date = 0;
  if (!ScanDate(&scan, settings, &date) || !AtEnd(scan)) {
    std::string message = MessageText(kMsgNotADate);
    SetMessageText(&message, text);
    throw EConvertError(message);
  }
  return date;
}

SerialDateTime TextToDate(const std::string& text) {
  return TextToDate(text, CurrentDateTextSettings());
}
