// Fuzz target: the wildcard matcher.
//
// Input: the mask, a NUL byte, the name (without a NUL the name is empty).
//
// Properties: on masks and names of up to 64 bytes the answer equals a
// slow recursive matcher of the same rules (the Win32 mask rewriting, then
// "*", the DOS star, the DOS question mark, the DOS dot and literals that
// compare as folded UTF-16 units: characters read as UTF-8 where valid and
// byte by byte elsewhere, upper-cased, two surrogates for a character
// outside the BMP); on any input, changing the ASCII case of mask or name
// changes nothing; HasWildcards tells whether "*" or "?" is in the mask.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "services/case_fold.h"
#include "services/text.h"
#include "services/wildcard.h"

namespace {

constexpr size_t kReferenceLimit = 64;

enum class Role { kLiteral, kStar, kDosStar, kDosQm, kDosDot };

struct Token {
  Role role;
  uint32_t unit;
};

// The folded UTF-16 units of `text`.
std::vector<uint32_t> Units(const std::string& text) {
  std::vector<uint32_t> units;
  for (size_t pos = 0; pos < text.size();) {
    const TextChar c = ReadChar(text, pos, CharReading::kUtf8);
    uint32_t folded[2];
    units.insert(units.end(), folded, folded + FoldedUnits(c.code, folded));
    pos += c.length;
  }
  return units;
}

// Trailing dots and blanks go (unless the mask is nothing else); "*.*"
// becomes "*"; a "*" left at the end by a trailing dot is a DOS star, as if
// the dot still followed it.
std::vector<Token> Rewrite(const std::string& mask) {
  std::string m = mask;
  while (!m.empty() && (m.back() == '.' || m.back() == ' ')) m.pop_back();
  bool ended_in_dot = false;
  if (m.empty()) {
    m = mask;
  } else if (m.size() < mask.size()) {
    ended_in_dot = mask.back() == '.';
  }
  if (m == "*.*") return {{Role::kStar, '*'}};
  const std::vector<uint32_t> units = Units(m);
  std::vector<Token> tokens;
  for (size_t i = 0; i < units.size(); ++i) {
    const uint32_t next = i + 1 < units.size() ? units[i + 1]
                          : ended_in_dot       ? '.'
                                               : 0;
    Role role = Role::kLiteral;
    if (units[i] == '?') role = Role::kDosQm;
    if (units[i] == '*') role = next == '.' ? Role::kDosStar : Role::kStar;
    if (units[i] == '.' && (next == '*' || next == '?')) role = Role::kDosDot;
    tokens.push_back({role, units[i]});
  }
  return tokens;
}

class ReferenceMatcher {
 public:
  ReferenceMatcher(const std::vector<Token>& tokens,
                   const std::vector<uint32_t>& name)
      : tokens_(tokens),
        name_(name),
        last_dot_(LastDot(name)),
        memo_((tokens.size() + 1) * (name.size() + 1), -1) {}

  bool Matches(size_t t, size_t n) {
    signed char& known = memo_[t * (name_.size() + 1) + n];
    if (known < 0) known = Compute(t, n) ? 1 : 0;
    return known == 1;
  }

 private:
  static size_t LastDot(const std::vector<uint32_t>& name) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '.') last = i;
    }
    return last;
  }

  bool Compute(size_t t, size_t n) {
    if (t == tokens_.size()) return n == name_.size();
    const bool at_end = n == name_.size();
    const bool at_dot = !at_end && name_[n] == '.';
    switch (tokens_[t].role) {
      case Role::kStar:
        for (size_t k = n; k <= name_.size(); ++k)
          if (Matches(t + 1, k)) return true;
        return false;
      case Role::kDosStar:
        // Any run that leaves the name's last dot unconsumed.
        for (size_t k = n; k <= name_.size(); ++k) {
          if (last_dot_ != std::string::npos && last_dot_ >= n &&
              last_dot_ < k)
            break;
          if (Matches(t + 1, k)) return true;
        }
        return false;
      case Role::kDosQm:
        if (!at_end && !at_dot && Matches(t + 1, n + 1)) return true;
        return (at_end || at_dot) && Matches(t + 1, n);
      case Role::kDosDot:
        if (at_dot && Matches(t + 1, n + 1)) return true;
        return at_end && Matches(t + 1, n);
      case Role::kLiteral:
      default:
        return !at_end && name_[n] == tokens_[t].unit &&
               Matches(t + 1, n + 1);
    }
  }

  const std::vector<Token>& tokens_;
  const std::vector<uint32_t>& name_;
  const size_t last_dot_;
  std::vector<signed char> memo_;
};

bool ReferenceMatches(const std::string& mask, const std::string& name) {
  const std::vector<Token> tokens = Rewrite(mask);
  const std::vector<uint32_t> units = Units(name);
  ReferenceMatcher matcher(tokens, units);
  return matcher.Matches(0, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = InputText(data, size);
  const size_t nul = input.find('\0');
  const std::string mask = input.substr(0, nul);
  const std::string name =
      nul == std::string::npos ? std::string() : input.substr(nul + 1);
  const std::string context = "mask " + Escaped(mask) + " name " + Escaped(name);
  const bool matches = MatchesWildcard(mask, name);
  FUZZ_CHECK(HasWildcards(mask) ==
                 (mask.find_first_of("*?") != std::string::npos),
             context);
  FUZZ_CHECK(MatchesWildcard(AsciiUpperCase(mask), AsciiLowerCase(name)) ==
                 matches,
             context);
  FUZZ_CHECK(MatchesWildcard(AsciiLowerCase(mask), AsciiUpperCase(name)) ==
                 matches,
             context);
  if (mask.size() <= kReferenceLimit && name.size() <= kReferenceLimit) {
    const bool expected = ReferenceMatches(mask, name);
    FUZZ_CHECK(matches == expected,
               context + (matches ? " matched" : " did not match"));
  }
  return 0;
}
