#include "services/dates.h"

#include <time.h>

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"

namespace {

// 午前 and 午後 in code page 932.
const char kAm[] = "\x8C\xDF\x91O";
const char kPm[] = "\x8C\xDF\x8C\xE3";
std::string NotADate(const std::string& text) {
  std::string message = MessageText(kMsgNotADate);
  return message.replace(message.find("%s"), 2, text);
}

template <typename Call>
std::string ConvertErrorOf(Call call) {
  try {
    call();
  } catch (const EConvertError& error) {
    return error.Message();
  }
  return "(no error)";
}

CalendarTime FixedClock() { return {2026, 12, 7, 13, 45, 30, 250}; }

int g_clock_reads = 0;
// A clock that moves 7 ms on with every read.
CalendarTime SteppingClock() {
  ++g_clock_reads;
  return {2026, 12, 7, 13, 45, 30, static_cast<uint16_t>(7 * g_clock_reads)};
}

DosDateTime Pack(unsigned year, unsigned month, unsigned day, unsigned hour,
                 unsigned minute, unsigned seconds_field) {
  const uint32_t date = day | (month << 5) | ((year - 1980) << 9);
  const uint32_t time = seconds_field | (minute << 5) | (hour << 11);
  return static_cast<DosDateTime>((date << 16) | time);
}

DateTextSettings MakeSettings(const std::string& pattern, char separator,
                              int century_window = 0, int era_offset = 0) {
  return {pattern, separator, century_window, 'H', kAm, kPm, era_offset};
}

class DatesTest : public ::testing::Test {
 protected:
  void SetUp() override { SetClockForTesting(FixedClock); }
  void TearDown() override {
    SetClockForTesting(nullptr);
    SetDoubleByteInfo(false, "");
  }
};

TEST_F(DatesTest, MakeDateCountsDaysFrom18991230) {
  struct Case { int year, month, day; double serial; } const cases[] = {
      {1899, 12, 30, 0},     {1899, 12, 31, 1},      {1900, 1, 1, 2},
      {1900, 3, 1, 61},      {1980, 1, 1, 29221},    {1999, 12, 31, 36525},
      {2000, 2, 29, 36585},  {2000, 3, 1, 36586},    {2100, 1, 1, 73051},
      {1, 1, 1, -693593},    {9999, 12, 31, 2958465}, {1600, 2, 29, -109512},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
    EXPECT_EQ(c.serial, MakeDate(c.year, c.month, c.day));
  }
}

TEST_F(DatesTest, MakeDateRefusesDaysOutsideTheCalendar) {
  struct Case { int year, month, day; } const cases[] = {
      {0, 1, 1},     {10000, 1, 1}, {1999, 0, 1},    {1999, 13, 1},
      {1999, 1, 0},  {1999, 1, 32}, {1999, 2, 29},   {1900, 2, 29},
      {2100, 2, 29}, {1999, 4, 31}, {1999, 11, 31},  {65535, 65535, 65535},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
    EXPECT_EQ(MessageText(kMsgInvalidDate),
              ConvertErrorOf([&] { MakeDate(c.year, c.month, c.day); }));
  }
}

TEST_F(DatesTest, MakeTimeIsTheFractionOfTheDay) {
  struct Case { int hour, minute, second, ms; double fraction; } const cases[] = {
      {0, 0, 0, 0, 0.0},
      {12, 0, 0, 0, 0.5},
      {18, 0, 0, 0, 0.75},
      {4, 5, 6, 0, 14706.0 / 86400},
      {23, 59, 59, 999, 86399999.0 / 86400000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << ":"
                                    << c.second << "." << c.ms);
    EXPECT_EQ(c.fraction, MakeTime(c.hour, c.minute, c.second, c.ms));
  }
  const struct { int hour, minute, second, ms; } bad[] = {
      {24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000},
      {65535, 0, 0, 0},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << ":"
                                    << c.second << "." << c.ms);
    EXPECT_EQ(MessageText(kMsgInvalidTime), ConvertErrorOf([&] {
                MakeTime(c.hour, c.minute, c.second, c.ms);
              }));
  }
}

