// How a selected entry's path is printed: every component in the case
// stored on disk, or the platform's short form.
#ifndef KESTRIV_SEARCH_PATH_PRESENTATION_H_
#define KESTRIV_SEARCH_PATH_PRESENTATION_H_

#include <string>

#include "services/file_system/file_system.h"
#include "services/path_text.h"

// The text itself when empty or ending in its last path delimiter, else the
// text with the platform's delimiter appended.
std::string WithTrailingBackslash(const std::string& text);

// The true-case long form of an entry's full path; empty when the path
// exists neither as a file nor as a directory.
std::string TrueCasePath(const std::string& path);

// The true-case form of `path` whose root is `root_len` bytes long: the root
// upper-cased, each component as the scan reports it. A component that
// cannot be scanned drops itself and everything above it; an ascent that
// makes no progress ends there.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax);

// A search path's directory, opened once: `dir` as typed (ending in its
// delimiter, or empty), and the true-case text that stands before the
// stored names of its entries, found component by component on the way.
struct SearchRoot {
  DirectoryPtr dir;     // null when it cannot be opened
  bool prefix_known = false;  // false: the text depends on the entry
  std::string prefix;   // the true-case text, ending in a delimiter
};
SearchRoot OpenSearchRoot(FileSystemSession& session, const std::string& dir);

// Follows the relative `path` down from `base`, component by component,
// each found as an exact name, and appends to `shown` each stored name (or
// its short form with `short_names`) with a delimiter after it; null when
// a component cannot be found or opened.
DirectoryPtr OpenTypedBelow(Directory& base, const std::string& path,
                            bool short_names, std::string* shown);

#endif  // KESTRIV_SEARCH_PATH_PRESENTATION_H_
