// The directory walker: one name mask over one directory tree.
#ifndef KESTRIV_SEARCH_WALKER_H_
#define KESTRIV_SEARCH_WALKER_H_

#include <string>

struct FileSystemSession;

// Prints every entry of `dir` that matches `mask` and passes the filter,
// then, when SearchSettings.Recursive is set, does the same in each
// subdirectory, depth first, down to SearchSettings.MaxDepth levels (the
// entries of `dir` are level 1). Entries that SearchSettings.ExcludeMasks
// leaves out are neither printed nor entered; `dir` itself always is.
// Counts DirCount and FoundCount. A link cycle ends at the first repeat,
// and below a link no directory is entered twice.
// The directories open through `session`, which the run owns (null: one of
// its own).
void SearchDirectory(const std::string& dir, const std::string& mask,
                     FileSystemSession* session = nullptr);

#endif  // KESTRIV_SEARCH_WALKER_H_
