#include "services/dates.h"
#include "services/messages.h"

namespace {

// There is no regional-settings store to ask on POSIX systems. The tool's
// period option writes its dates as year/month/day with "/" and works only
// under such an order and separator, so the settings are those of a
// Japanese regional setting, which is what the tool is made for.
DateTextSettings JapaneseSettings() {
  DateTextSettings settings;
  settings.short_date_pattern = "yyyy/MM/dd";
  settings.date_separator = '/';
  settings.century_window = 0;
  settings.time_pattern_first = 'H';
  // The designators stay code page 932 bytes whatever the locale, as the
  // rest of these settings imitate a Japanese Windows system.
  const MessageEncoding kCodePage932 = MessageEncoding::kCodePage932;
  settings.am_designator = MessageTextIn(kMsgAm, kCodePage932);
  settings.pm_designator = MessageTextIn(kMsgPm, kCodePage932);
  settings.era_offset = 0;
  return settings;
}

// Held in a function so that a caller during static initialisation still
// finds the settings made.
DateTextSettings& Settings() {
  static DateTextSettings settings = JapaneseSettings();
  return settings;
}

}  // namespace

void InitDateTextSettings() { Settings() = JapaneseSettings(); }

const DateTextSettings& CurrentDateTextSettings() { return Settings(); }
