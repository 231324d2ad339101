#include "services/name_exclusion.h"

void NameExclusion::Add(std::string_view mask) { masks_.emplace_back(mask); }

// Without masks, the common case, the answer costs one test.
bool NameExclusion::Excludes(std::string_view name) const {
  for (const CompiledMask& mask : masks_) {
    if (mask.Matches(name)) return true;
  }
  return false;
}
