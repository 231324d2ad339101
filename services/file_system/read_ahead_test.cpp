// The read-ahead queue over a made-up tree: the walk gets every listing in
// its own order, whatever the workers and bounds, and nothing is held or
// kept afterwards.
#include "services/file_system/read_ahead.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// A tree of `fanout`^`depth` directories: a directory's listing is its
// path, a handle is the index of an open directory's path.
class TreeSource : public AheadSource {
 public:
  TreeSource(size_t fanout, size_t depth) : fanout_(fanout), depth_(depth) {}

  AheadHandle Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.push_back(path);
    ++open_;
    most_open_ = std::max(most_open_, open_);
    return static_cast<AheadHandle>(paths_.size() - 1);
  }
  std::vector<std::string> Subdirectories(const std::string& path) const {
    std::vector<std::string> names;
    if (static_cast<size_t>(std::count(path.begin(), path.end(), '/')) <
        depth_)
      for (size_t i = 0; i < fanout_; ++i) names.push_back(std::to_string(i));
    return names;
  }
  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      path = paths_.at(static_cast<size_t>(parent)) + "/" + name;
      ++reads_;
      most_ahead_ = std::max(most_ahead_, reads_ - taken_);
    }
    read->listing = path;
    read->subdirectories = Subdirectories(path);
    if (!read->subdirectories.empty()) read->handle = Open(path);
  }
  void Release(AheadHandle) override {
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
  }
  void Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++taken_;
  }
  size_t fanout_, depth_;
  std::mutex mutex_;
  std::vector<std::string> paths_;
  size_t open_ = 0, most_open_ = 0, reads_ = 0, taken_ = 0, most_ahead_ = 0;
};

// Walks the tree depth first as the walker does, entering every
// subdirectory but each `skip`-th, which it takes and lets go of unread;
// the paths in the order taken.
std::vector<std::string> Walk(ReadAhead& ahead, TreeSource& source,
                              size_t skip) {
  std::vector<std::string> order;
  struct Level {
    AheadNode* node;
    std::string path;
    size_t next = 0;
  };
  std::vector<Level> chain;
  chain.push_back({ahead.Seed(nullptr, source.Open("r"),
                              source.Subdirectories("r")),
                   "r"});
  ahead.StartAtOnce();
  size_t count = 0;
  while (!chain.empty()) {
    Level& level = chain.back();
    if (level.next == source.fanout_ ||
        source.Subdirectories(level.path).empty()) {
      ahead.Release(level.node);
      chain.pop_back();
      continue;
    }
    const std::string name = std::to_string(level.next++);
    const std::string path = level.path + "/" + name;
    AheadNode* child = ahead.TakeSubdirectory(level.node, name);
    // Passed by, as the walker passes a directory it has walked already.
    if (skip != 0 && ++count % skip == 0) {
      if (child != nullptr) ahead.Release(child);
      continue;
    }
    // None queued (no handle was left for it): the walk reads it itself.
    std::string listing = path;
    if (child != nullptr) {
      EXPECT_TRUE(ahead.TakeListing(child, &listing));
      source.Taken();
    }
    order.push_back(listing);
    if (child == nullptr || !ahead.Expanded(child))
      child = ahead.Seed(child, source.Open(path), source.Subdirectories(path));
    chain.push_back({child, path});
  }
  return order;
}

// The same walk without reading ahead.
std::vector<std::string> DepthFirst(TreeSource& source, size_t skip) {
  std::vector<std::string> order;
  std::vector<std::pair<std::string, size_t>> chain{{"r", 0}};
  size_t count = 0;
  while (!chain.empty()) {
    auto& [path, next] = chain.back();
    if (next == source.fanout_ || source.Subdirectories(path).empty()) {
      chain.pop_back();
      continue;
    }
    const std::string name = std::to_string(next++);
    if (skip != 0 && ++count % skip == 0) continue;
    order.push_back(path + "/" + name);
    chain.emplace_back(order.back(), 0);
  }
  return order;
}

TEST(ReadAheadTest, WalkOrderWithinBoundsAndNothingLeft) {
  const struct {
    size_t workers, listings, handles, skip;
  } cases[] = {
      {0, 4096, 1024, 0},  // the walk reads everything itself
      {1, 4096, 1024, 0},
      {4, 4096, 1024, 0},
      {4, 3, 1024, 0},     // few listings ahead
      {4, 4096, 2, 0},     // few handles: the walk queues the rest
      {4, 4096, 1024, 3},  // the walk passes some directories by
      {4, 3, 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.workers << " workers, " << c.listings
                                    << " listings, " << c.handles
                                    << " handles, skip " << c.skip);
    TreeSource source(5, 4);  // 780 directories below the top
    AheadLimits limits;
    limits.workers = limits.first_workers = c.workers;
    limits.listings = c.listings;
    limits.handles = c.handles;
    {
      ReadAhead ahead(&source, limits);
      EXPECT_EQ(Walk(ahead, source, c.skip), DepthFirst(source, c.skip));
      ahead.Stop();
      EXPECT_EQ(ahead.LiveNodes(), 0u);
    }
    EXPECT_EQ(source.open_, 0u);
    // A worker past the bound finishes the one read it has begun (reads
    // of passed-by directories are never taken, so only without those).
    if (c.skip == 0) {
      EXPECT_LE(source.most_ahead_, c.listings + c.workers + 1);
    }
    // Besides the bound, the handles of reads in progress and the walk's.
    EXPECT_LE(source.most_open_, c.handles + c.workers + 2);
  }
}

}  // namespace
