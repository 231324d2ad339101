// Fuzz target: the wildcard matcher.
//
// Input: the mask, a NUL byte, the name (without a NUL the name is empty).
//
// Properties: on masks and names of up to 64 bytes the answer equals a
// slow recursive matcher of the same rules (the Win32 mask rewriting, then
// "*", the DOS star, the DOS question mark, the DOS dot and literals that
// compare ignoring ASCII case); on any input, changing the ASCII case of
// mask or name changes nothing; HasWildcards tells whether "*" or "?" is in
// the mask.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "services/text.h"
#include "services/wildcard.h"

namespace {

constexpr size_t kReferenceLimit = 64;

enum class Role { kLiteral, kStar, kDosStar, kDosQm, kDosDot };

struct Token {
  Role role;
  char c;
};

struct Rewritten {
  std::vector<Token> tokens;
  bool dotless_names_only;
};

// Trailing dots go (unless the mask is dots alone); "*.*" becomes "*";
// a "*" left at the end after stripping admits only names without a dot.
Rewritten Rewrite(const std::string& mask) {
  std::string m = mask;
  while (!m.empty() && m.back() == '.') m.pop_back();
  bool dotless = false;
  if (m.empty()) {
    m = mask;
  } else if (m.size() < mask.size()) {
    dotless = m.back() == '*';
  }
  if (m == "*.*") m = "*";
  Rewritten out{{}, dotless};
  for (size_t i = 0; i < m.size(); ++i) {
    const char next = i + 1 < m.size() ? m[i + 1] : '\0';
    Role role = Role::kLiteral;
    if (m[i] == '?') role = Role::kDosQm;
    if (m[i] == '*') role = next == '.' ? Role::kDosStar : Role::kStar;
    if (m[i] == '.' && (next == '*' || next == '?')) role = Role::kDosDot;
    out.tokens.push_back({role, m[i]});
  }
  return out;
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

class ReferenceMatcher {
 public:
  ReferenceMatcher(const std::vector<Token>& tokens, const std::string& name)
      : tokens_(tokens),
        name_(name),
        last_dot_(name.rfind('.')),
        memo_((tokens.size() + 1) * (name.size() + 1), -1) {}

  bool Matches(size_t t, size_t n) {
    signed char& known = memo_[t * (name_.size() + 1) + n];
    if (known < 0) known = Compute(t, n) ? 1 : 0;
    return known == 1;
  }

 private:
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
        return !at_end && Fold(name_[n]) == Fold(tokens_[t].c) &&
               Matches(t + 1, n + 1);
    }
  }

  const std::vector<Token>& tokens_;
  const std::string& name_;
  const size_t last_dot_;
  std::vector<signed char> memo_;
};

bool ReferenceMatches(const std::string& mask, const std::string& name) {
  const Rewritten rewritten = Rewrite(mask);
  if (rewritten.dotless_names_only && name.find('.') != std::string::npos)
    return false;
  ReferenceMatcher matcher(rewritten.tokens, name);
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
