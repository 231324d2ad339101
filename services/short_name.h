// 8.3 short-name aliases for the names of one directory. Pure.
#ifndef KESTRIV_SERVICES_SHORT_NAME_H_
#define KESTRIV_SERVICES_SHORT_NAME_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// True when `name` is a legal 8.3 name that needs no alias.
bool IsLegalShortName(std::string_view name);

// The alias of every name of `names` (all the entries of one directory) that
// is not a legal 8.3 name, keyed by the name. Aliases are unique within the
// directory, also against the legal names, ignoring ASCII case.
std::unordered_map<std::string, std::string> MakeShortNames(
    const std::vector<std::string>& names);

#endif  // KESTRIV_SERVICES_SHORT_NAME_H_
