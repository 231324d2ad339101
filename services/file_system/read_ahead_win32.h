// Reading ahead on Windows. A directory is read by its full "\\?\" path:
// one enumeration of "*", the records the platform returned kept as they
// came, and, when the walk selects with another wildcard mask, one
// enumeration of that mask too, so that its selection gets what the
// platform's own matching (long and short names) gives. The walk's scans
// then replay the kept records instead of asking the platform again.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/file_system/read_ahead.h"

// The platform's enumeration as the walk's scans and the workers open it:
// the basic information (no short names), the large buffer for a mask.
HANDLE FindFirst(const std::wstring& pattern, bool mask,
                 WIN32_FIND_DATAW* raw);

// The name field of `raw` up to its first NUL, all of it when there is none.
std::wstring_view NameOf(const WIN32_FIND_DATAW& raw);

// The code of the last failure; callers test results for zero, so one
// whose code was lost must not read as success.
int LastErrorCode();

// The records one enumeration returned, as kept in a listing.
struct KeptRecords {
  int first_error = 0;  // what opening it gave: 0, or nothing matched
  const char* begin = nullptr;  // its records
  const char* end = nullptr;
};

// A listing read ahead, seen through its parts; it points into the
// listing's bytes, which must outlive it.
struct KeptListing {
  std::wstring mask;  // the mask `masked` holds, empty for none
  KeptRecords all;    // of "*", which "*.*" selects alike
  KeptRecords masked;
};

// True for the masks that select every entry: "*" and "*.*".
bool IsFullMask(std::wstring_view mask);

// The text the read-ahead knows a subdirectory's wide name by.
std::string NameKey(std::wstring_view name);

// The handle of a directory read ahead: a new object holding its full
// path, ending in "\", and the mask its subdirectories are read with.
AheadHandle NewAheadPath(std::wstring path, std::wstring mask);

// The platform's enumerations, for the workers.
std::unique_ptr<AheadSource> NewFindSource();

// Reads the directory at full path `path` (ending in "\") as a worker
// does, with `mask` besides when it is not empty: the listing and the
// subdirectories, or the platform's error code.
void ReadDirectoryAt(const std::wstring& path, const std::wstring& mask,
                     AheadRead* read);

// The subdirectories the walk enters in the directory `all` lists, in
// their order: every directory but "." and "..", and but the links, which
// the walk may leave out and whose targets may lead back into it.
std::vector<std::string> SubdirectoriesIn(const KeptRecords& all);

// The parts of `listing`; false when it is not one ReadDirectoryAt made.
bool ParseListing(const std::string& listing, KeptListing* parts);

// Moves `*at` (within [*at, end)) past the next record into `raw`; false
// at the end.
bool NextKeptRecord(const char** at, const char* end, WIN32_FIND_DATAW* raw);

struct FileSystemSession;

// The scans of `session`'s directories that replayed records read ahead,
// for tests that check that the walk takes what the workers read.
size_t ReplayedScans(const FileSystemSession& session);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_