TEST_F(DatesTest, SplitDateAndTimeOfSerialValues) {
  struct Case {
    double value;
    int year, month, day, hour, minute, second, ms;
  } const cases[] = {
      {0, 1899, 12, 30, 0, 0, 0, 0},
      {2, 1900, 1, 1, 0, 0, 0, 0},
      {36525.75, 1999, 12, 31, 18, 0, 0, 0},
      {36585, 2000, 2, 29, 0, 0, 0, 0},
      {73051, 2100, 1, 1, 0, 0, 0, 0},
      {2958465, 9999, 12, 31, 0, 0, 0, 0},
      {-693593, 1, 1, 1, 0, 0, 0, 0},
      // Day numbers of 0 and below have no calendar date.
      {-693594, 0, 0, 0, 0, 0, 0, 0},
      {-1e7, 0, 0, 0, 0, 0, 0, 0},
      // A negative value keeps its integer part as the day and its fraction,
      // taken as positive, as the time of day.
      {-1.25, 1899, 12, 29, 6, 0, 0, 0},
      {-0.75, 1899, 12, 30, 18, 0, 0, 0},
      // Exact half milliseconds go to the even neighbour: 42187.5 ms up,
      // 126562.5 ms down, in both directions from day 0.
      {1.0 / 2048, 1899, 12, 30, 0, 0, 42, 188},
      {3.0 / 2048, 1899, 12, 30, 0, 2, 6, 562},
      {-1.0 / 2048, 1899, 12, 30, 0, 0, 42, 188},
      {-3.0 / 2048, 1899, 12, 30, 0, 2, 6, 562},
      // Just above 2.5 ms and just below 1.5 ms: the plain double product
      // of each is exactly the half, the true product is not.
      {0x1.f11a4a4df2035p-26, 1899, 12, 30, 0, 0, 0, 3},
      {0x1.2a42f961f79b9p-26, 1899, 12, 30, 0, 0, 0, 1},
      // Rounding up to a whole day carries into the date.
      {36525 + 0.9999999999, 2000, 1, 1, 0, 0, 0, 0},
      {36925 + 14706.0 / 86400, 2001, 2, 3, 4, 5, 6, 0},
      {36525 + 86399999.0 / 86400000, 1999, 12, 31, 23, 59, 59, 999},
      // The last day whose year fits in 16 bits, and the day after it.
      {23242572, 65535, 12, 31, 0, 0, 0, 0},
      {23242573, 0, 0, 0, 0, 0, 0, 0},
      {NAN, 0, 0, 0, 0, 0, 0, 0},
      {INFINITY, 0, 0, 0, 0, 0, 0, 0},
      {1e300, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "value " << c.value);
    uint16_t year, month, day, hour, minute, second, ms;
    SplitDate(c.value, &year, &month, &day);
    SplitTime(c.value, &hour, &minute, &second, &ms);
    EXPECT_EQ(c.year, year);
    EXPECT_EQ(c.month, month);
    EXPECT_EQ(c.day, day);
    EXPECT_EQ(c.hour, hour);
    EXPECT_EQ(c.minute, minute);
    EXPECT_EQ(c.second, second);
    EXPECT_EQ(c.ms, ms);
  }
}

