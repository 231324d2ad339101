// How a selected entry's path is printed: every component in the case
// stored on disk, or the platform's short form.
#ifndef KESTRIV_SEARCH_PATH_PRESENTATION_H_
#define KESTRIV_SEARCH_PATH_PRESENTATION_H_

#include <string>

#include "services/path_text.h"

struct ScanCache;

// The text itself when empty or ending in its last path delimiter, else the
// text with the platform's delimiter appended.
std::string WithTrailingBackslash(const std::string& text);

// The true-case long form of an entry's full path; empty when the path
// exists neither as a file nor as a directory.
std::string TrueCasePath(const std::string& path);

// The true-case text that stands before the stored name of every entry a
// scan of `dir` delivers, so that each entry costs no more than its name;
// false where that text would depend on the entry (then use TrueCasePath).
// Its scans read through `cache` (null: afresh).
bool TrueCasePrefixOfEntries(const std::string& dir, ScanCache* cache,
                             std::string* prefix);

// The true-case form of `path` whose root is `root_len` bytes long: the root
// upper-cased, each component as the scan reports it. A component that
// cannot be scanned drops itself and everything above it; an ascent that
// makes no progress ends there.
std::string ResolveTrueCase(const std::string& path, size_t root_len,
                            const PathSyntax& syntax,
                            ScanCache* cache = nullptr);

#endif  // KESTRIV_SEARCH_PATH_PRESENTATION_H_
