#include "services/dbcs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kCp932Ranges("\x81\x9F\xE0\xFC", 4);

class DbcsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetDoubleByteInfo(false, ""); }
};

// The lead-byte set as a 256-character map: 'L' for a lead byte, '.' else.
std::string LeadMap() {
  std::string map;
  for (int b = 0; b < 256; ++b) {
    map += IsLeadByte(static_cast<unsigned char>(b)) ? 'L' : '.';
  }
  return map;
}

std::string MapOf(std::initializer_list<std::pair<int, int>> ranges) {
  std::string map(256, '.');
  for (const auto& r : ranges) {
    for (int b = r.first; b <= r.second; ++b) map[b] = 'L';
  }
  return map;
}

TEST_F(DbcsTest, RangeParsing) {
  struct Case {
    const char* name;
    bool mode;
    std::string ranges;
    std::string expected_map;
  };
  const Case cases[] = {
      {"code page 932", true, kCp932Ranges, MapOf({{0x81, 0x9F}, {0xE0, 0xFC}})},
      {"ends at zero pair", true, std::string("\x81\x82\0\0\xE0\xE1", 6),
       MapOf({{0x81, 0x82}})},
      {"inverted pair adds nothing", true, std::string("\x90\x80\xA0\xA0", 4),
       MapOf({{0xA0, 0xA0}})},
      {"lone trailing byte ignored", true, std::string("\x81\x81\x90", 3),
       MapOf({{0x81, 0x81}})},
      {"full range", true, std::string("\x00\xFF", 2), MapOf({{0x00, 0xFF}})},
      {"mode off empties the set", false, kCp932Ranges, MapOf({})},
      {"no ranges", true, "", MapOf({})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetDoubleByteInfo(true, std::string("\x01\xFF", 2));  // stale set
    SetDoubleByteInfo(c.mode, c.ranges);
    EXPECT_EQ(c.mode, DoubleByteMode());
    EXPECT_EQ(c.expected_map, LeadMap());
  }
}

// Kinds of all positions 1..length+1 as a string: S, L or T.
std::string KindsOf(const std::string& text) {
  std::string kinds;
  for (size_t i = 1; i <= text.size() + 1; ++i) {
    switch (ByteKind(text, i)) {
      case ByteKindValue::SingleByte: kinds += 'S'; break;
      case ByteKindValue::LeadByte: kinds += 'L'; break;
      case ByteKindValue::TrailByte: kinds += 'T'; break;
    }
  }
  return kinds;
}

struct KindCase {
  std::string text;
  std::string kinds;  // one letter per position, the last for the NUL
};

TEST_F(DbcsTest, ByteKindInDoubleByteMode) {
  SetDoubleByteInfo(true, kCp932Ranges);
  const KindCase cases[] = {
      {"", "S"},
      {"a\\", "SSS"},
      {"\x83\x5C", "LTS"},                 // ソ
      {"a\x83\x5C\\", "SLTSS"},
      {"\x81\x81\x5C", "LTSS"},            // second byte in the lead set
      {"\x83\x81\x83\x5C", "LTLTS"},       // メソ
      {"\x83\x5C\x81\x5C", "LTLTS"},       // ソ＼
      {"\xE0\xFC\xFC", "LTLS"},            // lone lead byte at the end
      {"\x80\xA0\xFD\xFF", "SSSSS"},       // outside both ranges
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE("case with kinds " + c.kinds);
    EXPECT_EQ(c.kinds, KindsOf(c.text));
  }
}

TEST_F(DbcsTest, ByteKindWithoutDoubleByteMode) {
  SetDoubleByteInfo(false, kCp932Ranges);
  EXPECT_EQ("SSS", KindsOf("\x83\x5C"));
}

TEST_F(DbcsTest, ByteKindOutsideTheText) {
  SetDoubleByteInfo(true, kCp932Ranges);
  EXPECT_EQ(ByteKindValue::SingleByte, ByteKind("\x83\x5C", 0));
  EXPECT_EQ(ByteKindValue::SingleByte, ByteKind("\x83\x83", 3));
  EXPECT_EQ(ByteKindValue::SingleByte, ByteKind("\x83\x83", 10));
}

TEST_F(DbcsTest, NextCharIndex) {
  SetDoubleByteInfo(true, kCp932Ranges);
  struct Case {
    std::string text;
    size_t index;
    size_t next;
  };
  const Case cases[] = {
      {"ab", 0, 1},         {"\x83\x5Cz", 0, 2}, {"\x83\x5Cz", 2, 3},
      {"a\x83", 1, 2},      {"ab", 2, 2},        {"ab", 7, 2},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("index " + std::to_string(c.index));
    EXPECT_EQ(c.next, NextCharIndex(c.text, c.index));
  }
  SetDoubleByteInfo(false, "");
  EXPECT_EQ(1u, NextCharIndex("\x83\x5C", 0));
}

TEST(IsShiftJisCodesetTest, RecognisesShiftJisSpellings) {
  struct Case {
    const char* name;
    bool shift_jis;
  };
  const Case cases[] = {
      {"SHIFT_JIS", true},   {"Shift_JIS", true}, {"shift-jis", true},
      {"SJIS", true},        {"sjis", true},      {"CP932", true},
      {"windows-31j", true}, {"MS932", true},     {"MS_Kanji", true},
      {"UTF-8", false},      {"EUC-JP", false},   {"ANSI_X3.4-1968", false},
      {"", false},           {"SJIS ", false},    {"CP9320", false},
      {"SHIFT_JISX0213", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.shift_jis, IsShiftJisCodeset(c.name));
  }
}

}  // namespace
