#include "services/wildcard.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

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
      {"abc.", "abc", true},   // trailing dots are stripped
      {"abc..", "abc", true},
      {"abc.", "abcd", false},
      {"*.*.", "README", true},
      {"*.*.", "a.txt", false},
      {".", ".", true},  // a mask of dots stays literal
      {"..", "..", true},
      {".", "a", false},
      {"", "a", false},  // an empty mask matches no entry
      {"A*", "abc", true},
      {"[a]", "[A]", true},
      {"\xe5*", "\xe5x", true},
      {"\xe5", "\xc5", false},  // bytes above 0x7F compare exactly
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

enum : char { kRefStar = 1, kRefDosStar, kRefQm, kRefDot };

struct RefMask {
  std::string tokens;
  bool needs_no_dot;  // "<...>*." form: the name must not hold a dot
};

RefMask RefTranslate(std::string mask) {
  const std::string original = mask;
  while (!mask.empty() && mask.back() == '.') mask.pop_back();
  if (mask.empty()) mask = original;
  const bool ended_in_dot = mask.size() < original.size();
  if (mask == "*.*") mask = "*";
  RefMask ref{"", ended_in_dot && mask.back() == '*'};
  for (size_t i = 0; i < mask.size(); ++i) {
    const char next = i + 1 < mask.size() ? mask[i + 1] : '\0';
    char token = static_cast<char>(std::tolower(mask[i]));
    if (mask[i] == '?') token = kRefQm;
    if (mask[i] == '*') token = next == '.' ? kRefDosStar : kRefStar;
    if (mask[i] == '.' && (next == '*' || next == '?')) token = kRefDot;
    ref.tokens += token;
  }
  return ref;
}

bool RefMatch(const std::string& tokens, size_t t, const std::string& name,
              size_t n) {
  if (t == tokens.size()) return n == name.size();
  const bool at_end = n == name.size();
  const size_t last_dot = name.rfind('.');
  switch (tokens[t]) {
    case kRefStar:
      for (size_t k = n; k <= name.size(); ++k) {
        if (RefMatch(tokens, t + 1, name, k)) return true;
      }
      return false;
    case kRefDosStar:
      for (size_t k = n; k <= name.size(); ++k) {
        const bool eats_last_dot =
            last_dot != std::string::npos && last_dot >= n && last_dot < k;
        if (!eats_last_dot && RefMatch(tokens, t + 1, name, k)) return true;
      }
      return false;
    case kRefQm:
      return (!at_end && name[n] != '.' && RefMatch(tokens, t + 1, name, n + 1)) ||
             ((at_end || name[n] == '.') && RefMatch(tokens, t + 1, name, n));
    case kRefDot:
      return (!at_end && name[n] == '.' && RefMatch(tokens, t + 1, name, n + 1)) ||
             (at_end && RefMatch(tokens, t + 1, name, n));
    default:
      return !at_end && std::tolower(name[n]) == tokens[t] &&
             RefMatch(tokens, t + 1, name, n + 1);
  }
}

bool ReferenceMatches(const std::string& mask, const std::string& name) {
  const RefMask ref = RefTranslate(mask);
  if (ref.needs_no_dot && name.find('.') != std::string::npos) return false;
  return RefMatch(ref.tokens, 0, name, 0);
}

// Every string over `alphabet` with a length from 1 to `max_length`.
std::vector<std::string> AllStrings(const std::string& alphabet,
                                    size_t max_length) {
  std::vector<std::string> all;
  std::vector<std::string> level{""};
  for (size_t length = 1; length <= max_length; ++length) {
    std::vector<std::string> longer;
    for (const std::string& s : level) {
      for (char c : alphabet) longer.push_back(s + c);
    }
    all.insert(all.end(), longer.begin(), longer.end());
    level.swap(longer);
  }
  return all;
}

TEST(WildcardTest, AgreesWithReferenceOnAllShortMasksAndNames) {
  const std::vector<std::string> masks = AllStrings("aB.*?", 5);
  const std::vector<std::string> names = AllStrings("aAb.", 4);
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
  EXPECT_EQ(0, disagreements);
}

}  // namespace
