// The process-wide search state: options, filters and counters. Set up by
// the run driver, written by the option handlers before any search, read by
// the walker and the filter; only the walker changes the counters.
#ifndef KESTRIV_FRONTEND_SEARCH_SETTINGS_H_
#define KESTRIV_FRONTEND_SEARCH_SETTINGS_H_

#include <cstdint>
#include <string>

#include "services/name_exclusion.h"
#include "services/text.h"

// FilterMask bits: which filters are active.
enum : uint8_t {
  kFilterPeriod = 0x01,
  kFilterAge = 0x02,
  kFilterSize = 0x04,
  kFilterReadOnly = 0x08,
  kFilterHidden = 0x10,
  kFilterSystem = 0x20,
  kFilterDirectory = 0x40,
  kFilterArchive = 0x80,
};

struct SearchSettingsData {
  uint32_t PeriodFrom = 0;  // packed date-time; 0 means no lower bound
  uint32_t PeriodTo = 0;    // packed date-time; 0 means no upper bound
  int32_t MaxAgeDays = 0;   // /d-N; 0 means unset
  int32_t MinAgeDays = 0;   // /dN; 0 means unset
  int64_t MinSize = 0;      // bytes
  int64_t MaxSize = 0;      // bytes; 0 means no upper bound
  bool WantReadOnly = false;
  bool WantArchive = false;
  bool WantDirectory = false;
  bool WantHidden = false;
  bool WantSystem = false;
  uint8_t FilterMask = 0;
  bool Recursive = false;
  bool ShortNames = false;
  std::string NameMaskText;  // every /n value, joined with ":"
  NameExclusion ExcludeMasks;  // --exclude: names neither printed nor entered
  int32_t MaxDepth = 0;  // --max-depth: the deepest level printed; 0 none
  int32_t FoundCount = 0;    // entries printed
  int32_t DirCount = 0;      // directory searches made
};

// The one instance for the whole process.
extern SearchSettingsData SearchSettings;

// Sets every field to its start value (zero or empty); tests use it too.
void ResetSearchSettings();

#endif  // KESTRIV_FRONTEND_SEARCH_SETTINGS_H_
