// Fuzz target: the 8.3 alias generator over the names of one directory.
//
// Input: the names, separated by "/" bytes (no entry name holds one);
// at most 512 names are used.
//
// Properties: exactly the names that are not legal 8.3 names get an alias;
// every alias is a legal 8.3 name of at most 12 bytes, not "." or "..";
// no two aliases are equal ignoring ASCII case, and no alias equals any
// name of the directory ignoring ASCII case; the aliases do not depend on
// the order in which the directory lists its names.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "services/short_name.h"
#include "services/text.h"

namespace {

constexpr size_t kMaxNames = 512;

std::string Described(const std::vector<std::string>& names) {
  std::string all;
  for (const std::string& name : names) all += Escaped(name) + " ";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> names = SplitAt(InputText(data, size), '/');
  if (names.size() > kMaxNames) names.resize(kMaxNames);
  const auto aliases = MakeShortNames(names);
  const std::string context = "names " + Described(names);

  std::unordered_set<std::string> upper_names;
  for (const std::string& name : names) {
    upper_names.insert(AsciiUpperCase(name));
    const bool has_alias = aliases.count(name) != 0;
    FUZZ_CHECK(has_alias != IsLegalShortName(name),
               context + " name " + Escaped(name));
  }
  std::unordered_set<std::string> upper_aliases;
  for (const auto& entry : aliases) {
    const std::string& alias = entry.second;
    const std::string about = context + " alias " + Escaped(alias) + " of " +
                              Escaped(entry.first);
    FUZZ_CHECK(std::find(names.begin(), names.end(), entry.first) != names.end(),
               about);
    FUZZ_CHECK(IsLegalShortName(alias) && alias != "." && alias != "..", about);
    FUZZ_CHECK(alias.size() <= 12, about);
    FUZZ_CHECK(upper_names.count(AsciiUpperCase(alias)) == 0, about);
    FUZZ_CHECK(upper_aliases.insert(AsciiUpperCase(alias)).second, about);
  }

  std::vector<std::string> reversed(names.rbegin(), names.rend());
  FUZZ_CHECK(MakeShortNames(reversed) == aliases,
             context + " aliases change with the listing order");
  return 0;
}
