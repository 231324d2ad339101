#include "services/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "services/dbcs.h"

namespace {

// ソ: its second byte is 0x5C, the same as "\".
const std::string kSo("\x83\x5C", 2);

class PathTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDoubleByteInfo(true, std::string("\x81\x9F\xE0\xFC", 4));
  }
  void TearDown() override { SetDoubleByteInfo(false, ""); }
};

struct PathCase {
  std::string path;
  std::string result;
};

TEST_F(PathTextTest, WindowsDrivePart) {
  const PathCase cases[] = {
      {"C:\\a\\b", "C:"},
      {"c:", "c:"},
      {"C:a", "C:"},
      {"?:x", "?:"},
      {"\\\\server\\share\\dir\\f", "\\\\server\\share"},
      {"\\\\server\\share\\", "\\\\server\\share"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"\\\\server", "\\\\server"},
      {"\\\\", "\\\\"},
      {"\\a\\b", ""},
      {"a\\b", ""},
      {"C", ""},
      {"", ""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE("path [" + c.path + "]");
    EXPECT_EQ(c.result, DrivePart(c.path, kWindowsSyntax));
  }
}

TEST_F(PathTextTest, WindowsParentPart) {
  const PathCase cases[] = {
      {"C:\\a\\b", "C:\\a"},
      {"C:\\a\\b\\", "C:\\a\\b"},
      {"C:\\a", "C:\\"},
      {"C:\\", "C:\\"},
      {"C:", "C:"},
      {"C:a", "C:"},
      {"\\\\server\\share\\x", "\\\\server\\share"},
      {"\\\\server\\share", "\\\\server"},
      {"\\\\server", "\\\\"},
      {"\\a", "\\"},
      {"a", ""},
      {"", ""},
      // The 0x5C of ソ is not a delimiter.
      {"C:\\d\\" + kSo, "C:\\d"},
      {"C:\\" + kSo + "\\x", "C:\\" + kSo},
      {"C:\\" + kSo + "\\", "C:\\" + kSo},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE("path [" + c.path + "]");
    EXPECT_EQ(c.result, ParentPart(c.path, kWindowsSyntax));
  }
}

TEST_F(PathTextTest, PosixDriveAndParentPart) {
  struct Case {
    std::string path;
    std::string drive;
    std::string parent;
  };
  const Case cases[] = {
      {"/a/b", "/", "/a"},  {"/a", "/", "/"},     {"/", "/", "/"},
      {"a/b/", "", "a/b"},  {"a", "", ""},        {"", "", ""},
      {"C:\\a", "", ""},    {"//a", "/", "//"},   {"a\\b/c", "", "a\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("path [" + c.path + "]");
    EXPECT_EQ(c.drive, DrivePart(c.path, kPosixSyntax));
    EXPECT_EQ(c.parent, ParentPart(c.path, kPosixSyntax));
  }
}

TEST_F(PathTextTest, LastDelimiterPos) {
  struct Case {
    std::string delimiters;
    std::string text;
    size_t position;
  };
  const Case cases[] = {
      {"\\", "C:\\dir\\", 7},
      {"\\", "C:\\dir\\" + kSo, 7},
      {"\\", "C:\\dir\\a" + kSo + kSo, 7},
      {"\\", kSo, 0},
      {"\\", kSo + "\\", 3},
      {"\\:", "C:a", 2},
      {"\\", "abc", 0},
      {"\\", "", 0},
      {std::string("\\\0", 2), std::string("a\\b\0", 4), 2},  // NUL never counts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text [" + c.text + "]");
    EXPECT_EQ(c.position, LastDelimiterPos(c.delimiters, c.text));
  }
}

TEST(PathTextSingleByteTest, LastDelimiterPosTakesEvery5C) {
  EXPECT_EQ(DoubleByteMode(), false);
  EXPECT_EQ(9u, LastDelimiterPos("\\", "C:\\dir\\" + kSo));
}

TEST_F(PathTextTest, WithTrailingDelimiter) {
  struct Case {
    std::string text;
    const PathSyntax* syntax;
    std::string result;
  };
  const Case cases[] = {
      {"C:\\data", &kWindowsSyntax, "C:\\data\\"},
      {"C:\\data\\", &kWindowsSyntax, "C:\\data\\"},
      {"", &kWindowsSyntax, ""},
      {"C:", &kWindowsSyntax, "C:\\"},
      {"C:\\" + kSo, &kWindowsSyntax, "C:\\" + kSo + "\\"},
      {"/data", &kPosixSyntax, "/data/"},
      {"/data/", &kPosixSyntax, "/data/"},
      {"/", &kPosixSyntax, "/"},
      {"", &kPosixSyntax, ""},
      {"a\\", &kPosixSyntax, "a\\/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("text [" + c.text + "]");
    EXPECT_EQ(c.result, WithTrailingDelimiter(c.text, *c.syntax));
  }
}

}  // namespace
