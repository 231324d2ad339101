// The Windows file-system layer talks to the platform in UTF-16 ("W"
// functions, "\\?\" full paths without the 260-character limit) while the
// rest of the tool works on its own texts (services/wide_text_win32.h).
// This is the bridge: typed text made into full wide paths, and the text
// operations on those paths.
//
// In code page 932 a name the code page cannot hold becomes a byte text
// with "?" in it, which no longer names its entry (and would act as a
// wildcard). So only what the user typed (and the current directory, the
// one path the tool makes up itself) is ever converted from text; every
// other path is built from the wide names the scans delivered.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_WIDE_PATH_WIN32_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_WIDE_PATH_WIN32_H_

#include <string>

#include "services/wide_text_win32.h"

// The full "\\?\" form of typed `text`, "." and ".." resolved as the
// platform makes a path full; a "?" that stands for a character of the
// current directory's path is that character. Empty on failure.
std::wstring TypedPath(const std::string& text);

// TypedPath of typed directory text ("" is the current directory, "C:" the
// drive's current directory), ending in "\"; empty on failure.
std::wstring TypedDirectoryPath(const std::string& text);

// Where the root of full path `path` ends: past "\\?\C:\",
// "\\?\UNC\server\share\" or "\\?\Volume{...}\".
size_t RootLength(const std::wstring& path);

// `path`, which ends in "\", without its last component, as ".." after it
// would name; never shorter than `root_length`. The platform takes a "\\?\"
// path as it stands, so ".." is resolved here.
void TakeOffLastComponent(std::wstring& path, size_t root_length);

// `path` without a trailing "\", unless that ends a root ("\\?\C:\").
std::wstring WithoutTrailingDelimiter(const std::wstring& path);

// The prefix "\\?\" or "\\?\UNC\" taken off again ("\\?\UNC\s\x" gives
// "\\s\x").
std::wstring WithoutLongPrefix(const std::wstring& path);

// True when the last component of a wide path holds "*" or "?".
bool HasWildcardInLastComponent(const std::wstring& path);

// Calls `query(buffer, size)`, a function that answers as
// GetCurrentDirectoryW does (the length written, or the size needed when
// the buffer is too small, or 0 on failure), with a buffer that grows until
// the answer fits; empty on failure.
template <typename Query>
std::wstring GrowingQuery(Query query) {
  std::wstring buffer(260, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const unsigned long size = static_cast<unsigned long>(buffer.size());
    const unsigned long length = query(&buffer[0], size);
    if (length == 0) return std::wstring();
    if (length < size) return buffer.substr(0, length);
    // The needed size counts the terminating NUL; it may change between
    // two calls, hence the loop.
    buffer.resize(length + 1);
  }
  return std::wstring();
}

// The current directory as the platform gives it; empty on failure.
std::wstring CurrentDirectoryWide();

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_WIDE_PATH_WIN32_H_
