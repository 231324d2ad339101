// Path lookups of the POSIX file-system layer: paths typed in any ASCII
// case are found as they are on Windows, the spelling as typed first.
#ifndef KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_
#define KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_

#include <sys/stat.h>

#include <string>
#include <vector>

// True when `a` and `b` are equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(const char* a, const std::string& b);

// `dir` and `name` joined with one "/" (just `name` when `dir` is empty).
std::string JoinPath(const std::string& dir, const std::string& name);

// The directory text to hand to the system: "." for the empty text.
const char* DirectoryArgument(const std::string& dir);

// The stored spelling of `name` in `dir`, ignoring ASCII case, or empty.
std::string FindIgnoringCase(const std::string& dir, const std::string& name);

// The non-empty components of a "/"-separated path, in order.
std::vector<std::string> PathComponents(const std::string& path);

// True when `path` exists (links not followed).
bool Exists(const std::string& path);

// `path` as it exists on disk: as typed where that exists, otherwise each
// component looked up ignoring case. False when some component is missing.
bool ResolveOnDisk(const std::string& path, std::string* resolved);

// Status of `path` following links, trying the spelling as typed first.
bool StatAnyCase(const std::string& path, struct stat* st);

// Opens `dir` for listing, as typed or else found ignoring ASCII case, and
// sets `disk_dir` to the text opened; -1 with errno set on failure.
int OpenDirectoryAnyCase(const std::string& dir, std::string* disk_dir);

#endif  // KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_
