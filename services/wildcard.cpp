// Wildcard matching as Windows FindFirstFile does it. Win32 rewrites the mask
// before the file system sees it: trailing dots and blanks are dropped (the
// path rules drop them from every last component), "*.*" becomes "*",
// every "?" becomes a "DOS question mark", a "." before "*" or "?" a "DOS
// dot" and a "*" before "." a "DOS star"; when the mask ended in a dot and
// a "*" is left at the end, only names without a dot match (so "*."
// selects names without an extension). The file system compares the UTF-16
// names, folding both sides to upper case; here both sides are read as
// characters (CurrentCharReading) and folded with UpperCaseOf, a character
// outside the BMP making two units as its surrogates would.
//
// The name is matched by an NFA simulation: one pass over the name with a
// set of live mask positions, so the cost is at most name length x mask
// length, with no recursion and no backtracking.
#include "services/wildcard.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "services/case_fold.h"

namespace {

// What a mask unit does after the Win32 rewriting.
enum MaskRole : unsigned char {
  kLiteral,  // one unit, equal after folding
  kStar,     // any run of units, also none
  kDosStar,  // any run that does not consume the name's last "."
  kDosQm,    // one unit other than ".", or nothing at a "." or the end
  kDosDot,   // a ".", or nothing at the end of the name
};

// Masks up to this many bytes are matched with buffers on the stack; the
// tool's masks are far shorter, longer ones still work through the heap. A
// mask has at most as many units as bytes.
constexpr size_t kStackMaskLength = 512;

// The part of the mask that takes part in matching.
struct EffectiveMask {
  std::string_view text;
  bool dotless_names_only;  // a "*" was left last by a trailing dot
};

EffectiveMask EffectiveMaskOf(std::string_view mask) {
  const std::string_view text = TrimmedMask(mask);
  // Win32 turns "*.*" into "*" before it looks at a trailing dot, so
  // "*.*." takes every name too.
  if (text == "*.*") return {text.substr(0, 1), false};
  const bool ended_in_dot = text.size() < mask.size() && mask.back() == '.';
  return {text, ended_in_dot && text.back() == '*'};
}

// The folded units Windows compares for the character `code`: its upper
// case, or the two surrogates of a character outside the BMP.
int FoldedUnits(uint32_t code, uint32_t* units) {
  if (code >= 0x10000 && code <= 0x10FFFF) {
    units[0] = 0xD800 + ((code - 0x10000) >> 10);
    units[1] = 0xDC00 + ((code - 0x10000) & 0x3FF);
    return 2;
  }
  units[0] = UpperCaseOf(code);
  return 1;
}

MaskRole RoleOf(uint32_t unit, uint32_t next) {
  if (unit == '?') return kDosQm;
  if (unit == '*') return next == '.' ? kDosStar : kStar;
  if (unit == '.' && (next == '*' || next == '?')) return kDosDot;
  return kLiteral;
}

// The mask ready for one run: its units and their roles, and the live
// positions (one more than units).
struct Matcher {
  uint32_t* units;
  unsigned char* roles;
  unsigned char* live;
  size_t length;
  CharReading reading;
};

// The folded unit of an ASCII byte.
uint32_t AsciiUnit(uint32_t byte) {
  return byte - 'a' < 26 ? byte - 0x20 : byte;
}

void Compile(std::string_view text, Matcher* m) {
  uint32_t* units = m->units;
  const bool utf8 = m->reading == CharReading::kUtf8;
  size_t n = 0;
  for (size_t pos = 0; pos < text.size();) {
    const uint32_t byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80 && utf8) {
      units[n++] = AsciiUnit(byte);
      ++pos;
      continue;
    }
    const TextChar c = ReadChar(text, pos, m->reading);
    n += FoldedUnits(c.code, units + n);
    pos += c.length;
  }
  unsigned char* roles = m->roles;
  for (size_t j = 0; j < n; ++j) {
    roles[j] = RoleOf(units[j], j + 1 < n ? units[j + 1] : 0);
  }
  m->length = n;
}

// Whether a live position may stay put while a name unit is consumed (the
// stars' loop).
bool StaysOn(MaskRole role, bool unit_is_last_dot) {
  return role == kStar || (role == kDosStar && !unit_is_last_dot);
}

