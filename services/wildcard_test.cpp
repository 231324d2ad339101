#include "services/wildcard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "services/case_fold.h"
#include "services/dbcs.h"

namespace {

struct MatchCase {
  const char* mask;
  const char* name;
  bool expected;
};

TEST(WildcardTest, MatchesByTheWindowsRules) {
  const MatchCase cases[] = {
      {"*", ".profile", true},
      {"*", "a.b.c", true},
      {"*.*", "README", true},
      {"*.*", ".profile", true},
      {"*.", "README", true},
      {"*.", "a.txt", false},
      {"*.", ".profile", false},
      {"*.", "a.", false},  // a trailing dot is still a dot
      {"*.txt", "b.TXT", true},
      {"*.TXT", "b.txt", true},
      {"*.txt", "a.b.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.txt", "a.txtx", false},
      {"*.txt", ".txt", true},
      {"a?", "a", true},
      {"a?", "ab", true},
      {"a?", "abc", false},
      {"???.txt", "ab.txt", true},
      {"???.txt", "abcd.txt", false},
      {"x.*", "x", true},
      {"x.*", "x.anything", true},
      {"x.*", "xy", false},
      {"x.?", "x", true},
      {"x.?", "x.y", true},
      {"x.?", "x.yz", false},
      {"*.?", "a.bb", false},
      {"*.?", "a.b", true},
      {"*.?", "abc", true},
      {"?.?", "ab", false},
      {"?", ".", false},   // "?" never consumes a dot
      {"a?b", "a.b", false},
      {"??", "a.b", false},
      {"?*", ".x", true},  // "?" matches nothing at a dot
      {"*a", "ba.a", true},
      {"*.b.b", "a.b.b", true},
      {"*.b.*", "a.b", true},
      {"a.b", "ab", false},
      {"a*.", "abc", true},
      {"a*.", "ab.c", false},
      {"a*.", "a", true},
      {"a*.", "aa", true},
      {"a*.", "a.a", false},
      // A trailing dot makes only the last "*" a DOS star: earlier ones
      // still take dots, and a literal "." stays literal.
      {".*.", ".a", true},
      {".*.", ".aaa", true},
      {".*.", ".a.b", false},
      {".*.", "a", false},
      {"**.", "a.a", true},
      {"**.", "a.a.a", true},
      {"**.", "abc", true},
      {"ea.tmp.tmp*.", "ea.tmp.tmp", true},
      {"ea.tmp.tmp*.", "EA.TMP.TMPx", true},
      {"ea.tmp.tmp*.", "ea.tmp.tmp.x", false},
      {"*c*t*.", "a.c.t", true},
      {"*c*t*.", "ct.t", true},
      {"*c*t*.", "act", true},
      {"*c*t*.", "act.x", false},
      {"*c*t*.", "abc", false},
      {"s*.", "\xc5\xbf", true},     // U+017F folds to "S"
      {"s*.", "\xc5\xbf.x", false},
      {"abc.", "abc", true},   // trailing dots are stripped
      {"abc..", "abc", true},
      {"abc.", "abcd", false},
      {"*.*.", "README", true},
      {"*.*.", "a.txt", true},  // "*.*" becomes "*" before the dot counts
      {"*.txt ", "a.txt", true},  // trailing blanks go like trailing dots
      {"* .", "a.txt", false},
      {"*. ", "a.txt", true},
      {".", ".", true},  // a mask of dots stays literal
      {"..", "..", true},
      {".", "a", false},
      {"", "a", false},  // an empty mask matches no entry
      {"A*", "abc", true},
      {"[a]", "[A]", true},
      {"\xe5*", "\xe5x", true},
      {"\xe5", "\xc5", false},  // bytes outside UTF-8 compare exactly
      // Characters, not bytes: "?" takes a whole character and every
      // letter's case is folded.
      {"?.txt", "\xc3\xa9.txt", true},             // é.txt
      {"?.txt", "\xe8\xa1\xa8.txt", true},         // 表.txt
      {"a???b", "a\xe8\xa1\xa8" "b", false},
      {"??cole.txt", "\xc3\xa9" "cole.txt", false},
      {"\xc3\x89*", "\xc3\xa9" "cole.txt", true},  // É* école.txt
      {"*\xc3\x89", "\xc3\xa9", true},
      {"\xd0\x96?", "\xd0\xb6\xc3\xa9", true},    // Ж? жé
      {"\xc3?", "\xc3\xa9", false},                // a lone byte is no é
      {"\xc3?", "\xc3" "a", true},
      {"?", "\xc3", true},
      {"??", "\xc3\xc3", true},
      {"?", "\xc3\xc3", false},
      // A character outside the BMP is two UTF-16 units, as on Windows.
      {"?", "\xf0\x9f\x98\x80", false},
      {"??", "\xf0\x9f\x98\x80", true},
      {"\xf0\x9f\x98\x80*", "\xf0\x9f\x98\x80.txt", true},
      {"*\xf0\x90\x90\x80", "\xf0\x90\x90\xa8", false},  // no fold
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string("mask '") + c.mask + "' name '" + c.name + "'");
    EXPECT_EQ(c.expected, MatchesWildcard(c.mask, c.name));
  }
}

