// File-system services on Windows, on the "W" functions and full "\\?\"
// paths, so that no name is lost to the ANSI code page and no path to the
// 260-character limit. The tool's texts are code page 932 bytes or UTF-8
// (services/wide_text_win32.h): names are converted on the way out, and
// only typed text is converted on the way in
// (services/file_system/wide_path_win32.h). A directory holds no handle:
// it knows its place, and its full path is built whenever the platform is
// asked about it. With workers, the directories the walk enters next are
// read ahead (services/file_system/read_ahead_win32.h) and its scans replay
// what was read.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/checks.h"
#include "services/file_system/read_ahead.h"
#include "services/file_system/read_ahead_platform.h"
#include "services/file_system/read_ahead_win32.h"
#include "services/file_system/wide_path_win32.h"
#include "services/wildcard.h"

// The platform's own enumeration needs nothing kept between scans, and
// each full path is built where it is needed, so no directory changes once
// it is open. Only the reads ahead are shared.
struct FileSystemSession {
  // Listings read ahead of the walk, when the run has workers; the source
  // outlives the engine that calls it.
  std::unique_ptr<AheadSource> ahead_source;
  std::unique_ptr<ReadAhead> ahead;
  size_t replayed_scans = 0;
  // The walk's selection mask, when it is a wildcard mask but "*" and
  // "*.*": read with each directory ahead.
  std::wstring mask;
  // Which subdirectories the walk enters: the others are not read ahead.
  DescentRule descent;
};

void FileSystemSessionDeleter::operator()(FileSystemSession* session) const {
  delete session;
}

namespace {

// A handle is a path object, not one of the system's.
void EnableReadAhead(FileSystemSession& session, size_t threads) {
  AheadLimits limits;
  limits.workers = threads - 1;
  limits.first_workers = FirstWorkers(limits.workers);
  session.ahead_source = NewFindSource();
  session.ahead = std::make_unique<ReadAhead>(session.ahead_source.get(),
                                              limits);
}

}  // namespace

FileSystemSessionPtr NewFileSystemSession(bool, size_t threads) {
  FileSystemSessionPtr session(new FileSystemSession);
  if (threads > 1) EnableReadAhead(*session, threads);
  return session;
}

size_t ReplayedScans(const FileSystemSession& session) {
  return session.replayed_scans;
}

FileSystemSessionPtr NewOneCallSession() {
  return FileSystemSessionPtr(new FileSystemSession);
}

// A directory opened from typed text holds its full path; one opened from
// an entry, its parent and its name only, so that memory grows by one name
// per level however long the paths.
struct Directory {
  FileSystemSession* session = nullptr;
  const Directory* parent = nullptr;  // null when opened from typed text
  // Opened from typed text: the full "\\?\" path, ending in "\". From an
  // entry: its name as stored on disk, empty for ".".
  std::wstring name;
  size_t level = 0;  // in the walk: 0 for one opened from typed text
  bool up = false;  // opened from the entry "..": the parent's parent
  AheadNode* ahead = nullptr;  // claimed among the listings read ahead
  bool listing_asked = false;  // its listing was taken, or read here, once
  std::unique_ptr<Listing> listing;  // records its scans replay
};

void DirectoryDeleter::operator()(Directory* directory) const {
  if (directory->ahead != nullptr)
    directory->session->ahead->Release(directory->ahead);
  delete directory;
}

struct EntryScanState {
  HANDLE handle = INVALID_HANDLE_VALUE;  // none for a single "." or ".."
  WIN32_FIND_DATAW raw;  // the entry the platform returned last
  // Replaying kept records: those of `listing`, the one of `dir`.
  const Directory* dir = nullptr;
  const Listing* listing = nullptr;
  const KeptRecords* records = nullptr;
  size_t next = 0;     // the record still to come
  int32_t child = -1;  // the delivered record's place among subdirectories
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  if (state->handle != INVALID_HANDLE_VALUE) FindClose(state->handle);
  delete state;
}

