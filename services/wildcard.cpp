// Wildcard matching as Windows FindFirstFile does it. Win32 rewrites the mask
// before the file system sees it: trailing dots and blanks are dropped (the
// path rules drop them from every last component), "*.*" becomes "*",
// every "?" becomes a "DOS question mark", a "." before "*" or "?" a "DOS
// dot" and a "*" before "." a "DOS star"; when the mask ended in a dot and
// a "*" is left at the end, that last "*" becomes a DOS star too, as if the
// dropped dot still followed it (so "*." selects names without a dot, and
// ".*." names whose only dot leads). The file system compares the UTF-16
// names, folding both sides to upper case; here both sides are read as
// characters (CurrentCharReading) and folded with UpperCaseOf, a character
// outside the BMP making two units as its surrogates would.
//
// The name is matched by an NFA simulation: one pass over the name with the
// set of live mask positions held as bits, so the cost is at most name
// length x mask length simple steps, with no recursion and no backtracking.
#include "services/wildcard.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
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

// The part of the mask that takes part in matching.
struct EffectiveMask {
  std::string_view text;
  bool last_star_dos;  // a "*" was left last by a trailing dot
};

EffectiveMask EffectiveMaskOf(std::string_view mask) {
  const std::string_view text = TrimmedMask(mask);
  // Win32 turns "*.*" into "*" before it looks at a trailing dot, so
  // "*.*." takes every name too.
  if (text == "*.*") return {text.substr(0, 1), false};
  const bool ended_in_dot = text.size() < mask.size() && mask.back() == '.';
  return {text, ended_in_dot && text.back() == '*'};
}

MaskRole RoleOf(uint32_t unit, uint32_t next) {
  if (unit == '?') return kDosQm;
  if (unit == '*') return next == '.' ? kDosStar : kStar;
  if (unit == '.' && (next == '*' || next == '?')) return kDosDot;
  return kLiteral;
}

// Sets of mask positions are bit sets: position j is bit j % 64 of word
// j / 64. Position `length` (one past the last unit) is the accepting one.
using Word = uint64_t;
constexpr size_t kWordBits = 64;

// The mask ready for one run: its units, for each role the set of positions
// that have it, and the live positions. Every set is `words` words long.
struct Matcher {
  const uint32_t* units;
  size_t length;
  size_t words;
  const Word* literal;
  const Word* star;
  const Word* dos_star;
  const Word* dos_qm;
  const Word* dos_dot;
  Word* live;
  CharReading reading;
};

// Words for the sets of a mask of `units` units.
constexpr size_t WordsFor(size_t units) { return units / kWordBits + 1; }

// The folded unit of an ASCII byte.
uint32_t AsciiUnit(uint32_t byte) {
  return byte - 'a' < 26 ? byte - 0x20 : byte;
}

// Reads `text` into folded units; their count.
size_t ReadUnits(std::string_view text, CharReading reading, uint32_t* units) {
  const bool utf8 = reading == CharReading::kUtf8;
  size_t n = 0;
  for (size_t pos = 0; pos < text.size();) {
    const uint32_t byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80 && utf8) {
      units[n++] = AsciiUnit(byte);
      ++pos;
      continue;
    }
    const TextChar c = ReadChar(text, pos, reading);
    n += FoldedUnits(c.code, units + n);
    pos += c.length;
  }
  return n;
}

// Fills the role sets from the units. `sets` holds five sets in the order
// of MaskRole, each `words` words long. With `last_star_dos` the last unit
// is read as if the mask's dropped trailing dot still followed it.
void SortByRole(const uint32_t* units, size_t n, bool last_star_dos,
                size_t words, Word* sets) {
  for (size_t i = 0; i < 5 * words; ++i) sets[i] = 0;
  const uint32_t after_last = last_star_dos ? '.' : 0;
  for (size_t j = 0; j < n; ++j) {
    // Only "*", "." and "?" can be anything but literals.
    const MaskRole role =
        units[j] > '?' ? kLiteral
                       : RoleOf(units[j], j + 1 < n ? units[j + 1] : after_last);
    sets[role * words + j / kWordBits] |= Word{1} << (j % kWordBits);
  }
}

// The literal positions of word `w` whose unit is `unit`.
Word LiteralsEqualTo(const Matcher& m, size_t w, uint32_t unit) {
  const size_t first = w * kWordBits;
  const size_t end = first + kWordBits < m.length ? first + kWordBits : m.length;
  Word equal = 0;
  for (size_t j = first; j < end; ++j) {
    equal |= Word{m.units[j] == unit} << (j - first);
  }
  return equal & m.literal[w];
}

