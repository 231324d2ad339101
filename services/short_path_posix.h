// The short (8.3) forms of paths on POSIX and what a run keeps of them.
#ifndef KESTRIV_SERVICES_SHORT_PATH_POSIX_H_
#define KESTRIV_SERVICES_SHORT_PATH_POSIX_H_

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// The aliases of one directory's entries, by stored name.
using AliasTable = std::unordered_map<std::string, std::string>;

// The long (as on disk) and short forms of an existing path.
struct ShortForm {
  std::string long_form, short_form;
};

// What a run keeps for its short forms: the aliases of the directories
// used most recently (a walk needs a directory's aliases while it is inside
// it), and the forms of the directories asked for last, ancestors first
// (the entries of a directory, and its subdirectories, build on them).
struct ShortFormState {
  static constexpr size_t kAliasTables = 64;
  static constexpr size_t kForms = 256;
  std::vector<std::pair<std::string, AliasTable>> alias_tables;  // by long
  std::vector<std::pair<std::string, ShortForm>> forms;  // by typed text
};

#endif  // KESTRIV_SERVICES_SHORT_PATH_POSIX_H_
