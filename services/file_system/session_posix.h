// The POSIX session and its directory objects. A directory is opened
// relative to its parent's descriptor by its stored name, so that no path
// text is ever longer than one name; the session holds the descriptor
// budget, closes finished descriptors in batches, and keeps what the run's
// later walks may reuse.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_SESSION_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_SESSION_POSIX_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "services/file_system/directory_reader_posix.h"
#include "services/file_system/file_system.h"
#include "services/file_system/dos_times_posix.h"
#include "services/file_system/listing_posix.h"
#include "services/file_system/read_ahead.h"
#include "services/file_system/run_listings_posix.h"
#include "services/wildcard.h"

// The aliases of one directory's entries, by stored name.
using AliasTable = std::unordered_map<std::string, std::string>;

struct FileSystemSession {
  std::unique_ptr<DirectoryReader> own_reader;  // the system's, in a run
  DirectoryReader* reader = nullptr;
  // Descriptors the directories may hold at once; past it the deeper ones
  // give theirs up and open again when needed.
  size_t budget = 0;
  size_t held = 0;  // descriptors directories hold now
  // Descriptors of finished directories, closed together once there are
  // `close_batch` of them (0: each at once).
  size_t close_batch = 0;
  std::vector<int> closing;
  RunListings run;
  RecordBuffer records;
  // Masks prepared for matching, by their text; shared with the listings
  // read ahead that match candidates against them.
  std::vector<std::pair<std::string, std::shared_ptr<const CompiledMask>>>
      masks;
  // What the listings read for the current walk read besides names.
  std::shared_ptr<const ListingWants> wants;
  // Last-write times as MS-DOS date-times, for the walk's thread.
  DosTimes dos_times;
  // Listings read ahead of the walk, when the run has workers; destroyed
  // before the reader they read through.
  std::unique_ptr<AheadSource> ahead_source;
  std::unique_ptr<ReadAhead> ahead;
};

struct Directory {
  FileSystemSession* session = nullptr;
  Directory* parent = nullptr;  // null for one opened from typed text
  std::string name;             // its stored name in `parent`
  size_t level = 0;             // in the walk: 0 for one opened from text
  bool follow = true;           // opened through a link when it is one
  int fd = -1;          // its descriptor, -1 before the first use or while
                        // given up to the budget
  bool opened = false;  // a descriptor was had once
  // It is about to stand on its own: its opening does not make its parent
  // give up a descriptor, which the walk still needs.
  bool detaching = false;
  bool failed = false;  // the directory could not be opened
  int error = 0;        // why, as an errno value
  bool identity_known = false;
  FileIdentity identity;
  bool listed = false;  // `listing` holds its entries
  Listing listing;
  uint32_t run_number = 0;  // its number among the run's kept listings
  bool recalled = false;    // its listing is one kept for the run
  AheadNode* ahead = nullptr;  // claimed among the listings read ahead
  std::unique_ptr<AliasTable> aliases;  // made at the first short name
};

// A session reading through `reader` (which must outlive it), whose
// directories hold at most `budget` descriptors, and up to `close_batch`
// more wait to be closed together.
FileSystemSessionPtr NewSessionWithReader(DirectoryReader* reader,
                                          bool repeated_walks, size_t budget,
                                          size_t close_batch);

// Gives `session` up to `workers` threads that read listings ahead of the
// walk, `first_workers` of them from the start, holding at most `handles`
// descriptors for it.
void EnableReadAhead(FileSystemSession& session, size_t workers,
                     size_t first_workers, size_t handles);

// The descriptor of `dir`, opened (again) where needed from its nearest
// open ancestor; -1 with `dir.error` set when that fails.
int DescriptorOf(Directory& dir);

// The listing of `dir`, read once; null with `dir.error` set when it
// cannot be read.
const Listing* ListingOf(Directory& dir);

// The identity of the open directory `fd`; false when it cannot be read.
bool ReadIdentity(DirectoryReader& reader, int fd, FileIdentity* identity);

// The mask `mask` prepared once per run.
std::shared_ptr<const CompiledMask> CompiledMaskFor(FileSystemSession& session,
                                                    const std::string& mask);

// Opens `name` in the open directory `at`, following a final link when
// `follow`; on a lack of descriptors or memory, frees what the session
// can and tries once more. -1 with errno set on failure.
int OpenBelow(FileSystemSession& session, int at, const char* name,
              bool follow);

// The stored name that `name` stands for in `listing`: the entry spelt so,
// else the first equal to it but for case, else (when `name` ends in dots
// or blanks) the same for `name` without them; empty when there is none.
std::string StoredNameIn(const Listing& listing, std::string_view name);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_SESSION_POSIX_H_
