// Operations on path text that understand double-byte characters. They are
// pure; the path syntax (delimiter, drive letters) is a parameter, so both
// syntaxes are tested on every build.
#ifndef KESTRIV_SERVICES_PATH_TEXT_H_
#define KESTRIV_SERVICES_PATH_TEXT_H_

#include <string>
#include <string_view>

struct PathSyntax {
  char delimiter;    // '\\' on Windows, '/' on POSIX
  bool has_drives;   // drive letters "C:" and UNC roots "\\server\share"
};

// The Windows syntax: "\" delimiter, ":" drive delimiter, UNC roots.
extern const PathSyntax kWindowsSyntax;
// The POSIX syntax: "/" only; "\" is an ordinary byte.
extern const PathSyntax kPosixSyntax;

// Position (1-based) of the last byte of `text` that occurs in `delimiters`
// and is not the second byte of a double-byte character; 0 when none.
size_t LastDelimiterPos(const std::string& delimiters, const std::string& text);
// The same within the first `size` bytes of `text`.
size_t LastDelimiterPosIn(const std::string& delimiters,
                          const std::string& text, size_t size);

// The root of `path`: "C:" for a drive path, "\\server\share" for a UNC
// path, "/" for an absolute POSIX path, else empty.
std::string DrivePart(const std::string& path, const PathSyntax& syntax);

// `path` without its last component ("C:\a\b" gives "C:\a", "C:\a" gives
// "C:\"; "/a" gives "/").
std::string ParentPart(const std::string& path, const PathSyntax& syntax);
// The size of ParentPart of the first `size` bytes of `path`.
size_t ParentPartSize(const std::string& path, size_t size,
                      const PathSyntax& syntax);

// True for the names "." and "..", which stand for a directory itself and
// its parent rather than for an entry.
bool IsDotName(std::string_view name);

// The text itself when it is empty or ends in its last delimiter; otherwise
// the text with the delimiter appended.
std::string WithTrailingDelimiter(const std::string& text,
                                  const PathSyntax& syntax);

#endif  // KESTRIV_SERVICES_PATH_TEXT_H_
