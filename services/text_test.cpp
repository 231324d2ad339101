#include "services/text.h"

#include <gtest/gtest.h>

#include "services/dbcs.h"
#include "services/exceptions.h"
#include "services/messages.h"

namespace {

struct IntCase {
  std::string text;
  int32_t value;
  bool accepted;
};

const IntCase kIntCases[] = {
    {"42", 42, true}, {" 42", 42, true}, {"42 ", 42, false},
    {"\t42", 0, false}, {"+7", 7, true}, {"-0", 0, true},
    {"007", 7, true}, {"0", 0, true}, {"00", 0, true},
    {"10-20", 10, false}, {"-12a", 12, false}, {"10k", 10, false},
    {"1e3", 1, false}, {"", 0, false}, {"-", 0, false}, {"+", 0, false},
    {"   ", 0, false}, {"$", 0, false}, {"x", 0, false}, {"0x", 0, false},
    {"-$10", 0, false}, {"+0x1", 0, false}, {"0a", 0, false},
    {"$1F", 31, true}, {"x1f", 31, true}, {"X1F", 31, true},
    {"0x1F", 31, true}, {"0X1f", 31, true}, {"$FFFFFFFF", -1, true},
    {"$80000000", INT32_MIN, true}, {"$000000001", 1, true},
    {"$123456789", 305419896, false}, {"$1G", 1, false}, {"$10", 16, true},
    {"2147483647", 2147483647, true}, {"2147483648", INT32_MIN, false},
    {"2147483649", -2147483647, false}, {"-2147483648", INT32_MIN, true},
    {"-2147483649", 2147483647, false}, {"4294967296", 429496729, false},
    {"21474836470", 2147483647, false}, {"2147483648x", INT32_MIN, false},
    {"99", 99, true},
};

TEST(TextToIntPrefixTest, ValueAndAcceptance) {
  for (const IntCase& c : kIntCases) {
    SCOPED_TRACE("text [" + c.text + "]");
    const IntPrefix result = TextToIntPrefix(c.text);
    EXPECT_EQ(c.value, result.value);
    EXPECT_EQ(c.accepted, result.accepted);
  }
}

TEST(TextToIntTest, ReturnsAcceptedValuesAndRaisesOnTheRest) {
  for (const IntCase& c : kIntCases) {
    SCOPED_TRACE("text [" + c.text + "]");
    if (c.accepted) {
      EXPECT_EQ(c.value, TextToInt(c.text));
    } else {
      EXPECT_THROW(TextToInt(c.text), EConvertError);
    }
  }
}

TEST(TextToIntTest, MessageQuotesTheWholeText) {
  const std::string text = " 10-20 ";
  std::string expected = MessageText(kMsgNotAnInteger);
  expected.replace(expected.find("%s"), 2, text);
  try {
    TextToInt(text);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(expected, e.Message());
    EXPECT_EQ(0u, e.Message().find("' 10-20 '"));
  }
}

struct CaseMapCase {
  std::string text;
  std::string lower;
  std::string upper;
};

TEST(AsciiCaseTest, MapsOnlyAsciiLettersByteByByte) {
  const CaseMapCase cases[] = {
      {"/N*.TXT", "/n*.txt", "/N*.TXT"},
      {"c:\\", "c:\\", "C:\\"},
      {"\\\\server\\share", "\\\\server\\share", "\\\\SERVER\\SHARE"},
      {"@[`{", "@[`{", "@[`{"},
      {"\x80\xC1\xE1\xFF", "\x80\xC1\xE1\xFF", "\x80\xC1\xE1\xFF"},
      // Second bytes in the letter ranges are mapped: ア becomes ヂ.
      {"\x83\x41", "\x83\x61", "\x83\x41"},
      {"\x83\x61", "\x83\x61", "\x83\x41"},
      {"", "", ""},
  };
  for (const CaseMapCase& c : cases) {
    SCOPED_TRACE("text [" + c.text + "]");
    EXPECT_EQ(c.lower, AsciiLowerCase(c.text));
    EXPECT_EQ(c.upper, AsciiUpperCase(c.text));
  }
}

struct SplitCase {
  std::string text;
  TStringList items;
};

const SplitCase kSplitCases[] = {
    {"*.txt,*.doc", {"*.txt", "*.doc"}},
    {"*.txt *.doc", {"*.txt", "*.doc"}},
    {"*.txt , *.doc", {"*.txt", "*.doc"}},
    {" \t*.txt\x01\x1F*.doc\n", {"*.txt", "*.doc"}},
    {"a,,b", {"a", "", "b"}},
    {",a", {"", "a"}},
    {"a,", {"a"}},
    {"a,,", {"a", ""}},
    {",", {""}},
    {"", {}},
    {"   ", {}},
    {"a a", {"a", "a"}},
};

// Reuses one list, which also checks that the split clears it first.
void CheckSplits(const SplitCase* cases, size_t count) {
  TStringList list = {"old"};
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE("text [" + cases[i].text + "]");
    SplitCommaText(list, cases[i].text);
    EXPECT_EQ(cases[i].items, list);
  }
}