namespace {

// The full path of `dir`, ending in "\", followed by `tail`. The levels are
// gathered first and appended from the top down, so that depth costs no
// machine stack.
std::wstring PathOf(const Directory& dir, std::wstring_view tail) {
  std::vector<const Directory*> levels;
  const Directory* top = &dir;
  for (; top->parent != nullptr; top = top->parent) levels.push_back(top);
  std::wstring path = top->name;
  const size_t root_length = RootLength(path);
  for (size_t i = levels.size(); i-- > 0;) {
    if (levels[i]->up) {
      TakeOffLastComponent(path, root_length);
    } else if (!levels[i]->name.empty()) {
      path += levels[i]->name;
      path += L'\\';
    }
  }
  path.append(tail.data(), tail.size());
  return path;
}

// Last-write time as a local MS-DOS date-time, clamped to the range's
// ends. A file time too large for a calendar date is past its end.
int32_t DosTimeOf(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  SYSTEMTIME t;
  if (!FileTimeToSystemTime(&local, &t)) return kLatestDosTime;
  return LastWriteDosTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                          t.wSecond);
}

// Moves a replay to its next kept record; false at the end.
bool NextReplayed(EntryScanState& state) {
  if (state.next >= state.records->records.size()) return false;
  const KeptRecord& record = state.records->records[state.next++];
  state.listing->Restore(record, &state.raw);
  state.child = record.child;
  return true;
}

// Moves the scan to its next entry: 0, or the code the platform ends with.
int Advance(EntryScanState& state) {
  if (state.records != nullptr)
    return NextReplayed(state) ? 0 : ERROR_NO_MORE_FILES;
  if (state.handle == INVALID_HANDLE_VALUE) return ERROR_NO_MORE_FILES;
  return FindNextFileW(state.handle, &state.raw) ? 0 : LastErrorCode();
}

// Fills the visible fields from the entry the platform returned.
void Deliver(TSearchRec& rec) {
  const WIN32_FIND_DATAW& raw = rec.Scan->raw;
  rec.Time = DosTimeOf(raw.ftLastWriteTime);
  rec.Attr = raw.dwFileAttributes;
  // Both halves: sizes of 4 GiB and more stay whole. A directory has none.
  rec.Size = (raw.dwFileAttributes & kAttrDirectory) != 0
                 ? 0
                 : static_cast<int64_t>(
                       (static_cast<uint64_t>(raw.nFileSizeHigh) << 32) |
                       raw.nFileSizeLow);
  const std::wstring_view name = NameOf(raw);
  rec.Name = NarrowText(name.data(), name.size());
}

// Finds the entry "." or ".." itself in the listing of `dir`. The platform
// resolves such a last component to the directory it stands for and would
// report that directory's own name, so "." would print as the name of the
// current directory instead of ".". Drive roots have neither.
bool FindDotEntry(const Directory& dir, const std::string& name,
                  WIN32_FIND_DATAW* raw) {
  const std::wstring wide_name = WideText(name);
  HANDLE handle = FindFirst(PathOf(dir, L"*"), true, raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    found = NameOf(*raw) == wide_name;
  } while (!found && FindNextFileW(handle, raw));
  FindClose(handle);
  return found;
}

// An exact name the platform does not find may stand for the name without
// its trailing dots and blanks, which a "\\?\" path keeps as they are.
HANDLE FindExactName(const Directory& dir, const std::string& name,
                     WIN32_FIND_DATAW* raw) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  FindAsTyped(name, [&](std::string_view spelling) {
    handle = FindFirst(PathOf(dir, WideText(std::string(spelling))), false,
                       raw);
    return handle != INVALID_HANDLE_VALUE;
  });
  return handle;
}

// The records of `dir` read ahead, taken from its node at the first scan
// that may replay them; null when there are none, or the read failed and
// the walk asks the platform itself.
const Listing* KeptListingOf(Directory& dir) {
  if (dir.listing || dir.listing_asked || dir.ahead == nullptr)
    return dir.listing.get();
  dir.listing_asked = true;
  AheadListingPtr taken = dir.session->ahead->Take(dir.ahead);
  dir.listing.reset(static_cast<Listing*>(taken.release()));
  return dir.listing.get();
}

// The kept records that answer the wildcard mask `mask` in `dir`: all of
// them for "*" and "*.*", those of the mask they were read with for it;
// null when the platform has to answer.
const KeptRecords* KeptRecordsFor(Directory& dir, const std::wstring& mask) {
  if (!dir.session->ahead) return nullptr;
  const Listing* kept = KeptListingOf(dir);
  if (kept == nullptr) return nullptr;
  if (IsFullMask(mask)) return &kept->all;
  return !kept->mask.empty() && kept->mask == mask ? &kept->masked : nullptr;
}

