// File-system services on Windows, on the "W" functions and full "\\?\"
// paths, so that no name is lost to the ANSI code page and no path to the
// 260-character limit. The tool's texts stay code page 932 bytes: names are
// converted on the way out, and only typed text is converted on the way in
// (services/file_system/wide_path_win32.h). A directory holds no handle:
// it knows its place, and its full path is built whenever the platform is
// asked about it.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/file_system/wide_path_win32.h"
#include "services/wildcard.h"

// Nothing is shared: the platform's own enumeration needs nothing kept
// between scans, and each full path is built where it is needed, so no
// directory changes once it is open.
struct FileSystemSession {};

void FileSystemSessionDeleter::operator()(FileSystemSession* session) const {
  delete session;
}

FileSystemSessionPtr NewFileSystemSession(bool, size_t) {
  return FileSystemSessionPtr(new FileSystemSession);
}

size_t DefaultThreadCount() { return 1; }

void ReadAheadBelow(Directory&) {}

FileSystemSessionPtr NewOneCallSession() {
  return FileSystemSessionPtr(new FileSystemSession);
}

// A directory opened from typed text holds its full path; one opened from
// an entry, its parent and its name only, so that memory grows by one name
// per level however long the paths.
struct Directory {
  const Directory* parent = nullptr;  // null when opened from typed text
  // Opened from typed text: the full "\\?\" path, ending in "\". From an
  // entry: its name as stored on disk, empty for ".".
  std::wstring name;
  bool up = false;  // opened from the entry "..": the parent's parent
};

void DirectoryDeleter::operator()(Directory* directory) const {
  delete directory;
}

struct EntryScanState {
  HANDLE handle = INVALID_HANDLE_VALUE;  // none for a single "." or ".."
  WIN32_FIND_DATAW raw;  // the entry the platform returned last
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

// Packed values for the ends of the MS-DOS range: 1980-01-01 00:00:00 and
// 2107-12-31 23:59:58.
// The same bounds as file times (100 ns units since 1601): the start of
// 1980 and the start of 2108.
constexpr uint64_t kFirstDosFileTime = 119600064000000000ull;
constexpr uint64_t kPastDosFileTime = 159992928000000000ull;

// Callers test results for zero; a failure whose code was lost must not
// read as success.
int LastErrorCode() {
  const DWORD code = GetLastError();
  return code != 0 ? static_cast<int>(code) : ERROR_NO_MORE_FILES;
}

uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) |
         time.dwLowDateTime;
}

// Last-write time as a local MS-DOS date-time. Times outside the format's
// range are clamped to its nearest end, so they still order correctly and
// every later conversion of Time succeeds. The range is checked here too
// because not every FileTimeToDosDateTime refuses the years after 2107.
int32_t DosTimeOf(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  const uint64_t value = FileTimeValue(local);
  if (value < kFirstDosFileTime) return kEarliestDosTime;
  if (value >= kPastDosFileTime) return kLatestDosTime;
  WORD date = 0, time = 0;
  if (!FileTimeToDosDateTime(&local, &date, &time)) return kEarliestDosTime;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

// The name field up to its first NUL, all of it when there is none.
std::wstring_view NameOf(const WIN32_FIND_DATAW& raw) {
  return std::wstring_view(
      raw.cFileName,
      wcsnlen(raw.cFileName, sizeof raw.cFileName / sizeof raw.cFileName[0]));
}

// Passes over the entries the skip mask excludes, then fills the visible
// fields from the entry the platform returned.
int Deliver(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  while ((state.raw.dwFileAttributes & rec.SkipMask) != 0) {
    if (state.handle == INVALID_HANDLE_VALUE) return ERROR_NO_MORE_FILES;
    if (!FindNextFileW(state.handle, &state.raw)) return LastErrorCode();
  }
  const WIN32_FIND_DATAW& raw = state.raw;
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
  return 0;
}

// Opens an enumeration of `pattern`. Only a mask asks for the large
// buffer; the short names are never read here.
HANDLE FindFirst(const std::wstring& pattern, bool mask,
                 WIN32_FIND_DATAW* raw) {
  return FindFirstFileExW(pattern.c_str(), FindExInfoBasic, raw,
                          FindExSearchNameMatch, nullptr,
                          mask ? FIND_FIRST_EX_LARGE_FETCH : 0);
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
  HANDLE handle = FindFirst(PathOf(dir, WideText(name)), false, raw);
  const std::string_view trimmed = TrimmedMask(name);
  if (handle != INVALID_HANDLE_VALUE || trimmed.size() == name.size())
    return handle;
  return FindFirst(PathOf(dir, WideText(std::string(trimmed))), false, raw);
}

// Starts the platform's enumeration of `mask` in `dir` into `state`; false
// when nothing matches. An empty mask names no entry.
bool StartScan(const Directory& dir, const std::string& mask,
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
  state->handle =
      HasWildcards(mask)
          ? FindFirst(PathOf(dir, WideText(mask)), true, &state->raw)
          : FindExactName(dir, mask, &state->raw);
  return state->handle != INVALID_HANDLE_VALUE;
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

DirectoryPtr OpenTypedDirectory(FileSystemSession&, const std::string& path) {
  std::wstring full = TypedDirectoryPath(path);
  if (full.empty() ||
      !IsDirectoryAttribute(
          GetFileAttributesW(WithoutTrailingDelimiter(full).c_str())))
    return nullptr;
  DirectoryPtr dir(new Directory);
  dir->name = std::move(full);
  return dir;
}

// "." and ".." are kept as steps, not names: a "\\?\" path would take
// them as names.
DirectoryPtr OpenSubdirectory(Directory& parent, const TSearchRec& entry) {
  if (!entry.Scan || (entry.Attr & kAttrDirectory) == 0) return nullptr;
  DirectoryPtr dir(new Directory);
  dir->parent = &parent;
  if (IsDotName(entry.Name)) {
    dir->up = entry.Name.size() == 2;
  } else {
    dir->name = NameOf(entry.Scan->raw);
    if (dir->name.empty()) return nullptr;
  }
  return dir;
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
  CloseEntryScan(rec);
  rec.SkipMask = SkipMaskOf(attr_mask);
  std::unique_ptr<EntryScanState, EntryScanStateDeleter> state(
      new EntryScanState);
  if (!StartScan(dir, mask, state.get())) return LastErrorCode();
  rec.Scan = std::move(state);
  const int result = Deliver(rec);
  if (result != 0) CloseEntryScan(rec);
  return result;
}

int NextEntry(TSearchRec& rec) {
  if (!rec.Scan || rec.Scan->handle == INVALID_HANDLE_VALUE)
    return ERROR_NO_MORE_FILES;
  if (!FindNextFileW(rec.Scan->handle, &rec.Scan->raw)) return LastErrorCode();
  return Deliver(rec);
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
