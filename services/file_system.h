// File-system services: the directory-entry scan, existence tests, the
// current directory and the short (8.3) form of a path. They answer with
// result codes, false or empty texts, and never raise or write output.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_H_

#include <cstdint>
#include <memory>
#include <string>

#include "services/path_text.h"

// Attribute bits.
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeLabel = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrReparsePoint = 0x400,
};

// The attribute mask that asks for every kind of entry.
constexpr uint8_t kAttrMaskAll = 63;

// The attributes that make a scan pass over an entry unless its mask asks
// for them: hidden, system, volume label and directory.
constexpr uint32_t kSkippableAttrs = 0x1E;

// The bits that make a scan opened with `attr_mask` pass over an entry.
constexpr uint32_t SkipMaskOf(uint8_t attr_mask) {
  return ~static_cast<uint32_t>(attr_mask) & kSkippableAttrs;
}

// What the scans of one run share: listings kept for the walk and for the
// run's later walks, short-form aliases, the platform's own lookups. Each
// platform defines it; a scan without one reads everything afresh.
struct ScanCache;
struct ScanCacheDeleter {
  void operator()(ScanCache* cache) const;
};
using ScanCachePtr = std::unique_ptr<ScanCache, ScanCacheDeleter>;

// A cache for one run. With `repeated_walks` (several masks or search
// paths) the listings the first walk reads may serve the later ones,
// within a fixed memory budget.
ScanCachePtr NewScanCache(bool repeated_walks);

// The platform's open enumeration; defined by each platform.
struct EntryScanState;
struct EntryScanStateDeleter {
  void operator()(EntryScanState* state) const;
};

// What a caller reads of each delivered entry besides Name and the
// directory, hidden and link bits of Attr, which are always filled. A scan
// may leave the fields it was not asked for as they are, which spares a
// status query per entry where the platform's directory listing already
// tells the rest.
enum : uint32_t {
  kWantReadOnly = 0x01,  // the read-only bit of Attr
  kWantSize = 0x02,
  kWantTime = 0x04,
  kWantAll = 0x07,
  // Only directories are read: a scan may pass over entries it knows to be
  // other kinds without delivering them.
  kOnlyDirectories = 0x08,
};

// One directory entry as the scan delivers it, and the state of one scan.
// Destroying the record closes its scan.
struct TSearchRec {
  int32_t Time = 0;   // last write, local, MS-DOS packed date-time
  int64_t Size = 0;   // size in bytes (0 for a directory)
  uint32_t Attr = 0;  // attribute bits
  std::string Name;   // the long name as stored on disk
  uint32_t Wanted = kWantAll;  // set by the caller before OpenEntryScan
  ScanCache* Cache = nullptr;  // likewise; null reads afresh
  uint32_t SkipMask = 0;
  std::unique_ptr<EntryScanState, EntryScanStateDeleter> Scan;
};

// Starts a scan of `pattern` (a path whose last component may hold "*" and
// "?"); 0 when an entry was delivered into `rec`, else the platform's error
// code (the visible fields then keep their values).
int OpenEntryScan(const std::string& pattern, uint8_t attr_mask,
                  TSearchRec& rec);
// Delivers the next entry; 0, or non-zero at the end or on failure.
int NextEntry(TSearchRec& rec);
// Ends the scan; does nothing when none is open.
void CloseEntryScan(TSearchRec& rec);

// True for an existing entry that is not a directory.
bool IsExistingFile(const std::string& path);
// True when the attribute query succeeds and reports a directory.
bool IsExistingDirectory(const std::string& path);
// The absolute path of the current directory, whole; empty on failure.
std::string CurrentDirectory();
// The short (8.3) form of an existing path, whole; empty on failure.
std::string ShortPathOf(const std::string& path);

// ShortPathOf(dir + name) for an entry that a scan of `dir` with `cache`
// has just delivered under its stored `name`.
std::string ShortPathOfEntry(ScanCache* cache, const std::string& dir,
                             const std::string& name);

// The path syntax of this platform.
const PathSyntax& NativeSyntax();

// Identity of a directory (device and inode, or volume and file index).
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};
// The identity of the directory `path` names (following links), looked up
// through `cache` when not null; false when it cannot be read.
bool DirectoryIdentityOf(const std::string& path, FileIdentity* identity,
                         ScanCache* cache = nullptr);

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_H_
