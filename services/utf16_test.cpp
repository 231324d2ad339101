#include "services/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf16Test, NamesConvertBothWaysWhole) {
  const struct {
    std::u16string units;
    std::string text;
  } cases[] = {
      {u"plain.txt", "plain.txt"},
      {u"caf\u00e9.txt", "caf\xC3\xA9.txt"},
      {u"\uD55C\uAD6D\uC5B4", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
      {u"emoji\U0001F600", "emoji\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"\u65E5\u672C\u8A9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
      {u"\u07FF\u0800\uFFFD", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD"},
      // Unpaired surrogates: each keeps its own three bytes.
      {std::u16string(u"lone") + char16_t(0xD800) + u"x",
       "lone\xED\xA0\x80x"},
      {std::u16string(1, char16_t(0xDFFF)), "\xED\xBF\xBF"},
      {std::u16string(u"a") + char16_t(0xDC00) + char16_t(0xD800),
       "a\xED\xB0\x80\xED\xA0\x80"},
      {std::u16string(u"end") + char16_t(0xDBFF), "end\xED\xAF\xBF"},
      {u"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf8OfUtf16(c.units.data(), c.units.size()), c.text);
    EXPECT_EQ(Utf16OfUtf8<char16_t>(c.text), c.units);
  }
}

TEST(Utf16Test, BytesThatAreNotUtf8DecodeAsReplacement) {
  const struct {
    std::string text;
    std::u16string units;
  } cases[] = {
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},
      {"\xE6\x97" "x", u"\uFFFD\uFFFDx"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      // A surrogate's form must be whole.
      {"\xED\xA0" "a", u"\uFFFD\uFFFDa"},
      // Code page 932 bytes are no UTF-8.
      {"\x83\x5C", u"\uFFFD\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Utf16OfUtf8<char16_t>(c.text), c.units);
  }
}

TEST(Utf16Test, SurrogateBytesAndUnfinishedTails) {
  const struct {
    std::string text;
    size_t surrogate_at_start;
    size_t unfinished_tail;
  } cases[] = {
      {"\xED\xA0\x80", 3, 0},
      {"\xED\xBF\xBFz", 3, 0},
      {"\xED\x9F\xBF", 0, 0},  // U+D7FF, a character
      {"\xED\xA0", 0, 2},
      {"\xED", 0, 1},
      {"ab\xE6\x97", 0, 2},
      {"ab\xE6\x97\xA5", 0, 0},
      {"\xF0\x9F\x98", 0, 3},
      {"\xF0\x9F\x98\x80", 0, 0},
      {"a\xC3", 0, 1},
      {"a\x80\x80\x80", 0, 0},
      {"a\x83", 0, 0},
      {"", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SurrogateBytesAt(c.text), c.surrogate_at_start);
    EXPECT_EQ(UnfinishedUtf8Tail(c.text), c.unfinished_tail);
  }
}

}  // namespace
