#include "services/file_system/dos_times_posix.h"

namespace {

constexpr int64_t kDaySeconds = 86400;
// Times beyond this many seconds from the epoch (the year 2242) are left to
// the library: they are clamped anyway, and the arithmetic stays far from
// overflow.
constexpr int64_t kCachedRange = int64_t{1} << 33;
constexpr size_t kDays = 8192;

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The calendar fields of universal time `t`, by arithmetic: the civil date
// of a day number (days since 1970-01-01, proleptic Gregorian calendar).
struct Fields {
  int year, month, day, hour, minute, second;
};
Fields FieldsOfUniversal(int64_t t) {
  const int64_t days = FloorDiv(t, kDaySeconds);
  const int64_t seconds = t - days * kDaySeconds;
  const int64_t z = days + 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);
  return Fields{static_cast<int>(year), static_cast<int>(month),
                static_cast<int>(day), static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60)};
}

DosDateTime DosTimeOfFields(const Fields& f) {
  return LastWriteDosTime(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

// The C library's answer, as every time was converted before.
DosDateTime ByLibrary(time_t mtime) {
  struct tm t;
  if (localtime_r(&mtime, &t) == nullptr)
    return mtime < 0 ? kEarliestDosTime : kLatestDosTime;
  return LastWriteDosTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                          t.tm_hour, t.tm_min, t.tm_sec);
}

// The zone's offset at `t`, when the library's local time there is
// universal time plus that offset (a zone that counts leap seconds is not).
bool OffsetAt(time_t t, int32_t* offset) {
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return false;
  *offset = static_cast<int32_t>(local.tm_gmtoff);
  const Fields f = FieldsOfUniversal(static_cast<int64_t>(t) + *offset);
  return f.year == local.tm_year + 1900 && f.month == local.tm_mon + 1 &&
         f.day == local.tm_mday && f.hour == local.tm_hour &&
         f.minute == local.tm_min && f.second == local.tm_sec;
}

}  // namespace

// A day is taken as uniform when the offset is the same at its start, its
// middle and its end: zones change their offset at most a few times a year,
// never twice and back within hours.
DosDateTime DosTimes::Of(time_t mtime) {
  const int64_t t = static_cast<int64_t>(mtime);
  if (t < -kCachedRange || t > kCachedRange) return ByLibrary(mtime);
  const int64_t number = FloorDiv(t, kDaySeconds);
  if (days_.empty()) days_.resize(kDays);
  Day& day = days_[static_cast<size_t>(number) & (kDays - 1)];
  if (day.number != number) {
    const time_t start = static_cast<time_t>(number * kDaySeconds);
    int32_t middle = 0, end = 0;
    day.number = static_cast<int32_t>(number);
    day.uniform = OffsetAt(start, &day.offset) &&
                  OffsetAt(start + kDaySeconds / 2, &middle) &&
                  OffsetAt(start + kDaySeconds - 1, &end) &&
                  middle == day.offset && end == day.offset;
  }
  if (!day.uniform) return ByLibrary(mtime);
  return DosTimeOfFields(FieldsOfUniversal(t + day.offset));
}
