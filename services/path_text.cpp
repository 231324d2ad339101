#include "services/path_text.h"

#include "services/dbcs.h"

const PathSyntax kWindowsSyntax = {'\\', true};
const PathSyntax kPosixSyntax = {'/', false};

namespace {

// Byte at `i`, counted from 1 as path positions are; a position past the
// end reads as the NUL that ends the text.
char ByteAtPosition(const std::string& text, size_t i) {
  return (i >= 1 && i <= text.size()) ? text[i - 1] : '\0';
}

// "\\server\share": the first two bytes are "\", and the root runs up to,
// not including, the backslash after the share name. The last byte is
// never examined inside the loop, so a trailing backslash is removed by the
// check after it.
std::string UncRoot(const std::string& path) {
  size_t i = 3;
  int delimiters_seen = 0;
  while (i < path.size() && delimiters_seen < 2) {
    if (path[i - 1] == '\\') ++delimiters_seen;
    if (delimiters_seen < 2) ++i;
  }
  if (ByteAtPosition(path, i) == '\\') --i;
  return path.substr(0, i);
}

std::string WindowsDrivePart(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    return UncRoot(path);
  }
  return "";
}

// True when byte `i` is one of `delimiters` standing for itself, not as the
// second byte of a double-byte character.
bool IsDelimiterAt(const std::string& delimiters, const std::string& text,
                   size_t i) {
  const char byte = ByteAtPosition(text, i);
  return byte != '\0' && delimiters.find(byte) != std::string::npos &&
         ByteKind(text, i) != ByteKindValue::TrailByte;
}

}  // namespace

size_t LastDelimiterPos(const std::string& delimiters,
                        const std::string& text) {
  return LastDelimiterPosIn(delimiters, text, text.size());
}

size_t LastDelimiterPosIn(const std::string& delimiters,
                          const std::string& text, size_t size) {
  size_t i = size;
  while (i > 0) {
    const char byte = text[i - 1];
    if (byte != '\0' && delimiters.find(byte) != std::string::npos) {
      if (ByteKind(text, i) != ByteKindValue::TrailByte) return i;
      // Part of a double-byte character: its lead byte is passed over too.
      --i;
      if (i == 0) break;
    }
    --i;
  }
  return 0;
}

std::string DrivePart(const std::string& path, const PathSyntax& syntax) {
  if (syntax.has_drives) return WindowsDrivePart(path);
  return (!path.empty() && path[0] == syntax.delimiter)
             ? std::string(1, syntax.delimiter)
             : std::string();
}

std::string ParentPart(const std::string& path, const PathSyntax& syntax) {
  return path.substr(0, ParentPartSize(path, path.size(), syntax));
}

// The kind of a byte depends only on the bytes up to it, so a prefix of a
// text is judged within the whole text.
size_t ParentPartSize(const std::string& path, size_t size,
                      const PathSyntax& syntax) {
  const std::string delimiters = syntax.has_drives
                                     ? std::string(1, syntax.delimiter) + ":"
                                     : std::string(1, syntax.delimiter);
  size_t i = LastDelimiterPosIn(delimiters, path, size);
  // A trailing delimiter goes, unless it completes a root such as "C:\",
  // "\\" or "/".
  if (i > 1 && path[i - 1] == syntax.delimiter &&
      !IsDelimiterAt(delimiters, path, i - 1)) {
    --i;
  }
  return i;
}

std::string WithTrailingDelimiter(const std::string& text,
                                  const PathSyntax& syntax) {
  const std::string delimiter(1, syntax.delimiter);
  if (text.empty() || LastDelimiterPos(delimiter, text) == text.size()) {
    return text;
  }
  return text + delimiter;
}

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }
