#include "services/file_system/read_ahead_win32.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "services/wide_text_win32.h"

namespace {

constexpr size_t kNameField =
    sizeof(WIN32_FIND_DATAW::cFileName) / sizeof(wchar_t);

// What a handle stands for: a directory read ahead.
struct AheadPath {
  std::wstring path;  // full, ending in "\"
  std::wstring mask;  // the walk's selection mask, empty when full
  DescentRule descent;
  size_t level = 0;
};

bool IsDotWide(std::wstring_view name) {
  return name == L"." || name == L"..";
}

void Keep(const WIN32_FIND_DATAW& raw, Listing& listing,
          KeptRecords& records) {
  const std::wstring_view name = NameOf(raw);
  KeptRecord record;
  record.attributes = raw.dwFileAttributes;
  record.last_write = raw.ftLastWriteTime;
  record.size_high = raw.nFileSizeHigh;
  record.size_low = raw.nFileSizeLow;
  record.name = static_cast<uint32_t>(listing.names.size());
  record.length = static_cast<uint16_t>(name.size());
  listing.names.append(name.data(), name.size());
  records.records.push_back(record);
}

// Keeps the enumeration of `pattern` as the walk's scans open it (the
// basic information, the large buffer). The error code of a failure that
// makes the directory unread, else 0. When the enumeration cannot be
// opened, its code is kept instead of records, so that a replay fails as
// the platform did: for the mask always (a mask that matches nothing is an
// answer), for "*" only where nothing is found (a drive root lists no "."
// and "..").
DWORD Enumerate(const std::wstring& pattern, bool is_mask, Listing& listing,
                KeptRecords& records) {
  WIN32_FIND_DATAW raw;
  HANDLE handle = FindFirst(pattern, true, &raw);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = static_cast<DWORD>(LastErrorCode());
    if (!is_mask && code != ERROR_FILE_NOT_FOUND) return code;
    records.first_error = static_cast<int>(code);
    return 0;
  }
  do {
    Keep(raw, listing, records);
  } while (FindNextFileW(handle, &raw));
  // One that stops before its end is no listing: the walk reads again.
  const DWORD end = static_cast<DWORD>(LastErrorCode());
  FindClose(handle);
  return end == ERROR_NO_MORE_FILES ? 0 : end;
}

// The subdirectories the walk enters: every directory but "." and "..",
// but the links, which the walk may leave out and whose targets may lead
// back into it, and but those `descent` leaves out, by their names as the
// walk reads them.
// A name becomes text only where there are exclusions to test it against.
void FindSubdirectories(Listing& listing, const DescentRule& descent,
                        size_t level) {
  if (!descent.EntersBelow(level)) return;
  std::vector<KeptRecord>& records = listing.all.records;
  for (size_t i = 0; i < records.size(); ++i) {
    KeptRecord& record = records[i];
    const std::wstring_view name = listing.NameOf(record);
    if ((record.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (record.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        IsDotWide(name) ||
        (descent.excluded != nullptr &&
         descent.LeavesOut(NarrowText(name.data(), name.size()))))
      continue;
    record.child = static_cast<int32_t>(listing.subdirectories.size());
    listing.subdirectories.push_back(static_cast<uint32_t>(i));
  }
}

// The wide name a subdirectory's name text stands for.
std::wstring WideNameOf(const std::string& text) {
  std::wstring name(text.size() / sizeof(wchar_t), L'\0');
  std::memcpy(&name[0], text.data(), name.size() * sizeof(wchar_t));
  return name;
}

// Reads the directories below a path handle by their names.
class FindSource : public AheadSource {
 public:
  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    const AheadPath& at = *reinterpret_cast<const AheadPath*>(parent);
    std::wstring path = at.path + WideNameOf(name) + L'\\';
    ReadDirectoryAt(path, at.mask, at.descent, at.level + 1, read);
    if (read->error == 0 && read->listing->SubdirectoryCount() != 0)
      read->handle =
          NewAheadPath(std::move(path), at.mask, at.descent, at.level + 1);
  }

  void Release(AheadHandle handle) override {
    delete reinterpret_cast<AheadPath*>(handle);
  }
};

}  // namespace

HANDLE FindFirst(const std::wstring& pattern, bool mask,
                 WIN32_FIND_DATAW* raw) {
  return FindFirstFileExW(pattern.c_str(), FindExInfoBasic, raw,
                          FindExSearchNameMatch, nullptr,
                          mask ? FIND_FIRST_EX_LARGE_FETCH : 0);
}

std::wstring_view NameOf(const WIN32_FIND_DATAW& raw) {
  return std::wstring_view(raw.cFileName, wcsnlen(raw.cFileName, kNameField));
}

int LastErrorCode() {
  const DWORD code = GetLastError();
  return code != 0 ? static_cast<int>(code) : ERROR_NO_MORE_FILES;
}

void Listing::Restore(const KeptRecord& record, WIN32_FIND_DATAW* raw) const {
  raw->dwFileAttributes = record.attributes;
  raw->ftLastWriteTime = record.last_write;
  raw->nFileSizeHigh = record.size_high;
  raw->nFileSizeLow = record.size_low;
  const size_t length = record.length < kNameField ? record.length
                                                   : kNameField - 1;
  std::memcpy(raw->cFileName, names.data() + record.name,
              length * sizeof(wchar_t));
  raw->cFileName[length] = L'\0';
  raw->cAlternateFileName[0] = L'\0';
}

size_t Listing::Bytes() const {
  return (mask.size() + names.size()) * sizeof(wchar_t) +
         (all.records.size() + masked.records.size()) * sizeof(KeptRecord) +
         subdirectories.size() * sizeof(uint32_t);
}

// The name as bytes: the handle reads it back as the wide name it is.
std::string Listing::SubdirectoryName(size_t index) const {
  const std::wstring_view name = NameOf(all.records[subdirectories[index]]);
  return std::string(reinterpret_cast<const char*>(name.data()),
                     name.size() * sizeof(wchar_t));
}

bool IsFullMask(std::wstring_view mask) {
  return mask == L"*" || mask == L"*.*";
}

AheadHandle NewAheadPath(std::wstring path, std::wstring mask,
                         const DescentRule& descent, size_t level) {
  AheadPath* made = new AheadPath;
  made->path = std::move(path);
  if (!IsFullMask(mask)) made->mask = std::move(mask);
  made->descent = descent;
  made->level = level;
  return reinterpret_cast<AheadHandle>(made);
}

std::unique_ptr<AheadSource> NewFindSource() {
  return std::make_unique<FindSource>();
}

void ReadDirectoryAt(const std::wstring& path, const std::wstring& mask,
                     const DescentRule& descent, size_t level,
                     AheadRead* read) {
  auto listing = std::make_unique<Listing>();
  listing->mask = mask;
  DWORD error = Enumerate(path + L'*', false, *listing, listing->all);
  if (error == 0 && !mask.empty())
    error = Enumerate(path + mask, true, *listing, listing->masked);
  if (error != 0) {
    read->error = static_cast<int>(error);
    return;
  }
  FindSubdirectories(*listing, descent, level);
  read->listing = std::move(listing);
}