// Consumes one name unit: a star stays (a DOS star not on the name's last
// dot), a position whose unit accepts it moves one on. False when no
// position is left alive.
template <bool kOneWord>
bool Consume(const Matcher& m, uint32_t unit, bool is_last_dot) {
  const bool dot = unit == '.';
  const size_t words = kOneWord ? 1 : m.words;
  Word carry = 0, any = 0;
  for (size_t w = 0; w < words; ++w) {
    const Word live = m.live[w];
    const Word stays = m.star[w] | (is_last_dot ? 0 : m.dos_star[w]);
    const Word moves = LiteralsEqualTo(m, w, unit) |
                       (dot ? m.dos_dot[w] : m.dos_qm[w]);
    const Word moving = live & moves;
    m.live[w] = (live & stays) | (moving << 1) | carry;
    carry = moving >> (kWordBits - 1);
    any |= m.live[w];
  }
  return any != 0;
}

// Adds the positions reachable without consuming: from a live position
// through a run of positions that may be passed over, up to the position
// after the run. Adding the live positions of each run to the run carries
// through it; the bits that change are that reach.
template <bool kOneWord>
void CloseOver(const Matcher& m, bool at_end, bool at_dot) {
  const size_t words = kOneWord ? 1 : m.words;
  Word carry = 0;
  for (size_t w = 0; w < words; ++w) {
    const Word skips = m.star[w] | m.dos_star[w] |
                       (at_end || at_dot ? m.dos_qm[w] : 0) |
                       (at_end ? m.dos_dot[w] : 0);
    const Word partial = skips + (m.live[w] & skips);
    const Word sum = partial + carry;
    carry = (partial < skips) | (sum < partial);
    m.live[w] |= sum ^ skips;
  }
}

// Consumes the character at `pos` of the name; its length in bytes, or 0
// when no position is left alive.
template <bool kOneWord>
size_t Step(const Matcher& m, std::string_view name, size_t pos,
            size_t last_dot) {
  const uint32_t byte = static_cast<unsigned char>(name[pos]);
  // ASCII, the common case, needs neither decoding nor the table.
  if (byte < 0x80 && m.reading == CharReading::kUtf8) {
    return Consume<kOneWord>(m, AsciiUnit(byte), pos == last_dot) ? 1 : 0;
  }
  const TextChar c = ReadChar(name, pos, m.reading);
  uint32_t units[2];
  const int count = FoldedUnits(c.code, units);
  if (!Consume<kOneWord>(m, units[0], pos == last_dot)) return 0;
  if (count == 2) {
    CloseOver<kOneWord>(m, false, false);
    if (!Consume<kOneWord>(m, units[1], false)) return 0;
  }
  return c.length;
}

// Masks of up to 63 units, every mask the tool sees in practice, take the
// one-word form, where the sets stay in registers.
template <bool kOneWord>
bool RunOn(const Matcher& m, std::string_view name) {
  const size_t last_dot = name.rfind('.');
  for (size_t w = 0; w < m.words; ++w) m.live[w] = 0;
  m.live[0] = 1;
  CloseOver<kOneWord>(m, name.empty(), !name.empty() && name[0] == '.');
  for (size_t pos = 0; pos < name.size();) {
    const size_t length = Step<kOneWord>(m, name, pos, last_dot);
    if (length == 0) return false;
    pos += length;
    CloseOver<kOneWord>(m, pos == name.size(),
                        pos < name.size() && name[pos] == '.');
  }
  return (m.live[m.length / kWordBits] >> (m.length % kWordBits)) & 1;
}

bool Run(const Matcher& m, std::string_view name) {
  return m.words == 1 ? RunOn<true>(m, name) : RunOn<false>(m, name);
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

namespace {

bool IsAscii(unsigned char byte) { return byte < 0x80; }

// The text with ASCII letters upper-cased, when it is all ASCII and holds
// no wildcard; false otherwise.
bool AsciiLiteral(std::string_view text, std::string* folded) {
  folded->clear();
  for (unsigned char byte : text) {
    if (!IsAscii(byte) || byte == '*' || byte == '?') return false;
    folded->push_back(static_cast<char>(AsciiUnit(byte)));
  }
  return true;
}

// Whether the bytes of `name` from `start` equal `folded` but for ASCII
// case: 1 or 0, or -1 when a byte beyond ASCII leaves it to the general
// matcher (a character such as U+017F folds to an ASCII letter).
int AsciiRegionEquals(std::string_view name, size_t start,
                      const std::string& folded) {
  int result = 1;
  for (size_t i = 0; i < folded.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[start + i]);
    if (!IsAscii(byte)) return -1;
    if (AsciiUnit(byte) != static_cast<unsigned char>(folded[i])) result = 0;
  }
  return result;
}

}  // namespace