TEST(WildcardTest, HasWildcards) {
  const struct {
    const char* mask;
    bool expected;
  } cases[] = {{"*", true}, {"a?c", true}, {"abc.txt", false}, {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask);
    EXPECT_EQ(c.expected, HasWildcards(c.mask));
  }
}

// A pathological mask against a long name: a backtracking matcher takes
// exponential time here; the answer must come at once.
TEST(WildcardTest, LongMasksStayCheap) {
  std::string mask;
  for (int i = 0; i < 127; ++i) mask += "*a";
  mask += "*c";
  EXPECT_FALSE(MatchesWildcard(mask, std::string(254, 'a') + "b"));
  EXPECT_TRUE(MatchesWildcard(mask, std::string(254, 'a') + "c"));
  // Longer than any stack buffer.
  EXPECT_TRUE(MatchesWildcard(std::string(600, '?'), "abc"));
  EXPECT_TRUE(MatchesWildcard(std::string(600, 'A'), std::string(600, 'a')));
  EXPECT_FALSE(MatchesWildcard(std::string(600, 'a'), std::string(599, 'a')));
}

// --- Reference matcher: the rules taken literally, by exhaustive search ---

// Wildcard tokens, above every folded unit.
enum : uint32_t { kRefStar = 0xFFFFFF01, kRefDosStar, kRefQm, kRefDot };

// The folded UTF-16 units of `text`: one per character, two (surrogates)
// for a character outside the BMP.
std::vector<uint32_t> RefUnits(const std::string& text) {
  std::vector<uint32_t> units;
  for (size_t pos = 0; pos < text.size();) {
    const TextChar c = ReadChar(text, pos, CurrentCharReading());
    uint32_t folded[2];
    units.insert(units.end(), folded, folded + FoldedUnits(c.code, folded));
    pos += c.length;
  }
  return units;
}

// A mask as tokens: trailing dots and blanks dropped, "*.*" as "*", and a
// "*" left last by a dropped dot read as if the dot still followed it.
std::vector<uint32_t> RefTranslate(std::string mask) {
  const std::string original = mask;
  while (!mask.empty() && (mask.back() == '.' || mask.back() == ' '))
    mask.pop_back();
  if (mask.empty()) mask = original;
  const bool ended_in_dot = mask.size() < original.size() &&
                            original.back() == '.';
  if (mask == "*.*") return {kRefStar};
  std::vector<uint32_t> t = RefUnits(mask);
  for (size_t i = 0; i < t.size(); ++i) {
    const uint32_t next = i + 1 < t.size() ? t[i + 1]
                          : ended_in_dot   ? '.'
                                           : 0;
    if (t[i] == '?') t[i] = kRefQm;
    if (t[i] == '*') t[i] = next == '.' ? kRefDosStar : kRefStar;
    if (t[i] == '.' && (next == '*' || next == '?')) t[i] = kRefDot;
  }
  return t;
}