// Walks every day from 0001-01-01 to 9999-12-31 with a calendar of its own
// and checks SplitDate against it, which covers every leap-year rule and
// every 400-year, 100-year and 4-year cycle boundary.
TEST_F(DatesTest, SplitDateFollowsTheCalendarDayByDay) {
  int year = 1, month = 1, day = 1;
  int mismatches = 0;
  for (double serial = -693593; serial <= 2958465; serial += 1) {
    uint16_t y, m, d;
    SplitDate(serial, &y, &m, &d);
    if ((y != year || m != month || d != day) && ++mismatches <= 5) {
      ADD_FAILURE() << "serial " << serial << " gave " << y << "-" << m << "-"
                    << d << ", expected " << year << "-" << month << "-"
                    << day;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int length = month == 2 ? (leap ? 29 : 28)
                       : (month == 4 || month == 6 || month == 9 ||
                          month == 11)
                           ? 30
                           : 31;
    if (++day > length) day = 1, ++month;
    if (month > 12) month = 1, ++year;
  }
  EXPECT_EQ(0, mismatches);
  EXPECT_EQ(10000, year);
}

TEST_F(DatesTest, DosToSerialDecodesThePackedFields) {
  struct Case { DosDateTime packed; double serial; } const cases[] = {
      {0x2A4320A3, 36925 + 14706.0 / 86400},  // 2001-02-03 04:05:06
      {Pack(1980, 1, 1, 0, 0, 0), 29221},
      {Pack(1999, 12, 31, 23, 59, 29), 36525 + 86398.0 / 86400},
      {Pack(2044, 1, 1, 0, 0, 0), 52597},
      {Pack(2107, 12, 31, 0, 0, 0), 75971},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.packed);
    EXPECT_EQ(c.serial, DosToSerial(c.packed));
  }
}

TEST_F(DatesTest, DosToSerialRefusesBrokenFieldsDateFirst) {
  struct Case { DosDateTime packed; MessageId message; } const cases[] = {
      {0, kMsgInvalidDate},
      {Pack(1999, 12, 31, 24, 0, 0), kMsgInvalidTime},
      {Pack(1999, 13, 1, 0, 0, 0), kMsgInvalidDate},
      {Pack(1999, 0, 1, 0, 0, 0), kMsgInvalidDate},
      {Pack(1999, 2, 29, 0, 0, 0), kMsgInvalidDate},
      {Pack(1999, 1, 0, 0, 0, 0), kMsgInvalidDate},
      {Pack(1999, 1, 1, 31, 0, 0), kMsgInvalidTime},
      {Pack(1999, 1, 1, 0, 60, 0), kMsgInvalidTime},
      {Pack(1999, 1, 1, 0, 0, 30), kMsgInvalidTime},
      {Pack(1999, 1, 1, 0, 0, 31), kMsgInvalidTime},
      {Pack(1999, 15, 0, 31, 63, 31), kMsgInvalidDate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.packed);
    EXPECT_EQ(MessageText(c.message),
              ConvertErrorOf([&] { DosToSerial(c.packed); }));
  }
}

TEST_F(DatesTest, SerialToDosPacksYears1980To2099Only) {
  struct Case { double serial; DosDateTime packed; } const cases[] = {
      {MakeDate(1979, 12, 31) + MakeTime(23, 59, 0, 0), 0},
      {MakeDate(2100, 1, 1), 0},
      {MakeDate(2100, 12, 31), 0},
      {-1.5, 0},
      {NAN, 0},
      {MakeDate(1980, 1, 1), 0x00210000},
      {MakeDate(2099, 12, 31) + MakeTime(23, 59, 59, 0), -274743427},
      {MakeDate(2044, 1, 1), -2145320960},
      // Milliseconds are dropped and an odd second becomes the even one
      // below it.
      {MakeDate(2001, 2, 3) + MakeTime(4, 5, 7, 999), 0x2A4320A3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "serial " << c.serial);
    EXPECT_EQ(c.packed, SerialToDos(c.serial));
  }
}

TEST_F(DatesTest, PackedValuesSurviveTheRoundTrip) {
  const int last_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int checked = 0;
  for (unsigned year = 1980; year <= 2099; year += (year < 2095 ? 7 : 1)) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (unsigned month = 1; month <= 12; ++month) {
      const unsigned last = last_days[month - 1] + (month == 2 && leap);
      for (unsigned day : {1u, 13u, 28u, last}) {
        for (unsigned hour = 0; hour < 24; hour += 5) {
          for (unsigned minute = (hour + day) % 7; minute < 60; minute += 11) {
            const unsigned seconds = (minute * 3 + month) % 30;
            const DosDateTime packed =
                Pack(year, month, day, hour, minute, seconds);
            ASSERT_EQ(packed, SerialToDos(DosToSerial(packed)))
                << year << "-" << month << "-" << day << " " << hour << ":"
                << minute << ":" << seconds * 2;
            ++checked;
          }
        }
      }
    }
  }
  const DosDateTime last = Pack(2099, 12, 31, 23, 59, 29);
  EXPECT_EQ(last, SerialToDos(DosToSerial(last)));
  EXPECT_GT(checked, 10000);
}

