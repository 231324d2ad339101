// What the walk's side of reading ahead asks of each platform's
// directories; ReadAheadBelow, written once over these, is the rest.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_PLATFORM_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_PLATFORM_H_

#include "services/file_system/read_ahead.h"

struct Directory;

// The read-ahead of `dir`'s session; null when the run has no workers.
ReadAhead* ReadAheadOf(Directory& dir);

// The node `dir` holds among the listings read ahead; null for none.
AheadNode*& AheadNodeOf(Directory& dir);

// The listing the walk holds of `dir` (taken from its node, or read by the
// walk); null when it has none whose subdirectories may be read ahead
// (unreadable, or kept for the run's later walks with its subdirectories).
const AheadListing* ListingToFollow(Directory& dir);

// A handle through which workers read the subdirectories of `dir`, of
// their own, as the walk may let its own go; kNoAheadHandle when none can
// be had.
AheadHandle NewAheadHandle(Directory& dir);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_PLATFORM_H_
