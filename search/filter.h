// The entry filter: attribute, size, period and age tests on one entry.
#ifndef KESTRIV_SEARCH_FILTER_H_
#define KESTRIV_SEARCH_FILTER_H_

#include "services/file_system/file_system.h"

// True when `entry` passes every filter active in SearchSettings.FilterMask.
// The age test may raise EConvertError for a Time that is not a valid
// date-time; it is not caught here.
bool MatchesFilter(const TSearchRec& entry);

#endif  // KESTRIV_SEARCH_FILTER_H_