TEST_F(DatesTest, CurrentSerialReadsTheClockOnEveryCall) {
  EXPECT_EQ(MakeDate(2026, 12, 7) + MakeTime(13, 45, 30, 250),
            CurrentSerial());
  g_clock_reads = 0;
  SetClockForTesting(SteppingClock);
  const double first = CurrentSerial();
  const double second = CurrentSerial();
  EXPECT_EQ(2, g_clock_reads);
  EXPECT_EQ(MakeDate(2026, 12, 7) + MakeTime(13, 45, 30, 7), first);
  EXPECT_EQ(MakeDate(2026, 12, 7) + MakeTime(13, 45, 30, 14), second);
}

TEST_F(DatesTest, PlatformClockIsLocalTimeWithMilliseconds) {
  SetClockForTesting(nullptr);
  const time_t before = time(nullptr);
  const CalendarTime now = ReadLocalClock();
  tm local = {};
  localtime_r(&before, &local);
  EXPECT_EQ(local.tm_year + 1900, now.year);
  EXPECT_LT(now.millisecond, 1000);
  const double expected = MakeDate(local.tm_year + 1900, local.tm_mon + 1,
                                   local.tm_mday) +
                          MakeTime(local.tm_hour, local.tm_min,
                                   local.tm_sec > 59 ? 59 : local.tm_sec, 0);
  // Within ten seconds of the clock read just before.
  EXPECT_NEAR(expected, CurrentSerial(), 10.0 / 86400);
}

TEST_F(DatesTest, SettingsAreThoseOfAJapaneseRegionalSetting) {
  InitDateTextSettings();
  const DateTextSettings& settings = CurrentDateTextSettings();
  // Windows' Japanese setting says yyyy/MM/dd; Wine's says yyyy/M/d.
  EXPECT_TRUE(settings.short_date_pattern == "yyyy/MM/dd" ||
              settings.short_date_pattern == "yyyy/M/d")
      << settings.short_date_pattern;
  EXPECT_EQ('/', settings.date_separator);
  EXPECT_EQ(0, settings.century_window);
  EXPECT_EQ('H', settings.time_pattern_first);
  EXPECT_EQ(kAm, settings.am_designator);
  EXPECT_EQ(kPm, settings.pm_designator);
  EXPECT_EQ(0, settings.era_offset);
  EXPECT_EQ(36525, TextToDate("1999/12/31"));
  EXPECT_EQ(NotADate("12/31/1999"),
            ConvertErrorOf([] { TextToDate("12/31/1999"); }));
}

struct TextCase {
  const char* text;
  int year, month, day;  // year 0: the text is not a date
};

void CheckTexts(const DateTextSettings& settings, const TextCase* cases,
                size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const TextCase& c = cases[i];
    SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\" pattern "
                                    << settings.short_date_pattern);
    double date = -1;
    const std::string error =
        ConvertErrorOf([&] { date = TextToDate(c.text, settings); });
    if (c.year == 0) {
      EXPECT_EQ(NotADate(c.text), error);
    } else {
      EXPECT_EQ("(no error)", error);
      EXPECT_EQ(MakeDate(c.year, c.month, c.day), date);
    }
  }
}