TEST(SplitCommaTextTest, SingleByteText) {
  CheckSplits(kSplitCases, sizeof kSplitCases / sizeof kSplitCases[0]);
}

class DoubleByteTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  }
  void TearDown() override { SetDoubleByteInfo(false, ""); }
};

TEST_F(DoubleByteTextTest, SplitKeepsDoubleByteCharactersWhole) {
  const SplitCase cases[] = {
      // ソ (0x83 0x5C) and ア (0x83 0x41) inside items.
      {"\x83\x5C.txt,\x83\x41*", {"\x83\x5C.txt", "\x83\x41*"}},
      // A lead byte takes the next byte even when it is a comma, as the
      // platform's character stepping does.
      {"\x81,a b", {"\x81,a", "b"}},
      // A lead byte at the very end is a character by itself.
      {"a,\x83", {"a", "\x83"}},
      {"\x83", {"\x83"}},
  };
  CheckSplits(cases, sizeof cases / sizeof cases[0]);
}

struct ReplaceCase {
  std::string text;
  std::string old_text;
  std::string new_text;
  std::string result;
};

TEST(ReplaceAllTextTest, ReplacesEveryOccurrenceLeftToRight) {
  const ReplaceCase cases[] = {
      {"*.txt:*.doc", ":", ",", "*.txt,*.doc"},
      {"a::b", ":", ",", "a,,b"},
      {"*.txt", ":", ",", "*.txt"},
      {"", ":", ",", ""},
      {"abc", "", ",", "abc"},
      {"aaa", "aa", "b", "ba"},
      {"ab", "b", "bb", "abb"},
      {"xax", "x", "", "a"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE("text [" + c.text + "] old [" + c.old_text + "]");
    EXPECT_EQ(c.result, ReplaceAllText(c.text, c.old_text, c.new_text));
  }
}

TEST_F(DoubleByteTextTest, ReplaceSkipsSecondBytes) {
  const ReplaceCase cases[] = {
      {"\x83\x5C\\", "\\", "/", "\x83\x5C/"},
      {"\x83\x41" "A", "A", "a", "\x83\x41" "a"},
      {"\x83", "\x83", "x", "x"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE("text [" + c.text + "] old [" + c.old_text + "]");
    EXPECT_EQ(c.result, ReplaceAllText(c.text, c.old_text, c.new_text));
  }
}

TEST(CopyTextTest, ClipsStartAndCount) {
  struct Case {
    std::string text;
    int32_t start;
    int32_t count;
    std::string result;
  };
  const Case cases[] = {
      {"/n*.txt", 3, 256, "*.txt"}, {"/s", 3, 0, ""}, {"abc", 0, 2, "ab"},
      {"abc", -5, 2, "ab"},         {"abc", 2, -1, ""}, {"abc", 4, 1, ""},
      {"abc", 3, 5, "c"},           {"", 1, 1, ""},
      {"abc", 1, INT32_MAX, "abc"}, {"abc", INT32_MAX, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text [" + c.text + "] start " + std::to_string(c.start) +
                 " count " + std::to_string(c.count));
    EXPECT_EQ(c.result, CopyText(c.text, c.start, c.count));
  }
}

TEST(FindTextTest, FirstOccurrenceOrZero) {
  struct Case {
    std::string pattern;
    std::string text;
    int32_t position;
  };
  const Case cases[] = {
      {"-", "/s10-20", 5}, {"-", "/s-20", 3}, {"-", "/s10", 0},
      {"", "/s10", 0},     {"-", "", 0},      {"abcd", "abc", 0},
      {"bc", "abcbc", 2},  {"\x5C", "\x83\x5C", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("pattern [" + c.pattern + "] text [" + c.text + "]");
    EXPECT_EQ(c.position, FindText(c.pattern, c.text));
  }
}

TEST(TextEqualsTest, SameLengthAndBytes) {
  struct Case {
    std::string a;
    std::string b;
    bool equal;
  };
  const Case cases[] = {
      {"/", "/", true},        {"a", "A", false}, {".", "..", false},
      {"", "", true},          {"", "a", false},
      {std::string("a\0b", 3), std::string("a\0c", 3), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("[" + c.a + "] vs [" + c.b + "]");
    EXPECT_EQ(c.equal, TextEquals(c.a, c.b));
  }
}

TEST(ConcatTextsTest, JoinsInArgumentOrder) {
  EXPECT_EQ("99/01/01", ConcatTexts("99", "/", "01", "/", "01"));
  EXPECT_EQ("ab", ConcatTexts("", "a", "", "b"));
}

}  // namespace
