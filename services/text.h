// Text conversions on byte strings: integers, ASCII case, the comma-list
// split and substring operations. Positions are 1-based, lengths in bytes.
#ifndef KESTRIV_SERVICES_TEXT_H_
#define KESTRIV_SERVICES_TEXT_H_

#include <cstdint>
#include <string>
#include <vector>

// An ordered list of byte strings that only grows by appending.
using TStringList = std::vector<std::string>;

struct IntPrefix {
  int32_t value;
  bool accepted;  // the whole text was a valid integer
};

// Lenient conversion: the value read up to the first byte that does not
// belong to the number, and whether the whole text was accepted. Never
// raises.
IntPrefix TextToIntPrefix(const std::string& text);

// Strict conversion; raises EConvertError "'%s' は整数ではありません"
// unless the whole text is an integer.
int32_t TextToInt(const std::string& text);

// Maps "A"-"Z" to "a"-"z", byte by byte; other bytes unchanged.
std::string AsciiLowerCase(const std::string& text);
// Maps "a"-"z" to "A"-"Z", byte by byte; other bytes unchanged.
std::string AsciiUpperCase(const std::string& text);

// Clears `list`, then appends the items of `text`, separated by commas
// and/or bytes 0x01-0x20; empty items between two commas are kept.
void SplitCommaText(TStringList& list, const std::string& text);

// Replaces every occurrence of `old_text` (on a character boundary, left to
// right, never overlapping) by `new_text`.
std::string ReplaceAllText(const std::string& text, const std::string& old_text,
                           const std::string& new_text);

// Up to `count` bytes from 1-based `start` (a start below 1 counts as 1).
std::string CopyText(const std::string& text, int32_t start, int32_t count);

// 1-based position of the first occurrence of `pattern` in `text`; 0 when
// none or when either is empty.
int32_t FindText(const std::string& pattern, const std::string& text);

// Same length and same bytes.
bool TextEquals(const std::string& a, const std::string& b);

// The texts one after another.
template <typename... Texts>
std::string ConcatTexts(const std::string& first, const Texts&... rest) {
  std::string result = first;
  (result.append(rest), ...);
  return result;
}

#endif  // KESTRIV_SERVICES_TEXT_H_
