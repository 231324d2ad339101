// Fuzz target: the lenient and the strict integer conversion. The whole
// input is the text. Both are compared with a reference written from the
// documented rules in 64-bit arithmetic: blanks (0x20 only) in front; a
// sign and decimal digits, or a "$", "x", "X", "0x" or "0X" prefix and
// hexadecimal digits; a scan that stops keeps its accumulator, unsigned,
// as the value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "services/exceptions.h"
#include "services/messages.h"
#include "services/text.h"

namespace {

struct Expected {
  int64_t value;
  bool accepted;
};

constexpr int64_t kTwoTo32 = int64_t{1} << 32;
constexpr int64_t kTwoTo31 = int64_t{1} << 31;

// The low 32 bits of `v` read as a two's-complement number.
int64_t Low32Signed(int64_t v) {
  int64_t low = ((v % kTwoTo32) + kTwoTo32) % kTwoTo32;
  return low >= kTwoTo31 ? low - kTwoTo32 : low;
}

int DigitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

Expected ReferenceConversion(const std::string& t) {
  size_t p = t.find_first_not_of(' ');
  if (p == std::string::npos) return {0, false};  // empty or blanks only
  bool negative = false;
  int base = 10;
  const char c = t[p];
  if (c == '-' || c == '+') {
    negative = c == '-';
    ++p;
  } else if (c == '$' || c == 'x' || c == 'X') {
    base = 16;
    ++p;
  } else if (c == '0') {
    if (p + 1 == t.size()) return {0, true};
    const bool hex = t[p + 1] == 'x' || t[p + 1] == 'X';
    base = hex ? 16 : 10;
    p += hex ? 2 : 1;
  }
  if (p == t.size()) return {0, false};  // a sign or prefix alone
  // Before each digit the accumulator must not exceed the guard, else the
  // scan stops there.
  const int64_t guard = base == 10 ? 214748364 : 0x0FFFFFFF;
  int64_t acc = 0;
  for (; p < t.size(); ++p) {
    const int d = DigitValue(t[p], base);
    if (d < 0 || acc > guard) return {Low32Signed(acc), false};
    acc = acc * base + d;
  }
  if (base == 16) return {Low32Signed(acc), true};
  if (negative) return {Low32Signed(-acc), acc <= kTwoTo31};
  return {Low32Signed(acc), acc <= kTwoTo31 - 1};
}

std::string NotAnIntegerMessage(const std::string& text) {
  std::string message = MessageText(kMsgNotAnInteger);
  message.replace(message.find("%s"), 2, text);
  return message;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = InputText(data, size);
  const IntPrefix got = TextToIntPrefix(text);
  const Expected want = ReferenceConversion(text);
  FUZZ_CHECK(got.value == want.value && got.accepted == want.accepted,
             "text " + Escaped(text) + " got " + std::to_string(got.value) +
                 (got.accepted ? " accepted" : " not accepted") +
                 ", expected " + std::to_string(want.value) +
                 (want.accepted ? " accepted" : " not accepted"));
  try {
    const int32_t value = TextToInt(text);
    FUZZ_CHECK(want.accepted && value == want.value,
               "TextToInt " + Escaped(text) + " gave " +
                   std::to_string(value));
  } catch (const EConvertError& e) {
    FUZZ_CHECK(!want.accepted, "TextToInt raised for " + Escaped(text));
    FUZZ_CHECK(e.Message() == NotAnIntegerMessage(text),
               "message " + Escaped(e.Message()));
  }
  return 0;
}
