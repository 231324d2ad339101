// The walker over an in-memory tree: what it prints, in which order, and
// how often it reads each directory.
#include "search/walker.h"

#include <iterator>
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
constexpr size_t kAheadDescriptors = 32;
// Thread counts each walk runs with: the walk alone, and with workers.
const size_t kThreadCounts[] = {1, 2, 5};

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
  // Runs every mask over "top" with one cache, as a run does, with
  // `threads` - 1 workers reading ahead from the first descent on.
  std::string Run(const std::vector<std::string>& masks, size_t threads = 1) {
    CapturedOutput capture(/*character_device=*/true);
    FileSystemSessionPtr session = NewSessionWithReader(
        &tree_, masks.size() > 1, kKeptDescriptors, kCloseBatch);
    EnableReadAhead(*session, threads - 1, threads - 1, kAheadDescriptors);
    if (session->ahead) session->ahead->StartAtOnce();
    for (const std::string& mask : masks)
      SearchDirectory("top", mask, session.get());
    // Workers ran, nothing read ahead outlives the walks, and no child was
    // asked for before its parent's listing was taken.
    if (session->ahead) {
      session->ahead->Stop();
      EXPECT_GT(session->ahead->WorkersStarted(), 0u);
      RecordProperty("workers_started",
                     static_cast<int>(session->ahead->WorkersStarted()));
      EXPECT_EQ(session->ahead->LiveNodes(), 0u);
      EXPECT_EQ(session->ahead->EarlyClaims(), 0u);
    }
    FlushOutput();
    return CapturedOutput::Bytes();
  }
  FakeDirectoryReader tree_;
};

const char* const kDirectories[] = {"top/", "top/a/", "top/a/b/", "top/c/",
                                    "top/e/"};

// The in-memory tree lists names in byte order ("B.txt" and "_u" before
// "a"); the walk takes them in name order, as Windows lists them.
TEST_F(WalkerTest, PrintsEachDirectoryInNameOrderBeforeItsSubdirectories) {
  const struct {
    std::vector<std::string> masks;
    std::string output;
    int found, dirs;
  } cases[] = {
      {{"*.txt"},
       "top/B.txt\r\ntop/n.txt\r\ntop/a/x.txt\r\ntop/a/b/y.txt\r\n"
       "top/_u/m.txt\r\n", 5, 6},
      {{"*.doc", "*.txt"},
       "top/a/b/q.doc\r\ntop/c/z.doc\r\n"
       "top/B.txt\r\ntop/n.txt\r\ntop/a/x.txt\r\ntop/a/b/y.txt\r\n"
       "top/_u/m.txt\r\n", 7, 12},
      {{"*", "b", "*.doc"},
       "top/a\r\ntop/B.txt\r\ntop/c\r\ntop/e\r\ntop/n.txt\r\ntop/_u\r\n"
       "top/a/b\r\ntop/a/x.txt\r\ntop/a/b/q.doc\r\ntop/a/b/y.txt\r\n"
       "top/c/z.doc\r\ntop/_u/m.txt\r\n"
       "top/a/b\r\ntop/a/b/q.doc\r\ntop/c/z.doc\r\n", 15, 18},
  };
  for (const auto& c : cases) {
    for (size_t threads : kThreadCounts) {
      SetUp();
      tree_.Add("top/B.txt");
      tree_.Add("top/_u/m.txt");
      SCOPED_TRACE(c.output);
      SCOPED_TRACE(threads);
      EXPECT_EQ(Run(c.masks, threads), c.output);
      EXPECT_EQ(SearchSettings.FoundCount, c.found);
      EXPECT_EQ(SearchSettings.DirCount, c.dirs);
      // One listing per directory for the whole run: the descent reuses
      // the selection's, and the later walks the first walk's.
      std::vector<std::string> dirs(std::begin(kDirectories),
                                    std::end(kDirectories));
      dirs.push_back("top/_u/");
      for (const std::string& dir : dirs) {
        EXPECT_EQ(tree_.NodeAt(dir).listings, 1u) << dir;
        EXPECT_LE(tree_.NodeAt(dir).opens, 2 * c.masks.size()) << dir;
      }
      EXPECT_EQ(tree_.OpenNow(), 0u);
    }
  }
}

