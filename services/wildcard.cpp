// Wildcard matching as Windows FindFirstFile does it. Win32 rewrites the mask
// before the file system sees it: "*.*" becomes "*", every "?" becomes a
// "DOS question mark", a "." before "*" or "?" a "DOS dot" and a "*" before
// "." a "DOS star"; trailing dots are stripped, and when a "*" is left at the
// end only names without a dot match (so "*." selects names without an
// extension). The name is then matched against that mask by an NFA
// simulation: one pass over the name with a set of live mask positions, so
// the cost is at most name length x mask length, with no recursion and no
// backtracking.
#include "services/wildcard.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// What a mask character does after the Win32 rewriting.
enum MaskRole : unsigned char {
  kLiteral,  // one character, equal ignoring ASCII case
  kStar,     // any run of characters, also none
  kDosStar,  // any run that does not consume the name's last "."
  kDosQm,    // one character other than ".", or nothing at a "." or the end
  kDosDot,   // a ".", or nothing at the end of the name
};

// Masks up to this length are matched with buffers on the stack; the tool's
// masks are far shorter, longer ones still work through the heap.
constexpr size_t kStackMaskLength = 512;

// The part of the mask that takes part in matching.
struct EffectiveMask {
  const char* text;
  size_t length;
  bool dotless_names_only;  // trailing dots were stripped after a "*"
};

EffectiveMask EffectiveMaskOf(const std::string& mask) {
  size_t length = mask.size();
  while (length > 0 && mask[length - 1] == '.') --length;
  // A mask of dots alone has nothing left to strip to; it stays literal, so
  // "." and ".." select just those entries.
  if (length == 0) return {mask.data(), mask.size(), false};
  const bool had_trailing_dot = length < mask.size();
  // Win32 turns "*.*" into "*". The rewritten "*.*" would select the same
  // names, but the plain star is the cheaper mask for the common case.
  if (length == 3 && std::memcmp(mask.data(), "*.*", 3) == 0) length = 1;
  return {mask.data(), length, had_trailing_dot && mask[length - 1] == '*'};
}

MaskRole RoleAt(const EffectiveMask& mask, size_t j) {
  const char c = mask.text[j];
  const char next = j + 1 < mask.length ? mask.text[j + 1] : '\0';
  if (c == '?') return kDosQm;
  if (c == '*') return next == '.' ? kDosStar : kStar;
  if (c == '.' && (next == '*' || next == '?')) return kDosDot;
  return kLiteral;
}

unsigned char FoldAscii(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 0x20) : c;
}

// Whether a live position may stay put while the name character `c` is
// consumed (the stars' loop).
bool StaysOn(MaskRole role, bool c_is_last_dot) {
  return role == kStar || (role == kDosStar && !c_is_last_dot);
}

// Whether a live position moves one step on by consuming `c`.
bool AdvancesOn(MaskRole role, unsigned char mask_c, unsigned char c) {
  switch (role) {
    case kLiteral: return FoldAscii(mask_c) == FoldAscii(c);
    case kDosQm: return c != '.';
    case kDosDot: return c == '.';
    default: return false;
  }
}

// Whether a live position may move on without consuming anything.
bool SkipsAt(MaskRole role, bool at_end, bool at_dot) {
  switch (role) {
    case kStar:
    case kDosStar: return true;
    case kDosQm: return at_end || at_dot;
    case kDosDot: return at_end;
    default: return false;
  }
}

// Adds the positions reachable without consuming, before name index `i`.
// Every such move goes one position forward, so one forward pass suffices.
void CloseOver(const EffectiveMask& mask, const unsigned char* roles,
               unsigned char* live, const std::string& name, size_t i) {
  const bool at_end = i == name.size();
  const bool at_dot = !at_end && name[i] == '.';
  for (size_t j = 0; j < mask.length; ++j) {
    if (live[j] && SkipsAt(static_cast<MaskRole>(roles[j]), at_end, at_dot)) {
      live[j + 1] = 1;
    }
  }
}

// Consumes name index `i`. Positions are rewritten from the highest down so
// that each reads its predecessor's old value in place. False when no
// position is left alive.
bool Consume(const EffectiveMask& mask, const unsigned char* roles,
             unsigned char* live, const std::string& name, size_t i,
             size_t last_dot) {
  const unsigned char c = static_cast<unsigned char>(name[i]);
  bool any = false;
  for (size_t j = mask.length + 1; j-- > 0;) {
    bool next = j < mask.length && live[j] &&
                StaysOn(static_cast<MaskRole>(roles[j]), i == last_dot);
    if (!next && j > 0 && live[j - 1]) {
      next = AdvancesOn(static_cast<MaskRole>(roles[j - 1]),
                        static_cast<unsigned char>(mask.text[j - 1]), c);
    }
    live[j] = next;
    any = any || next;
  }
  return any;
}

// `roles` holds mask.length bytes and `live` mask.length + 1.
bool Run(const EffectiveMask& mask, const std::string& name,
         unsigned char* roles, unsigned char* live) {
  for (size_t j = 0; j < mask.length; ++j) roles[j] = RoleAt(mask, j);
  std::memset(live, 0, mask.length + 1);
  live[0] = 1;
  const size_t last_dot = name.rfind('.');
  if (mask.dotless_names_only && last_dot != std::string::npos) return false;
  CloseOver(mask, roles, live, name, 0);
  for (size_t i = 0; i < name.size(); ++i) {
    if (!Consume(mask, roles, live, name, i, last_dot)) return false;
    CloseOver(mask, roles, live, name, i + 1);
  }
  return live[mask.length] != 0;
}

}  // namespace

bool HasWildcards(const std::string& mask) {
  return mask.find_first_of("*?") != std::string::npos;
}

// An empty mask reaches its end at once, so it matches only the empty name,
// which no directory entry has.
bool MatchesWildcard(const std::string& mask, const std::string& name) {
  const EffectiveMask effective = EffectiveMaskOf(mask);
  // "*" (and so "*.*", with which every directory is walked) takes all.
  if (effective.length == 1 && effective.text[0] == '*' &&
      !effective.dotless_names_only) {
    return true;
  }
  if (effective.length <= kStackMaskLength) {
    unsigned char roles[kStackMaskLength];
    unsigned char live[kStackMaskLength + 1];
    return Run(effective, name, roles, live);
  }
  std::vector<unsigned char> roles(effective.length);
  std::vector<unsigned char> live(effective.length + 1);
  return Run(effective, name, roles.data(), live.data());
}
