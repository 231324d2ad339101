// A directory's records on Windows, read once by a worker ahead of the walk
// or by the walk itself: one enumeration of "*" by the directory's full
// "\\?\" path, and, when the walk selects with another wildcard mask, one
// enumeration of that mask too, so that its selection gets what the
// platform's own matching (long and short names) gives. The walk's scans
// replay the kept records instead of asking the platform again.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/file_system/file_system.h"
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

// One record as kept: the fields the scans deliver and where its name is.
struct KeptRecord {
  DWORD attributes = 0;
  FILETIME last_write = {};
  DWORD size_high = 0, size_low = 0;
  uint32_t name = 0;     // where its name starts in the listing's names
  uint16_t length = 0;   // UTF-16 units of its name
  int32_t child = -1;    // its place among the subdirectories, or -1
};

// What one enumeration gave: the code its opening failed with when it
// found nothing (a mask that matches nothing is an answer too), else its
// records in the platform's order.
struct KeptRecords {
  int first_error = 0;
  std::vector<KeptRecord> records;
};

class Listing : public AheadListing {
 public:
  std::wstring mask;     // the mask `masked` answers; empty for none
  KeptRecords all;       // of "*", which "*.*" selects alike
  KeptRecords masked;
  std::wstring names;    // every record's name, back to back
  // Records of `all` (by index) the walk enters without a link, in order.
  std::vector<uint32_t> subdirectories;

  std::wstring_view NameOf(const KeptRecord& record) const {
    return std::wstring_view(names.data() + record.name, record.length);
  }
  // `record` as the platform returned it, into `raw` (the fields a scan
  // reads).
  void Restore(const KeptRecord& record, WIN32_FIND_DATAW* raw) const;

  size_t Bytes() const override;
  size_t SubdirectoryCount() const override { return subdirectories.size(); }
  std::string SubdirectoryName(size_t index) const override;
};

// True for the masks that select every entry: "*" and "*.*".
bool IsFullMask(std::wstring_view mask);

// The handle of a directory read ahead at `level` of the walk: a new
// object holding its full path, ending in "\", the mask its subdirectories
// are read with, and which of theirs the walk enters.
AheadHandle NewAheadPath(std::wstring path, std::wstring mask,
                         const DescentRule& descent, size_t level);

// The platform's enumerations, for the workers.
std::unique_ptr<AheadSource> NewFindSource();

// Reads the directory at full path `path` (ending in "\"), at `level` of
// the walk, as a worker does, with `mask` besides when it is not empty:
// the listing, its subdirectories those `descent` enters, or the
// platform's error code.
void ReadDirectoryAt(const std::wstring& path, const std::wstring& mask,
                     const DescentRule& descent, size_t level,
                     AheadRead* read);

struct FileSystemSession;

// The scans of `session`'s directories that replayed records read ahead,
// for tests that check that the walk takes what the workers read.
size_t ReplayedScans(const FileSystemSession& session);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_WIN32_H_