TEST_F(DatesTest, TextToDateYearFirst) {
  // The clock says 2026-12-07.
  const TextCase cases[] = {
      {"1999/12/31", 1999, 12, 31},
      {"2000/02/29", 2000, 2, 29},
      {"1900/02/29", 0, 0, 0},
      {"1999/12/ 3", 1999, 12, 3},
      {"  1999 / 12 /31  ", 1999, 12, 31},
      {"1999/12/31/", 1999, 12, 31},
      {"1999/12/31 / ", 1999, 12, 31},
      {"1999/12/31//", 0, 0, 0},
      {"1999/12/", 0, 0, 0},
      {"1999/13/01", 0, 0, 0},
      {"1999/00/10", 0, 0, 0},
      {"1999/12/00", 0, 0, 0},
      {"1999/1a/31", 0, 0, 0},
      {"1999/12/3x", 0, 0, 0},
      {"1999-12-31", 0, 0, 0},
      {"\t1999/12/31", 0, 0, 0},
      {"1999/12/31\t", 0, 0, 0},
      {"", 0, 0, 0},
      {"   ", 0, 0, 0},
      {"/12/31", 0, 0, 0},
      // Four significant digits at most, after any leading zeros; the
      // number of digit characters, zeros included, decides the century.
      {"0099/12/31", 99, 12, 31},
      {"099/12/31", 99, 12, 31},
      {"0001999/12/31", 1999, 12, 31},
      {"19999/12/31", 0, 0, 0},
      {"99/12/31", 2099, 12, 31},
      {"5/1/2", 2005, 1, 2},
      {"00/1/1", 2000, 1, 1},
      {"1999/12/031", 1999, 12, 31},
      // Two numbers: month and day of the current year.
      {"12/31", 2026, 12, 31},
      {"2/29", 0, 0, 0},
      // A separator after the second number asks for a third.
      {"12/31/", 0, 0, 0},
      {"1999/12", 0, 0, 0},
      // "%s" in the text is not taken for the message's own placeholder.
      {"%s/1", 0, 0, 0},
  };
  CheckTexts(MakeSettings("yyyy/MM/dd", '/'), cases, std::size(cases));
}

TEST_F(DatesTest, TextToDateFollowsOtherFieldOrders) {
  const TextCase month_first[] = {
      {"12/31/99", 2099, 12, 31},  {"12/31/1999", 1999, 12, 31},
      {"1999/12/31", 0, 0, 0},           {"2/29", 0, 0, 0},
      {"12/31", 2026, 12, 31},     {"13/1/2000", 0, 0, 0},
  };
  CheckTexts(MakeSettings("m/d/yy", '/'), month_first, std::size(month_first));
  const TextCase day_first[] = {
      {"31.12.1999", 1999, 12, 31}, {"31.12", 2026, 12, 31},
      {"1.2.3", 2003, 2, 1},        {"12/31", 0, 0, 0},
      {"31.12.1999.", 1999, 12, 31}, {"12.31.1999", 0, 0, 0},
  };
  CheckTexts(MakeSettings("d/m/y", '.'), day_first, std::size(day_first));
  // Letter case does not matter for the order, and the first letter wins.
  const TextCase upper_day_first[] = {{"31-12-99", 2099, 12, 31}};
  CheckTexts(MakeSettings("DD-MM-YY", '-'), upper_day_first, 1);
  const TextCase upper_year_first[] = {{"99-12-31", 2099, 12, 31}};
  CheckTexts(MakeSettings("YY-DD-MM", '-'), upper_year_first, 1);
  // Without any of the letters the order is month, day, year.
  const TextCase no_letters[] = {{"12/31/99", 2099, 12, 31}};
  CheckTexts(MakeSettings("", '/'), no_letters, 1);
}

TEST_F(DatesTest, TextToDateCenturyWindow) {
  // Clock year 2026, window 50: two-digit years fall in 1976..2075.
  const TextCase cases[] = {
      {"12/31/76", 1976, 12, 31}, {"12/31/80", 1980, 12, 31},
      {"12/31/99", 1999, 12, 31}, {"12/31/00", 2000, 12, 31},
      {"12/31/75", 2075, 12, 31}, {"12/31/080", 80, 12, 31},
      {"12/31", 2026, 12, 31},
  };
  CheckTexts(MakeSettings("M/d/yy", '/', 50), cases, std::size(cases));
}

