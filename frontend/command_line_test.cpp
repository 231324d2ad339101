#include "frontend/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SplitCase {
  const char* name;
  std::string line;
  TStringList words;  // the arguments, program path dropped
};

const std::string kLong(5000, 'x');

const SplitCase kSplitCases[] = {
    // The first word is the program path, quoted or not.
    {"empty line", "", {}},
    {"program only", "kestriv.exe", {}},
    {"quoted program path", "\"C:\\Program Files\\k.exe\" /n*.txt",
     {"/n*.txt"}},
    {"program path with quotes inside", "C:\\a\" b\"\\k.exe x", {"x"}},
    {"two arguments", "k /n*.txt C:\\work", {"/n*.txt", "C:\\work"}},
    // Every byte 0x01-0x20 separates words, not only blank and tab.
    {"control bytes separate",
     std::string("k\x01" "a\x1f" "b\tc\r\nd \x20" "e"),
     {"a", "b", "c", "d", "e"}},
    {"leading and trailing blanks", "  k   a   ", {"a"}},
    {"byte 0x21 is part of a word", "k !a!", {"!a!"}},
    // A pair of quotes before a word is passed over, not an empty word.
    {"quote pair before a word", "k \"\" a", {"a"}},
    {"quote pair glued to a word", "k \"\"a", {"a"}},
    {"several quote pairs", "k \"\"\"\" a \"\" b", {"a", "b"}},
    {"quote pair then quoted stretch", "k \"\"\"a b\"", {"a b"}},
    // Quoted stretches take blanks and join the unquoted bytes around them.
    {"quoted stretch with blanks", "k \"a b\" c", {"a b", "c"}},
    {"quoted joined to unquoted", "k ab\"c d\"e", {"abc de"}},
    {"two quoted stretches in one word", "k \"a\"\"b\"", {"ab"}},
    {"quote pair inside a word adds nothing", "k a\"\"b", {"ab"}},
    {"unterminated quote runs to the end", "k \"a b", {"a b"}},
    {"name option with quoted blank", "k /n\"a b.txt\"", {"/na b.txt"}},
    {"backslash before a quote is no escape", "k \"C:\\dir\\\" x",
     {"C:\\dir\\", "x"}},
    // The list ends at the first empty word, which can only be the last.
    {"lone quote at the end gives no word", "k a \"", {"a"}},
    {"quote pair at the end gives no word", "k a \"\"", {"a"}},
    {"only blanks after the program", "k \t \x01", {}},
    // The text ends at its first NUL byte.
    {"NUL ends the line", std::string("k a\0b", 5), {"a"}},
    // Double-byte characters pass whole: no second byte is a blank or quote.
    {"Shift_JIS bytes", "k \x83\x5c\x8e\x9a \x82\xa0", {"\x83\x5c\x8e\x9a",
                                                        "\x82\xa0"}},
    // Outside quotes a word holds at most 4096 bytes.
    {"4096 bytes stay one word", "k " + kLong.substr(0, 4096) + " y",
     {kLong.substr(0, 4096), "y"}},
    {"a longer run is cut at 4096", "k " + kLong,
     {kLong.substr(0, 4096), kLong.substr(4096)}},
    {"quoted stretch has no limit", "k \"" + kLong + "\"", {kLong}},
    {"unquoted bytes after a long quoted stretch start a new word",
     "k \"" + kLong + "\"ab", {kLong, "ab"}},
    {"program path is cut too", "k" + kLong + " a",
     {kLong.substr(4095), "a"}},
};

TEST(SplitCommandLineTest, Words) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.words, SplitCommandLine(c.line));
  }
}

}  // namespace
