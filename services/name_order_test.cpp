#include "services/name_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "services/dbcs.h"

namespace {

struct OrderCase {
  const char* a;
  const char* b;
  int expected;  // the sign of CompareNames(a, b)
};

int SignOf(int value) { return (value > 0) - (value < 0); }

void CheckTable(const std::vector<OrderCase>& cases) {
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(std::string("'") + c.a + "' '" + c.b + "'");
    EXPECT_EQ(SignOf(CompareNames(c.a, c.b)), c.expected);
    EXPECT_EQ(SignOf(CompareNames(c.b, c.a)), -c.expected);
    EXPECT_EQ(CompareNames(c.a, c.a), 0);
  }
}

TEST(NameOrderTest, UpperCasedUtf16UnitsThenBytes) {
  CheckTable(
      {
          {"a", "B", -1},      // case is folded
          {"_u", "a", 1},      // to upper case: "_" is above "A"
          {"[x", "z", 1},
          {"ab", "abc", -1},   // a name before the longer names it begins
          {"AB", "abc", -1},
          {"a.b", "ab", -1},   // "." below letters, as any other unit
          {"A", "a", -1},      // equal but for case: by the bytes
          {"readme", "README", 1},
          {"\xc3\xa9", "\xc3\x89" "b", -1},  // é before Éb
          {"\xc3\xa9", "f", 1},              // U+00C9 above ASCII
          {"\xce\xb1", "\xce\x91", 1},       // α after Α, equal but for case
          // The masks' simple upper case: ſ is S, ı is I.
          {"\xc5\xbf", "R", 1},
          {"\xc5\xbf", "T", -1},
          {"\xc5\xbf", "s", 1},             // equal units, "s" the lower byte
          {"\xc4\xb1", "J", -1},
          // Beyond the BMP: two surrogates, below U+E000 and above U+D7FF.
          {"\xf0\x9f\x98\x80", "\xee\x80\x80", -1},
          {"\xf0\x9f\x98\x80", "\xef\xbd\x9a", -1},
          {"\xf0\x9f\x98\x80", "\xed\x9f\xbf", 1},
          {"\xf0\x9f\x98\x80" "a", "\xf0\x9f\x98\x80" "B", -1},
          // Bytes that are not UTF-8: after every character, by value.
          {"\xff", "\xef\xbf\xbf", 1},
          {"\xc3", "\xf0\x9f\x98\x80", 1},
          {"\x80", "\xff", -1},
          {"a\xc3", "ab", 1},
          {"\xc3" "a", "\xc3\xa9", 1},  // a lone byte, not é
      });
}

// Read as code page 932, a double-byte character is one code above every
// Unicode unit, and its second byte is never an ASCII letter.
TEST(NameOrderTest, CodePage932Characters) {
  SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  CheckTable(
      {
          {"\x83\x41", "b", 1},             // ア after ASCII
          {"\xb1", "\x83\x41", -1},         // half-width ｱ, a single byte
          {"\x83\x61", "\x83\x42", 1},      // by code, not as "a" and "B"
          {"\x83\x5c" "a", "\x83\x5c" "B", -1},  // ソa before ソB
          {"x\x83\x41", "X\x83\x41", 1},
      });
  SetDoubleByteInfo(false, "");
}

TEST(NameOrderTest, SortsAsWindowsListsADirectory) {
  const std::vector<std::string> sorted = {
      "a", "a b", "a-b", "a.b", "ab", "AB1", "B", "s", "z", "Z1", "Zz", "zZ",
      "[x", "_u", "~", "\xc3\xa9", "\xc3\x89" "b", "\xce\xb1",
      "\xe4\xb8\x80", "\xf0\x9f\x98\x80", "\xee\x80\x80" "x",
      "\xef\xbd\x81", "\xff"};
  std::vector<std::string> names = sorted;
  std::shuffle(names.begin(), names.end(), std::mt19937(29));
  std::sort(names.begin(), names.end(),
            [](const std::string& x, const std::string& y) {
              return CompareNames(x, y) < 0;
            });
  EXPECT_EQ(names, sorted);
}

// Where two prefixes are exact and differ, they order the names as
// CompareNames does: around the letters' bounds ("@", "[", "`", "{"),
// past the eighth and the sixteenth byte, at an end.
TEST(NameOrderTest, ExactPrefixesOrderAsTheNames) {
  const std::vector<std::string> names = {
      "", "@", "A", "a", "Z", "z", "[", "`", "{", "~", "\x7f", "ab", "aB",
      "abcdefgh", "ABCDEFGH", "abcdefgh0", "abcdefgi", "abcdefgh`",
      "abcdefgh{", "abcdefghijklmnop", "abcdefghijklmnoq",
      "abcdefghijklmnopq", "ABCDEFGHIJKLMNOPz", "abcdefghijklmnop~",
      "\xc3\xa9", "a\xc3\xa9", "abcdefghijklmno\xc3\xa9", "\xc5\xbf",
      "abcdefghijklmnop\xc3\xa9"};
  int exact_pairs = 0;
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      const NamePrefix p = NamePrefixOf(a), q = NamePrefixOf(b);
      SCOPED_TRACE("'" + a + "' '" + b + "'");
      const bool has_non_ascii_start =
          std::any_of(a.begin(), a.begin() + std::min<size_t>(a.size(), 16),
                      [](char c) { return (c & 0x80) != 0; });
      EXPECT_EQ(p.exact, !has_non_ascii_start);
      if (!p.exact || !q.exact || (p.high == q.high && p.low == q.low))
        continue;
      ++exact_pairs;
      const bool prefix_before =
          p.high != q.high ? p.high < q.high : p.low < q.low;
      EXPECT_EQ(prefix_before, CompareNames(a, b) < 0);
    }
  }
  EXPECT_GT(exact_pairs, 500);
}

}  // namespace
