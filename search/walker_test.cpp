// The walker over an in-memory tree: what it prints, in which order, and
// how often it reads each directory.
#include "search/walker.h"

#include <string>
#include <vector>

#include "frontend/search_settings.h"
#include "gtest/gtest.h"
#include "services/file_system/fake_directory_reader_posix.h"
#include "services/file_system/session_posix.h"
#include "services/output_capture.h"

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
    FileSystemSessionPtr session = NewSessionWithReader(
        &tree_, masks.size() > 1, kKeptDescriptors, kCloseBatch);
    for (const std::string& mask : masks)
      SearchDirectory("top", mask, session.get());
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
  // Unlimited, and where the system refuses descriptors long before the
  // budget is spent: nothing may be lost either way.
  for (size_t limit : {size_t(-1), size_t(40)}) {
    SCOPED_TRACE(limit);
    tree_.LimitOpen(limit);
    Run({"leaf.txt"});
    EXPECT_EQ(SearchSettings.FoundCount, 1);
    EXPECT_EQ(SearchSettings.DirCount, 605);
    EXPECT_LT(tree_.MostOpenAtOnce(), kKeptDescriptors + kCloseBatch + 8);
    EXPECT_EQ(tree_.OpenNow(), 0u);
    SetUp();
    tree_.Add(deep + "leaf.txt");
  }
}

TEST_F(WalkerTest, LinkGraphsAreWalkedOncePerDirectory) {
  // Each level has two links to the next: 2^12 paths lead to the bottom.
  const int kLevels = 12;
  for (int i = 0; i <= kLevels; ++i) tree_.Add("top/g" + std::to_string(i) + "/");
  tree_.Add("top/g" + std::to_string(kLevels) + "/bottom.txt");
  for (int i = 0; i < kLevels; ++i)
    for (const char* name : {"/a", "/b"})
      tree_.AddLink("top/g" + std::to_string(i) + name,
                    "top/g" + std::to_string(i + 1) + "/");
  tree_.AddLink("top/a/b/up", "top/");  // a cycle
  Run({"bottom.txt"});
  // Along its real path, and once below the links.
  EXPECT_EQ(SearchSettings.FoundCount, 2);
  EXPECT_LE(tree_.NodeAt("top/g5/").listings, 2u);
}

}  // namespace
