#include "services/text.h"

#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"

namespace {

// Before a digit is added the accumulator must not exceed these, so that
// the addition cannot leave the 32-bit range.
constexpr uint32_t kDecimalGuard = 0x0CCCCCCC;
constexpr uint32_t kHexGuard = 0x0FFFFFFF;
constexpr uint32_t kMaxPositive = 0x7FFFFFFF;
constexpr uint32_t kMaxNegated = 0x80000000;

// The 32 bits of `value` read as a two's-complement number.
int32_t AsSigned(uint32_t value) { return static_cast<int32_t>(value); }

IntPrefix Stopped(uint32_t accumulator) {
  return IntPrefix{AsSigned(accumulator), false};
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decimal digits from `pos` to the end of the text. A scan that stops early
// keeps the accumulator without the sign.
IntPrefix ReadDecimal(const std::string& text, size_t pos, bool negative) {
  if (pos >= text.size()) return IntPrefix{0, false};
  uint32_t accumulator = 0;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') return Stopped(accumulator);
    if (accumulator > kDecimalGuard) return Stopped(accumulator);
    accumulator = accumulator * 10 + static_cast<uint32_t>(c - '0');
  }
  if (!negative) {
    return IntPrefix{AsSigned(accumulator), accumulator <= kMaxPositive};
  }
  // Negation in 32 bits: 2147483649 wraps to 2147483647, not accepted.
  return IntPrefix{AsSigned(0u - accumulator), accumulator <= kMaxNegated};
}

IntPrefix ReadHex(const std::string& text, size_t pos) {
  if (pos >= text.size()) return IntPrefix{0, false};
  uint32_t accumulator = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = HexDigitValue(text[pos]);
    if (digit < 0 || accumulator > kHexGuard) return Stopped(accumulator);
    accumulator = accumulator * 16 + static_cast<uint32_t>(digit);
  }
  return IntPrefix{AsSigned(accumulator), true};
}

bool IsSeparatorByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x01 && byte <= 0x20;
}

size_t SkipSeparatorBytes(const std::string& text, size_t pos) {
  while (pos < text.size() && IsSeparatorByte(text[pos])) ++pos;
  return pos;
}

// End of the item starting at `pos`, moving a whole character at a time so
// that a double-byte character is never cut.
size_t ItemEnd(const std::string& text, size_t pos) {
  while (pos < text.size() && text[pos] != ',' &&
         !IsSeparatorByte(text[pos])) {
    pos = NextCharIndex(text, pos);
  }
  return pos;
}

}  // namespace

IntPrefix TextToIntPrefix(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos >= text.size()) return IntPrefix{0, false};
  const char first = text[pos];
  if (first == '-') return ReadDecimal(text, pos + 1, true);
  if (first == '+') return ReadDecimal(text, pos + 1, false);
  if (first == '$' || first == 'x' || first == 'X') {
    return ReadHex(text, pos + 1);
  }
  if (first == '0') {
    if (pos + 1 == text.size()) return IntPrefix{0, true};
    const char next = text[pos + 1];
    if (next == 'x' || next == 'X') return ReadHex(text, pos + 2);
    return ReadDecimal(text, pos + 1, false);
  }
  return ReadDecimal(text, pos, false);
}

int32_t TextToInt(const std::string& text) {
  const IntPrefix result = TextToIntPrefix(text);
  if (result.accepted) return result.value;
  std::string message = MessageText(kMsgNotAnInteger);
  const size_t slot = message.find("%s");
  if (slot != std::string::npos) message.replace(slot, 2, text);
  throw EConvertError(message);
}

std::string AsciiLowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return result;
}

std::string AsciiUpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return result;
}

void SplitCommaText(TStringList& list, const std::string& text) {
  list.clear();
  size_t pos = SkipSeparatorBytes(text, 0);
  while (pos < text.size()) {
    const size_t end = ItemEnd(text, pos);
    list.push_back(text.substr(pos, end - pos));
    pos = SkipSeparatorBytes(text, end);
    // A comma and the blanks around it make one separator.
    if (pos < text.size() && text[pos] == ',') {
      pos = SkipSeparatorBytes(text, pos + 1);
    }
  }
}

std::string ReplaceAllText(const std::string& text, const std::string& old_text,
                           const std::string& new_text) {
  if (old_text.empty()) return text;
  std::string result;
  size_t copied = 0;  // start of the part not yet appended
  size_t pos = 0;
  // Candidates are tried only where a character begins, so the second
  // byte of a double-byte character never starts an occurrence.
  while (pos < text.size()) {
    if (text.compare(pos, old_text.size(), old_text) == 0) {
      result.append(text, copied, pos - copied).append(new_text);
      pos += old_text.size();
      copied = pos;
    } else {
      pos = NextCharIndex(text, pos);
    }
  }
  return result.append(text, copied, std::string::npos);
}

std::string CopyText(const std::string& text, int32_t start, int32_t count) {
  if (start < 1) start = 1;
  if (count <= 0 || static_cast<size_t>(start) > text.size()) return "";
  return text.substr(static_cast<size_t>(start) - 1,
                     static_cast<size_t>(count));
}

int32_t FindText(const std::string& pattern, const std::string& text) {
  if (pattern.empty() || text.empty()) return 0;
  const size_t pos = text.find(pattern);
  return pos == std::string::npos ? 0 : static_cast<int32_t>(pos + 1);
}

bool TextEquals(const std::string& a, const std::string& b) { return a == b; }
