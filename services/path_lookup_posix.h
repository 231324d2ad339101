// Path lookups of the POSIX file-system layer. Paths typed in any case are
// found as they are on Windows (the spelling as typed first), a component
// ending in dots or spaces stands for the name without them when no entry
// has it exactly, and a path of any length is opened one component at a
// time relative to a descriptor, never as a text longer than the system
// takes.
#ifndef KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_
#define KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct Listing;
struct ScanCache;

// `dir` and `name` joined with one "/" (just `name` when `dir` is empty).
std::string JoinPath(const std::string& dir, const std::string& name);

// The non-empty components of a "/"-separated path, in order.
std::vector<std::string> PathComponents(const std::string& path);

// The entry of `listing` equal to `name` but for case, the exact spelling
// first; empty when there is none.
std::string StoredSpellingIn(const Listing& listing, const std::string& name);

// The stored name that `name` stands for in the open directory `at`: one
// equal to it but for case, else one equal to it without its trailing dots
// and spaces (the exact spelling first); empty when there is none.
std::string FindStoredName(ScanCache& cache, int at, const std::string& name);

// Opens the directory `name` in the open directory `at`, as typed or else
// as FindStoredName finds it; -1 with errno set on failure.
int OpenComponent(ScanCache& cache, int at, const std::string& name);

// Opens the directory `dir` ("" is the current one), relative to the open
// scan of an ancestor where there is one; -1 with errno set on failure.
int OpenDirectory(ScanCache& cache, std::string_view dir);

// The same, from the current or root directory only.
int OpenDirectoryFromStart(ScanCache& cache, std::string_view dir);

// Status of `path` (of a final link's target when `follow`); false when it
// cannot be found.
bool StatPath(ScanCache& cache, const std::string& path, struct stat* st,
              bool follow);

#endif  // KESTRIV_SERVICES_PATH_LOOKUP_POSIX_H_
