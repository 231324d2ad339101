#include "search/path_presentation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "gtest/gtest.h"
#include "services/path_text.h"

namespace {

// A small tree in a temporary directory, which is also the current one.
class PathPresentationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestriv-pp-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    char* cwd = getcwd(nullptr, 0);
    saved_cwd_ = cwd;
    free(cwd);
    ASSERT_EQ(chdir(root_.c_str()), 0);
    ASSERT_EQ(mkdir("Data", 0755), 0);
    ASSERT_EQ(mkdir("Data/Sub", 0755), 0);
    std::ofstream("Data/Sub/Report.TXT") << "x";
    std::ofstream("C:sub") << "x";
  }
  void TearDown() override {
    ASSERT_EQ(chdir(saved_cwd_.c_str()), 0);
    std::string command = "rm -rf '" + root_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string root_, saved_cwd_;
};

TEST_F(PathPresentationTest, TrueCase) {
  const struct {
    std::string typed, shown;
  } cases[] = {
      {"data/sub/report.txt", "Data/Sub/Report.TXT"},
      {"DATA/SUB", "Data/Sub"},
      // A trailing delimiter leaves no last component to scan.
      {"DATA/SUB/", ""},
      {"./data/Sub", "./Data/Sub"},
      {"data/missing.txt", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(TrueCasePath(c.typed), c.shown);
  }
  EXPECT_EQ(TrueCasePath(root_ + "/DATA/sub"), root_ + "/Data/Sub");
}

TEST_F(PathPresentationTest, AscentEndsWhereTheParentDoesNotShrink) {
  // With the Windows syntax "C:sub" has the parent "C:", whose parent is
  // "C:" again; the ascent stops there with what lies below it.
  EXPECT_EQ(ResolveTrueCase("C:sub", 3, kWindowsSyntax), "C:sub");
  EXPECT_EQ(ResolveTrueCase("C:", 3, kWindowsSyntax), "");
  EXPECT_EQ(ResolveTrueCase("c:\\", 3, kWindowsSyntax), "C:\\");
}

TEST_F(PathPresentationTest, MissingUpperComponentDropsWhatLiesAbove) {
  // Root length 0 with an absolute path: "/" can never be scanned, so the
  // result starts below it.
  EXPECT_EQ(ResolveTrueCase(root_ + "/data/sub", 0, kPosixSyntax),
            root_.substr(1) + "/Data/Sub");
}

TEST_F(PathPresentationTest, SearchRootPrefixMatchesTrueCasePath) {
  ASSERT_EQ(mkdir("Data/Sub/Deep", 0755), 0);
  std::ofstream("Data/Sub/Deep/x.txt") << "x";
  std::ofstream("Data/top.txt") << "x";
  const struct {
    std::string dir, name;
  } steps[] = {
      {"data/", "top.txt"},
      {"data/Sub/", "Report.TXT"},
      {"data/sub/deep/", "x.txt"},
      {"data/sub/deep/../", "Deep"},
      {"data/./", "Sub"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.dir + step.name);
    const std::string expected = TrueCasePath(step.dir + step.name);
    FileSystemSessionPtr session = NewFileSystemSession(false, 1);
    SearchRoot root = OpenSearchRoot(*session, step.dir);
    ASSERT_TRUE(root.prefix_known);
    EXPECT_TRUE(root.dir);
    EXPECT_EQ(root.prefix + step.name, expected);
  }
}

TEST(WithTrailingBackslashTest, NativeDelimiter) {
  EXPECT_EQ(WithTrailingBackslash("a"), "a/");
  EXPECT_EQ(WithTrailingBackslash("a/"), "a/");
  EXPECT_EQ(WithTrailingBackslash(""), "");
}

}  // namespace
