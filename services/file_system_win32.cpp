// File-system services on Windows, on the "A" functions: names and paths
// are bytes in the ANSI code page, exactly as the platform delivers them.
#include <windows.h>

#include <cstring>
#include <vector>

#include "services/dates.h"
#include "services/file_system.h"

struct EntryScanState {
  HANDLE handle = INVALID_HANDLE_VALUE;  // none for a single "." or ".."
  WIN32_FIND_DATAA raw;  // the entry the platform returned last
};

void EntryScanStateDeleter::operator()(EntryScanState* state) const {
  if (state->handle != INVALID_HANDLE_VALUE) FindClose(state->handle);
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

// The name field up to its first NUL byte, all of it when there is none.
std::string NameOf(const WIN32_FIND_DATAA& raw) {
  const size_t length = strnlen(raw.cFileName, sizeof raw.cFileName);
  return std::string(raw.cFileName, length);
}

// Passes over the entries the skip mask excludes, then fills the visible
// fields from the entry the platform returned.
int Deliver(TSearchRec& rec) {
  EntryScanState& state = *rec.Scan;
  while ((state.raw.dwFileAttributes & rec.SkipMask) != 0) {
    if (state.handle == INVALID_HANDLE_VALUE) return ERROR_NO_MORE_FILES;
    if (!FindNextFileA(state.handle, &state.raw)) return LastErrorCode();
  }
  const WIN32_FIND_DATAA& raw = state.raw;
  rec.Time = DosTimeOf(raw.ftLastWriteTime);
  rec.Attr = raw.dwFileAttributes;
  // Both halves: sizes of 4 GiB and more stay whole. A directory has none.
  rec.Size = (raw.dwFileAttributes & kAttrDirectory) != 0
                 ? 0
                 : static_cast<int64_t>(
                       (static_cast<uint64_t>(raw.nFileSizeHigh) << 32) |
                       raw.nFileSizeLow);
  rec.Name = NameOf(raw);
  return 0;
}

// Calls `query(buffer, size)` (a GetCurrentDirectoryA-like function that
// answers with the length written, or the size it needs when the buffer is
// too small) with a buffer that grows until the answer fits.
template <typename Query>
std::string GrowingQuery(Query query) {
  std::vector<char> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = query(buffer.data(), size);
    if (length == 0) return std::string();
    if (length < size) return std::string(buffer.data(), length);
    // The answer counts the terminating NUL; it may change between two
    // calls (another thread), hence the loop.
    buffer.resize(length + 1);
  }
  return std::string();
}

// The last component of a path: what follows its last "\\" or ":".
std::string LastComponent(const std::string& path) {
  return path.substr(LastDelimiterPos("\\:", path));
}

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// Finds the entry "." or ".." itself in the listing of its directory. The
// platform resolves such a last component to the directory it stands for
// and would report that directory's own name, so "." would print as the
// name of the current directory instead of ".". Drive roots have neither.
bool FindDotEntry(const std::string& path, WIN32_FIND_DATAA* raw) {
  const std::string name = LastComponent(path);
  const std::string listing = path.substr(0, path.size() - name.size()) + "*";
  HANDLE handle = FindFirstFileA(listing.c_str(), raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    found = NameOf(*raw) == name;
  } while (!found && FindNextFileA(handle, raw));
  FindClose(handle);
  return found;
}

// Starts the platform's enumeration of `pattern` into `state`; false when
// nothing matches.
bool StartScan(const std::string& pattern, EntryScanState* state) {
  if (IsDotName(LastComponent(pattern))) {
    if (FindDotEntry(pattern, &state->raw)) return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  state->handle = FindFirstFileA(pattern.c_str(), &state->raw);
  return state->handle != INVALID_HANDLE_VALUE;
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
  if (!FindNextFileA(rec.Scan->handle, &rec.Scan->raw)) return LastErrorCode();
  return Deliver(rec);
}

void CloseEntryScan(TSearchRec& rec) { rec.Scan.reset(); }

// Any existing entry that is not a directory, whatever its last-write time:
// its path is still printed.
bool IsExistingFile(const std::string& path) {
  WIN32_FIND_DATAA raw;
  HANDLE handle = FindFirstFileA(path.c_str(), &raw);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FindClose(handle);
  return (raw.dwFileAttributes & kAttrDirectory) == 0;
}

bool IsExistingDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & kAttrDirectory) != 0;
}

std::string CurrentDirectory() {
  return GrowingQuery([](char* buffer, DWORD size) {
    return GetCurrentDirectoryA(size, buffer);
  });
}

std::string ShortPathOf(const std::string& path) {
  return GrowingQuery([&path](char* buffer, DWORD size) {
    return GetShortPathNameA(path.c_str(), buffer, size);
  });
}

const PathSyntax& NativeSyntax() { return kWindowsSyntax; }

// Opens the directory itself (no access rights are needed to read its
// identity) and takes the volume serial number and the file index, which
// name it whatever path or junction led there.
bool DirectoryIdentityOf(const std::string& path, FileIdentity* identity,
                         ScanCache*) {
  HANDLE handle = CreateFileA(
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

std::string ShortPathOfEntry(ScanCache*, const std::string& dir,
                             const std::string& name) {
  return ShortPathOf(dir + name);
}

// Every walk reads the directories anew.
// The platform's own enumeration needs nothing kept between scans.
struct ScanCache {};

ScanCachePtr NewScanCache(bool) { return ScanCachePtr(new ScanCache); }

void ScanCacheDeleter::operator()(ScanCache* cache) const { delete cache; }