TEST_F(DatesTest, TextToDateEraYears) {
  // Years count within the era starting in 1989.
  const TextCase era_year[] = {
      {"11/04/30", 1999, 4, 30}, {"1/1/8", 1989, 1, 8},
      {"0011/04/30", 1999, 4, 30}, {"4/30", 2026, 4, 30},
  };
  CheckTexts(MakeSettings("ee/MM/dd", '/', 0, 1989), era_year,
             std::size(era_year));
  // An era name in front of the numbers is passed over.
  const TextCase era_name[] = {
      {"\x95\xBD\x90\xAC" "11/04/30", 1999, 4, 30},  // 平成11/04/30
      {"H 11/04/30", 1999, 4, 30},
  };
  SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  CheckTexts(MakeSettings("gggee/MM/dd", '/', 0, 1989), era_name,
             std::size(era_name));
  // Without an era offset the usual century rule applies.
  const TextCase no_offset[] = {{"11/04/30", 2011, 4, 30}};
  CheckTexts(MakeSettings("ee/MM/dd", '/'), no_offset, 1);
}

TEST_F(DatesTest, TextToDatePassesDayNamesInDoubleByteMode) {
  DateTextSettings words = MakeSettings("yyyy/MM/dd ddd", '/');
  DateTextSettings digits = words;
  digits.time_pattern_first = '0';
  DateTextSettings latin = words;
  latin.am_designator = "AM";
  latin.pm_designator = "PM";
  DateTextSettings katakana = words;
  katakana.am_designator = "\x83\x41";  // ア

  SetDoubleByteInfo(false, "");
  const TextCase single_byte[] = {{"1999/12/31 \x8B\xE0", 0, 0, 0}};
  CheckTexts(words, single_byte, 1);

  SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  const TextCase by_words[] = {
      {"1999/12/31 \x8B\xE0\x97j\x93\xFA", 1999, 12, 31},   // 金曜日
      {"1999/12/31 Fri extra words", 1999, 12, 31},
      {"1999/12/31 Fri \x8C\xDF\x8C\xE3 3:00", 0, 0, 0},           // 午後
      {"1999/12/31 Fri \x8C\xDF\x91O", 0, 0, 0},                   // 午前
      // The first word is always passed, designator or not.
      {"1999/12/31 \x8C\xDF\x8C\xE3 3:00", 1999, 12, 31},
      {"1999/12/32 Fri", 0, 0, 0},
  };
  CheckTexts(words, by_words, std::size(by_words));
  const TextCase by_latin[] = {
      {"1999/12/31 Fri pm 3:00", 0, 0, 0},
      {"1999/12/31 Fri Am", 0, 0, 0},
      {"1999/12/31 Fri xm", 1999, 12, 31},
  };
  CheckTexts(latin, by_latin, std::size(by_latin));
  // ヂ (0x83 0x61) differs from ア (0x83 0x41) only by a letter's case bit
  // in its trail byte; it is a different character.
  const TextCase by_katakana[] = {
      {"1999/12/31 x \x83\x61", 1999, 12, 31},
      {"1999/12/31 x \x83\x41", 0, 0, 0},
  };
  CheckTexts(katakana, by_katakana, std::size(by_katakana));
  const TextCase by_digits[] = {
      {"1999/12/31 \x8B\xE0\x97j\x93\xFA", 1999, 12, 31},
      {"1999/12/31 Fri 10:00", 0, 0, 0},
      // A lead byte takes the byte after it along, even a digit.
      {"1999/12/31 \x81" "5", 1999, 12, 31},
      {"1999/12/31 \x81", 1999, 12, 31},
  };
  CheckTexts(digits, by_digits, std::size(by_digits));
  const TextCase without_ddd[] = {{"1999/12/31 Fri", 0, 0, 0}};
  CheckTexts(MakeSettings("yyyy/MM/dd", '/'), without_ddd, 1);
}

}  // namespace
