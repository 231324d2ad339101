// The short (8.3) form of typed paths on Windows. The platform is asked
// about the full "\\?\" path, and its answer is fitted to the path as
// given: what the user typed stays relative, as the platform keeps it for a
// relative path. (The alias of a delivered entry is ShortNameOf, beside the
// scans.)
#include <windows.h>

#include <vector>

#include "services/dbcs.h"
#include "services/file_system/file_system.h"
#include "services/file_system/wide_path_win32.h"

namespace {

bool IsSlash(char byte) { return byte == '\\' || byte == '/'; }

bool EndsInDelimiter(const std::string& text) {
  return !text.empty() && LastDelimiterPos("\\/:", text) == text.size();
}

// Where the root of `path` ends: after "C:", "\\server\share" or a leading
// "\", and the delimiter that follows it.
size_t RootEnd(const std::string& path) {
  size_t end = DrivePart(path, kWindowsSyntax).size();
  if (end < path.size() && IsSlash(path[end])) ++end;
  return end;
}

struct Span {
  size_t begin, end;
};

// The non-empty components of `path` after `from`; a 0x5C that ends a
// double-byte character is no delimiter.
std::vector<Span> ComponentsAfter(const std::string& path, size_t from) {
  std::vector<Span> parts;
  size_t begin = from;
  for (size_t i = from; i < path.size(); i = NextCharIndex(path, i)) {
    if (!IsSlash(path[i])) continue;
    if (i > begin) parts.push_back({begin, i});
    begin = i + 1;
  }
  if (path.size() > begin) parts.push_back({begin, path.size()});
  return parts;
}

std::vector<std::wstring> WideComponents(const std::wstring& path) {
  std::vector<std::wstring> parts;
  size_t begin = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != L'\\') continue;
    if (i > begin) parts.push_back(path.substr(begin, i - begin));
    begin = i + 1;
  }
  return parts;
}

std::wstring PlatformShortPath(const std::wstring& path) {
  return GrowingQuery([&path](wchar_t* buffer, unsigned long size) {
    return GetShortPathNameW(path.c_str(), buffer, size);
  });
}

// The short form of a typed path that ends in "." or "..", asked for as
// typed, so that it stays relative; the text itself when that fails.
std::string ShortTypedPrefix(const std::string& typed) {
  const std::wstring short_path = PlatformShortPath(WideText(typed));
  return short_path.empty() ? typed : NarrowText(short_path);
}

bool IsDotComponent(const std::string& path, const Span& part) {
  return IsDotName(std::string_view(path).substr(part.begin,
                                                 part.end - part.begin));
}

// The root stays as typed; the components up to the last "." or "..", if
// any, take the platform's short form of that typed prefix; each later one
// the matching component of the platform's short form of the full path.
bool FindShortForm(const std::string& path, std::string* result) {
  const std::wstring wide = WithoutTrailingDelimiter(TypedPath(path));
  if (wide.empty() || HasWildcardInLastComponent(wide)) return false;
  const std::vector<std::wstring> short_parts =
      WideComponents(WithoutLongPrefix(PlatformShortPath(wide)));
  if (short_parts.empty()) return false;
  const size_t root_end = RootEnd(path);
  const std::vector<Span> parts = ComponentsAfter(path, root_end);
  size_t typed = 0;
  for (size_t i = 0; i < parts.size(); ++i)
    if (IsDotComponent(path, parts[i])) typed = i + 1;
  const size_t wanted = parts.size() - typed;
  if (short_parts.size() <= wanted) return false;
  *result = typed == 0 ? path.substr(0, root_end)
                       : ShortTypedPrefix(path.substr(0, parts[typed - 1].end));
  for (size_t i = short_parts.size() - wanted; i < short_parts.size(); ++i) {
    if (!result->empty() && !EndsInDelimiter(*result)) *result += '\\';
    *result += NarrowText(short_parts[i]);
  }
  if (EndsInDelimiter(path) && !EndsInDelimiter(*result)) *result += '\\';
  return true;
}

}  // namespace

// The platform keeps nothing between calls that a session could hold.
std::string ShortPathOf(const std::string& path, FileSystemSession*) {
  std::string result;
  return FindShortForm(path, &result) ? result : std::string();
}