bool RefMatch(const std::vector<uint32_t>& tokens, size_t t,
              const std::vector<uint32_t>& name, size_t n) {
  if (t == tokens.size()) return n == name.size();
  const bool at_end = n == name.size();
  const bool at_dot = !at_end && name[n] == '.';
  size_t last_dot = name.size();
  for (size_t k = 0; k < name.size(); ++k) {
    if (name[k] == '.') last_dot = k;
  }
  switch (tokens[t]) {
    case kRefStar:
      for (size_t k = n; k <= name.size(); ++k) {
        if (RefMatch(tokens, t + 1, name, k)) return true;
      }
      return false;
    case kRefDosStar:
      for (size_t k = n; k <= name.size(); ++k) {
        const bool eats_last_dot =
            last_dot < name.size() && last_dot >= n && last_dot < k;
        if (!eats_last_dot && RefMatch(tokens, t + 1, name, k)) return true;
      }
      return false;
    case kRefQm:
      return (!at_end && !at_dot && RefMatch(tokens, t + 1, name, n + 1)) ||
             ((at_end || at_dot) && RefMatch(tokens, t + 1, name, n));
    case kRefDot:
      return (at_dot && RefMatch(tokens, t + 1, name, n + 1)) ||
             (at_end && RefMatch(tokens, t + 1, name, n));
    default:
      return !at_end && name[n] == tokens[t] &&
             RefMatch(tokens, t + 1, name, n + 1);
  }
}

bool ReferenceMatches(const std::string& mask, const std::string& name) {
  return RefMatch(RefTranslate(mask), 0, RefUnits(name), 0);
}

// Every string of 1 to `max_length` symbols from `symbols`.
std::vector<std::string> AllStrings(const std::vector<std::string>& symbols,
                                    size_t max_length) {
  std::vector<std::string> all;
  std::vector<std::string> level{""};
  for (size_t length = 1; length <= max_length; ++length) {
    std::vector<std::string> longer;
    for (const std::string& s : level) {
      for (const std::string& symbol : symbols) longer.push_back(s + symbol);
    }
    all.insert(all.end(), longer.begin(), longer.end());
    level.swap(longer);
  }
  return all;
}

int CountDisagreements(const std::vector<std::string>& masks,
                       const std::vector<std::string>& names) {
  int disagreements = 0;
  for (const std::string& mask : masks) {
    for (const std::string& name : names) {
      if (MatchesWildcard(mask, name) == ReferenceMatches(mask, name)) continue;
      if (++disagreements <= 10) {
        ADD_FAILURE() << "mask '" << mask << "' name '" << name
                      << "' reference " << ReferenceMatches(mask, name);
      }
    }
  }
  return disagreements;
}

TEST(WildcardTest, AgreesWithReferenceOnAllShortMasksAndNames) {
  EXPECT_EQ(0, CountDisagreements(AllStrings({"a", "B", ".", "*", "?"}, 5),
                                  AllStrings({"a", "A", "b", "."}, 4)));
  // é, É, a lone byte, a character outside the BMP, a blank.
  const std::string e_acute = "\xc3\xa9", e_acute_upper = "\xc3\x89";
  const std::string lone = "\xc3", astral = "\xf0\x9f\x98\x80";
  EXPECT_EQ(0, CountDisagreements(
                   AllStrings({e_acute, ".", "*", "?", " "}, 4),
                   AllStrings({e_acute_upper, lone, astral, "."}, 4)));
}

// With code page 932 text a lead byte and its trail byte are one
// character, and a trail byte is never taken for an ASCII letter.
TEST(WildcardTest, DoubleByteCharacters) {
  SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  const MatchCase cases[] = {
      {"?.txt", "\x95\x5c.txt", true},      // 表.txt
      {"?", "\x83\x41", true},              // ア
      {"\x83\x41", "\x83\x61", false},      // ア is not ヂ
      {"\x83?", "\x83\x41", false},
      {"A\x83\x41*", "a\x83\x41.txt", true},
      {"?", "\xb1", true},                   // half-width ｱ
      {"\xc3\x89", "\xc3\xa9", false},      // no UTF-8 here
      {"\x83\x41*.", "\x83\x61x", false},
      {"\x83\x41*.", "\x83\x41x", true},
      {"\x83\x41*.", "\x83\x41.x", false},
      {".*.", ".\x83\x41", true},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(std::string("mask '") + c.mask + "' name '" + c.name + "'");
    EXPECT_EQ(c.expected, MatchesWildcard(c.mask, c.name));
    EXPECT_EQ(c.expected, ReferenceMatches(c.mask, c.name));
  }
  SetDoubleByteInfo(false, "");
}

}  // namespace
