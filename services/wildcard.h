// Matching of a file name against a wildcard mask by the Windows file-name
// rules, ignoring the case of ASCII letters. Pure.
#ifndef KESTRIV_SERVICES_WILDCARD_H_
#define KESTRIV_SERVICES_WILDCARD_H_

#include <string>

// True when `mask` holds "*" or "?".
bool HasWildcards(const std::string& mask);

// True when `name` matches `mask`: "*.*" is "*"; "?" matches one character
// other than "." or nothing at a "." or at the end; a "." before "*" or "?"
// matches a "." or nothing at the end; "*." matches names without a dot.
bool MatchesWildcard(const std::string& mask, const std::string& name);

#endif  // KESTRIV_SERVICES_WILDCARD_H_
