// The walker over an in-memory tree: what it prints, in which order, and
// how often it reads each directory.
#include "search/walker.h"

#include <string>
#include <vector>

#include "frontend/search_settings.h"
#include "gtest/gtest.h"
#include "services/file_system/fake_directory_reader_posix.h"
#include "services/output_capture.h"
#include "services/scan_cache_posix.h"

namespace {

constexpr size_t kKeptDescriptors = 256;
constexpr size_t kCloseBatch = 16;

class WalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSearchSettings();
    SearchSettings.Recursive = true;
    tree_ = FakeDirectoryReader();
    for (const char* path : {"top/n.txt", "top/a/x.txt", "top/a/b/y.txt",
                             "top/a/b/q.doc", "top/c/z.doc", "top/e/"})
      tree_.Add(path);
  }
  // Runs every mask over "top" with one cache, as a run does.
  std::string Run(const std::vector<std::string>& masks) {
    CapturedOutput capture(/*character_device=*/true);
    ScanCachePtr cache = NewScanCacheWithReader(&tree_, masks.size() > 1,
                                                kKeptDescriptors, kCloseBatch);
    for (const std::string& mask : masks)
      SearchDirectory("top", mask, cache.get());
    FlushOutput();
    return CapturedOutput::Bytes();
  }
  FakeDirectoryReader tree_;
};

const char* const kDirectories[] = {"top/", "top/a/", "top/a/b/", "top/c/",
                                    "top/e/"};

TEST_F(WalkerTest, PrintsEachDirectoryBeforeItsSubdirectoriesReadingItOnce) {
  const struct {
    std::vector<std::string> masks;
    std::string output;
    int found, dirs;
  } cases[] = {
      {{"*.txt"},
       "top/n.txt\r\ntop/a/x.txt\r\ntop/a/b/y.txt\r\n", 3, 5},
      {{"*.doc", "*.txt"},
       "top/a/b/q.doc\r\ntop/c/z.doc\r\n"
       "top/n.txt\r\ntop/a/x.txt\r\ntop/a/b/y.txt\r\n", 5, 10},
      {{"*", "b", "*.doc"},
       "top/a\r\ntop/c\r\ntop/e\r\ntop/n.txt\r\ntop/a/b\r\ntop/a/x.txt\r\n"
       "top/a/b/q.doc\r\ntop/a/b/y.txt\r\ntop/c/z.doc\r\n"
       "top/a/b\r\ntop/a/b/q.doc\r\ntop/c/z.doc\r\n", 12, 15},
  };
  for (const auto& c : cases) {
    SetUp();
    SCOPED_TRACE(c.output);
    EXPECT_EQ(Run(c.masks), c.output);
    EXPECT_EQ(SearchSettings.FoundCount, c.found);
    EXPECT_EQ(SearchSettings.DirCount, c.dirs);
    // One listing per directory for the whole run: the descent reuses the
    // selection's, and the later walks the first walk's.
    for (const char* dir : kDirectories) {
      EXPECT_EQ(tree_.NodeAt(dir).listings, 1u) << dir;
      EXPECT_LE(tree_.NodeAt(dir).opens, 2 * c.masks.size()) << dir;
    }
    EXPECT_EQ(tree_.OpenNow(), 0u);
  }
}

TEST_F(WalkerTest, ShortFormsComeFromTheListingsInHand) {
  tree_.Add("top/a/Long Name.txt");
  SearchSettings.ShortNames = true;
  EXPECT_EQ(Run({"*.txt"}),
            "top/n.txt\r\ntop/a/LONGNA~1.TXT\r\ntop/a/x.txt\r\n"
            "top/a/b/y.txt\r\n");
  for (const char* dir : kDirectories)
    EXPECT_EQ(tree_.NodeAt(dir).listings, 1u) << dir;
}

TEST_F(WalkerTest, DeepTreesKeepFewDescriptorsOpen) {
  std::string deep = "top/";
  for (int level = 0; level < 600; ++level) deep += "d/";
  tree_.Add(deep + "leaf.txt");
  Run({"leaf.txt"});
  EXPECT_EQ(SearchSettings.FoundCount, 1);
  EXPECT_EQ(SearchSettings.DirCount, 605);
  EXPECT_LT(tree_.MostOpenAtOnce(), kKeptDescriptors + kCloseBatch + 8);
  EXPECT_EQ(tree_.OpenNow(), 0u);
  EXPECT_EQ(tree_.NodeAt(deep).listings, 1u);
}

}  // namespace
