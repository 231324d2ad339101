#include "services/case_fold.h"

#include <gtest/gtest.h>

#include <string>

#include "services/dbcs.h"

namespace {

const std::string kCp932Ranges("\x81\x9F\xE0\xFC", 4);

class CaseFoldTest : public ::testing::Test {
 protected:
  void TearDown() override { SetDoubleByteInfo(false, ""); }
};

TEST_F(CaseFoldTest, ReadChar) {
  const struct {
    std::string text;
    CharReading reading;
    uint32_t code;
    uint32_t length;
  } cases[] = {
      {"a", CharReading::kUtf8, 'a', 1},
      {"\xC3\xA9x", CharReading::kUtf8, 0xE9, 2},
      {"\xE8\xA1\xA8", CharReading::kUtf8, 0x8868, 3},
      {"\xF0\x9F\x98\x80", CharReading::kUtf8, 0x1F600, 4},
      {"\xF4\x8F\xBF\xBF", CharReading::kUtf8, 0x10FFFF, 4},
      // Not valid UTF-8: the first byte is a character of its own.
      {"\xC3", CharReading::kUtf8, kLoneByteCodeBase + 0xC3, 1},
      {"\xC3" "a", CharReading::kUtf8, kLoneByteCodeBase + 0xC3, 1},
      {"\xE8\xA1", CharReading::kUtf8, kLoneByteCodeBase + 0xE8, 1},
      {"\xA9", CharReading::kUtf8, kLoneByteCodeBase + 0xA9, 1},
      {"\xC0\x80", CharReading::kUtf8, kLoneByteCodeBase + 0xC0, 1},
      {"\xE0\x80\xAF", CharReading::kUtf8, kLoneByteCodeBase + 0xE0, 1},
      {"\xED\xA0\x80", CharReading::kUtf8, kLoneByteCodeBase + 0xED, 1},
      {"\xF0\x8F\xBF\xBF", CharReading::kUtf8, kLoneByteCodeBase + 0xF0, 1},
      {"\xF4\x90\x80\x80", CharReading::kUtf8, kLoneByteCodeBase + 0xF4, 1},
      {"\xF5\x80\x80\x80", CharReading::kUtf8, kLoneByteCodeBase + 0xF5, 1},
      {"\xE8\xA1" "a", CharReading::kUtf8, kLoneByteCodeBase + 0xE8, 1},
      // Code page 932: a lead byte and the byte after it.
      {"\x83\x41", CharReading::kDoubleByte, kDoubleByteCodeBase + 0x8341, 2},
      {"\x83", CharReading::kDoubleByte, kLoneByteCodeBase + 0x83, 1},
      {"\xB1", CharReading::kDoubleByte, kLoneByteCodeBase + 0xB1, 1},
      {"A\x83", CharReading::kDoubleByte, 'A', 1},
      {"\xC3\xA9", CharReading::kDoubleByte, kLoneByteCodeBase + 0xC3, 1},
  };
  SetDoubleByteInfo(true, kCp932Ranges);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const TextChar got = ReadChar(c.text, 0, c.reading);
    EXPECT_EQ(c.code, got.code);
    EXPECT_EQ(c.length, got.length);
  }
}

TEST_F(CaseFoldTest, UpperCaseOf) {
  const struct {
    uint32_t code;
    uint32_t upper;
  } cases[] = {
      {'a', 'A'},       {'z', 'Z'},        {'A', 'A'},
      {'{', '{'},       {'`', '`'},        {0xE9, 0xC9},      // é
      {0xF7, 0xF7},     {0xFF, 0x178},     {0xDF, 0xDF},      // ÷ ÿ ß
      {0x101, 0x100},   {0x100, 0x100},    {0x12F, 0x12E},    // ā Ā į
      {0x131, 'I'},     {0x17F, 'S'},      {0x1C5, 0x1C4},    // ı ſ ǅ
      {0x1C6, 0x1C4},   {0x3C9, 0x3A9},    {0x3C2, 0x3A3},    // ǆ ω ς
      {0x436, 0x416},   {0x2170, 0x2160},  {0x212A, 0x212A},  // ж ⅰ K
      {0x1D79, 0xA77D}, {0xFF41, 0xFF21},  {0xFF5A, 0xFF3A},  // ᵹ ａ ｚ
      {0xFFFF, 0xFFFF}, {0x10428, 0x10428},                   // non-BMP
      {kLoneByteCodeBase + 'a', kLoneByteCodeBase + 'a'},
      {kDoubleByteCodeBase + 0x8281, kDoubleByteCodeBase + 0x8281},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(c.upper, UpperCaseOf(c.code));
  }
}

TEST_F(CaseFoldTest, EqualsIgnoringCase) {
  const struct {
    const char* a;
    const char* b;
    bool double_byte;
    bool expected;
  } cases[] = {
      {"", "", false, true},
      {"Report.TXT", "report.txt", false, true},
      {"abc", "abd", false, false},
      {"abc", "ab", false, false},
      {"ab", "abc", false, false},
      {"\xC3\xA9lan", "\xC3\x89LAN", false, true},           // élan ÉLAN
      {"\xE8\xA1\xA8", "\xE8\xA1\xA8", false, true},         // 表
      {"\xC5\xBF", "s", false, true},                        // ſ
      {"stra\xC3\x9F" "e", "STRASSE", false, false},         // no full folding
      {"e\xCC\x81", "\xC3\xA9", false, false},               // no normalising
      {"\xC3", "\xC3", false, true},
      {"\xC3", "\xE3", false, false},
      {"\xE9", "\xC9", false, false},  // lone Latin-1 bytes are not letters
      {"\xC3\xA9", "\xC3\x89", true, false},
      {"\x83\x41", "\x83\x61", true, false},  // trail bytes are not letters
      {"A\x83\x41", "a\x83\x41", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    SetDoubleByteInfo(c.double_byte, c.double_byte ? kCp932Ranges : "");
    EXPECT_EQ(c.expected, EqualsIgnoringCase(c.a, c.b));
    EXPECT_EQ(c.expected, EqualsIgnoringCase(c.b, c.a));
  }
}

}  // namespace
