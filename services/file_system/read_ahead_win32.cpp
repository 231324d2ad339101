// A listing holds the records as the platform returned them, less the
// unused tail of each name field: a record is its fixed fields, the name's
// length and the name. Laid out as
//   mask length, mask, then for "*" and (with a mask) the mask:
//   first error, byte count, records.
// Records are copied in and out with memcpy: a listing's bytes have no
// alignment.
#include "services/file_system/read_ahead_win32.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <utility>

namespace {

// The fields of a record before its name, kept as they are.
constexpr size_t kFixedPart = offsetof(WIN32_FIND_DATAW, cFileName);
constexpr size_t kNameField =
    sizeof(WIN32_FIND_DATAW::cFileName) / sizeof(wchar_t);

// What a handle stands for: a directory read ahead.
struct AheadPath {
  std::wstring path;  // full, ending in "\"
  std::wstring mask;  // the walk's selection mask, empty when full
};

void Append(std::string& out, const void* data, size_t size) {
  out.append(static_cast<const char*>(data), size);
}

template <typename T>
void AppendValue(std::string& out, T value) {
  Append(out, &value, sizeof value);
}

template <typename T>
T ValueAt(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void AppendRecord(std::string& out, const WIN32_FIND_DATAW& raw) {
  Append(out, &raw, kFixedPart);
  const std::wstring_view name = NameOf(raw);
  AppendValue(out, static_cast<uint16_t>(name.size()));
  Append(out, name.data(), name.size() * sizeof(wchar_t));
}

// Appends the enumeration of `pattern` as the walk's scans open it (the
// basic information, the large buffer). The error code of a failure that
// makes the directory unread, else 0. When the enumeration cannot be
// opened, its code is kept instead of records, so that a replay fails as
// the platform did: for the mask always (a mask that matches nothing is an
// answer), for "*" only where nothing is found (a drive root lists no "."
// and "..").
DWORD Enumerate(const std::wstring& pattern, bool is_mask, std::string& out) {
  const size_t header = out.size();
  AppendValue<int32_t>(out, 0);
  AppendValue<uint32_t>(out, 0);
  WIN32_FIND_DATAW raw;
  HANDLE handle = FindFirst(pattern, true, &raw);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = static_cast<DWORD>(LastErrorCode());
    if (!is_mask && code != ERROR_FILE_NOT_FOUND) return code;
    const int32_t first_error = static_cast<int32_t>(code);
    std::memcpy(&out[header], &first_error, sizeof first_error);
    return 0;
  }
  do {
    AppendRecord(out, raw);
  } while (FindNextFileW(handle, &raw));
  // One that stops before its end is no listing: the walk reads again.
  const DWORD end = static_cast<DWORD>(LastErrorCode());
  FindClose(handle);
  if (end != ERROR_NO_MORE_FILES) return end;
  const uint32_t bytes = static_cast<uint32_t>(out.size() - header - 8);
  std::memcpy(&out[header + 4], &bytes, sizeof bytes);
  return 0;
}

// The wide name a key stands for.
std::wstring NameOfKey(const std::string& key) {
  std::wstring name(key.size() / sizeof(wchar_t), L'\0');
  std::memcpy(&name[0], key.data(), name.size() * sizeof(wchar_t));
  return name;
}

bool IsDotWide(std::wstring_view name) {
  return name == L"." || name == L"..";
}

// Reads the directories below a path handle by their names.
class FindSource : public AheadSource {
 public:
  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    const AheadPath& at = *reinterpret_cast<const AheadPath*>(parent);
    std::wstring path = at.path + NameOfKey(name) + L'\\';
    ReadDirectoryAt(path, at.mask, read);
    if (read->error == 0 && !read->subdirectories.empty())
      read->handle = NewAheadPath(std::move(path), at.mask);
  }

  void Release(AheadHandle handle) override {
    delete reinterpret_cast<AheadPath*>(handle);
  }
};