// Whether a live position moves one step on by consuming `unit`.
bool AdvancesOn(MaskRole role, uint32_t mask_unit, uint32_t unit) {
  switch (role) {
    case kLiteral: return mask_unit == unit;
    case kDosQm: return unit != '.';
    case kDosDot: return unit == '.';
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

// Adds the positions reachable without consuming. Every such move goes one
// position forward, so one forward pass suffices.
// (Fields are read into locals: stores through `live` could alias them.)
void CloseOver(const Matcher& m, bool at_end, bool at_dot) {
  const unsigned char* roles = m.roles;
  unsigned char* live = m.live;
  const size_t length = m.length;
  for (size_t j = 0; j < length; ++j) {
    if (live[j] && SkipsAt(static_cast<MaskRole>(roles[j]), at_end, at_dot))
      live[j + 1] = 1;
  }
}

// Consumes one name unit. Positions are rewritten from the highest down so
// that each reads its predecessor's old value in place. False when no
// position is left alive.
bool Consume(const Matcher& m, uint32_t unit, bool is_last_dot) {
  const uint32_t* units = m.units;
  const unsigned char* roles = m.roles;
  unsigned char* live = m.live;
  const size_t length = m.length;
  bool any = false;
  for (size_t j = length + 1; j-- > 0;) {
    bool next = j < length && live[j] &&
                StaysOn(static_cast<MaskRole>(roles[j]), is_last_dot);
    if (!next && j > 0 && live[j - 1]) {
      next = AdvancesOn(static_cast<MaskRole>(roles[j - 1]), units[j - 1],
                        unit);
    }
    live[j] = next;
    any = any || next;
  }
  return any;
}

// Consumes the character at `pos` of the name; its length in bytes, or 0
// when no position is left alive.
size_t Step(const Matcher& m, std::string_view name, size_t pos,
            size_t last_dot) {
  const uint32_t byte = static_cast<unsigned char>(name[pos]);
  // ASCII, the common case, needs neither decoding nor the table.
  if (byte < 0x80 && m.reading == CharReading::kUtf8) {
    return Consume(m, AsciiUnit(byte), pos == last_dot) ? 1 : 0;
  }
  const TextChar c = ReadChar(name, pos, m.reading);
  uint32_t units[2];
  const int count = FoldedUnits(c.code, units);
  if (!Consume(m, units[0], pos == last_dot)) return 0;
  if (count == 2) {
    CloseOver(m, false, false);
    if (!Consume(m, units[1], false)) return 0;
  }
  return c.length;
}

bool Run(const Matcher& m, bool dotless_names_only, std::string_view name) {
  std::memset(m.live, 0, m.length + 1);
  m.live[0] = 1;
  const size_t last_dot = name.rfind('.');
  if (dotless_names_only && last_dot != std::string_view::npos) return false;
  CloseOver(m, name.empty(), !name.empty() && name[0] == '.');
  for (size_t pos = 0; pos < name.size();) {
    const size_t length = Step(m, name, pos, last_dot);
    if (length == 0) return false;
    pos += length;
    CloseOver(m, pos == name.size(), pos < name.size() && name[pos] == '.');
  }
  return m.live[m.length] != 0;
}

}  // namespace

bool HasWildcards(std::string_view mask) {
  return mask.find_first_of("*?") != std::string_view::npos;
}

std::string_view TrimmedMask(std::string_view mask) {
  size_t length = mask.size();
  while (length > 0 && (mask[length - 1] == '.' || mask[length - 1] == ' '))
    --length;
  // A mask of dots alone has nothing left to trim to; it stays literal, so
  // "." and ".." select just those entries.
  return length == 0 ? mask : mask.substr(0, length);
}

// An empty mask reaches its end at once, so it matches only the empty name,
// which no directory entry has.
bool MatchesWildcard(std::string_view mask, std::string_view name) {
  const EffectiveMask effective = EffectiveMaskOf(mask);
  // "*" (and so "*.*", with which every directory is walked) takes all.
  if (effective.text == "*" && !effective.dotless_names_only) return true;
  const size_t size = effective.text.size();
  const CharReading reading = CurrentCharReading();
  if (size <= kStackMaskLength) {
    uint32_t units[kStackMaskLength];
    unsigned char roles[kStackMaskLength];
    unsigned char live[kStackMaskLength + 1];
    Matcher m{units, roles, live, 0, reading};
    Compile(effective.text, &m);
    return Run(m, effective.dotless_names_only, name);
  }
  std::vector<uint32_t> units(size);
  std::vector<unsigned char> roles(size), live(size + 1);
  Matcher m{units.data(), roles.data(), live.data(), 0, reading};
  Compile(effective.text, &m);
  return Run(m, effective.dotless_names_only, name);
}
