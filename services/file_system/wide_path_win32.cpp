#include "services/file_system/wide_path_win32.h"

#include <windows.h>

#include <algorithm>

#include "services/path_text.h"

std::wstring CurrentDirectoryWide() {
  return GrowingQuery([](wchar_t* buffer, unsigned long size) {
    return GetCurrentDirectoryW(size, buffer);
  });
}

namespace {

const char kDelimiters[] = "\\/:";

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

}  // namespace

std::wstring TypedPath(const std::string& text) {
  return LongForm(FullPath(TypedWide(text)));
}

// A placeholder name is appended and taken off again, so that "C:" and the
// empty text come out as directories too, with their delimiter.
std::wstring TypedDirectoryPath(const std::string& text) {
  std::string dir = text;
  if (LastDelimiterPos(kDelimiters, dir) != dir.size()) dir += '\\';
  std::wstring full = FullPath(TypedWide(dir) + L"_");
  if (full.size() < 2 || full.back() != L'_' || full[full.size() - 2] != L'\\')
    return std::wstring();
  full.pop_back();
  return LongForm(full);
}

size_t RootLength(const std::wstring& path) {
  size_t at = 0;
  int components = 1;  // "C:", "Volume{...}", or "server" and "share"
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    at = 8;
    components = 2;
  } else if (path.compare(0, 4, L"\\\\?\\") == 0 ||
             path.compare(0, 4, L"\\\\.\\") == 0) {
    at = 4;
  }
  for (; components > 0; --components) {
    const size_t end = path.find(L'\\', at);
    if (end == std::wstring::npos) return path.size();
    at = end + 1;
  }
  return at;
}

void TakeOffLastComponent(std::wstring& path, size_t root_length) {
  if (path.size() <= root_length) return;
  const size_t cut = path.rfind(L'\\', path.size() - 2);
  path.resize(std::max(root_length,
                       cut == std::wstring::npos ? 0 : cut + 1));
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