CompiledMask::CompiledMask(std::string_view mask) {
  const EffectiveMask effective = EffectiveMaskOf(mask);
  last_star_dos_ = effective.last_star_dos;
  const CharReading reading = CurrentCharReading();
  utf8_ = reading == CharReading::kUtf8;
  const std::string_view text = effective.text;
  if (text == "*" && !last_star_dos_) {
    shape_ = Shape::kAll;
    return;
  }
  // The short paths read bytes as characters, which holds for UTF-8 only:
  // a code page 932 trail byte may look like an ASCII letter.
  if (utf8_ && !text.empty()) {
    if (AsciiLiteral(text, &literal_)) {
      shape_ = Shape::kPlain;
      return;
    }
    if (text.size() > 1 && text[0] == '*' &&
        AsciiLiteral(text.substr(1), &literal_)) {
      shape_ = Shape::kSuffix;  // "*" or a DOS star; either way an ending
      return;
    }
    // A fixed start and a "*" (a DOS star when a dot was dropped after it;
    // then the start may be empty).
    if (text.back() == '*' &&
        (text.size() == 1 || text[text.size() - 2] != '.') &&
        AsciiLiteral(text.substr(0, text.size() - 1), &literal_)) {
      shape_ = Shape::kPrefix;
      return;
    }
  }
  shape_ = Shape::kGeneral;
  units_.resize(text.size());
  units_.resize(ReadUnits(text, reading, units_.data()));
  sets_.assign(5 * WordsFor(units_.size()), 0);
  SortByRole(units_.data(), units_.size(), last_star_dos_,
             WordsFor(units_.size()), sets_.data());
}

bool CompiledMask::Matches(std::string_view name) const {
  int fast = -1;
  switch (shape_) {
    case Shape::kAll:
      return true;
    case Shape::kPlain:
      if (name.size() < literal_.size()) return false;
      if (name.size() == literal_.size()) fast = AsciiRegionEquals(name, 0, literal_);
      break;
    case Shape::kSuffix:
      if (name.size() < literal_.size()) return false;
      fast = AsciiRegionEquals(name, name.size() - literal_.size(), literal_);
      break;
    case Shape::kPrefix:
      if (name.size() < literal_.size()) return false;
      fast = AsciiRegionEquals(name, 0, literal_);
      // The start took exactly its own bytes; a DOS star after it must not
      // take the name's last dot.
      if (fast == 1 && last_star_dos_) {
        const size_t last_dot = name.rfind('.');
        if (last_dot != std::string_view::npos && last_dot >= literal_.size())
          fast = 0;
      }
      break;
    default:
      break;
  }
  if (fast >= 0) return fast == 1;
  return MatchesGeneral(name);
}

bool CompiledMask::MatchesGeneral(std::string_view name) const {
  std::vector<uint32_t> units;
  const uint32_t* mask_units = units_.data();
  size_t length = units_.size();
  std::vector<Word> own_sets;
  const Word* sets = sets_.data();
  if (shape_ != Shape::kGeneral) {
    // A short path left this name to the general matcher: prepare the mask
    // now (rare: names with characters beyond ASCII).
    std::string_view text = literal_;
    std::string whole;
    if (shape_ == Shape::kSuffix) whole = "*" + literal_;
    if (shape_ == Shape::kPrefix) whole = literal_ + "*";
    if (!whole.empty()) text = whole;
    units.resize(text.size());
    length = ReadUnits(text, CharReading::kUtf8, units.data());
    own_sets.assign(5 * WordsFor(length), 0);
    SortByRole(units.data(), length, last_star_dos_, WordsFor(length),
               own_sets.data());
    mask_units = units.data();
    sets = own_sets.data();
  }
  const size_t words = WordsFor(length);
  // The live set belongs to this call, so that threads may share the mask.
  Word live_here[4];
  std::vector<Word> live_more;
  Word* live = live_here;
  if (words > std::size(live_here)) {
    live_more.resize(words);
    live = live_more.data();
  }
  const Matcher m{mask_units,
                  length,
                  words,
                  sets + kLiteral * words,
                  sets + kStar * words,
                  sets + kDosStar * words,
                  sets + kDosQm * words,
                  sets + kDosDot * words,
                  live,
                  utf8_ ? CharReading::kUtf8 : CharReading::kDoubleByte};
  return Run(m, name);
}

// An empty mask reaches its end at once, so it matches only the empty name,
// which no directory entry has.
bool MatchesWildcard(std::string_view mask, std::string_view name) {
  return CompiledMask(mask).Matches(name);
}
