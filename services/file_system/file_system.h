// File-system services. Directories are objects: one is opened from a typed
// path or from an entry its parent's scan delivered, lists its entries
// through the entry scan, and tells its identity; a run's directories share
// one session. Besides them: existence tests, the current directory and the
// short (8.3) form. They answer with result codes, null, false or empty
// texts, and never raise or write output.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_FILE_SYSTEM_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_FILE_SYSTEM_H_

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "services/name_exclusion.h"
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

// The attribute mask that asks for every kind of entry, the only one the
// scans take: it passes over no entry.
constexpr uint8_t kAttrMaskAll = 63;

// What the directories and scans of one run share (on POSIX: the
// descriptor budget, the listings kept for the run's later walks, prepared
// masks, short-name tables). Owned by the run and handed to each walk;
// nothing of it outlives the run.
struct FileSystemSession;
struct FileSystemSessionDeleter {
  void operator()(FileSystemSession* session) const;
};
using FileSystemSessionPtr =
    std::unique_ptr<FileSystemSession, FileSystemSessionDeleter>;

// A session for one run. With `repeated_walks` (several masks or search
// paths) the listings the first walk reads may serve the later ones,
// within a fixed memory budget. With `threads` above 1, the walk's thread
// and `threads` - 1 workers that read listings ahead of it, once the walk
// has shown it has enough directories to make them worth starting; 1 is
// the walk's thread alone.
FileSystemSessionPtr NewFileSystemSession(bool repeated_walks, size_t threads);

// The threads a run uses when none are asked for.
size_t DefaultThreadCount();

// A session for a single service call: it keeps nothing afterwards and
// leaves the process's limits alone.
FileSystemSessionPtr NewOneCallSession();

// One open directory. It keeps its listing once read, so that the scans of
// one walk read it once. A directory opened from an entry refers to its
// parent, which must outlive it.
struct Directory;
struct DirectoryDeleter {
  void operator()(Directory* directory) const;
};
using DirectoryPtr = std::unique_ptr<Directory, DirectoryDeleter>;

// Opens the directory `path` as typed ("" is the current directory), each
// component found as spelt, else in any case, else without trailing dots
// and blanks; null when it cannot be opened.
DirectoryPtr OpenTypedDirectory(FileSystemSession& session,
                                const std::string& path);

struct TSearchRec;

// Opens the subdirectory (or link to one) that a scan of `parent` has just
// delivered into `entry`, by its stored name; null when that fails.
DirectoryPtr OpenSubdirectory(Directory& parent, const TSearchRec& entry);

// The walk is about to enter the subdirectories of `dir`, each in the order
// of its listing: their listings may be read ahead.
void ReadAheadBelow(Directory& dir);

// Makes `dir`, opened from an entry, stand on its own, so that its parent
// may close before it; false when it cannot be opened.
bool DetachFromParent(Directory& dir);

// Identity of a directory (device and inode, or volume and file index).
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};

// The identity of the directory that was opened (not of what its path
// names now); false when it cannot be read.
bool IdentityOf(Directory& directory, FileIdentity* identity);

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
  // "." and ".." are not read: a scan may pass over them.
  kNoDotEntries = 0x10,
};

// The platform's open enumeration; defined by each platform.
struct EntryScanState;
struct EntryScanStateDeleter {
  void operator()(EntryScanState* state) const;
};

// One directory entry as the scan delivers it, and the state of one scan.
// Destroying the record closes its scan.
struct TSearchRec {
  int32_t Time = 0;   // last write, local, MS-DOS packed date-time
  int64_t Size = 0;   // size in bytes (0 for a directory)
  uint32_t Attr = 0;  // attribute bits
  std::string Name;   // the long name as stored on disk
  uint32_t Wanted = kWantAll;  // set by the caller before OpenEntryScan
  std::unique_ptr<EntryScanState, EntryScanStateDeleter> Scan;
};

// Which subdirectories a walk enters, as far as their names and depth
// tell: the walked directory is at level 0, its subdirectories at 1.
struct DescentRule {
  const NameExclusion* excluded = nullptr;  // names left out; null: none
  size_t deepest = std::numeric_limits<size_t>::max();  // level entered
  // True when the subdirectories of a directory at `level` may be entered.
  bool EntersBelow(size_t level) const { return level < deepest; }
  // True when a subdirectory named `name` is left out wherever it stands.
  bool LeavesOut(std::string_view name) const {
    return excluded != nullptr && excluded->Excludes(name);
  }
  // True when the subdirectory `name` of a directory at `level` is entered.
  bool Enters(std::string_view name, size_t level) const {
    return EntersBelow(level) && !LeavesOut(name);
  }
};

// What a walk asks of the directories it enters: the wildcard mask of its
// selection scans (empty when it selects in other directories), the fields
// (kWant bits) it reads of each entry they deliver, and which
// subdirectories it enters. Listings read from now on may read those
// ahead, with the names, and read ahead none of the others.
struct ScanPlan {
  std::string mask;
  uint32_t wanted = 0;
  DescentRule descent;
};
void PlanScans(FileSystemSession& session, const ScanPlan& plan);

// Starts a scan of the entries of `dir` that `mask` selects: a wildcard
// mask ("*" and "?"), or an exact name, which selects the entry spelt so
// and every other equal to it but for case (when there is none, those equal
// to it without trailing dots and blanks). 0 when an entry was delivered
// into `rec`, else the platform's error code (the visible fields then keep
// their values). `attr_mask` is kAttrMaskAll. `dir` must outlive the scan.
int OpenEntryScan(Directory& dir, const std::string& mask, uint8_t attr_mask,
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
// The short (8.3) form of an existing path, whole; empty on failure. Its
// lookups go through `session` where one is given.
std::string ShortPathOf(const std::string& path,
                        FileSystemSession* session = nullptr);

// The short form of the entry a scan of `dir` has just delivered into
// `entry`: its 8.3 alias in that directory, or its name where it has none.
// Empty when the platform cannot tell.
std::string ShortNameOf(Directory& dir, const TSearchRec& entry);

// The path syntax of this platform.
const PathSyntax& NativeSyntax();

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_FILE_SYSTEM_H_
