#include "services/short_name.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "services/text.h"

namespace {

TEST(ShortNameTest, IsLegalShortName) {
  const struct {
    const char* name;
    bool expected;
  } cases[] = {
      {"README.TXT", true},    {"readme.txt", true},   {"12345678.123", true},
      {"A", true},             {"A~1", true},          {"a-b_c!{}.x", true},
      {".", true},             {"..", true},           {"AB.", true},
      {"", false},             {"123456789", false},   {"A.TEXT", false},
      {"A.B.C", false},        {".AB", false},    {"A B", false},
      {"A+B", false},          {"A[1]", false},        {"A;B", false},
      {"A\\B", false},         {"A|B", false},         {"A=B", false},
      {"\xe5", false},         {"A\x81", false},       {"A\x01", false},
      {"123456789.T", false},  {"A.\xe9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, IsLegalShortName(c.name));
  }
}

struct AliasCase {
  const char* name;
  const char* alias;  // nullptr: the name needs none
};

struct DirectoryCase {
  const char* title;
  std::vector<std::string> names;
  std::vector<AliasCase> expected;
};

TEST(ShortNameTest, MakeShortNames) {
  std::vector<std::string> eleven;
  for (int i = 1; i <= 11; ++i) {
    eleven.push_back("longname" + std::string(i < 10 ? "0" : "") +
                     std::to_string(i));
  }
  const DirectoryCase cases[] = {
      {"long names",
       {"Program Files", "Long File Name.text"},
       {{"Program Files", "PROGRA~1"}, {"Long File Name.text", "LONGFI~1.TEX"}}},
      {"legal names need none",
       {"README.TXT", "a", ".", ".."},
       {{"README.TXT", nullptr}, {"a", nullptr}, {".", nullptr}}},
      {"ranks follow byte order",
       {"program data", "Programs more", "Program Files"},
       {{"Program Files", "PROGRA~1"},
        {"Programs more", "PROGRA~2"},
        {"program data", "PROGRA~3"}}},
      {"ranks are per base and extension",
       {"Program Files", "Program Files.doc", "Program Files.docx"},
       {{"Program Files", "PROGRA~1"},
        {"Program Files.doc", "PROGRA~1.DOC"},
        {"Program Files.docx", "PROGRA~2.DOC"}}},
      {"ten and more shorten the base",
       eleven,
       {{"longname01", "LONGNA~1"},
        {"longname09", "LONGNA~9"},
        {"longname10", "LONGN~10"},
        {"longname11", "LONGN~11"}}},
      {"an entry holding the alias is passed over, ignoring case",
       {"progra~2", "Program Files", "Program Data", "PROGRA~3.TXT"},
       {{"Program Data", "PROGRA~1"}, {"Program Files", "PROGRA~3"}}},
      {"mapping",
       {".profile", "a.b.c", "a+b[c].txt", "\xe9t\xe9.doc", "abc.t t",
        "abc. ", "a\x01z", "abc\xe5", "x.\xe9\xe9"},
       {{".profile", "PROFIL~1"},
        {"a.b.c", "AB~1.C"},
        {"a+b[c].txt", "A_B_C_~1.TXT"},
        {"\xe9t\xe9.doc", "_T_~1.DOC"},
        {"abc.t t", "ABC~1.TT"},
        {"abc. ", "ABC~1"},
        {"a\x01z", "A_Z~1"},
        {"abc\xe5", "ABC_~1"},
        {"x.\xe9\xe9", "X~1.__"}}},
      {"nothing left for the base",
       {"...", " ", " .txt"},
       {{" ", "_~1"}, {"...", "_~2"}, {" .txt", "_~1.TXT"}}},
      {"bytes above 0x7F sort last",
       {"a\xe9" "bcdefg", "a\x81" "bcdefg", "a_bcdefgh"},
       {{"a_bcdefgh", "A_BCDE~1"},
        {"a\x81" "bcdefg", "A_BCDE~2"},
        {"a\xe9" "bcdefg", "A_BCDE~3"}}},
  };
  for (const DirectoryCase& c : cases) {
    SCOPED_TRACE(c.title);
    const auto aliases = MakeShortNames(c.names);
    for (const AliasCase& e : c.expected) {
      SCOPED_TRACE(e.name);
      const auto found = aliases.find(e.name);
      if (e.alias == nullptr) {
        EXPECT_TRUE(found == aliases.end());
      } else {
        ASSERT_TRUE(found != aliases.end());
        EXPECT_EQ(e.alias, found->second);
      }
    }
  }
}

// Checks what must hold for any directory: every name that is not a legal
// short name has an alias, every alias is a legal short name, and no alias
// equals another alias or a name, ignoring ASCII case.
void ExpectSoundAliases(const std::vector<std::string>& names) {
  const auto aliases = MakeShortNames(names);
  std::unordered_set<std::string> seen;
  for (const std::string& name : names) seen.insert(AsciiUpperCase(name));
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto found = aliases.find(name);
    EXPECT_EQ(IsLegalShortName(name), found == aliases.end());
  }
  for (const auto& entry : aliases) {
    SCOPED_TRACE(entry.first + " -> " + entry.second);
    EXPECT_TRUE(IsLegalShortName(entry.second));
    EXPECT_TRUE(seen.insert(AsciiUpperCase(entry.second)).second);
  }
}

// Two crowds whose aliases meet at "ABCDE~10": the tenth name of base
// ABCDEF and the tenth of base ABCDE.
TEST(ShortNameTest, AliasesOfDifferentBasesDoNotCollide) {
  std::vector<std::string> names;
  for (int i = 0; i < 10; ++i) {
    names.push_back("abcdefgh" + std::to_string(i));
    std::string spaced = "abcde";
    spaced.insert(static_cast<size_t>(i % 6), std::string(1 + i / 6, ' '));
    names.push_back(spaced);
  }
  ExpectSoundAliases(names);
  const auto aliases = MakeShortNames(names);
  // The spaced names come first in byte order, so the last of them wins.
  EXPECT_EQ("ABCDE~10", aliases.at("abcde "));
  EXPECT_EQ("ABCDE~11", aliases.at("abcdefgh9"));
}

std::string RandomName(std::mt19937& random) {
  static const std::string kBytes = "aAbB. ~1+[\xe9\x01";
  static const char* const kTaken[] = {"AB~1", "ab~2", "A~1.B", "AB~10"};
  if (random() % 8 == 0) return kTaken[random() % 4];
  std::string name;
  const size_t length = 1 + random() % 12;
  while (name.size() < length) name += kBytes[random() % kBytes.size()];
  return name;
}

TEST(ShortNameTest, AliasesAreLegalAndUniqueInGeneratedDirectories) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> names;
    const size_t count = 1 + random() % 60;
    while (names.size() < count) names.push_back(RandomName(random));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    SCOPED_TRACE(round);
    ExpectSoundAliases(names);
    // The directory's order must not matter.
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    EXPECT_EQ(MakeShortNames(names), MakeShortNames(shuffled));
  }
}

}  // namespace
