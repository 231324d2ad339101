// The date-text settings from the user's regional settings (the thread
// locale), read once at start-up.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "services/dates.h"
#include "services/dbcs.h"
#include "services/text_encoding.h"
#include "services/wide_text_win32.h"

namespace {

// The locale value of `type` as UTF-8 texts hold it; empty when the locale
// has none.
std::string WideLocaleText(LCID locale, LCTYPE type) {
  const int size = GetLocaleInfoW(locale, type, nullptr, 0);
  if (size <= 0) return std::string();
  std::vector<wchar_t> buffer(static_cast<size_t>(size));
  const int length = GetLocaleInfoW(locale, type, buffer.data(), size);
  if (length <= 0) return std::string();
  return NarrowText(buffer.data(), wcsnlen(buffer.data(), length));
}

// The locale value of `type` in the run's texts, without its terminating
// NUL; empty when the locale has none. User text (the /f dates) is
// compared with it, so both must be in one encoding.
std::string LocaleText(LCID locale, LCTYPE type) {
  if (TextsFromUtf16()) return WideLocaleText(locale, type);
  const int size = GetLocaleInfoA(locale, type, nullptr, 0);
  if (size <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(size));
  const int length = GetLocaleInfoA(locale, type, buffer.data(), size);
  if (length <= 0) return std::string();
  return std::string(buffer.data(), strnlen(buffer.data(), length));
}

// Era calendars (Japanese emperor era, Taiwan, Korean Tangun era).
bool IsEraCalendar(LCID locale) {
  const int type = std::atoi(LocaleText(locale, LOCALE_ICALENDARTYPE).c_str());
  return type == CAL_JAPAN || type == CAL_TAIWAN || type == CAL_KOREA;
}

bool IsEastAsian(LCID locale) {
  const WORD language = PRIMARYLANGID(LANGIDFROMLCID(locale));
  return language == LANG_CHINESE || language == LANG_JAPANESE ||
         language == LANG_KOREAN;
}

bool StartsWith(const std::string& text, size_t i, const char* prefix) {
  return text.compare(i, std::strlen(prefix), prefix) == 0;
}

// Under an era calendar the year is counted in the era: "gg" names the
// era in full, and every run of y becomes a run of e.
std::string ToEraPattern(const std::string& pattern) {
  std::string result;
  size_t i = 0;
  while (i < pattern.size()) {
    if (StartsWith(pattern, i, "gg")) {
      result += "ggg";
      i += 2;
    } else if (StartsWith(pattern, i, "yyyy")) {
      result += "eeee";
      i += 4;
    } else if (StartsWith(pattern, i, "yy")) {
      result += "ee";
      i += 2;
    } else if (pattern[i] == 'y') {
      result += 'e';
      ++i;
    } else {
      const size_t next = NextCharIndex(pattern, i);
      result.append(pattern, i, next - i);
      i = next;
    }
  }
  return result;
}

// Without an era calendar an East Asian pattern's era letters name nothing
// and are dropped. Double-byte characters (literal text such as 年) are
// copied whole, so a second byte that equals "g" or "G" stays.
std::string WithoutEraLetters(const std::string& pattern) {
  std::string result;
  size_t i = 0;
  while (i < pattern.size()) {
    const size_t next = NextCharIndex(pattern, i);
    if (next != i + 1 || (pattern[i] != 'g' && pattern[i] != 'G'))
      result.append(pattern, i, next - i);
    i = next;
  }
  return result;
}

std::string ShortDatePattern(LCID locale) {
  const std::string pattern = LocaleText(locale, LOCALE_SSHORTDATE);
  if (pattern.empty()) return "m/d/yy";
  if (IsEraCalendar(locale)) return ToEraPattern(pattern);
  if (IsEastAsian(locale)) return WithoutEraLetters(pattern);
  return pattern;
}

DateTextSettings ReadSettings() {
  const LCID locale = GetThreadLocale();
  DateTextSettings settings;
  settings.short_date_pattern = ShortDatePattern(locale);
  const std::string separator = LocaleText(locale, LOCALE_SDATE);
  settings.date_separator = separator.empty() ? '/' : separator[0];
  settings.century_window = 0;
  const std::string time_pattern = LocaleText(locale, LOCALE_STIMEFORMAT);
  settings.time_pattern_first = time_pattern.empty() ? '\0' : time_pattern[0];
  settings.am_designator = LocaleText(locale, LOCALE_S1159);
  settings.pm_designator = LocaleText(locale, LOCALE_S2359);
  // Era start years are not read: the tool's own date texts never name an
  // era, so the year read is taken as it stands.
  settings.era_offset = 0;
  return settings;
}

// Held in a function so that a caller during static initialisation still
// finds the settings made.
DateTextSettings& Settings() {
  static DateTextSettings settings = ReadSettings();
  return settings;
}

}  // namespace

void InitDateTextSettings() { Settings() = ReadSettings(); }

const DateTextSettings& CurrentDateTextSettings() { return Settings(); }
