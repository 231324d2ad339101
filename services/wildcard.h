// Matching of a file name against a wildcard mask by the Windows file-name
// rules, character by character (CurrentCharReading) and ignoring letter
// case as EqualsIgnoringCase does. Pure apart from reading the double-byte
// setting.
#ifndef KESTRIV_SERVICES_WILDCARD_H_
#define KESTRIV_SERVICES_WILDCARD_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// True when `mask` holds "*" or "?".
bool HasWildcards(std::string_view mask);

// The part of `mask` that Windows matches names against: the mask without
// its trailing dots and blanks, or the whole mask when it holds nothing
// else (so "." and ".." stay themselves). For a mask without wildcards,
// MatchesWildcard(mask, name) is EqualsIgnoringCase(name, TrimmedMask(mask)).
std::string_view TrimmedMask(std::string_view mask);

// Looks a typed name up as Windows takes it: `find(name)` as typed, and,
// when that finds nothing, `find` of the name without its trailing dots
// and blanks. True when either found it.
template <typename Find>
bool FindAsTyped(std::string_view name, Find find) {
  if (find(name)) return true;
  const std::string_view trimmed = TrimmedMask(name);
  return trimmed.size() != name.size() && find(trimmed);
}

// True when `name` matches `mask`: the mask is trimmed (TrimmedMask);
// "*.*" is "*"; "?" matches one character other than "." or nothing at a
// "." or at the end; a "." before "*" or "?" matches a "." or nothing at
// the end; "*" before "." does not consume the name's last ".", and
// neither does a "*" left last by a trailing "." (so "*." matches names
// without a dot). A character outside the Basic Multilingual Plane counts
// as two, as in Windows' UTF-16 names.
bool MatchesWildcard(std::string_view mask, std::string_view name);

// A mask prepared once for matching many names, as a scan matches every
// entry of a directory: the common shapes ("*", "*.ext", a plain name, a
// fixed start) take a short path, the rest the general matcher. Matching
// changes nothing in it, so threads may share one.
class CompiledMask {
 public:
  explicit CompiledMask(std::string_view mask);
  // MatchesWildcard(mask, name).
  bool Matches(std::string_view name) const;

 private:
  enum class Shape { kEmpty, kAll, kPlain, kSuffix, kPrefix, kGeneral };
  bool MatchesGeneral(std::string_view name) const;
  Shape shape_ = Shape::kGeneral;
  bool last_star_dos_ = false;  // a trailing dot made the last "*" a DOS star
  bool utf8_ = true;
  std::string literal_;  // the plain name, suffix or start, ASCII-folded
  std::vector<uint32_t> units_;
  std::vector<uint64_t> sets_;  // the positions of each role
};

#endif  // KESTRIV_SERVICES_WILDCARD_H_
