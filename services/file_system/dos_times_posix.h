// Last-write times, in seconds since the epoch, as local MS-DOS date-times.
// The zone's offset from universal time is looked up once for each day and
// kept, so that the times of a whole tree cost a few additions each rather
// than one time-zone lookup per entry; every result is the one the C
// library's local time gives.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_

#include <time.h>

#include <cstdint>
#include <vector>

#include "services/dates.h"

class DosTimes {
 public:
  // The local MS-DOS date-time of `mtime`, clamped to the range's ends.
  DosDateTime Of(time_t mtime);

 private:
  // One day of universal time, and the offset that holds all through it.
  struct Day {
    int32_t number = INT32_MIN;
    int32_t offset = 0;
    bool uniform = false;  // false: the library converts each time
  };
  // By day number; enough for the days of two decades to stand side by
  // side, as a tree's times spread over years. Made at the first time.
  std::vector<Day> days_;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_DOS_TIMES_POSIX_H_
