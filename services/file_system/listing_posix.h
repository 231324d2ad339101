// One directory's entries as the POSIX scans read them, built once by
// whoever reads the directory (a worker reading ahead, or the walk): the
// names in name order (CompareNames, the order Windows lists a directory
// in, whatever order the system delivered them in), what each entry is (its listed type, a link's target resolved),
// the statuses of the entries the run's filters will read, and the
// subdirectories the walk will enter, in its order, for reading ahead.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/file_system/file_system.h"
#include "services/file_system/read_ahead.h"

class CompiledMask;
class DirectoryReader;

// What a listing reads besides names and types: the statuses of the
// entries that `candidates` selects, when `fields` asks for any (the
// kWant bits of file_system.h), and which subdirectories the walk enters.
// Shared, unchanged, by every listing read for one walk.
struct ListingWants {
  std::shared_ptr<const CompiledMask> candidates;
  uint32_t fields = 0;
  DescentRule descent;
};

struct ListedEntry;

// Room for raw records, and for putting a listing in order, reused from
// listing to listing; never zero-filled, as every byte is written before it
// is read back.
struct RecordBuffer {
  std::unique_ptr<char[]> data;
  size_t capacity = 0;
  // Each entry's name prefix and index, to sort by name.
  struct Sorted {
    uint64_t high, low;  // NamePrefix
    size_t at;           // the index, and in the lowest bit the exactness
  };
  std::vector<Sorted> order;
};

// What a listed entry's status says, as the scans deliver it.
struct ListedStatus {
  uint32_t attr = 0;   // attribute bits but hidden
  int64_t size = 0;    // 0 for a directory
  time_t mtime = 0;    // last write, seconds since the epoch
};

struct ListedEntry {
  uint32_t name = 0;       // where its name starts in the listing's names
  uint8_t size = 0;        // bytes of its name
  unsigned char type = 0;  // the d_type listed; DT_UNKNOWN resolved
  bool has_status = false;  // the listing holds its status
  bool gone = false;        // its status could not be read: not delivered
  int32_t child = -1;  // its place among the subdirectories, or -1
};

class Listing : public AheadListing {
 public:
  // Names, each followed by a NUL, back to back.
  std::string names;
  // In the order the scans deliver them.
  std::vector<ListedEntry> entries;
  // The statuses read, each at its entry's index; empty when none was.
  std::vector<ListedStatus> statuses;
  // Entries (by index) the walk enters without a link, in order.
  std::vector<uint32_t> subdirectories;

  std::string_view NameOf(const ListedEntry& entry) const {
    return std::string_view(names.data() + entry.name, entry.size);
  }
  const char* CNameOf(const ListedEntry& entry) const {
    return names.data() + entry.name;
  }
  // Appends an entry; its status and place come later.
  void Add(unsigned char type, const char* name, size_t size);
  // Makes `subdirectories` from the entries of this directory at `level`:
  // directories, not links, not "." or "..", that `descent` enters.
  void FindSubdirectories(const DescentRule& descent, size_t level);

  size_t Bytes() const override;
  size_t SubdirectoryCount() const override { return subdirectories.size(); }
  std::string SubdirectoryName(size_t index) const override;
};

// True when a scan that reads the fields `wanted` (kWant bits) of an entry
// listed with `type` needs its status: a link's target tells what it is, an
// unknown type needs one, and so does any wanted field but a directory's
// size, which is 0.
bool NeedsStatus(unsigned char type, uint32_t wanted);

// The status of `name` in the open directory `fd`, as a scan delivers it: a
// link reports what it points to, a dangling one its own data, and the link
// bit. False when it is gone.
bool ReadListedStatus(DirectoryReader& reader, int fd, const char* name,
                      ListedStatus* status);

// Reads the whole listing of the open directory `fd`, at `level` of the
// walk, the raw records passing through `buffer`, puts it in name order,
// and reads the statuses `wants` asks for through `fd`; false when the
// system fails.
bool ReadListing(DirectoryReader& reader, int fd, RecordBuffer* buffer,
                 const ListingWants& wants, size_t level, Listing* listing);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_LISTING_POSIX_H_
