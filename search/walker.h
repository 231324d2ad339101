// The directory walker: one name mask over one directory tree.
#ifndef KESTRIV_SEARCH_WALKER_H_
#define KESTRIV_SEARCH_WALKER_H_

#include <string>

struct ScanCache;

// Prints every entry of `dir` that matches `mask` and passes the filter,
// then, when SearchSettings.Recursive is set, does the same in each
// subdirectory, depth first. Counts DirCount and FoundCount. A directory
// already on the current descent chain (a link cycle) is not entered again.
// The scans read through `cache`, which the run owns (null: read afresh).
void SearchDirectory(const std::string& dir, const std::string& mask,
                     ScanCache* cache = nullptr);

#endif  // KESTRIV_SEARCH_WALKER_H_
