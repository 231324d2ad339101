// Fuzz target: the date-text conversion under several regional settings.
//
// Input: byte 0 picks the settings (modulo their count), byte 1 holds flags
// (bit 0: double-byte mode with the code page 932 lead bytes; bits 1-3: the
// clock's year); the rest is the text.
//
// Properties: the conversion either raises EConvertError with the "not a
// date" message naming the text, or returns a whole day whose calendar date
// is valid and encodes back to the same serial value. Where no trailing
// text is passed over and no era name is skipped, a text that converts
// holds nothing but blanks, digits and the date separator.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "services/dates.h"
#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"

namespace {

DateTextSettings Settings(const char* pattern, char separator, int window,
                          char time_first, const std::string& am,
                          const std::string& pm, int era_offset) {
  return DateTextSettings{pattern, separator, window, time_first,
                          am,      pm,        era_offset};
}

const DateTextSettings& SettingsAt(uint8_t index) {
  // The Japanese designators, as the POSIX date settings hold them.
  static const std::string kAm =
      MessageTextIn(kMsgAm, MessageEncoding::kCodePage932);
  static const std::string kPm =
      MessageTextIn(kMsgPm, MessageEncoding::kCodePage932);
  static const DateTextSettings kSettings[] = {
      Settings("yyyy/MM/dd", '/', 0, 'H', kAm, kPm, 0),
      Settings("M/d/yy", '/', 0, 'h', "AM", "PM", 0),
      Settings("d.M.yyyy", '.', 0, 'H', "", "", 0),
      // Day names and a time after the date, passed over in double-byte
      // mode: to the AM/PM designator, or to the next digit.
      Settings("yyyy/MM/dd ddd", '/', 0, 'H', kAm, kPm, 0),
      Settings("ddd dd-MM-yyyy", '-', 0, '0', "am", "pm", 0),
      Settings("yy/MM/dd", '/', 50, 'H', kAm, kPm, 0),
      Settings("MM-dd-yy", '-', 50, 'h', "AM", "PM", 0),
      // Era-relative years: an era name in front, or "e" for the first era.
      Settings("gge/MM/dd", '/', 0, 'H', kAm, kPm, 2019),
      Settings("ee/MM/dd", '/', 0, 'H', kAm, kPm, 1989),
  };
  constexpr size_t kCount = sizeof kSettings / sizeof kSettings[0];
  return kSettings[index % kCount];
}

uint16_t g_clock_year = 2026;

CalendarTime FixedClock() {
  return CalendarTime{g_clock_year, 6, 30, 23, 59, 59, 999};
}

uint16_t ClockYear(uint8_t flags) {
  static const uint16_t kYears[] = {2026, 1999, 2000, 2049,
                                    2050, 1,    9999, 1980};
  return kYears[(flags >> 1) & 7];
}

std::string NotADateMessage(const std::string& text) {
  std::string message = MessageText(kMsgNotADate);
  message.replace(message.find("%s"), 2, text);
  return message;
}

bool OnlyDateBytes(const std::string& text, char separator) {
  for (char c : text) {
    if (c != ' ' && c != separator && !(c >= '0' && c <= '9')) return false;
  }
  return true;
}

void CheckConverted(const std::string& text, const DateTextSettings& settings,
                    SerialDateTime serial) {
  const std::string context = "text " + Escaped(text) + " pattern " +
                              settings.short_date_pattern + " serial " +
                              std::to_string(serial);
  FUZZ_CHECK(std::isfinite(serial) && serial == std::floor(serial), context);
  uint16_t year, month, day;
  SplitDate(serial, &year, &month, &day);
  FUZZ_CHECK(year >= 1 && year <= 9999 && month >= 1 && month <= 12 &&
                 day >= 1 && day <= 31,
             context);
  SerialDateTime again = -1;
  try {
    again = MakeDate(year, month, day);
  } catch (const EConvertError&) {
    FailProperty("the split date is valid",
                 context + " date " + std::to_string(year) + "-" +
                     std::to_string(month) + "-" + std::to_string(day));
  }
  FUZZ_CHECK(again == serial, context);
  const bool passes_trailing_text =
      DoubleByteMode() &&
      settings.short_date_pattern.find("ddd") != std::string::npos;
  const bool skips_era_name = settings.short_date_pattern[0] == 'g';
  if (!passes_trailing_text && !skips_era_name) {
    FUZZ_CHECK(OnlyDateBytes(text, settings.date_separator), context);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const DateTextSettings& settings = SettingsAt(data[0]);
  SetDoubleByteInfo((data[1] & 1) != 0, Cp932LeadRanges());
  g_clock_year = ClockYear(data[1]);
  SetClockForTesting(FixedClock);
  const std::string text = InputText(data + 2, size - 2);
  SerialDateTime serial = 0;
  try {
    serial = TextToDate(text, settings);
  } catch (const EConvertError& e) {
    FUZZ_CHECK(e.Message() == NotADateMessage(text),
               "text " + Escaped(text) + " message " + Escaped(e.Message()));
    return 0;
  }
  CheckConverted(text, settings, serial);
  return 0;
}
