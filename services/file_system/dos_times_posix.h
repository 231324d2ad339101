// Last-write times, in seconds since the epoch, as local MS-DOS date-times.
// The zone's offset from universal time is looked up once for each day and
// kept, so that the times of a whole tree cost a few additions each rather
// than one time-zone lookup per entry; every result is the one the C
// library's local time gives.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_

#include <time.h>

#include <array>
#include <cstdint>

#include "services/dates.h"

class DosTimes {
 public:
  // The local MS-DOS date-time of `mtime`, clamped to the range's ends.
  DosDateTime Of(time_t mtime);

 private:
  // One day of universal time, and the offset that holds all through it.
  struct Day {
    int64_t number = INT64_MIN;
    long offset = 0;
    bool uniform = false;  // false: the library converts each time
  };
  std::array<Day, 1024> days_;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_