// A mask with a path of its own selects in a subdirectory of each level,
// which the walk finds by name while workers may still read the level's
// listing: the same bytes as the walk alone.
TEST_F(WalkerTest, MasksWithAPathSelectBelowEachLevel) {
  const struct {
    std::vector<std::string> masks;
    int found, dirs;
  } cases[] = {
      {{"a/*.txt"}, 13, 41},
      {{"a/b/*.doc", "*.txt"}, 28, 82},
      {{"A/B/Y.TXT"}, 1, 41},
  };
  for (const auto& c : cases) {
    std::string alone;
    for (size_t threads : kThreadCounts) {
      SetUp();
      for (int i = 0; i < 12; ++i) {
        const std::string w = "top/w" + std::to_string(10 + i) + "/a/";
        tree_.Add(w + "b/k.doc");
        tree_.Add(w + "x.txt");
      }
      SCOPED_TRACE(c.masks[0]);
      SCOPED_TRACE(threads);
      const std::string output = Run(c.masks, threads);
      if (threads == 1) alone = output;
      EXPECT_EQ(output, alone);
      EXPECT_EQ(SearchSettings.FoundCount, c.found);
      EXPECT_EQ(SearchSettings.DirCount, c.dirs);
      EXPECT_EQ(tree_.OpenNow(), 0u);
    }
  }
  EXPECT_EQ(Run({"A/B/Y.TXT"}), "top/a/b/y.txt\r\n");
}

