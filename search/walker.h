// The directory walker: one name mask over one directory tree.
#ifndef KESTRIV_SEARCH_WALKER_H_
#define KESTRIV_SEARCH_WALKER_H_

#include <string>

// Prints every entry of `dir` that matches `mask` and passes the filter,
// then, when SearchSettings.Recursive is set, does the same in each
// subdirectory, depth first. Counts DirCount and FoundCount. A directory
// already on the current descent chain (a link cycle) is not entered again.
void SearchDirectory(const std::string& dir, const std::string& mask);

#endif  // KESTRIV_SEARCH_WALKER_H_
