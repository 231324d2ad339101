// File-system services on Windows, on the "W" functions and full "\\?\"
// paths, so that no name is lost to the ANSI code page and no path to the
// 260-character limit. The tool's texts stay code page 932 bytes: names are
// converted on the way out, and byte paths mapped back to the wide paths
// they came from (services/file_system/wide_path_win32.h).
#include <windows.h>

#include <cwchar>

#include "services/dates.h"
#include "services/file_system/file_system.h"
#include "services/file_system/wide_path_win32.h"

struct EntryScanState {
  HANDLE handle = INVALID_HANDLE_VALUE;  // none for a single "." or ".."
  WIN32_FIND_DATAW raw;  // the entry the platform returned last
  ScanPlace place;       // registered while the scan is open
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  if (state->handle != INVALID_HANDLE_VALUE) FindClose(state->handle);
  UnregisterScanPlace(&state->place);
  delete state;
}

namespace {

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
std::wstring NameOf(const WIN32_FIND_DATAW& raw) {
  return std::wstring(raw.cFileName,
                      wcsnlen(raw.cFileName, sizeof raw.cFileName /
                                                 sizeof raw.cFileName[0]));
}

// Passes over the entries the skip mask excludes, then fills the visible
// fields from the entry the platform returned, and notes it as the scan's
// place.
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
  state.place.wide_name = NameOf(raw);
  state.place.name = NarrowText(state.place.wide_name);
  rec.Name = state.place.name;
  return 0;
}

// Opens an enumeration of `pattern`. Only a mask asks for the large
// buffer; the short names are never read here.
HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW* raw) {
  const DWORD flags =
      HasWildcardInLastComponent(pattern) ? FIND_FIRST_EX_LARGE_FETCH : 0;
  return FindFirstFileExW(pattern.c_str(), FindExInfoBasic, raw,
                          FindExSearchNameMatch, nullptr, flags);
}

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// Finds the entry "." or ".." itself in the listing of its directory
// `wide_dir`. The platform resolves such a last component to the directory
// it stands for and would report that directory's own name, so "." would
// print as the name of the current directory instead of ".". Drive roots
// have neither.
bool FindDotEntry(const std::wstring& wide_dir, const std::string& name,
                  WIN32_FIND_DATAW* raw) {
  const std::wstring wide_name = WideText(name);
  HANDLE handle = FindFirst(wide_dir + L"*", raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    found = NameOf(*raw) == wide_name;
  } while (!found && FindNextFileW(handle, raw));
  FindClose(handle);
  return found;
}

// Starts the platform's enumeration of `pattern` into `state` and
// registers its place; false when nothing matches. A pattern that ends in
// a delimiter names no entry.
bool StartScan(const std::string& pattern, EntryScanState* state) {
  const size_t cut = LastDelimiterPos("\\/:", pattern);
  const std::string last = pattern.substr(cut);
  state->place.dir = pattern.substr(0, cut);
  state->place.wide_dir = PlatformDirectory(state->place.dir);
  if (last.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (IsDotName(last)) {
    if (!FindDotEntry(state->place.wide_dir, last, &state->raw)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
  } else {
    state->handle = FindFirst(PlatformPath(pattern), &state->raw);
    if (state->handle == INVALID_HANDLE_VALUE) return false;
  }
  RegisterScanPlace(&state->place);
  return true;
}

// The path to hand to a query of one existing entry; empty when the text
// holds a wildcard, which no real name does.
std::wstring EntryPath(const std::string& path) {
  const std::wstring wide = WithoutTrailingDelimiter(PlatformPath(path));
  return HasWildcardInLastComponent(wide) ? std::wstring() : wide;
}

}  // namespace

int OpenEntryScan(const std::string& pattern, uint8_t attr_mask,
                  TSearchRec& rec) {
  CloseEntryScan(rec);
  rec.SkipMask = SkipMaskOf(attr_mask);
  std::unique_ptr<EntryScanState, EntryScanStateDeleter> state(
      new EntryScanState);
  if (!StartScan(pattern, state.get())) return LastErrorCode();
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

// Any existing entry that is not a directory, whatever its last-write time:
// its path is still printed. The enumeration also answers for files the
// attribute query cannot open (a page file).
bool IsExistingFile(const std::string& path) {
  const std::wstring wide = PlatformPath(path);
  if (HasWildcardInLastComponent(wide)) return false;
  WIN32_FIND_DATAW raw;
  HANDLE handle = FindFirst(wide, &raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FindClose(handle);
  return (raw.dwFileAttributes & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  const std::wstring wide = EntryPath(path);
  if (wide.empty()) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & kAttrDirectory) != 0;
}

std::string CurrentDirectory() {
  return NarrowText(GrowingQuery([](wchar_t* buffer, unsigned long size) {
    return GetCurrentDirectoryW(size, buffer);
  }));
}

const PathSyntax& NativeSyntax() { return kWindowsSyntax; }

// Opens the directory itself (no access rights are needed to read its
// identity) and takes the volume serial number and the file index, which
// name it whatever path or junction led there.
bool DirectoryIdentityOf(const std::string& path, FileIdentity* identity,
                         ScanCache*) {
  const std::wstring wide = EntryPath(path);
  if (wide.empty()) return false;
  HANDLE handle = CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

// Every walk reads the directories anew: the platform's own enumeration
// needs nothing kept between scans.
struct ScanCache {};

ScanCachePtr NewScanCache(bool) { return ScanCachePtr(new ScanCache); }

void ScanCacheDeleter::operator()(ScanCache* cache) const { delete cache; }
