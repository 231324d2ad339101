#include "services/file_system/wide_path_win32.h"

#include <windows.h>

#include <vector>

#include "services/path_text.h"

// One call each way: a byte becomes at most one UTF-16 unit, and a unit at
// most two bytes of code page 932.
std::wstring WideText(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  std::wstring wide(bytes.size(), L'\0');
  const int length = MultiByteToWideChar(
      kTextCodePage, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0],
      static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return wide;
}

// Without WC_NO_BEST_FIT_CHARS the platform would write "e" for "é" (and a
// like-looking character for many others), and the printed line would name
// a different entry.
std::string NarrowText(const wchar_t* text, size_t length) {
  if (length == 0) return std::string();
  std::string narrow(length * 2, '\0');
  const int bytes = WideCharToMultiByte(
      kTextCodePage, WC_NO_BEST_FIT_CHARS, text, static_cast<int>(length),
      &narrow[0], static_cast<int>(narrow.size()), "?", nullptr);
  narrow.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
  return narrow;
}

std::string NarrowText(const std::wstring& text) {
  return NarrowText(text.data(), text.size());
}

namespace {

// The places of the scans now open, outermost first. The scans belong to
// the walk's records; this only lets a later call find them.
std::vector<ScanPlace*>& OpenPlaces() {
  static auto* places = new std::vector<ScanPlace*>;
  return *places;
}

const char kDelimiters[] = "\\/:";

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

bool EndsInSlash(const std::string& text) {
  return !text.empty() && (text.back() == '\\' || text.back() == '/') &&
         LastDelimiterPos(kDelimiters, text) == text.size();
}

}  // namespace

ScanPlace* OpenScanAt(const std::string& dir, const std::string& name) {
  if (name.empty() || IsDotName(name)) return nullptr;
  const auto& places = OpenPlaces();
  for (auto place = places.rbegin(); place != places.rend(); ++place) {
    if (!(*place)->wide_name.empty() && (*place)->name == name &&
        (*place)->dir == dir)
      return *place;
  }
  return nullptr;
}

