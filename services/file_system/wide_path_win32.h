// The Windows file-system layer talks to the platform in UTF-16 ("W"
// functions, "\\?\" full paths without the 260-character limit) while the
// rest of the tool works on code page 932 byte texts. This is the bridge:
// the two conversions, and the way back from a byte path to the exact wide
// path it was built from.
//
// A name that code page 932 cannot hold becomes a byte text with "?" in
// it, which no longer names its entry (and would act as a wildcard). So
// every open entry scan registers where it stands: its directory and the
// entry it delivered last, in both forms. The walker builds every path from
// a directory whose scan is still open and a name that scan delivered, so
// such a path maps back exactly; only the part the user typed is converted
// as text.
#ifndef KESTRIV_SERVICES_WIDE_PATH_WIN32_H_
#define KESTRIV_SERVICES_WIDE_PATH_WIN32_H_

#include <string>

// The code page of every byte text of the tool.
constexpr unsigned kTextCodePage = 932;

// Code page 932 bytes as UTF-16.
std::wstring WideText(const std::string& bytes);

// UTF-16 as code page 932 bytes; each character the code page lacks becomes
// "?", never a look-alike.
std::string NarrowText(const wchar_t* text, size_t length);
std::string NarrowText(const std::wstring& text);

// Where one open scan stands. Owned by the scan; registered while it is
// open.
struct ScanPlace {
  std::string dir;         // the byte text before the pattern's last part
  std::wstring wide_dir;   // the same, full, in "\\?\" form, ending in "\"
  std::string name;        // the last delivered entry's name as bytes
  std::wstring wide_name;  // and as stored on disk; empty before the first
  // The short form of `dir`, found at the first entry asked for in short
  // form, so that each further entry costs one lookup of its own.
  bool short_dir_asked = false;
  bool short_dir_found = false;
  std::string short_dir;
};

// Adds and removes an open scan's place; removal in any order.
void RegisterScanPlace(ScanPlace* place);
void UnregisterScanPlace(const ScanPlace* place);

// The open scan of `dir` whose last delivered entry is `name`, or null.
ScanPlace* OpenScanAt(const std::string& dir, const std::string& name);

// The full "\\?\" form of directory text `dir` (empty or ending in a
// delimiter), ending in "\".
std::wstring PlatformDirectory(const std::string& dir);

// The full "\\?\" form of `path` to hand to the platform. Its last
// component, unless it is a delivered entry's name, is converted as it
// stands, so a mask keeps its wildcards (and "*." its dot).
std::wstring PlatformPath(const std::string& path);

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

#endif  // KESTRIV_SERVICES_WIDE_PATH_WIN32_H_