// --exclude and --max-depth: what is printed and counted, and which
// directories are never opened, by the walk nor by the workers reading
// ahead.
TEST_F(WalkerTest, ExcludedNamesAndTheDepthLimit) {
  const struct {
    std::vector<std::string> excluded;
    int32_t max_depth;
    bool recursive;
    std::string mask;
    std::string output;
    int found, dirs;
    std::vector<std::string> unopened;
  } cases[] = {
      // A .git and a node_modules at several depths, neither printed nor
      // entered nor counted.
      {{".git", "NODE_MODULES"}, 0, true, "*.txt",
       "top/src/a.txt\r\ntop/src/lib/l.txt\r\ntop/top/t.txt\r\n", 3, 4,
       {"top/.git/", "top/node_modules/", "top/src/node_modules/",
        "top/src/lib/.git/"}},
      // A file that matches an exclude mask is not printed either.
      {{"*.tmp"}, 0, true, "no*",
       "top/node_modules\r\ntop/src/node_modules\r\n", 2, 10, {}},
      // The search path itself is never left out, its namesakes below are.
      {{"top", ".git", "node_modules"}, 0, true, "*.txt",
       "top/src/a.txt\r\ntop/src/lib/l.txt\r\n", 2, 3, {"top/top/"}},
      // Depth 1 is /r; a directory at the last level is printed, not
      // entered.
      {{}, 1, true, "*",
       "top/.git\r\ntop/node_modules\r\ntop/notes.TMP\r\ntop/src\r\n"
       "top/top\r\n", 5, 1, {"top/src/", "top/.git/"}},
      {{}, 0, false, "*",
       "top/.git\r\ntop/node_modules\r\ntop/notes.TMP\r\ntop/src\r\n"
       "top/top\r\n", 5, 1, {"top/src/", "top/.git/"}},
      {{}, 2, true, "l*", "top/src/lib\r\n", 1, 5, {"top/src/lib/"}},
      {{}, 3, true, "*.txt",
       "top/.git/objects/o.txt\r\ntop/node_modules/n.txt\r\n"
       "top/src/a.txt\r\ntop/src/lib/l.txt\r\ntop/src/node_modules/m.txt\r\n"
       "top/top/t.txt\r\n", 6, 8,
       {"top/src/lib/.git/", "top/src/node_modules/deep/"}},
      // As deep as the tree, or deeper: the whole tree.
      {{}, 4, true, "*.txt",
       "top/.git/objects/o.txt\r\ntop/node_modules/n.txt\r\n"
       "top/src/a.txt\r\ntop/src/lib/l.txt\r\ntop/src/lib/.git/config.txt\r\n"
       "top/src/node_modules/m.txt\r\ntop/src/node_modules/deep/d.txt\r\n"
       "top/top/t.txt\r\n", 8, 10, {}},
      {{}, 2147483647, true, "d*",
       "top/src/node_modules/deep\r\ntop/src/node_modules/deep/d.txt\r\n",
       2, 10, {}},
      // With /r as well, /r wins.
      {{}, 3, false, "*.txt", "", 0, 1, {"top/src/"}},
      {{"src"}, 2, true, "*.txt", "top/node_modules/n.txt\r\ntop/top/t.txt\r\n",
       2, 4, {"top/src/"}},
  };
  for (const auto& c : cases) {
    for (size_t threads : kThreadCounts) {
      SetUp();
      tree_ = FakeDirectoryReader();
      for (const char* path :
           {"top/.git/HEAD", "top/.git/objects/o.txt", "top/node_modules/n.txt",
            "top/notes.TMP", "top/src/a.txt", "top/src/lib/l.txt",
            "top/src/lib/.git/config.txt", "top/src/node_modules/m.txt",
            "top/src/node_modules/deep/d.txt", "top/top/t.txt"})
        tree_.Add(path);
      for (const std::string& mask : c.excluded)
        SearchSettings.ExcludeMasks.Add(mask);
      SearchSettings.MaxDepth = c.max_depth;
      SearchSettings.Recursive = c.recursive;
      SCOPED_TRACE(c.mask + " " + std::to_string(c.max_depth));
      SCOPED_TRACE(threads);
      EXPECT_EQ(Run({c.mask}, threads), c.output);
      EXPECT_EQ(SearchSettings.FoundCount, c.found);
      EXPECT_EQ(SearchSettings.DirCount, c.dirs);
      for (const std::string& dir : c.unopened)
        EXPECT_EQ(tree_.NodeAt(dir).opens, 0u) << dir;
      EXPECT_EQ(tree_.OpenNow(), 0u);
    }
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
  // Unlimited, and where the system refuses descriptors long before the
  // budget is spent: nothing may be lost either way, and no directory is
  // opened more than a few times, also where the selection opens a
  // directory below each level.
  for (const char* mask : {"leaf.txt", "d/leaf.txt"}) {
    for (size_t limit : {size_t(-1), size_t(40)}) {
      for (size_t threads : kThreadCounts) {
        SCOPED_TRACE(mask);
        SCOPED_TRACE(limit);
        SCOPED_TRACE(threads);
        SetUp();
        tree_.Add(deep + "leaf.txt");
        tree_.LimitOpen(limit);
        Run({mask}, threads);
        EXPECT_EQ(SearchSettings.FoundCount, 1);
        EXPECT_EQ(SearchSettings.DirCount, 605);
        EXPECT_LT(tree_.MostOpenAtOnce(),
                  kKeptDescriptors + kCloseBatch + kAheadDescriptors + 8);
        EXPECT_LT(tree_.TotalOpens(), 6 * 605u);
        EXPECT_EQ(tree_.OpenNow(), 0u);
      }
    }
  }
}

// A directory that cannot be opened, or that is gone once its parent is
// listed, is what it is without workers, whoever meets it first.
TEST_F(WalkerTest, UnreadableAndVanishedDirectoriesAsWithoutWorkers) {
  for (int error : {EACCES, ENOENT}) {
    std::string alone;
    for (size_t threads : kThreadCounts) {
      SetUp();
      for (int i = 0; i < 20; ++i)
        tree_.Add("top/w" + std::to_string(i) + "/k/f.txt");
      tree_.FailOpens("top/a/", error);
      tree_.FailOpens("top/w7/k/", error);
      SCOPED_TRACE(error);
      SCOPED_TRACE(threads);
      const std::string output = Run({"*.txt"}, threads);
      if (threads == 1) alone = output;
      EXPECT_EQ(output, alone);
      EXPECT_EQ(SearchSettings.FoundCount, 20);  // top/n.txt and 19 f.txt
      EXPECT_EQ(SearchSettings.DirCount, 44);  // none below top/a
      EXPECT_EQ(tree_.OpenNow(), 0u);
    }
  }
}

TEST_F(WalkerTest, LinkGraphsAreWalkedOncePerDirectory) {
  // Each level has two links to the next: 2^12 paths lead to the bottom.
  const int kLevels = 12;
  for (size_t threads : kThreadCounts) {
    SCOPED_TRACE(threads);
    SetUp();
    for (int i = 0; i <= kLevels; ++i)
      tree_.Add("top/g" + std::to_string(i) + "/");
    tree_.Add("top/g" + std::to_string(kLevels) + "/bottom.txt");
    for (int i = 0; i < kLevels; ++i)
      for (const char* name : {"/a", "/b"})
        tree_.AddLink("top/g" + std::to_string(i) + name,
                      "top/g" + std::to_string(i + 1) + "/");
    tree_.AddLink("top/a/b/up", "top/");  // a cycle
    Run({"bottom.txt"}, threads);
    // Along its real path, and once below the links.
    EXPECT_EQ(SearchSettings.FoundCount, 2);
    EXPECT_LE(tree_.NodeAt("top/g5/").listings, 2u);
  }
}

}  // namespace
