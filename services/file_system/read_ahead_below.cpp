// The walk's side of reading ahead, the same on every platform: as the walk
// is about to enter the subdirectories of a directory, those not queued
// yet are queued, read through a handle of the workers' own.
#include "services/file_system/file_system.h"
#include "services/file_system/read_ahead_platform.h"

void ReadAheadBelow(Directory& dir) {
  ReadAhead* ahead = ReadAheadOf(dir);
  if (ahead == nullptr) return;
  ahead->Descend();
  const AheadListing* listing = ListingToFollow(dir);
  AheadNode*& node = AheadNodeOf(dir);
  if (listing == nullptr || !ahead->WouldExpand(node, *listing)) return;
  const AheadHandle handle = NewAheadHandle(dir);
  if (handle != kNoAheadHandle) node = ahead->Expand(node, *listing, handle);
}
