// The names a walk leaves out: an entry whose name matches any of a list of
// wildcard masks, by the rules of MatchesWildcard (letter case ignored), is
// neither printed nor, if it is a directory, entered. Built once before
// any walk; asking changes nothing, so any thread may ask.
#ifndef KESTRIV_SERVICES_NAME_EXCLUSION_H_
#define KESTRIV_SERVICES_NAME_EXCLUSION_H_

#include <string_view>
#include <vector>

#include "services/wildcard.h"

class NameExclusion {
 public:
  // Adds one mask to the list.
  void Add(std::string_view mask);
  // True when `name` matches a mask of the list.
  bool Excludes(std::string_view name) const;
  // True when the list has no mask.
  bool Empty() const { return masks_.empty(); }

 private:
  std::vector<CompiledMask> masks_;
};

#endif  // KESTRIV_SERVICES_NAME_EXCLUSION_H_