// Replays `records` of `dir` into `state` as the platform answered: its
// code when it found nothing, else its first entry.
bool StartReplay(const Directory& dir, const KeptRecords& records,
                 EntryScanState* state) {
  ++dir.session->replayed_scans;
  int code = records.first_error;
  if (code == 0) {
    state->dir = &dir;
    state->listing = dir.listing.get();
    state->records = &records;
    if (NextReplayed(*state)) return true;
    code = ERROR_FILE_NOT_FOUND;
  }
  SetLastError(static_cast<DWORD>(code));
  return false;
}

// Starts the enumeration of the wildcard mask `mask` in `dir` into `state`.
bool StartMaskScan(Directory& dir, const std::string& mask,
                   EntryScanState* state) {
  const std::wstring wide = WideText(mask);
  if (const KeptRecords* kept = KeptRecordsFor(dir, wide))
    return StartReplay(dir, *kept, state);
  state->handle = FindFirst(PathOf(dir, wide), true, &state->raw);
  return state->handle != INVALID_HANDLE_VALUE;
}

// Starts the platform's enumeration of `mask` in `dir` into `state`; false
// when nothing matches. An empty mask names no entry.
bool StartScan(Directory& dir, const std::string& mask,
               EntryScanState* state) {
  if (mask.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (IsDotName(mask)) {
    if (FindDotEntry(dir, mask, &state->raw)) return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (HasWildcards(mask)) return StartMaskScan(dir, mask, state);
  state->handle = FindExactName(dir, mask, &state->raw);
  return state->handle != INVALID_HANDLE_VALUE;
}

// Reads `dir` here, as a worker would, when no worker did: the records its
// descent scan replays. Null when it cannot be read: the scan then asks
// the platform, and fails as it does.
const Listing* ReadItself(Directory& dir) {
  if (dir.listing || dir.listing_asked) return dir.listing.get();
  dir.listing_asked = true;
  AheadRead read;
  ReadDirectoryAt(PathOf(dir, L""), std::wstring(), dir.session->descent,
                  dir.level, &read);
  dir.listing.reset(static_cast<Listing*>(read.listing.release()));
  return dir.listing.get();
}

// The path of a typed entry to hand to a query of that one entry; empty
// when it holds a wildcard, which no real name does.
std::wstring EntryPath(const std::string& path) {
  const std::wstring wide = WithoutTrailingDelimiter(TypedPath(path));
  return HasWildcardInLastComponent(wide) ? std::wstring() : wide;
}

bool IsDirectoryAttribute(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & kAttrDirectory) != 0;
}

}  // namespace

DirectoryPtr OpenTypedDirectory(FileSystemSession& session,
                                const std::string& path) {
  std::wstring full = TypedDirectoryPath(path);
  if (full.empty() ||
      !IsDirectoryAttribute(
          GetFileAttributesW(WithoutTrailingDelimiter(full).c_str())))
    return nullptr;
  DirectoryPtr dir(new Directory);
  dir->session = &session;
  dir->name = std::move(full);
  return dir;
}

// "." and ".." are kept as steps, not names: a "\\?\" path would take
// them as names. Only a record a replay of the parent's "*" delivered has a
// place among the subdirectories read ahead; a link has none, as the walk
// may leave it out.
DirectoryPtr OpenSubdirectory(Directory& parent, const TSearchRec& entry) {
  if (!entry.Scan || (entry.Attr & kAttrDirectory) == 0) return nullptr;
  DirectoryPtr dir(new Directory);
  dir->session = parent.session;
  dir->parent = &parent;
  dir->level = parent.level + 1;
  if (IsDotName(entry.Name)) {
    dir->up = entry.Name.size() == 2;
    return dir;
  }
  dir->name = NameOf(entry.Scan->raw);
  if (dir->name.empty()) return nullptr;
  const EntryScanState& scan = *entry.Scan;
  if (parent.ahead != nullptr && scan.dir == &parent &&
      scan.records == &parent.listing->all && scan.child >= 0)
    dir->ahead = parent.session->ahead->TakeChild(
        parent.ahead, static_cast<size_t>(scan.child));
  return dir;
}

