// The order in which NTFS keeps a directory's names, for listings that the
// platform delivers in no useful order: names compared by their upper-cased
// UTF-16 units (UpperCaseOf, as the masks fold case), unit by unit, a
// shorter name before a longer one it begins. Pure apart from reading the
// double-byte setting.
#ifndef KESTRIV_SERVICES_NAME_ORDER_H_
#define KESTRIV_SERVICES_NAME_ORDER_H_

#include <cstdint>
#include <string_view>

// Negative when `a` sorts before `b`, positive when after, 0 only when the
// bytes are the same. Characters are read as CurrentCharReading() says;
// one outside the BMP is its two surrogates, so it sorts before
// U+E000-U+FFFF; a byte that is not valid UTF-8 (and, read as code page
// 932, a character beyond ASCII) sorts after every Unicode character, by
// its value. Names equal after upper-casing, which only POSIX can hold, go
// in the order of their bytes.
int CompareNames(std::string_view a, std::string_view b);

// The start of a name's place in that order, for sorting many names: when
// the prefixes of two names are both exact and differ, comparing them
// orders the names as CompareNames does; otherwise CompareNames decides.
struct NamePrefix {
  // The first sixteen upper-cased bytes, eight in each, 0 past the end.
  uint64_t high = 0, low = 0;
  bool exact = false;  // the name's first sixteen bytes (or all) are ASCII
};
NamePrefix NamePrefixOf(std::string_view name);

#endif  // KESTRIV_SERVICES_NAME_ORDER_H_
