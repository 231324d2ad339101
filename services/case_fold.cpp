#include "services/case_fold.h"

#include <algorithm>
#include <iterator>

#include "services/dbcs.h"

namespace {

// Code points first, first + step, ... up to last map to code + delta.
struct UpperCaseRun {
  uint16_t first;
  uint16_t last;
  uint8_t step;
  int32_t delta;
};

// Generated once from the Unicode Character Database by
// tools/make_case_fold_table.py; sorted, runs do not overlap.
constexpr UpperCaseRun kUpperCaseRuns[] = {
#include "services/case_fold_table.inc"
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Bounds of the second byte of a sequence led by `lead` (0xE0-0xF4): they
// rule out overlong forms, the surrogates U+D800-DFFF and codes past
// U+10FFFF, so that every sequence accepted is the one encoding of a
// Unicode scalar value.
void SecondByteBounds(unsigned char lead, unsigned char* low,
                      unsigned char* high) {
  *low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  *high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
}

// A multi-byte UTF-8 sequence at the start of `s` (`available` bytes), or
// the lead byte alone when the bytes are not valid UTF-8.
TextChar ReadUtf8Sequence(const unsigned char* s, size_t available) {
  const unsigned char lead = s[0];
  const TextChar lone{kLoneByteCodeBase + lead, 1};
  if (lead < 0xC2 || lead > 0xF4) return lone;
  const uint32_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (available < length) return lone;
  unsigned char low = 0x80, high = 0xBF;
  if (length > 2) SecondByteBounds(lead, &low, &high);
  if (s[1] < low || s[1] > high) return lone;
  uint32_t code = lead & (0x7F >> length);
  for (uint32_t i = 1; i < length; ++i) {
    if (!IsContinuation(s[i])) return lone;
    code = (code << 6) | (s[i] & 0x3F);
  }
  return {code, length};
}

// Code page 932 as the rest of the tool reads it (NextCharIndex): a lead
// byte takes the byte after it, except at the end of the text.
TextChar ReadDoubleByteChar(const unsigned char* s, size_t available) {
  const unsigned char first = s[0];
  if (IsLeadByte(first) && available > 1) {
    return {kDoubleByteCodeBase + (uint32_t{first} << 8 | s[1]), 2};
  }
  return {first < 0x80 ? first : kLoneByteCodeBase + first, 1};
}

}  // namespace

CharReading CurrentCharReading() {
  return DoubleByteMode() ? CharReading::kDoubleByte : CharReading::kUtf8;
}

TextChar ReadChar(std::string_view text, size_t pos, CharReading reading) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const size_t available = text.size() - pos;
  if (reading == CharReading::kDoubleByte) {
    return ReadDoubleByteChar(s, available);
  }
  if (s[0] < 0x80) return {s[0], 1};
  return ReadUtf8Sequence(s, available);
}

int FoldedUnits(uint32_t code, uint32_t* units) {
  if (code >= 0x10000 && code <= 0x10FFFF) {
    units[0] = 0xD800 + ((code - 0x10000) >> 10);
    units[1] = 0xDC00 + ((code - 0x10000) & 0x3FF);
    return 2;
  }
  units[0] = UpperCaseOf(code);
  return 1;
}

uint32_t UpperCaseOf(uint32_t code) {
  if (code < 0x80) return code - 'a' < 26 ? code - 0x20 : code;
  if (code > 0xFFFF) return code;
  // The last run that starts at or before `code`.
  const auto* after = std::upper_bound(
      std::begin(kUpperCaseRuns), std::end(kUpperCaseRuns), code,
      [](uint32_t c, const UpperCaseRun& run) { return c < run.first; });
  if (after == std::begin(kUpperCaseRuns)) return code;
  const UpperCaseRun& run = after[-1];
  if (code > run.last || (code - run.first) % run.step != 0) return code;
  return static_cast<uint32_t>(static_cast<int32_t>(code) + run.delta);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  const CharReading reading = CurrentCharReading();
  const bool utf8 = reading == CharReading::kUtf8;
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[j]);
    // ASCII, the common case, is compared without decoding.
    if (utf8 && (x | y) < 0x80) {
      if (x != y && UpperCaseOf(x) != UpperCaseOf(y)) return false;
      ++i, ++j;
      continue;
    }
    const TextChar p = ReadChar(a, i, reading);
    const TextChar q = ReadChar(b, j, reading);
    if (UpperCaseOf(p.code) != UpperCaseOf(q.code)) return false;
    i += p.length;
    j += q.length;
  }
  return i == a.size() && j == b.size();
}