namespace {

// The open scan whose last delivered entry is the directory `dir` (which
// ends in "\").
const ScanPlace* EntryPlaceOfDirectory(const std::string& dir) {
  if (!EndsInSlash(dir)) return nullptr;
  const std::string inner = dir.substr(0, dir.size() - 1);
  const size_t cut = LastDelimiterPos(kDelimiters, inner);
  return OpenScanAt(inner.substr(0, cut), inner.substr(cut));
}

// An open scan of the directory `dir` itself.
const ScanPlace* DirectoryPlace(const std::string& dir) {
  const auto& places = OpenPlaces();
  for (auto place = places.rbegin(); place != places.rend(); ++place)
    if ((*place)->dir == dir) return *place;
  return nullptr;
}

std::wstring CurrentDirectoryWide() {
  return GrowingQuery([](wchar_t* buffer, unsigned long size) {
    return GetCurrentDirectoryW(size, buffer);
  });
}

// The longest part of `text` that spells, component by component, the
// beginning of the current directory as the code page shows it; its wide
// form goes to `wide`. The current directory is the one byte path the tool
// makes up itself (the default search path), and it may hold "?" for what
// the code page lacks.
size_t CurrentDirectoryPart(const std::string& text, std::wstring* wide) {
  const std::wstring current = CurrentDirectoryWide();
  size_t covered = 0;
  size_t begin = 0;
  while (begin < current.size()) {
    size_t end = current.find(L'\\', begin);
    if (end == std::wstring::npos) end = current.size();
    const std::string part = NarrowText(current.substr(begin, end - begin));
    if (text.compare(covered, part.size(), part) != 0) break;
    const size_t after = covered + part.size();
    if (after < text.size() && text[after] != '\\' && text[after] != '/') break;
    covered = after;
    *wide = current.substr(0, end);
    if (after == text.size()) break;
    covered = after + 1;  // the delimiter
    wide->push_back(L'\\');
    begin = end + 1;
  }
  return covered;
}

// Typed text as wide text; a "?" that stands for a character of the
// current directory's path gets that character back.
std::wstring TypedWide(const std::string& text) {
  if (text.find('?') == std::string::npos) return WideText(text);
  std::wstring wide;
  const size_t covered = CurrentDirectoryPart(text, &wide);
  return wide + WideText(text.substr(covered));
}

// True when all of `path` spells the beginning of the current directory,
// so that its "?" are characters of that path, not wildcards.
bool SpellsCurrentDirectoryPart(const std::string& path) {
  std::wstring wide;
  return CurrentDirectoryPart(path, &wide) == path.size();
}

std::wstring FullPath(const std::wstring& path) {
  return GrowingQuery([&path](wchar_t* buffer, unsigned long size) {
    return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
  });
}

// "\\?\" passes the path to the file system as it stands, past the
// 260-character limit; a UNC path takes the form "\\?\UNC\server\share".
std::wstring LongForm(const std::wstring& full) {
  if (full.compare(0, 4, L"\\\\?\\") == 0 ||
      full.compare(0, 4, L"\\\\.\\") == 0)
    return full;
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
  return full;
}

// A typed directory made full. A placeholder name is appended and taken
// off again, so that "C:" and the empty text come out as directories too.
std::wstring TypedDirectory(const std::string& dir) {
  std::wstring full = FullPath(TypedWide(dir) + L"_");
  if (full.empty() || full.back() != L'_') return LongForm(TypedWide(dir));
  full.pop_back();
  return LongForm(full);
}

bool HasWildcards(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

}  // namespace

void RegisterScanPlace(ScanPlace* place) {
  OpenPlaces().push_back(place);
}

void UnregisterScanPlace(const ScanPlace* place) {
  auto& places = OpenPlaces();
  for (size_t i = places.size(); i-- > 0;) {
    if (places[i] == place) {
      places.erase(places.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

std::wstring PlatformDirectory(const std::string& dir) {
  if (const ScanPlace* entry = EntryPlaceOfDirectory(dir))
    return entry->wide_dir + entry->wide_name + L"\\";
  if (const ScanPlace* place = DirectoryPlace(dir)) return place->wide_dir;
  return TypedDirectory(dir);
}

std::wstring PlatformPath(const std::string& path) {
  const size_t cut = LastDelimiterPos(kDelimiters, path);
  const std::string dir = path.substr(0, cut);
  const std::string last = path.substr(cut);
  if (last.empty()) return PlatformDirectory(dir);
  if (const ScanPlace* entry = OpenScanAt(dir, last))
    return entry->wide_dir + entry->wide_name;
  const ScanPlace* parent = EntryPlaceOfDirectory(dir);
  if (IsDotName(last) && parent != nullptr) {
    return last == "." ? parent->wide_dir + parent->wide_name
                       : WithoutTrailingDelimiter(parent->wide_dir);
  }
  // A component of the current directory's path is that name, even where
  // it shows "?"; a mask is handed over as typed, and so is an exact name
  // in a directory the walk is in; any other typed path is made full, "."
  // and ".." resolved, as the platform makes a path full.
  if (last.find('?') != std::string::npos && SpellsCurrentDirectoryPart(path))
    return LongForm(FullPath(TypedWide(path)));
  if (HasWildcards(last) || parent != nullptr || DirectoryPlace(dir) != nullptr)
    return PlatformDirectory(dir) + WideText(last);
  return LongForm(FullPath(TypedWide(path)));
}

std::wstring WithoutTrailingDelimiter(const std::wstring& path) {
  const size_t size = path.size();
  if (size < 2 || path[size - 1] != L'\\') return path;
  const wchar_t before = path[size - 2];
  if (before == L':' || before == L'\\' || before == L'?') return path;
  return path.substr(0, size - 1);
}

std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
  if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
  return path;
}

bool HasWildcardInLastComponent(const std::wstring& path) {
  const size_t cut = path.find_last_of(L"\\/");
  const size_t start = cut == std::wstring::npos ? 0 : cut + 1;
  return path.find_first_of(L"*?", start) != std::wstring::npos;
}
