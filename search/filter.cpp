#include "search/filter.h"

#include <cstdint>

#include "frontend/search_settings.h"
#include "services/dates.h"

namespace {

bool Active(uint8_t bit) { return (SearchSettings.FilterMask & bit) != 0; }

// One required attribute state: passes when the filter is off or the bit's
// state equals the wanted one.
bool AttributeHolds(const TSearchRec& entry, uint8_t filter_bit,
                    uint32_t attr_bit, bool wanted) {
  if (!Active(filter_bit)) return true;
  return ((entry.Attr & attr_bit) != 0) == wanted;
}

// Tests 1-5, in their fixed order: read-only, hidden, system, archive,
// directory.
bool AttributesHold(const TSearchRec& entry) {
  const SearchSettingsData& s = SearchSettings;
  return AttributeHolds(entry, kFilterReadOnly, kAttrReadOnly,
                        s.WantReadOnly) &&
         AttributeHolds(entry, kFilterHidden, kAttrHidden, s.WantHidden) &&
         AttributeHolds(entry, kFilterSystem, kAttrSystem, s.WantSystem) &&
         AttributeHolds(entry, kFilterArchive, kAttrArchive, s.WantArchive) &&
         AttributeHolds(entry, kFilterDirectory, kAttrDirectory,
                        s.WantDirectory);
}

// Both bounds inclusive; MaxSize 0 means no upper bound. Sizes are whole
// 64-bit values, so files of 2 GiB and more compare by their true size.
bool SizeHolds(const TSearchRec& entry) {
  if (!Active(kFilterSize)) return true;
  if (entry.Size < SearchSettings.MinSize) return false;
  return SearchSettings.MaxSize == 0 || entry.Size <= SearchSettings.MaxSize;
}

// Packed date-times compare as unsigned numbers: the year sits in the top
// bits, so from 2044 on (bit 31 set) they still order after earlier years.
bool PeriodHolds(const TSearchRec& entry) {
  if (!Active(kFilterPeriod)) return true;
  uint32_t time = static_cast<uint32_t>(entry.Time);
  if (SearchSettings.PeriodFrom != 0 && time < SearchSettings.PeriodFrom)
    return false;
  return SearchSettings.PeriodTo == 0 || time <= SearchSettings.PeriodTo;
}

// The age in fractional days is measured to the moment of each comparison,
// so each limit reads the clock anew. An invalid Time raises EConvertError,
// which is left to the caller.
bool AgeHolds(const TSearchRec& entry) {
  if (!Active(kFilterAge)) return true;
  SerialDateTime written = DosToSerial(entry.Time);
  if (SearchSettings.MaxAgeDays != 0 &&
      SearchSettings.MaxAgeDays < CurrentSerial() - written)
    return false;
  if (SearchSettings.MinAgeDays != 0 &&
      SearchSettings.MinAgeDays > CurrentSerial() - written)
    return false;
  return true;
}

}  // namespace

bool MatchesFilter(const TSearchRec& entry) {
  // The first failing test ends the call, so a later test (the age test,
  // which may raise) does not run for an entry already rejected.
  return AttributesHold(entry) && SizeHolds(entry) && PeriodHolds(entry) &&
         AgeHolds(entry);
}