// Reads one section's header at `*at`, moving past it; false when the
// listing ends too soon.
bool ParseRecords(const char** at, const char* end, KeptRecords* records) {
  if (end - *at < 8) return false;
  records->first_error = ValueAt<int32_t>(*at);
  const uint32_t bytes = ValueAt<uint32_t>(*at + 4);
  *at += 8;
  if (static_cast<size_t>(end - *at) < bytes) return false;
  records->begin = *at;
  records->end = *at + bytes;
  *at = records->end;
  return true;
}

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

bool IsFullMask(std::wstring_view mask) {
  return mask == L"*" || mask == L"*.*";
}

std::string NameKey(std::wstring_view name) {
  return std::string(reinterpret_cast<const char*>(name.data()),
                     name.size() * sizeof(wchar_t));
}

AheadHandle NewAheadPath(std::wstring path, std::wstring mask) {
  AheadPath* made = new AheadPath;
  made->path = std::move(path);
  if (!IsFullMask(mask)) made->mask = std::move(mask);
  return reinterpret_cast<AheadHandle>(made);
}

std::unique_ptr<AheadSource> NewFindSource() {
  return std::make_unique<FindSource>();
}

void ReadDirectoryAt(const std::wstring& path, const std::wstring& mask,
                     AheadRead* read) {
  std::string listing;
  AppendValue(listing, static_cast<uint32_t>(mask.size()));
  Append(listing, mask.data(), mask.size() * sizeof(wchar_t));
  DWORD error = Enumerate(path + L'*', false, listing);
  if (error == 0 && !mask.empty()) error = Enumerate(path + mask, true, listing);
  KeptListing parts;
  if (error == 0 && !ParseListing(listing, &parts)) error = ERROR_INVALID_DATA;
  if (error != 0) {
    read->error = static_cast<int>(error);
    return;
  }
  read->subdirectories = SubdirectoriesIn(parts.all);
  read->listing = std::move(listing);
}

std::vector<std::string> SubdirectoriesIn(const KeptRecords& all) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW raw;
  for (const char* at = all.begin; NextKeptRecord(&at, all.end, &raw);) {
    const DWORD attributes = raw.dwFileAttributes;
    const std::wstring_view name = NameOf(raw);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !IsDotWide(name))
      names.push_back(NameKey(name));
  }
  return names;
}

bool ParseListing(const std::string& listing, KeptListing* parts) {
  const char* at = listing.data();
  const char* const end = at + listing.size();
  if (end - at < 4) return false;
  const uint32_t mask_chars = ValueAt<uint32_t>(at);
  at += 4;
  if (static_cast<size_t>(end - at) / sizeof(wchar_t) < mask_chars)
    return false;
  parts->mask.assign(mask_chars, L'\0');
  std::memcpy(&parts->mask[0], at, mask_chars * sizeof(wchar_t));
  at += mask_chars * sizeof(wchar_t);
  if (!ParseRecords(&at, end, &parts->all)) return false;
  parts->masked = KeptRecords();
  return mask_chars == 0 || ParseRecords(&at, end, &parts->masked);
}

bool NextKeptRecord(const char** at, const char* end, WIN32_FIND_DATAW* raw) {
  if (static_cast<size_t>(end - *at) < kFixedPart + 2) return false;
  const uint16_t chars = ValueAt<uint16_t>(*at + kFixedPart);
  const size_t size = kFixedPart + 2 + chars * sizeof(wchar_t);
  if (static_cast<size_t>(end - *at) < size || chars > kNameField)
    return false;
  std::memcpy(raw, *at, kFixedPart);
  std::memcpy(raw->cFileName, *at + kFixedPart + 2, chars * sizeof(wchar_t));
  if (chars < kNameField) raw->cFileName[chars] = L'\0';
  raw->cAlternateFileName[0] = L'\0';
  *at += size;
  return true;
}
