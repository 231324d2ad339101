// Characters of file names and their letter case, as Windows compares names:
// the bytes of a name are read as UTF-8 where they form valid UTF-8 and one
// byte per character where they do not, or, when the platform's text is
// Shift_JIS, as code page 932 characters; case is folded by the simple
// upper-case mapping of the Basic Multilingual Plane. The one case-folding
// helper of the tool. Pure apart from reading the double-byte setting.
#ifndef KESTRIV_SERVICES_CASE_FOLD_H_
#define KESTRIV_SERVICES_CASE_FOLD_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

// How the bytes of a name are grouped into characters.
enum class CharReading : unsigned char {
  kUtf8,        // valid UTF-8 sequences, any other byte on its own
  kDoubleByte,  // code page 932: a lead byte and the byte after it
};

// One character read from a text: its code and its length in bytes.
struct TextChar {
  uint32_t code;
  uint32_t length;
};

// Codes of characters that are not Unicode scalar values: a byte that is
// not part of valid UTF-8 (or, in double-byte reading, any byte from 0x80
// up), and a code page 932 double-byte character. They fold to themselves
// and equal only the same bytes.
constexpr uint32_t kLoneByteCodeBase = 0x110000;
constexpr uint32_t kDoubleByteCodeBase = 0x120000;

// The reading in force: double-byte when the platform's text is Shift_JIS
// (DoubleByteMode), UTF-8 otherwise.
CharReading CurrentCharReading();

// The character that starts at byte `pos` of `text`; `pos` < text.size().
// The length is at least 1 and never runs past the end of `text`.
TextChar ReadChar(std::string_view text, size_t pos, CharReading reading);

// The simple upper-case form of `code` for BMP letters that have one;
// every other code unchanged.
uint32_t UpperCaseOf(uint32_t code);

// The units Windows compares for the character `code`, into `units`: its
// upper case, or the two UTF-16 surrogates of a character outside the BMP
// (not folded). Returns how many, 1 or 2.
int FoldedUnits(uint32_t code, uint32_t* units);

// True when `a` and `b` hold the same characters but for letter case, read
// in the current reading.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

#endif  // KESTRIV_SERVICES_CASE_FOLD_H_
