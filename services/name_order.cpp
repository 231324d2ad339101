// NTFS keeps each directory as a tree ordered by the names' UTF-16 units
// after its upper-case table, so Windows lists names in that order. Here
// the units come from the bytes as the masks read them (ReadChar,
// FoldedUnits): a code that is not a Unicode character (a lone byte, a
// code page 932 double-byte character) is above every UTF-16 unit, so
// such names sort after all others, by their bytes.
#include "services/name_order.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "services/case_fold.h"

namespace {

// The compared unit of an ASCII byte: its upper case.
uint32_t AsciiUnit(unsigned char byte) {
  const uint32_t unit = byte;
  return unit - 'a' < 26 ? unit - 0x20 : unit;
}

// A name's compared units, one at a time, from a character boundary.
class UnitReader {
 public:
  UnitReader(std::string_view text, size_t pos, CharReading reading)
      : text_(text), pos_(pos), reading_(reading) {}

  bool AtEnd() const { return pending_ == 0 && pos_ >= text_.size(); }

  uint32_t Next() {
    if (pending_ != 0) {
      const uint32_t unit = pending_;
      pending_ = 0;
      return unit;
    }
    const TextChar c = ReadChar(text_, pos_, reading_);
    pos_ += c.length;
    uint32_t units[2];
    // A low surrogate is never 0, so it marks a unit still to come.
    if (FoldedUnits(c.code, units) == 2) pending_ = units[1];
    return units[0];
  }

 private:
  std::string_view text_;
  size_t pos_;
  CharReading reading_;
  uint32_t pending_ = 0;
};

int Sign(int value) { return (value > 0) - (value < 0); }

// The order of the rest of the names from `start`, where both stand on a
// character boundary; 0 when their units are the same.
int CompareUnitsFrom(std::string_view a, std::string_view b, size_t start,
                     CharReading reading) {
  UnitReader p(a, start, reading), q(b, start, reading);
  while (!p.AtEnd() && !q.AtEnd()) {
    const uint32_t u = p.Next(), v = q.Next();
    if (u != v) return u < v ? -1 : 1;
  }
  return static_cast<int>(q.AtEnd()) - static_cast<int>(p.AtEnd());
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  // ASCII, the common case, compares byte by byte without decoding. Up to
  // the first byte beyond ASCII every byte is a character of its own, in
  // either reading, so the general comparison may take over there.
  size_t i = 0;
  for (; i < common; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if ((x | y) >= 0x80) break;
    if (x != y) {
      const uint32_t u = AsciiUnit(x), v = AsciiUnit(y);
      if (u != v) return u < v ? -1 : 1;
    }
  }
  const int units = i == common
                        ? (a.size() > b.size()) - (a.size() < b.size())
                        : CompareUnitsFrom(a, b, i, CurrentCharReading());
  if (units != 0) return units;
  // Equal but for case: the bytes decide, so that the order is total.
  return Sign(a.compare(b));
}

namespace {

// Eight bytes as a word whose order is theirs.
uint64_t BigEndianWord(const unsigned char* bytes) {
  uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = word << 8 | bytes[i];
  return word;
}

// A word of eight ASCII bytes with "a"-"z" upper-cased all at once: a byte
// below 0x80 plus 0x1F reaches 0x80 from "a" on, plus 0x05 from "{" on,
// and no sum carries into the next byte.
uint64_t UpperCased(uint64_t word) {
  constexpr uint64_t kEach = 0x0101010101010101;
  const uint64_t from_a = word + 0x1F * kEach;
  const uint64_t past_z = word + 0x05 * kEach;
  const uint64_t lower = from_a & ~past_z & 0x80 * kEach;
  return word - (lower >> 2);
}

}  // namespace

// An ASCII byte is one unit in either reading, and a name holds no NUL,
// so the bytes of the prefix compare as the units do and an end as less
// than any unit. Sixteen bytes tell apart nearly all names of a
// directory, which often share a first word.
NamePrefix NamePrefixOf(std::string_view name) {
  unsigned char bytes[16] = {};
  std::memcpy(bytes, name.data(), std::min<size_t>(name.size(), 16));
  const uint64_t high = BigEndianWord(bytes), low = BigEndianWord(bytes + 8);
  if (((high | low) & 0x8080808080808080) != 0) return NamePrefix();
  return {UpperCased(high), UpperCased(low), true};
}