ReadAhead* ReadAheadOf(Directory& dir) { return dir.session->ahead.get(); }

AheadNode*& AheadNodeOf(Directory& dir) { return dir.ahead; }

// Its own records, or those read here.
const AheadListing* ListingToFollow(Directory& dir) {
  const Listing* kept = KeptListingOf(dir);
  return kept != nullptr ? kept : ReadItself(dir);
}

AheadHandle NewAheadHandle(Directory& dir) {
  return NewAheadPath(PathOf(dir, L""), dir.session->mask,
                      dir.session->descent, dir.level);
}

void PlanScans(FileSystemSession& session, const ScanPlan& plan) {
  const std::wstring mask =
      HasWildcards(plan.mask) ? WideText(plan.mask) : std::wstring();
  session.mask = IsFullMask(mask) ? std::wstring() : mask;
  session.descent = plan.descent;
}

// A detached directory holds its full path, as one opened from typed text
// does; no handle is needed.
bool DetachFromParent(Directory& dir) {
  if (dir.parent == nullptr) return true;
  dir.name = PathOf(dir, L"");
  dir.parent = nullptr;
  dir.up = false;
  return true;
}

int OpenEntryScan(Directory& dir, const std::string& mask, uint8_t attr_mask,
                  TSearchRec& rec) {
  KESTRIV_CHECK(attr_mask == kAttrMaskAll);
  CloseEntryScan(rec);
  std::unique_ptr<EntryScanState, EntryScanStateDeleter> state(
      new EntryScanState);
  if (!StartScan(dir, mask, state.get())) return LastErrorCode();
  rec.Scan = std::move(state);
  Deliver(rec);
  return 0;
}

int NextEntry(TSearchRec& rec) {
  if (!rec.Scan) return ERROR_NO_MORE_FILES;
  if (const int code = Advance(*rec.Scan)) return code;
  Deliver(rec);
  return 0;
}

void CloseEntryScan(TSearchRec& rec) { rec.Scan.reset(); }

// Opens the directory itself (no access rights are needed to read its
// identity) and takes the volume serial number and the file index, which
// name it whatever path or junction led there.
bool IdentityOf(Directory& directory, FileIdentity* identity) {
  const std::wstring path = WithoutTrailingDelimiter(PathOf(directory, L""));
  HANDLE handle = CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool read = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!read || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) |
                   info.nFileIndexLow;
  return true;
}

// The scan reads no short names (FindExInfoBasic is the cheaper query), so
// the entry is looked up once more by its stored name. A name that is a
// legal 8.3 name already has no alias; "." and ".." are their own.
std::string ShortNameOf(Directory& dir, const TSearchRec& entry) {
  if (!entry.Scan) return std::string();
  if (IsDotName(entry.Name)) return entry.Name;
  WIN32_FIND_DATAW raw;
  HANDLE handle = FindFirstFileExW(
      PathOf(dir, NameOf(entry.Scan->raw)).c_str(), FindExInfoStandard, &raw,
      FindExSearchNameMatch, nullptr, 0);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  FindClose(handle);
  const size_t length = wcsnlen(raw.cAlternateFileName,
                                sizeof raw.cAlternateFileName /
                                    sizeof raw.cAlternateFileName[0]);
  return length != 0 ? NarrowText(raw.cAlternateFileName, length) : entry.Name;
}

// Any existing entry that is not a directory, whatever its last-write time:
// its path is still printed. The enumeration also answers for files the
// attribute query cannot open (a page file).
bool IsExistingFile(const std::string& path) {
  const std::wstring wide = TypedPath(path);
  if (wide.empty() || HasWildcardInLastComponent(wide)) return false;
  WIN32_FIND_DATAW raw;
  HANDLE handle = FindFirst(wide, false, &raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FindClose(handle);
  return (raw.dwFileAttributes & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  const std::wstring wide = EntryPath(path);
  return !wide.empty() && IsDirectoryAttribute(GetFileAttributesW(wide.c_str()));
}

std::string CurrentDirectory() { return NarrowText(CurrentDirectoryWide()); }

const PathSyntax& NativeSyntax() { return kWindowsSyntax; }
